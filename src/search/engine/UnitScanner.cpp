#include "search/engine/UnitScanner.h"

#include "search/engine/RegexLiterals.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

bool isAsciiLetter(char16_t u)
{
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

#if defined(__SSE2__)
inline __m128i load(const char16_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// One bit per unit of a 16-bit lane comparison.
inline unsigned unitMask(__m128i eq)
{
    return unsigned(_mm_movemask_epi8(eq)) & 0x5555u;
}
#endif

}  // namespace

UnitScanner::UnitScanner(QStringView literal, bool asciiCaseInsensitive)
{
    units_.reserve(size_t(literal.size()));
    masks_.reserve(size_t(literal.size()));
    for (QChar c : literal) {
        const char16_t u = c.unicode();
        const bool fold = asciiCaseInsensitive && isAsciiLetter(u);
        units_.push_back(fold ? char16_t(u | 0x20) : u);
        masks_.push_back(fold ? char16_t(0x20) : char16_t(0));
    }
}

bool UnitScanner::matchesAt(const char16_t* at) const
{
    const size_t m = units_.size();
    for (size_t k = 0; k < m; ++k) {
        if (char16_t(at[k] | masks_[k]) != units_[k]) return false;
    }
    return true;
}

qsizetype UnitScanner::find(const char16_t* text, qsizetype n, qsizetype from) const
{
    const qsizetype m = length();
    if (m == 0 || from < 0) return -1;
    const qsizetype last = m - 1;
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i firstUnit = _mm_set1_epi16(short(units_.front()));
    const __m128i firstMask = _mm_set1_epi16(short(masks_.front()));
    const __m128i lastUnit = _mm_set1_epi16(short(units_.back()));
    const __m128i lastMask = _mm_set1_epi16(short(masks_.back()));
    for (; i + last + 8 <= n; i += 8) {
        const __m128i a = _mm_cmpeq_epi16(_mm_or_si128(load(text + i), firstMask), firstUnit);
        const __m128i b = _mm_cmpeq_epi16(_mm_or_si128(load(text + i + last), lastMask), lastUnit);
        unsigned bits = unitMask(_mm_and_si128(a, b));
        while (bits) {
            const int k = __builtin_ctz(bits) / 2;
            if (matchesAt(text + i + k)) return i + k;
            bits &= bits - 1;
        }
    }
#endif
    for (; i + m <= n; ++i) {
        if (char16_t(text[i] | masks_.front()) == units_.front() && matchesAt(text + i)) return i;
    }
    return -1;
}

qsizetype UnitScanner::findUnit(const char16_t* text, qsizetype n, qsizetype from, char16_t a, char16_t b)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi16(short(a));
    const __m128i vb = _mm_set1_epi16(short(b));
    for (; i + 8 <= n; i += 8) {
        const __m128i x = load(text + i);
        const unsigned bits = unitMask(_mm_or_si128(_mm_cmpeq_epi16(x, va), _mm_cmpeq_epi16(x, vb)));
        if (bits) return i + __builtin_ctz(bits) / 2;
    }
#endif
    for (; i < n; ++i) {
        if (text[i] == a || text[i] == b) return i;
    }
    return n;
}

qsizetype UnitScanner::findLineTerminator(const char16_t* text, qsizetype n, qsizetype from)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi16(0x0A);
    const __m128i three = _mm_set1_epi16(3);
    const __m128i zero = _mm_setzero_si128();
    const __m128i nel = _mm_set1_epi16(0x85);
    const __m128i evenMask = _mm_set1_epi16(short(0xFFFE));
    const __m128i separators = _mm_set1_epi16(0x2028);
    for (; i + 8 <= n; i += 8) {
        const __m128i x = load(text + i);
        // x - 0x0A is 0..3 exactly for LF, VT, FF and CR.
        const __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(x, lf), three), zero);
        const __m128i other = _mm_or_si128(_mm_cmpeq_epi16(x, nel), _mm_cmpeq_epi16(_mm_and_si128(x, evenMask), separators));
        const unsigned bits = unitMask(_mm_or_si128(control, other));
        if (bits) return i + __builtin_ctz(bits) / 2;
    }
#endif
    for (; i < n; ++i) {
        if (RegexLiterals::isLineTerminator(text[i])) return i;
    }
    return n;
}

}  // namespace korimado
