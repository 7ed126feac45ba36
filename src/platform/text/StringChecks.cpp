#include "platform/text/StringChecks.h"

#include "platform/text/TextBoundaries.h"

#include <QList>

#include <unicode/uchar.h>


namespace korimado {

bool isWhiteSpaceOrNewline(char32_t c)
{
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
    const auto type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

QString trimmedOfWhiteSpaceAndNewlines(const QString& text)
{
    // On UTF-16 offsets: a round trip through UCS-4 would take a leading U+FEFF for a byte-order
    // mark and drop it. Every white space character lies in the basic plane.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhiteSpaceOrNewline(text[begin].unicode())) ++begin;
    while (end > begin && isWhiteSpaceOrNewline(text[end - 1].unicode())) --end;
    return text.sliced(begin, end - begin);
}

namespace {

bool isControlCharacter(char32_t c)
{
    const auto type = u_charType(static_cast<UChar32>(c));
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

}  // namespace

bool containsControlCharacter(const QString& text)
{
    for (char32_t c : text.toUcs4()) {
        if (isControlCharacter(c)) return true;
    }
    return false;
}

bool containsControlCharacterBesidesWhiteSpace(const QString& text)
{
    for (char32_t c : text.toUcs4()) {
        if (isControlCharacter(c) && !isWhiteSpaceOrNewline(c)) return true;
    }
    return false;
}

bool exceedsCharacterCount(const QString& text, qsizetype limit)
{
    if (text.size() <= limit) return false;
    const TextBoundaries boundaries(text);
    qsizetype count = 0;
    for (qsizetype pos = 0; pos < text.size(); pos = boundaries.nextGrapheme(pos)) {
        if (++count > limit) return true;
    }
    return false;
}

}  // namespace korimado
