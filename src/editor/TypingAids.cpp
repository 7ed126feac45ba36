#include "editor/TypingAids.h"

#include "editor/TextReader.h"

#include <algorithm>

namespace korimado::typing {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

}  // namespace

QString newlineText(const TextReader& text, qsizetype location, const QString& lineBreak, const IndentStyle& style)
{
    if (!style.automaticallyIndents) return lineBreak;
    const qsizetype s = std::clamp<qsizetype>(location, 0, text.length());
    const qsizetype lineStart = text.lineAt(s).start;

    qsizetype indentEnd = lineStart;
    while (indentEnd < s && isBlank(text.at(indentEnd))) ++indentEnd;
    QString result = lineBreak + text.substring(TextRange::fromBounds(lineStart, indentEnd));

    // Only the tail of the trimmed prefix matters, so a long line is not copied.
    qsizetype trimmedEnd = s;
    while (trimmedEnd > indentEnd && isBlank(text.at(trimmedEnd - 1))) --trimmedEnd;
    for (const QString& opener : style.openers) {
        const qsizetype n = opener.size();
        if (n > trimmedEnd - indentEnd) continue;
        if (text.substring(TextRange(trimmedEnd - n, n)) == opener) {
            result += style.unit();
            break;
        }
    }
    return result;
}

QString tabSpaces(const TextReader& text, qsizetype location, int tabWidth)
{
    const int width = std::max(tabWidth, 1);
    const qsizetype s = std::clamp<qsizetype>(location, 0, text.length());
    const qsizetype column = (s - text.lineAt(s).start) % width;
    return QString(width - column, u' ');
}

std::vector<selection::Replacement> outdentReplacements(const TextReader& text, const std::vector<TextRange>& selections,
                                                        int tabWidth)
{
    std::vector<selection::Replacement> edits;
    for (TextRange block : selection::lineBlocks(selections, text)) {
        QString outdented;
        outdented.reserve(block.length);
        qsizetype p = block.location;
        do {
            const TextReader::Line line = text.lineFrom(p);
            qsizetype drop = 0;
            if (text.at(line.start) == u'\t' && line.start < line.end) {
                drop = 1;
            } else {
                while (drop < tabWidth && line.start + drop < line.end && text.at(line.start + drop) == u' ') ++drop;
            }
            outdented += text.substring(TextRange::fromBounds(line.start + drop, line.end));
            if (line.end <= p) break;
            p = line.end;
        } while (p < block.end());
        edits.push_back({block, outdented});
    }
    return edits;
}

std::optional<TextRange> enclosingSymbolsRange(const TextReader& text, TextRange selected)
{
    struct Pair {
        char16_t open;
        char16_t close;
    };
    static constexpr Pair pairs[] = {{u'(', u')'}, {u'[', u']'}, {u'{', u'}'}, {u'<', u'>'}, {u'"', u'"'}, {u'\'', u'\''}};

    const qsizetype length = text.length();
    if (length == 0) return std::nullopt;
    const qsizetype s = std::clamp<qsizetype>(selected.location, 0, length);
    const qsizetype e = std::clamp<qsizetype>(selected.end(), s, length);

    for (const Pair& pair : pairs) {
        const bool quote = pair.open == pair.close;
        qsizetype opener = -1;
        int depth = 0;
        for (qsizetype i = s - 1; i >= 0; --i) {
            const char16_t c = text.at(i).unicode();
            if (c == pair.open) {
                if (depth == 0) {
                    opener = i;
                    break;
                }
                --depth;
            } else if (c == pair.close) {
                ++depth;
            }
        }
        if (opener < 0) continue;

        qsizetype closer = -1;
        depth = 0;
        for (qsizetype i = std::max(opener + 1, e); i < length; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c == pair.close) {
                if (depth == 0) {
                    closer = i;
                    break;
                }
                --depth;
            } else if (c == pair.open && !quote) {
                ++depth;
            }
        }
        if (closer < 0) continue;
        return TextRange::fromBounds(opener + 1, closer);
    }
    return std::nullopt;
}

int indentationColumns(const TextReader& text, qsizetype lineStart, int tabWidth)
{
    const int width = std::max(tabWidth, 1);
    int columns = 0;
    for (qsizetype i = lineStart; i < text.length(); ++i) {
        const QChar c = text.at(i);
        if (c == u' ') ++columns;
        else if (c == u'\t') columns = (columns / width + 1) * width;
        else break;
    }
    return columns;
}

}  // namespace korimado::typing
