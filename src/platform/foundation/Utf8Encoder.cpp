#include "platform/foundation/Utf8Encoder.h"

#include "platform/foundation/MemoryAdvice.h"
#include "platform/foundation/ParallelParts.h"

#include <algorithm>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

qsizetype lengthOf(const char16_t* p, const char16_t* const end)
{
    qsizetype bytes = 0;
    for (; p < end; ++p) {
        const char16_t u = *p;
        // Three for every unit from U+0800, surrogates too (a lone one is U+FFFD); a pair is four.
        bytes += 1 + (u >= 0x80) + (u >= 0x800);
        if (isHigh(u) && p + 1 < end && isLow(p[1])) {
            bytes += 1;
            ++p;
        }
    }
    return bytes;
}

char* encodePart(const char16_t* p, const char16_t* const end, char* d)
{
    while (p < end) {
#ifdef __SSE2__
        // Runs of ASCII eight units at a time.
        const __m128i notAscii = _mm_set1_epi16(short(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        while (end - p >= 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, notAscii), zero)) != 0xFFFF)
                break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(v, v));
            p += 8;
            d += 8;
        }
        if (p == end)
            break;
#endif
        const char16_t u = *p++;
        if (u < 0x80) {
            *d++ = char(u);
        } else if (u < 0x800) {
            *d++ = char(0xC0 | (u >> 6));
            *d++ = char(0x80 | (u & 0x3F));
        } else if (isHigh(u) && p < end && isLow(*p)) {
            const char32_t c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(*p++) - 0xDC00);
            *d++ = char(0xF0 | (c >> 18));
            *d++ = char(0x80 | ((c >> 12) & 0x3F));
            *d++ = char(0x80 | ((c >> 6) & 0x3F));
            *d++ = char(0x80 | (c & 0x3F));
        } else {
            const char16_t c = u >= 0xD800 && u <= 0xDFFF ? char16_t(0xFFFD) : u;
            *d++ = char(0xE0 | (c >> 12));
            *d++ = char(0x80 | ((c >> 6) & 0x3F));
            *d++ = char(0x80 | (c & 0x3F));
        }
    }
    return d;
}

// Where the parts of a large text begin: never between the halves of a pair.
std::vector<qsizetype> partBounds(const char16_t* units, qsizetype size)
{
    const std::size_t parts = parallelPartCount(std::size_t(size), std::size_t(2) << 20, 8);
    std::vector<qsizetype> bounds(parts + 1, size);
    bounds[0] = 0;
    for (std::size_t k = 1; k < parts; ++k) {
        qsizetype at = std::max(bounds[k - 1], qsizetype(double(size) * double(k) / double(parts)));
        if (at > 0 && at < size && isLow(units[at]) && isHigh(units[at - 1]))
            ++at;
        bounds[k] = at;
    }
    return bounds;
}

// Each part's place in the output, and the whole length at the end.
std::vector<qsizetype> partOffsets(const char16_t* units, const std::vector<qsizetype>& bounds)
{
    const std::size_t parts = bounds.size() - 1;
    std::vector<qsizetype> offsets(parts + 1, 0);
    runInParts(parts, [&](std::size_t k) { offsets[k + 1] = lengthOf(units + bounds[k], units + bounds[k + 1]); });
    for (std::size_t k = 0; k < parts; ++k)
        offsets[k + 1] += offsets[k];
    return offsets;
}

void encodeParts(const char16_t* units, const std::vector<qsizetype>& bounds, const std::vector<qsizetype>& offsets,
                 char* out)
{
    runInParts(bounds.size() - 1,
               [&](std::size_t k) { encodePart(units + bounds[k], units + bounds[k + 1], out + offsets[k]); });
}

}  // namespace

qsizetype Utf8Encoder::length(QStringView text)
{
    const std::vector<qsizetype> bounds = partBounds(text.utf16(), text.size());
    return partOffsets(text.utf16(), bounds).back();
}

void Utf8Encoder::encodeInto(QStringView text, char* out)
{
    const char16_t* units = text.utf16();
    const std::vector<qsizetype> bounds = partBounds(units, text.size());
    if (bounds.size() == 2) {
        encodePart(units, units + text.size(), out);
        return;
    }
    encodeParts(units, bounds, partOffsets(units, bounds), out);
}

QByteArray Utf8Encoder::encode(QStringView text)
{
    const char16_t* units = text.utf16();
    const std::vector<qsizetype> bounds = partBounds(units, text.size());
    const std::vector<qsizetype> offsets = partOffsets(units, bounds);
    QByteArray out = uninitializedBytes(offsets.back());
    encodeParts(units, bounds, offsets, out.data());
    return out;
}

}  // namespace korimado
