#include "search/engine/FoldedStartFilter.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace korimado {

namespace {

// Hiragana, katakana and the CJK ideographs: most of a Japanese text.
constexpr char16_t cjkFirst = 0x3040;
constexpr char16_t cjkLast = 0x9FFF;
// The ideographic space and punctuation (、。「」), short of the tone marks at U+302A.
constexpr char16_t punctuationFirst = 0x3000;
constexpr char16_t punctuationLast = 0x3029;

// The emoji planes' high surrogates (U+1F000 to U+1FBFF).
constexpr char16_t emojiHighFirst = 0xD83C;
constexpr char16_t emojiHighLast = 0xD83E;

bool inCjkRange(char16_t u)
{
    if (u >= punctuationFirst && u <= punctuationLast) return true;
    return u >= cjkFirst && u <= cjkLast && u != 0x3099 && u != 0x309A;  // the two voicing marks attach
}

}  // namespace

// Every BMP unit's fold under one mode, built once per process.
struct FoldedStartFilter::ModeTable {
    std::array<Unit, 65536> units;
    bool caseInsensitive = false;
    bool asciiSimple = false;  // ASCII folds to itself, or with case folding to lower case
    bool cjkSimple = false;    // every unit of the CJK range folds to one unit on its own
    bool emojiSimple = false;  // every code point of the emoji planes folds to itself on its own
};

namespace {

const FoldedStartFilter::ModeTable& modeTable(const TextFolding& folding)
{
    struct Slot {
        std::once_flag once;
        std::unique_ptr<FoldedStartFilter::ModeTable> table;
    };
    static Slot slots[16];
    Slot& slot = slots[folding.mode().index()];
    std::call_once(slot.once, [&] {
        auto table = std::make_unique<FoldedStartFilter::ModeTable>();
        table->caseInsensitive = folding.mode().caseInsensitive;
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char16_t u = char16_t(c);
            FoldedStartFilter::Unit& e = table->units[c];
            if (QChar::isSurrogate(u)) {
                e.special = true;
                continue;
            }
            const char16_t pair[2] = {u'a', u};
            const QString folded = folding.fold(QStringView(&u, 1));
            e.special = folded.isEmpty() || !folding.isSegmentStart(pair, 1, 2);
            if (!folded.isEmpty()) e.first = folded.at(0).unicode();
            if (folded.size() > 1) e.second = folded.at(1).unicode();
        }
        table->asciiSimple = true;
        for (char16_t u = 0; u < 0x80; ++u) {
            const FoldedStartFilter::Unit& e = table->units[u];
            const char16_t own = table->caseInsensitive && u >= u'A' && u <= u'Z' ? char16_t(u | 0x20) : u;
            if (e.special || e.second != 0 || e.first != own) table->asciiSimple = false;
        }
        table->cjkSimple = true;
        for (char16_t u = punctuationFirst; u <= cjkLast; ++u) {
            const FoldedStartFilter::Unit& e = table->units[u];
            if (inCjkRange(u) && (e.special || e.second != 0 || e.first == 0)) table->cjkSimple = false;
        }
        table->emojiSimple = true;
        for (char32_t c = 0x1F000; c < 0x1FC00 && table->emojiSimple; ++c) table->emojiSimple = folding.foldsToItself(c);
        slot.table = std::move(table);
    });
    return *slot.table;
}

}  // namespace

std::optional<FoldedStartFilter> FoldedStartFilter::make(const TextFolding& folding, QStringView foldedPattern)
{
    if (foldedPattern.size() < 2) return std::nullopt;
    FoldedStartFilter filter(folding);
    filter.table_ = &modeTable(folding);
    filter.first_ = foldedPattern[0].unicode();
    filter.second_ = foldedPattern[1].unicode();
    // CJK units begin nothing when neither of the two folds from one of them.
    filter.cjkQuiet_ = filter.table_->cjkSimple;
    for (char16_t u = punctuationFirst; filter.cjkQuiet_ && u <= cjkLast; ++u) {
        const char16_t f = filter.table_->units[u].first;
        if (inCjkRange(u) && (f == filter.first_ || f == filter.second_)) filter.cjkQuiet_ = false;
    }
    filter.emojiQuiet_ = filter.table_->emojiSimple && !QChar::isSurrogate(filter.first_) && !QChar::isSurrogate(filter.second_);
    return filter;
}

