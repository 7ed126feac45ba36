#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <vector>

namespace korimado {

// Where a Markdown source may be cut into parts that parse on their own to what the whole would:
// only before a line that starts at its first column with a character no open block of the part
// before could take (no quote, list marker, table row or space), after a blank line. A source with
// link reference definitions, which reach across the whole document, or with bare carriage
// returns is not cut. The choice is a guess about the blocks around the cut (a fence or raw HTML
// still open there, a table or code block before it); the parse checks it and, where it was wrong,
// the source is parsed whole.
class MarkdownParts {
public:
    MarkdownParts() = delete;
    // The offsets that begin each part, then the size: {0, size} for one part. At most `parts`
    // parts, each cut at the first fit line at or after its even share of the source.
    static std::vector<std::size_t> bounds(QByteArrayView utf8, std::size_t parts);
};

}  // namespace korimado
