#pragma once

#include "platform/text/TextRange.h"

#include <QString>

#include <functional>
#include <vector>

namespace korimado {

class TextSnapshot;

// A text read in pieces, so that a large document is never flattened to be counted.
struct TextSource {
    // The units in [from, to); callers keep 0 <= from <= to <= length.
    using Fetch = std::function<QString(qsizetype from, qsizetype to)>;

    qsizetype length = 0;
    Fetch fetch;

    static TextSource of(const QString& text);
    static TextSource of(const TextSnapshot& snapshot);
    QString substring(qsizetype from, qsizetype to) const { return from < to ? fetch(from, to) : QString(); }
};

// Character (extended grapheme cluster) counts of one text, with checkpoints every 4,096 UTF-16
// units on character boundaries, so that the position of any offset costs a binary search and a
// count of fewer than 4,096 units plus one character.
class CharacterIndex {
public:
    static constexpr qsizetype checkpointSpacing = 4096;

    // Walks the whole text; nothing when `superseded` answers true (asked every 4,096 characters).
    static std::optional<CharacterIndex> build(const TextSource& text, const std::function<bool()>& superseded = {});

    qsizetype count() const { return count_; }
    qsizetype length() const { return text_.length; }
    const TextSource& text() const { return text_; }
    const std::vector<qsizetype>& offsets() const { return offsets_; }
    const std::vector<qsizetype>& counts() const { return counts_; }

    // Characters before the offset; an offset inside a character counts that partial character.
    qsizetype position(qsizetype utf16) const;
    // Characters in the range; a range that cuts a character counts its part as a text of its own.
    qsizetype characters(TextRange range) const;
    bool isBoundary(qsizetype utf16) const;

    // Characters of a standalone text (the same rules, without an index).
    static qsizetype countCharacters(QStringView text);
    // Only the characters the filter keeps.
    static qsizetype countCharacters(QStringView text, const std::function<bool(QStringView character)>& keep);

private:
    std::size_t checkpointAtOrBefore(qsizetype utf16) const;

    TextSource text_;
    qsizetype count_ = 0;
    std::vector<qsizetype> offsets_;
    std::vector<qsizetype> counts_;
};

}  // namespace korimado
