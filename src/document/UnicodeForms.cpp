#include "document/UnicodeForms.h"

#include "platform/foundation/MemoryAdvice.h"
#include "platform/foundation/Utf8Decoder.h"
#include "platform/foundation/Utf8Encoder.h"

#include <QtEndian>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::optional<QString> UnicodeForms::decode(Form form, QByteArrayView bytes)
{
    switch (form) {
    case Form::utf8: return decodeUtf8(bytes);
    case Form::utf16LE: return decodeUtf16(bytes, false);
    case Form::utf16BE: return decodeUtf16(bytes, true);
    case Form::utf32LE: return decodeUtf32(bytes, false);
    case Form::utf32BE: return decodeUtf32(bytes, true);
    }
    return std::nullopt;
}

std::optional<QByteArray> UnicodeForms::encode(Form form, QStringView text)
{
    if (!isWellFormed(text)) return std::nullopt;
    switch (form) {
    case Form::utf8: return Utf8Encoder::encode(text);
    case Form::utf16LE: return encodeUtf16(text, false);
    case Form::utf16BE: return encodeUtf16(text, true);
    case Form::utf32LE: return encodeUtf32(text, false);
    case Form::utf32BE: return encodeUtf32(text, true);
    }
    return std::nullopt;
}

bool UnicodeForms::isWellFormed(QStringView text)
{
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p < end) {
#ifdef __SSE2__
        // Eight units at a time while none is a surrogate, which is nearly always.
        const __m128i mask = _mm_set1_epi16(short(0xF800));
        const __m128i surrogate = _mm_set1_epi16(short(0xD800));
        while (end - p >= 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, mask), surrogate)) != 0) break;
            p += 8;
        }
        if (p == end) break;
#endif
        const char16_t u = *p++;
        if (u < 0xD800 || u > 0xDFFF) continue;
        if (!isHighSurrogate(u) || p == end || !isLowSurrogate(*p)) return false;
        ++p;
    }
    return true;
}

std::optional<QString> UnicodeForms::decodeUtf8(QByteArrayView bytes)
{
    return Utf8Decoder::decode(bytes);
}

std::optional<QString> UnicodeForms::decodeUtf16(QByteArrayView bytes, bool bigEndian)
{
    if (bytes.size() % 2 != 0) return std::nullopt;
    const qsizetype count = bytes.size() / 2;
    QString out(count, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    const uchar* p = reinterpret_cast<const uchar*>(bytes.data());
    if (bigEndian) {
        for (qsizetype i = 0; i < count; ++i) d[i] = qFromBigEndian<char16_t>(p + 2 * i);
    } else {
        for (qsizetype i = 0; i < count; ++i) d[i] = qFromLittleEndian<char16_t>(p + 2 * i);
    }
    if (!isWellFormed(out)) return std::nullopt;
    return out;
}

std::optional<QString> UnicodeForms::decodeUtf32(QByteArrayView bytes, bool bigEndian)
{
    if (bytes.size() % 4 != 0) return std::nullopt;
    const qsizetype count = bytes.size() / 4;
    QString out(count * 2, Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* d = begin;
    const uchar* p = reinterpret_cast<const uchar*>(bytes.data());
    for (qsizetype i = 0; i < count; ++i, p += 4) {
        const char32_t cp = bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        if (cp < 0x10000) {
            *d++ = static_cast<char16_t>(cp);
        } else {
            *d++ = QChar::highSurrogate(cp);
            *d++ = QChar::lowSurrogate(cp);
        }
    }
    out.truncate(d - begin);
    return out;
}

QByteArray UnicodeForms::encodeUtf16(QStringView text, bool bigEndian)
{
    QByteArray out = uninitializedBytes(text.size() * 2);
    uchar* d = reinterpret_cast<uchar*>(out.data());
    const char16_t* s = text.utf16();
    if (bigEndian) {
        for (qsizetype i = 0; i < text.size(); ++i) qToBigEndian<char16_t>(s[i], d + 2 * i);
    } else {
        for (qsizetype i = 0; i < text.size(); ++i) qToLittleEndian<char16_t>(s[i], d + 2 * i);
    }
    return out;
}

QByteArray UnicodeForms::encodeUtf32(QStringView text, bool bigEndian)
{
    // Well-formed text: a pair gives one code point, so never more than two units per code point.
    QByteArray out = uninitializedBytes(text.size() * 4);
    uchar* const begin = reinterpret_cast<uchar*>(out.data());
    uchar* d = begin;
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p < end) {
        char32_t cp = *p++;
        if (isHighSurrogate(cp)) cp = QChar::surrogateToUcs4(static_cast<char16_t>(cp), *p++);
        if (bigEndian) {
            qToBigEndian<quint32>(cp, d);
        } else {
            qToLittleEndian<quint32>(cp, d);
        }
        d += 4;
    }
    out.truncate(d - begin);
    return out;
}

}  // namespace korimado
