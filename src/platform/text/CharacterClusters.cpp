#include "platform/text/CharacterClusters.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <array>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

// BMP units whose break class is Other, Control or LF. Between two of them every break rule
// but the last needs a unit of another class on one side (CR, Extend, ZWJ, SpacingMark, Prepend,
// Hangul, regional indicators, a surrogate), so a character always ends between them: kana,
// kanji, Latin, Cyrillic… go without the break iterator.
class SimpleUnits {
public:
    SimpleUnits()
    {
        for (UChar32 c = 0; c < 0x10000; ++c) {
            if (U_IS_SURROGATE(c))
                continue;
            const int kind = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
            if (kind == U_GCB_OTHER || kind == U_GCB_CONTROL || kind == U_GCB_LF)
                bits_[size_t(c) >> 6] |= std::uint64_t(1) << (c & 63);
        }
    }
    bool contains(char16_t unit) const { return (bits_[unit >> 6] >> (unit & 63)) & 1; }

private:
    std::array<std::uint64_t, 1024> bits_{};
};

const SimpleUnits& simpleUnits()
{
    static const SimpleUnits units;
    return units;
}

#ifdef __SSE2__
// Ranges checked eight units at a time: Latin before the combining marks (CR aside), CJK
// punctuation, hiragana and katakana around their combining marks, the ideographs, and the
// full-width forms before the half-width voicing marks. Used only if the break properties say
// every unit in them is simple.
struct UnitRange {
    char16_t first;
    char16_t end;
};
constexpr UnitRange fastRanges[] = {{0x0000, 0x0300}, {0x3000, 0x302A}, {0x3030, 0x3099}, {0x309B, 0xA000}, {0xFF01, 0xFF9E}};

bool fastRangesAreSimple()
{
    const SimpleUnits& simple = simpleUnits();
    for (const UnitRange& range : fastRanges)
        for (char32_t c = range.first; c < range.end; ++c)
            if (c != u'\r' && !simple.contains(char16_t(c)))
                return false;
    return true;
}

bool eightInFastRanges(const char16_t* units)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    const __m128i zero = _mm_setzero_si128();
    __m128i in = zero;
    for (const UnitRange& range : fastRanges) {
        // v - first below end - first, as unsigned 16-bit lanes: saturating subtraction leaves 0.
        const __m128i offset = _mm_sub_epi16(v, _mm_set1_epi16(short(range.first)));
        in = _mm_or_si128(in, _mm_cmpeq_epi16(_mm_subs_epu16(offset, _mm_set1_epi16(short(range.end - range.first - 1))), zero));
    }
    const __m128i cr = _mm_cmpeq_epi16(v, _mm_set1_epi16(0x0D));
    return _mm_movemask_epi8(_mm_andnot_si128(cr, in)) == 0xFFFF;
}
#endif

}  // namespace

bool CharacterClusters::endsBetween(char16_t a, char16_t b)
{
    const SimpleUnits& simple = simpleUnits();
    return simple.contains(a) && simple.contains(b);
}

CharacterClusters::CharacterClusters(QStringView text) : text_(text), utext_(nullptr, utext_close) {}

CharacterClusters::~CharacterClusters() = default;

qsizetype CharacterClusters::next(qsizetype offset)
{
    const qsizetype length = text_.size();
    if (offset >= length)
        return length;
    static const SimpleUnits& simple = simpleUnits();
    const char16_t unit = text_[offset].unicode();
    if (unit < 0x80) {
        if (offset + 1 == length)
            return length;
        const char16_t following = text_[offset + 1].unicode();
        if (following < 0x80)
            return offset + (unit == u'\r' && following == u'\n' ? 2 : 1);
    }
    if (offset + 1 < length && simple.contains(unit) && simple.contains(text_[offset + 1].unicode()))
        return offset + 1;
    if (!iterator_) {
        UErrorCode status = U_ZERO_ERROR;
        utext_.reset(utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text_.utf16()), length, &status));
        iterator_.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !iterator_ || !utext_) {
            iterator_.reset();
            return offset + 1;
        }
        iterator_->setText(utext_.get(), status);
    }
    const int32_t end = iterator_->following(int32_t(offset));
    return end == icu::BreakIterator::DONE ? length : end;
}

qsizetype CharacterClusters::count(QStringView text)
{
    const SimpleUnits& simple = simpleUnits();
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype length = text.size();
    CharacterClusters characters(text);
    qsizetype count = 0;
#ifdef __SSE2__
    static const bool fast = fastRangesAreSimple();
#endif
    for (qsizetype at = 0; at < length; ++count) {
#ifdef __SSE2__
        // Eight simple units followed by a simple one are eight characters.
        if (fast && at + 9 <= length && eightInFastRanges(units + at) && simple.contains(units[at + 8])) {
            count += 7;
            at += 8;
            continue;
        }
#endif
        // The common run first, without a call per unit.
        if (at + 1 < length && simple.contains(units[at]) && simple.contains(units[at + 1])) {
            ++at;
            continue;
        }
        at = characters.next(at);
    }
    return count;
}

qsizetype CharacterClusters::offset(QStringView text, qsizetype characters)
{
    CharacterClusters walker(text);
    qsizetype at = 0;
    for (qsizetype i = 0; i < characters && at < text.size(); ++i)
        at = walker.next(at);
    return at;
}

}  // namespace korimado
