#include "scripting/text/ScriptTypography.h"

#include <unicode/uchar.h>

namespace korimado {

namespace {

constexpr char16_t leftDouble = u'\u201C';
constexpr char16_t rightDouble = u'\u201D';
constexpr char16_t leftSingle = u'\u2018';
constexpr char16_t rightSingle = u'\u2019';
constexpr char16_t emDash = u'\u2014';

// The scalar that ends just before position i (surrogate pairs read whole).
char32_t scalarBefore(const QString& text, qsizetype i)
{
    const char16_t unit = text.at(i - 1).unicode();
    if (QChar::isLowSurrogate(unit) && i >= 2 && QChar::isHighSurrogate(text.at(i - 2).unicode()))
        return QChar::surrogateToUcs4(text.at(i - 2).unicode(), unit);
    return unit;
}

char32_t scalarAt(const QString& text, qsizetype i)
{
    const char16_t unit = text.at(i).unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text.at(i + 1).unicode()))
        return QChar::surrogateToUcs4(unit, text.at(i + 1).unicode());
    return unit;
}

bool isLetter(char32_t scalar)
{
    return u_isalpha(UChar32(scalar));
}

// Where a quote opens: white space, an opening bracket, an opening quote.
bool opensAfter(char32_t scalar)
{
    if (u_isUWhiteSpace(UChar32(scalar)))
        return true;
    const int8_t type = u_charType(UChar32(scalar));
    return type == U_START_PUNCTUATION || type == U_INITIAL_PUNCTUATION;
}

}  // namespace

QString ScriptTypography::apply(const QString& text, const QString& mode)
{
    if (mode == QLatin1String("straighten quotes"))
        return straightenQuotes(text);
    if (mode == QLatin1String("smarten dashes"))
        return smartenDashes(text);
    return smartenQuotes(text);
}

QString ScriptTypography::straightenQuotes(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        switch (c.unicode()) {
        case 0x201C: case 0x201D: case 0x201E: case 0x201F: c = QLatin1Char('"'); break;
        case 0x2018: case 0x2019: case 0x201A: case 0x201B: c = QLatin1Char('\''); break;
        default: break;
        }
    }
    return out;
}

QString ScriptTypography::smartenQuotes(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t unit = out.at(i).unicode();
        if (unit != u'"' && unit != u'\'')
            continue;
        // Read what comes before in the converted text, so that a quote just opened counts.
        const bool opening = i == 0 || opensAfter(scalarBefore(out, i));
        if (unit == u'\'' && i > 0 && i + 1 < out.size() && isLetter(scalarBefore(out, i)) && isLetter(scalarAt(out, i + 1))) {
            out[i] = QChar(rightSingle);
            continue;
        }
        if (unit == u'"')
            out[i] = QChar(opening ? leftDouble : rightDouble);
        else
            out[i] = QChar(opening ? leftSingle : rightSingle);
    }
    return out;
}

QString ScriptTypography::smartenDashes(const QString& text)
{
    const qsizetype first = text.indexOf(QLatin1String("--"));
    if (first < 0)
        return text;
    QString out;
    out.reserve(text.size());
    out.append(QStringView(text).left(first));
    for (qsizetype i = first; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('-') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('-')) {
            out.append(QChar(emDash));
            ++i;
        } else {
            out.append(text.at(i));
        }
    }
    return out;
}

}  // namespace korimado
