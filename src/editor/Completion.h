#pragma once

#include "platform/text/TextRange.h"

#include <QStringList>

#include <optional>

namespace korimado {

class TextReader;

// Word completion from the document's own words and the language's words.
namespace completion {

// The run of word characters (letters, marks, digits) that ends at caret.
TextRange partialWordRange(const TextReader& text, qsizetype caret);

// Candidates for the partial word at range: words of the text (split at every character that is
// not a letter, mark or digit; pieces of one character dropped) and extraWords that are longer than
// the partial word and begin with it, ignoring case; sorted like file names, without repeats.
// Nothing (nullopt) when the range reaches beyond the text.
std::optional<QStringList> candidates(const TextReader& text, TextRange range, const QStringList& extraWords);

}  // namespace completion
}  // namespace korimado
