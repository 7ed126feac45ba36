#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace korimado {

// Pure text-to-text operations behind the line, indentation, comment and width commands. Each
// reads nothing but its arguments and never fails: where an input does not apply, the text comes
// back unchanged. Counts are in user-perceived characters unless UTF-16 units are named.
class EditingTransforms {
public:
    EditingTransforms() = delete;

    struct Line {
        QString content;  // without the terminator
        QString ending;   // LF, CR, CR LF, NEL, LS, PS as found, or "" for a last line without one
        friend bool operator==(const Line&, const Line&) = default;
    };

    static std::vector<Line> lines(const QString& text);
    static QString joined(const std::vector<Line>& lines);

    // Removes one tab, or up to width leading spaces, from every line (remove); else prefixes a
    // tab, or width spaces.
    static QString indent(const QString& text, int width, bool spaces, bool remove);
    static QString convertIndentation(const QString& text, int width, bool toSpaces);
    // Comments every non-blank line after its indentation, or uncomments when all already are.
    static QString toggleLineComment(const QString& text, const QString& marker);
    static QString uncomment(const QString& text, const std::optional<QString>& lineMarker,
                             const std::optional<std::pair<QString, QString>>& block);

    // Stable, case-insensitive, numeric sort by line content, or by the first match of pattern
    // (its first capture group when it has one). A pattern that does not compile is ignored.
    static QString sortLines(const QString& text, bool ascending, const std::optional<QString>& pattern);
    static QString reverseLines(const QString& text);
    static QString deduplicateLines(const QString& text);
    static QString joinLines(const QString& text);
    // second then first, with the endings of first-then-second kept by position.
    static QString swapAdjacentLineBlocks(const QString& first, const QString& second);

    // ASCII (space and U+0021…U+007E) to their full-width forms and back; nothing else changes.
    static QString convertWidth(const QString& text, bool toFull);

    // The one scalar typed as "U+1F600", "0x41", "41"…; nothing for surrogates or beyond U+10FFFF.
    static std::optional<QString> scalar(const QString& typed);
    static QString characterDescription(const QString& text);

    // The run of spaces and tabs a line begins with, in UTF-16 units.
    static qsizetype indentationLength(const QString& content);
};

}  // namespace korimado
