#include "platform/foundation/Utf8Decoder.h"

#include "platform/foundation/MemoryAdvice.h"
#include "platform/foundation/ParallelParts.h"

#include <algorithm>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

bool isContinuation(uchar b) { return (b & 0xC0) == 0x80; }

// Copies the ASCII run at the front of [p, end) to d, widening each byte; returns the bytes copied.
qsizetype widenAscii(const uchar* p, const uchar* end, char16_t* d)
{
    const uchar* const start = p;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int high = _mm_movemask_epi8(chunk);
        if (high != 0) {
            // Widen the ASCII bytes before the first non-ASCII one.
            const int n = __builtin_ctz(static_cast<unsigned>(high));
            for (int i = 0; i < n; ++i) d[i] = p[i];
            return (p - start) + n;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(chunk, zero));
        p += 16;
        d += 16;
    }
#endif
    while (p < end && *p < 0x80) *d++ = *p++;
    return p - start;
}


// UTF-16 units of well-formed UTF-8: one per byte that is not a continuation byte (as signed
// bytes, continuation bytes are -128 to -65), one more per four-byte lead (-16 to -1).
qsizetype utf16LengthOfUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const signed char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype units = 0;
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i notContinuation = _mm_set1_epi8(-65);
    const __m128i fourByteLead = _mm_set1_epi8(-17);
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        // Each lane counts at most 2 per block of 16 bytes: flush before 8-bit lanes overflow.
        __m128i counts = zero;
        for (int round = 0; round < 120 && i + 16 <= n; ++round, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            counts = _mm_sub_epi8(counts, _mm_cmpgt_epi8(v, notContinuation));
            counts = _mm_sub_epi8(counts, _mm_and_si128(_mm_cmpgt_epi8(v, fourByteLead), _mm_cmplt_epi8(v, zero)));
        }
        const __m128i sums = _mm_sad_epu8(counts, zero);
        units += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    }
#endif
    for (; i < n; ++i) units += (p[i] > -65) + (p[i] > -17 && p[i] < 0);
    return units;
}

// Decodes [p, end) into d and returns the end of what it wrote, or nullptr at the first malformed
// sequence: shortest forms only, no surrogates, nothing past U+10FFFF.
char16_t* decodeUtf8Into(const uchar* p, const uchar* const end, char16_t* d)
{
    while (p < end) {
        const uchar b0 = *p;
        if (b0 < 0x80) {
            const qsizetype n = widenAscii(p, end, d);
            p += n;
            d += n;
            continue;
        }
        if (b0 < 0xC2) return nullptr;
        if (b0 < 0xE0) {
            if (end - p < 2 || !isContinuation(p[1])) return nullptr;
            *d++ = static_cast<char16_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if (b0 < 0xF0) {
            if (end - p < 3 || !isContinuation(p[1]) || !isContinuation(p[2])) return nullptr;
            if ((b0 == 0xE0 && p[1] < 0xA0) || (b0 == 0xED && p[1] >= 0xA0)) return nullptr;
            *d++ = static_cast<char16_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else if (b0 < 0xF5) {
            if (end - p < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) || !isContinuation(p[3])) {
                return nullptr;
            }
            if ((b0 == 0xF0 && p[1] < 0x90) || (b0 == 0xF4 && p[1] >= 0x90)) return nullptr;
            const char32_t cp = (char32_t(b0 & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12)
                | (char32_t(p[2] & 0x3F) << 6) | char32_t(p[3] & 0x3F);
            *d++ = QChar::highSurrogate(cp);
            *d++ = QChar::lowSurrogate(cp);
            p += 4;
        } else {
            return nullptr;
        }
    }
    return d;
}

}  // namespace

std::optional<QString> Utf8Decoder::decode(QByteArrayView bytes)
{
    // Exactly the units a well-formed text makes: one per byte that is not a continuation byte, two
    // for a four-byte sequence. The text is kept as long as the document is open, so it must not
    // carry the slack of a worst-case buffer; a malformed sequence fails before it writes anything.
    //
    // A large file is cut into parts that each begin at a byte that is no continuation byte, so
    // that every sequence lies whole in one part (a malformed one fails there as it would in one
    // pass), and the parts are counted and then decoded, each into its place, at the same time.
    const uchar* const data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype size = bytes.size();
    const size_t parts = parallelPartCount(size_t(size), size_t(4) << 20, 8);
    if (parts > 1) {
        // Most text that is not UTF-8 shows it early (detection tries UTF-8 first): fail at once
        // on the head rather than after counting and decoding everything.
        constexpr qsizetype head = 64 * 1024;
        qsizetype cut = head;
        while (cut < size && isContinuation(data[cut])) ++cut;
        std::vector<char16_t> scratch(size_t(cut) + 1);
        if (!decodeUtf8Into(data, data + cut, scratch.data())) return std::nullopt;
    }
    std::vector<qsizetype> bounds(parts + 1, size);
    bounds[0] = 0;
    for (size_t k = 1; k < parts; ++k) {
        qsizetype at = std::max(bounds[k - 1], qsizetype(double(size) * double(k) / double(parts)));
        while (at < size && isContinuation(data[at])) ++at;
        bounds[k] = at;
    }
    std::vector<qsizetype> offsets(parts + 1, 0);
    runInParts(parts, [&](size_t k) {
        offsets[k + 1] = utf16LengthOfUtf8(bytes.sliced(bounds[k], bounds[k + 1] - bounds[k]));
    });
    for (size_t k = 0; k < parts; ++k) offsets[k + 1] += offsets[k];

    QString out(offsets[parts], Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    // Fewer page faults for the largest strings, each of which is touched here first.
    if (out.size() >= (qsizetype(1) << 20)) adviseLargeBuffer(begin, size_t(out.size()) * sizeof(char16_t));
    std::vector<char> ok(parts, 0);
    runInParts(parts, [&](size_t k) {
        const char16_t* written = decodeUtf8Into(data + bounds[k], data + bounds[k + 1], begin + offsets[k]);
        ok[k] = written == begin + offsets[k + 1];
    });
    for (char each : ok)
        if (!each) return std::nullopt;
    return out;
}

}  // namespace korimado