FoldedStartFilter::Unit FoldedStartFilter::codePointAt(const char16_t* text, qsizetype n, qsizetype i, int& length) const
{
    const char16_t u = text[i];
    length = 1;
    if (!QChar::isSurrogate(u)) return table_->units[u];
    if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text[i + 1])) {
        length = 2;
        if (folding_.foldsToItself(QChar::surrogateToUcs4(u, text[i + 1]))) return Unit{u, text[i + 1], false};
        return Unit{0, 0, true};
    }
    return Unit{u, 0, false};  // a lone surrogate stands for itself
}

// The same question where a surrogate is near: asked of code points, since most beyond the BMP
// (emoji) fold to themselves.
bool FoldedStartFilter::mayBeginAtCodePoints(const char16_t* text, qsizetype n, qsizetype i) const
{
    // No cluster begins inside a code point.
    if (QChar::isLowSurrogate(text[i]) && i > 0 && QChar::isHighSurrogate(text[i - 1])) return false;
    int la = 0;
    int lb = 0;
    int lc = 0;
    const Unit a = codePointAt(text, n, i, la);
    if (a.special) return true;
    const bool hasB = i + la < n;
    const Unit b = hasB ? codePointAt(text, n, i + la, lb) : Unit{};
    if (hasB && i + la + lb < n && codePointAt(text, n, i + la + lb, lc).special) return true;
    if (b.special) return true;
    if (a.first != first_) return false;
    if (a.second != 0) return a.second == second_;
    return hasB && b.first == second_;
}

bool FoldedStartFilter::mayBeginAt(const char16_t* text, qsizetype n, qsizetype i) const
{
    if (QChar::isSurrogate(text[i]) || (i + 1 < n && QChar::isSurrogate(text[i + 1]))
        || (i + 2 < n && QChar::isSurrogate(text[i + 2])))
        return mayBeginAtCodePoints(text, n, i);
    const Unit& a = table_->units[text[i]];
    if (a.special) return true;
    const Unit* b = i + 1 < n ? &table_->units[text[i + 1]] : nullptr;
    const Unit* c = i + 2 < n ? &table_->units[text[i + 2]] : nullptr;
    // A neighbour that folds with the unit before it makes a segment the table does not know.
    if ((b && b->special) || (c && c->special)) return true;
    if (a.first != first_) return false;
    if (a.second != 0) return a.second == second_;
    return b && b->first == second_;
}

// One block's starts, from the masks of it and the block after: two bits a unit, and starts names
// the low bit of each start. A start is quiet when it and the two after it are; the first that
// holds the pattern's first two units, or that stands beside something else and may begin an
// occurrence when asked on its own, is the answer; -1 for none.
qsizetype FoldedStartFilter::firstInBlock(const char16_t* text, qsizetype n, qsizetype i, std::uint64_t quiet,
                                          std::uint64_t first, std::uint64_t second, std::uint64_t starts) const
{
    const std::uint64_t all = quiet & quiet >> 2 & quiet >> 4 & starts;
    const std::uint64_t hit = first & second >> 2 & all;
    std::uint64_t look = (~all | hit) & starts;
    while (look) {
        const int bit = __builtin_ctzll(look);
        if ((hit >> bit) & 1) return i + bit / 2;
        if (!((all >> bit) & 1) && mayBeginAt(text, n, i + bit / 2)) return i + bit / 2;
        look &= look - 1;
    }
    return -1;
}

