#pragma once

#include "commands/CommandEdit.h"

#include <QString>

#include <optional>

namespace korimado {

class TextReader;

// The cores of the commands that work on the selections themselves: from the text and the
// normalised selections to the replacements and the selections that follow.
class SelectionEdits {
public:
    SelectionEdits() = delete;

    struct Result {
        CommandEdit edit;
        // The selections to set after the edit; none when the editor's carets at the ends stand.
        std::optional<std::vector<TextRange>> selections;
    };

    // open + text + close for each selection; afterwards each old text is selected again inside.
    static Result surround(const TextReader& text, const std::vector<TextRange>& ranges, const QString& open,
                           const QString& close);
    // The snippet body for each selection, "${selection}" replaced by its text; a caret where the
    // first "${cursor}" stood, counted in user-perceived characters of the final text.
    static Result insertSnippet(const TextReader& text, const std::vector<TextRange>& ranges, const QString& body);
    // When every range is a caret, the word around each caret; else the ranges as they are.
    static std::vector<TextRange> conversionRanges(const TextReader& text, const std::vector<TextRange>& ranges);

    struct LineTarget {
        qsizetype offset = 0;
        bool beep = false;  // the line lies beyond the text
    };
    // Where line n (1-based) starts; n <= 1 is the start of the text.
    static LineTarget lineTarget(const TextReader& text, qint64 n);
    // What "文字を調べる…" looks at: the selected text, or the character after a caret.
    static QString inspectionSubject(const QString& text, TextRange selection);
};

}  // namespace korimado
