#pragma once

#include "editor/SelectionMath.h"
#include "platform/text/TextRange.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace korimado {

class TextReader;

// The texts that Return, Tab and Backtab insert, and the enclosing-symbol search: pure functions
// of the text, so that the editor only has to commit them.
namespace typing {

struct IndentStyle {
    int tabWidth = 4;
    bool usesSpaces = false;
    bool automaticallyIndents = true;
    QStringList openers;  // texts after which Return adds one unit

    QString unit() const { return usesSpaces ? QString(tabWidth, u' ') : QStringLiteral("\t"); }
};

// What Return inserts at location: the line break, then (when indenting) the blanks that begin the
// caret's line up to the caret, plus one unit after an opener.
QString newlineText(const TextReader& text, qsizetype location, const QString& lineBreak, const IndentStyle& style);

// The spaces that take a caret at location to the next tab stop (1 to tabWidth of them).
QString tabSpaces(const TextReader& text, qsizetype location, int tabWidth);

// The edits of Backtab, one per block of touched lines: every line in it loses one leading tab, or
// up to tabWidth leading spaces. Lines with neither are kept (a block may be replaced by itself).
std::vector<selection::Replacement> outdentReplacements(const TextReader& text, const std::vector<TextRange>& selections,
                                                        int tabWidth);

// The text strictly between the nearest pair of brackets or quotes around selected; pairs are tried
// in priority order: ( ) [ ] { } < > " ' .
std::optional<TextRange> enclosingSymbolsRange(const TextReader& text, TextRange selected);

// Width of the leading blanks of the line starting at lineStart, in columns (tabs to the next stop).
int indentationColumns(const TextReader& text, qsizetype lineStart, int tabWidth);

}  // namespace typing
}  // namespace korimado
