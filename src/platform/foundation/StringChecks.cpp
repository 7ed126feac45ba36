#include "platform/foundation/StringChecks.h"

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
    const QList<uint> scalars = text.toUcs4();
    qsizetype begin = 0;
    qsizetype end = scalars.size();
    while (begin < end && isWhiteSpaceOrNewline(scalars[begin])) ++begin;
    while (end > begin && isWhiteSpaceOrNewline(scalars[end - 1])) --end;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(scalars.constData()) + begin, end - begin);
}

bool containsControlCharacter(const QString& text)
{
    for (char32_t c : text.toUcs4()) {
        const auto type = u_charType(static_cast<UChar32>(c));
        if (type == U_CONTROL_CHAR || type == U_FORMAT_CHAR) return true;
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
