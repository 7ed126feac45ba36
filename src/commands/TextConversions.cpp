#include "commands/TextConversions.h"

#include "platform/foundation/MemoryAdvice.h"

#include <QStringDecoder>

#include <unicode/brkiter.h>
#include <unicode/translit.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <memory>

namespace korimado {

namespace {

QString toQString(const icu::UnicodeString& s)
{
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

using CaseFunction = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

QString convertCase(const QString& text, CaseFunction convert)
{
    if (text.isEmpty()) return text;
    const char* locale = icu::Locale::getDefault().getName();
    const auto* source = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    const qsizetype room = text.size() + text.size() / 8 + 16;
    QString result = reservedString(room);
    result.resize(room);
    UErrorCode status = U_ZERO_ERROR;
    int32_t needed = convert(reinterpret_cast<UChar*>(result.data()), static_cast<int32_t>(result.size()), source,
                             length, locale, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        result.resize(needed);
        status = U_ZERO_ERROR;
        needed = convert(reinterpret_cast<UChar*>(result.data()), needed, source, length, locale, &status);
    }
    if (U_FAILURE(status)) return text;
    result.resize(needed);
    return result;
}

struct WidthTransform {
    std::unique_ptr<icu::Transliterator> transliterator;
    icu::UnicodeSet changeable;  // what the transform may touch; everything else is skipped fast
};

const WidthTransform* widthTransform(bool reverse)
{
    thread_local WidthTransform forward;
    thread_local WidthTransform backward;
    WidthTransform& t = reverse ? backward : forward;
    if (!t.transliterator) {
        UErrorCode status = U_ZERO_ERROR;
        t.transliterator.reset(icu::Transliterator::createInstance(
            "Fullwidth-Halfwidth", reverse ? UTRANS_REVERSE : UTRANS_FORWARD, status));
        if (U_FAILURE(status) || !t.transliterator) {
            t.transliterator.reset();
            return nullptr;
        }
        t.transliterator->getSourceSet(t.changeable);
        t.changeable.freeze();
    }
    return &t;
}

// The transform is applied to each run of characters it may change; runs of others (a line of
// plain ASCII for the half-width direction) are copied as they are.
QString transformWidth(const QString& text, bool reverse)
{
    const WidthTransform* t = widthTransform(reverse);
    if (!t || text.isEmpty()) return text;
    const auto* p = reinterpret_cast<const UChar*>(text.utf16());
    const auto n = static_cast<int32_t>(text.size());
    QString result = reservedString(text.size());
    int32_t i = 0;
    icu::UnicodeString run;
    while (i < n) {
        const int32_t plainEnd = i + t->changeable.span(p + i, n - i, USET_SPAN_NOT_CONTAINED);
        result.append(QStringView(reinterpret_cast<const QChar*>(p + i), plainEnd - i));
        if (plainEnd >= n) break;
        const int32_t runEnd = plainEnd + t->changeable.span(p + plainEnd, n - plainEnd, USET_SPAN_CONTAINED);
        run.setTo(p + plainEnd, runEnd - plainEnd);
        t->transliterator->transliterate(run);
        result.append(QStringView(reinterpret_cast<const QChar*>(run.getBuffer()), run.length()));
        i = runEnd;
    }
    return result;
}

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

QString TextConversions::uppercase(const QString& text)
{
    return convertCase(text, &u_strToUpper);
}

QString TextConversions::lowercase(const QString& text)
{
    return convertCase(text, &u_strToLower);
}

QString TextConversions::capitalize(const QString& text)
{
    if (text.isEmpty()) return text;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale& locale = icu::Locale::getDefault();
    std::unique_ptr<icu::BreakIterator> words(icu::BreakIterator::createWordInstance(locale, status));
    if (U_FAILURE(status)) return text;
    icu::UnicodeString s(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    s.toTitle(words.get(), locale);
    return toQString(s);
}

QString TextConversions::fullWidth(const QString& text)
{
    return transformWidth(text, true);
}

QString TextConversions::halfWidth(const QString& text)
{
    return transformWidth(text, false);
}

QString TextConversions::urlEncode(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            return text;
        }
    }
    const QByteArray bytes = text.toUtf8();
    static const char digits[] = "0123456789ABCDEF";
    QString result;
    result.reserve(bytes.size() * 3);
    for (char b : bytes) {
        if (isUnreserved(b)) {
            result += QLatin1Char(b);
        } else {
            const auto u = static_cast<unsigned char>(b);
            result += u'%';
            result += QLatin1Char(digits[u >> 4]);
            result += QLatin1Char(digits[u & 0xF]);
        }
    }
    return result;
}

QString TextConversions::urlDecode(const QString& text)
{
    if (!text.contains(u'%')) return text;
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'%') {
            qsizetype next = text.indexOf(u'%', i);
            if (next < 0) next = text.size();
            bytes += QStringView(text).sliced(i, next - i).toUtf8();
            i = next - 1;
            continue;
        }
        if (i + 2 >= text.size()) return text;
        const int high = hexValue(text[i + 1].unicode());
        const int low = hexValue(text[i + 2].unicode());
        if (high < 0 || low < 0) return text;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError()) return text;
    return decoded;
}

}  // namespace korimado
