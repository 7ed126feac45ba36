#include "platform/wire/Utf8Validation.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KORIMADO_UTF8_AVX2 1
#endif

namespace korimado::wire {

bool isWellFormedUtf8Scalar(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes at a time: most text is mostly ASCII.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // Most of Japanese: three bytes led by none of the leads with narrower second bytes.
        if (c >= 0xE1 && c <= 0xEF && c != 0xED && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
            i += 3;
            continue;
        }
        std::size_t extra;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) low = 0xA0;        // overlong
            else if (c == 0xED) high = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) low = 0x90;        // overlong
            else if (c == 0xF4) high = 0x8F;  // past U+10FFFF
        } else {
            return false;
        }
        if (n - i <= extra || p[i + 1] < low || p[i + 1] > high)
            return false;
        for (std::size_t k = 2; k <= extra; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

#ifdef KORIMADO_UTF8_AVX2
namespace {

// Each pair of neighbouring bytes is classed by three table lookups (the first byte's high and low
// nibble, the second byte's high nibble); a bit left in all three marks an error. Where a byte
// must be the second or third continuation of a lead two or three bytes back, the one error bit
// that two continuations set is expected instead.
constexpr std::uint8_t tooShort = 1 << 0;     // a lead not followed by a continuation
constexpr std::uint8_t tooLong = 1 << 1;      // ASCII followed by a continuation
constexpr std::uint8_t overlong3 = 1 << 2;    // E0 80..9F
constexpr std::uint8_t tooLarge = 1 << 3;     // F4 90..BF, F5..FF
constexpr std::uint8_t surrogate = 1 << 4;    // ED A0..BF
constexpr std::uint8_t overlong2 = 1 << 5;    // C0, C1
constexpr std::uint8_t tooLarge1000 = 1 << 6; // F5..FF 80..8F
constexpr std::uint8_t overlong4 = 1 << 6;    // F0 80..8F
constexpr std::uint8_t twoContinuations = 1 << 7;
constexpr std::uint8_t carry = tooShort | tooLong | twoContinuations;

__attribute__((target("avx2"))) __m256i table(const std::uint8_t (&t)[16])
{
    const __m128i half = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
    return _mm256_broadcastsi128_si256(half);
}

// The input shifted by n bytes, the previous block's last bytes coming in at the front.
template <int n>
__attribute__((target("avx2"))) __m256i previous(__m256i input, __m256i before)
{
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(before, input, 0x21), 16 - n);
}

struct Tables {
    __m256i firstHigh;
    __m256i firstLow;
    __m256i secondHigh;
};

// The error bits of one block, given the block before it.
__attribute__((target("avx2"))) inline __m256i blockErrors(const Tables& tables, __m256i input, __m256i before)
{
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i prev1 = previous<1>(input, before);
    const __m256i a = _mm256_shuffle_epi8(tables.firstHigh, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), nibble));
    const __m256i b = _mm256_shuffle_epi8(tables.firstLow, _mm256_and_si256(prev1, nibble));
    const __m256i c = _mm256_shuffle_epi8(tables.secondHigh, _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble));
    const __m256i special = _mm256_and_si256(_mm256_and_si256(a, b), c);
    const __m256i third = _mm256_subs_epu8(previous<2>(input, before), _mm256_set1_epi8(char(0xE0 - 0x80)));
    const __m256i fourth = _mm256_subs_epu8(previous<3>(input, before), _mm256_set1_epi8(char(0xF0 - 0x80)));
    const __m256i expected = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
    return _mm256_xor_si256(expected, special);
}

__attribute__((target("avx2"))) bool checkVector(const unsigned char* p, std::size_t n)
{
    static constexpr std::uint8_t firstHigh[16] = {
        tooLong, tooLong, tooLong, tooLong, tooLong, tooLong, tooLong, tooLong,
        twoContinuations, twoContinuations, twoContinuations, twoContinuations,
        tooShort | overlong2, tooShort, tooShort | overlong3 | surrogate,
        tooShort | tooLarge | tooLarge1000 | overlong4};
    static constexpr std::uint8_t firstLow[16] = {
        carry | overlong3 | overlong2 | overlong4, carry | overlong2, carry, carry,
        carry | tooLarge, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
        carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
        carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
        carry | tooLarge | tooLarge1000 | surrogate, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000};
    static constexpr std::uint8_t secondHigh[16] = {
        tooShort, tooShort, tooShort, tooShort, tooShort, tooShort, tooShort, tooShort,
        tooLong | overlong2 | twoContinuations | overlong3 | tooLarge1000 | overlong4,
        tooLong | overlong2 | twoContinuations | overlong3 | tooLarge,
        tooLong | overlong2 | twoContinuations | surrogate | tooLarge,
        tooLong | overlong2 | twoContinuations | surrogate | tooLarge,
        tooShort, tooShort, tooShort, tooShort};
    const Tables tables{table(firstHigh), table(firstLow), table(secondHigh)};
    __m256i before = _mm256_setzero_si256();
    __m256i errors = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        // A block of ASCII after a block that ends complete holds no error.
        if (_mm256_movemask_epi8(_mm256_or_si256(input, before)) == 0) {
            before = input;
            continue;
        }
        errors = _mm256_or_si256(errors, blockErrors(tables, input, before));
        before = input;
        if ((i & 4095) == 0 && !_mm256_testz_si256(errors, errors))
            return false;
    }
    // The rest padded with ASCII zeros, and always one such block: at least one zero follows the
    // last byte, so a sequence cut at the end is a lead or a continuation followed by ASCII.
    unsigned char last[32] = {};
    if (n > i)
        std::memcpy(last, p + i, n - i);
    const __m256i tail = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(last));
    errors = _mm256_or_si256(errors, blockErrors(tables, tail, before));
    return _mm256_testz_si256(errors, errors);
}

}  // namespace
#endif

bool hasVectorUtf8Check()
{
#ifdef KORIMADO_UTF8_AVX2
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

bool isWellFormedUtf8Vector(std::string_view bytes)
{
#ifdef KORIMADO_UTF8_AVX2
    if (hasVectorUtf8Check())
        return checkVector(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
#endif
    return isWellFormedUtf8Scalar(bytes);
}

bool isWellFormedUtf8(std::string_view bytes)
{
    // Short texts: setting up the tables costs more than it saves.
    return bytes.size() < 64 ? isWellFormedUtf8Scalar(bytes) : isWellFormedUtf8Vector(bytes);
}

}  // namespace korimado::wire
