#pragma once

#include <QString>

namespace korimado {

// White space and line breaks as the user sees them: Unicode separators, tab to carriage return and NEL.
bool isWhiteSpaceOrNewline(char32_t c);
QString trimmedOfWhiteSpaceAndNewlines(const QString& text);

// True when a scalar of general category Cc or Cf occurs (a lone surrogate is not one).
bool containsControlCharacter(const QString& text);
// The same, leaving out the controls that are white space or line breaks (tab, LF, CR, …).
bool containsControlCharacterBesidesWhiteSpace(const QString& text);

// True when text holds more than limit user-perceived characters; stops counting past the limit.
bool exceedsCharacterCount(const QString& text, qsizetype limit);

}  // namespace korimado