#if defined(__x86_64__)
namespace {

struct WideConstants {
    __m256i highBits, zero, capitalA, letters, lowerBit, cjkBase, cjkSpan, punctuationBase, punctuationSpan, mark1,
        mark2, emojiBase, emojiSpan, surrogateBits, lowSurrogate, p0, p1;
};

__attribute__((target("avx2"), always_inline)) inline __m256i within(__m256i v, __m256i base, __m256i span,
                                                                     __m256i zero)
{
    return _mm256_cmpeq_epi16(_mm256_subs_epu16(_mm256_sub_epi16(v, base), span), zero);
}

// The masks of sixteen units, two bits a unit: quiet, folding to the pattern's first unit, to its second.
__attribute__((target("avx2"), always_inline)) inline void wideMasks(const WideConstants& k, const char16_t* at,
                                                                    bool fold, bool cjkQuiet, bool emojiQuiet,
                                                                    std::uint32_t& q, std::uint32_t& f,
                                                                    std::uint32_t& s)
{
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i ascii = _mm256_cmpeq_epi16(_mm256_and_si256(v, k.highBits), k.zero);
    __m256i ok = ascii;
    if (cjkQuiet) {
        const __m256i inRange = _mm256_or_si256(within(v, k.cjkBase, k.cjkSpan, k.zero),
                                                within(v, k.punctuationBase, k.punctuationSpan, k.zero));
        const __m256i mark = _mm256_or_si256(_mm256_cmpeq_epi16(v, k.mark1), _mm256_cmpeq_epi16(v, k.mark2));
        ok = _mm256_or_si256(ok, _mm256_andnot_si256(mark, inRange));
    }
    if (emojiQuiet) {
        ok = _mm256_or_si256(ok, within(v, k.emojiBase, k.emojiSpan, k.zero));
        ok = _mm256_or_si256(ok, _mm256_cmpeq_epi16(_mm256_and_si256(v, k.surrogateBits), k.lowSurrogate));
    }
    __m256i w = v;
    if (fold) w = _mm256_or_si256(v, _mm256_and_si256(within(v, k.capitalA, k.letters, k.zero), k.lowerBit));
    q = std::uint32_t(_mm256_movemask_epi8(ok));
    f = std::uint32_t(_mm256_movemask_epi8(_mm256_and_si256(ascii, _mm256_cmpeq_epi16(w, k.p0))));
    s = std::uint32_t(_mm256_movemask_epi8(_mm256_and_si256(ascii, _mm256_cmpeq_epi16(w, k.p1))));
}

}  // namespace

__attribute__((target("avx2"))) qsizetype FoldedStartFilter::nextWide(const char16_t* text, qsizetype n,
                                                                     qsizetype& i) const
{
    const WideConstants k{_mm256_set1_epi16(short(0xFF80)),
                          _mm256_setzero_si256(),
                          _mm256_set1_epi16(u'A'),
                          _mm256_set1_epi16(25),
                          _mm256_set1_epi16(0x20),
                          _mm256_set1_epi16(short(cjkFirst)),
                          _mm256_set1_epi16(short(cjkLast - cjkFirst)),
                          _mm256_set1_epi16(short(punctuationFirst)),
                          _mm256_set1_epi16(short(punctuationLast - punctuationFirst)),
                          _mm256_set1_epi16(short(0x3099)),
                          _mm256_set1_epi16(short(0x309A)),
                          _mm256_set1_epi16(short(emojiHighFirst)),
                          _mm256_set1_epi16(short(emojiHighLast - emojiHighFirst)),
                          _mm256_set1_epi16(short(0xFC00)),
                          _mm256_set1_epi16(short(0xDC00)),
                          _mm256_set1_epi16(short(first_)),
                          _mm256_set1_epi16(short(second_))};
    const bool fold = table_->caseInsensitive;
    const bool cjkQuiet = cjkQuiet_;
    const bool emojiQuiet = emojiQuiet_;
    if (i + 32 > n) return -1;
    std::uint32_t q0, f0, s0;
    wideMasks(k, text + i, fold, cjkQuiet, emojiQuiet, q0, f0, s0);
    for (; i + 32 <= n; i += 16) {
        std::uint32_t q1, f1, s1;
        wideMasks(k, text + i + 16, fold, cjkQuiet, emojiQuiet, q1, f1, s1);
        const qsizetype found = firstInBlock(text, n, i, std::uint64_t(q0) | std::uint64_t(q1) << 32,
                                             std::uint64_t(f0) | std::uint64_t(f1) << 32,
                                             std::uint64_t(s0) | std::uint64_t(s1) << 32, 0x55555555u);
        if (found >= 0) return found;
        q0 = q1;
        f0 = f1;
        s0 = s1;
    }
    return -1;
}
#endif

qsizetype FoldedStartFilter::next(const char16_t* text, qsizetype n, qsizetype from) const
{
    qsizetype i = from;
#if defined(__SSE2__)
    // Blocks of ASCII and CJK units fold unit by unit: eight starts compared at once.
    const bool cjkQuiet = cjkQuiet_;
    const bool emojiQuiet = emojiQuiet_;
    if (table_->asciiSimple) {
#if defined(__x86_64__)
        static const bool wide = __builtin_cpu_supports("avx2");
        if (wide) {
            const qsizetype found = nextWide(text, n, i);
            if (found >= 0) return found;
        }
#endif
        const __m128i highBits = _mm_set1_epi16(short(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        const __m128i capitalA = _mm_set1_epi16(u'A');
        const __m128i letters = _mm_set1_epi16(25);
        const __m128i lowerBit = _mm_set1_epi16(0x20);
        const __m128i cjkBase = _mm_set1_epi16(short(cjkFirst));
        const __m128i cjkSpan = _mm_set1_epi16(short(cjkLast - cjkFirst));
        const __m128i punctuationBase = _mm_set1_epi16(short(punctuationFirst));
        const __m128i punctuationSpan = _mm_set1_epi16(short(punctuationLast - punctuationFirst));
        const __m128i mark1 = _mm_set1_epi16(short(0x3099));
        const __m128i mark2 = _mm_set1_epi16(short(0x309A));
        const __m128i emojiBase = _mm_set1_epi16(short(emojiHighFirst));
        const __m128i emojiSpan = _mm_set1_epi16(short(emojiHighLast - emojiHighFirst));
        const __m128i surrogateBits = _mm_set1_epi16(short(0xFC00));
        const __m128i lowSurrogate = _mm_set1_epi16(short(0xDC00));
        const __m128i p0 = _mm_set1_epi16(short(first_));
        const __m128i p1 = _mm_set1_epi16(short(second_));
        const bool fold = table_->caseInsensitive;
        const auto ascii = [&](__m128i v) __attribute__((always_inline)) { return _mm_cmpeq_epi16(_mm_and_si128(v, highBits), zero); };
        const auto quiet = [&](__m128i v) __attribute__((always_inline)) {
            __m128i ok = ascii(v);
            if (cjkQuiet) {
                const __m128i inRange = _mm_or_si128(
                    _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, cjkBase), cjkSpan), zero),
                    _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, punctuationBase), punctuationSpan), zero));
                const __m128i mark = _mm_or_si128(_mm_cmpeq_epi16(v, mark1), _mm_cmpeq_epi16(v, mark2));
                ok = _mm_or_si128(ok, _mm_andnot_si128(mark, inRange));
            }
            // A low surrogate begins nothing, and its high one decides for the pair.
            if (emojiQuiet) {
                ok = _mm_or_si128(ok, _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, emojiBase), emojiSpan), zero));
                ok = _mm_or_si128(ok, _mm_cmpeq_epi16(_mm_and_si128(v, surrogateBits), lowSurrogate));
            }
            return ok;
        };
        const auto folded = [&](__m128i v) __attribute__((always_inline)) {
            if (!fold) return v;
            const __m128i capital = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, capitalA), letters), zero);
            return _mm_or_si128(v, _mm_and_si128(capital, lowerBit));
        };
        // Each unit is classed once: a block's masks, and the next block's for the two units
        // after its last start.
        const auto masks = [&](qsizetype at, unsigned& q, unsigned& f, unsigned& s) __attribute__((always_inline)) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
            const __m128i a = ascii(v);
            const __m128i w = folded(v);
            q = unsigned(_mm_movemask_epi8(quiet(v)));
            f = unsigned(_mm_movemask_epi8(_mm_and_si128(a, _mm_cmpeq_epi16(w, p0))));
            s = unsigned(_mm_movemask_epi8(_mm_and_si128(a, _mm_cmpeq_epi16(w, p1))));
        };
        if (i + 16 <= n) {
            unsigned q0, f0, s0;
            masks(i, q0, f0, s0);
            for (; i + 16 <= n; i += 8) {
                unsigned q1, f1, s1;
                masks(i + 8, q1, f1, s1);
                const qsizetype found = firstInBlock(text, n, i, q0 | q1 << 16, f0 | f1 << 16, s0 | s1 << 16, 0x5555u);
                if (found >= 0) return found;
                q0 = q1;
                f0 = f1;
                s0 = s1;
            }
        }
    }
#endif
    for (; i < n; ++i) {
        if (mayBeginAt(text, n, i)) return i;
    }
    return n;
}

}  // namespace korimado
