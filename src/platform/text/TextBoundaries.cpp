#include "platform/text/TextBoundaries.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace korimado {

namespace {

constexpr qsizetype kGraphemeMargin = 256;
constexpr qsizetype kWordMargin = 4096;
constexpr qsizetype kScanChunk = 4096;

// One iterator of each kind per thread: creating them costs far more than re-targeting them.
icu::BreakIterator* sharedIterator(bool words)
{
    thread_local std::unique_ptr<icu::BreakIterator> characters;
    thread_local std::unique_ptr<icu::BreakIterator> wordIterator;
    auto& slot = words ? wordIterator : characters;
    if (!slot) {
        UErrorCode status = U_ZERO_ERROR;
        slot.reset(words ? icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status)
                         : icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status))
            slot.reset();
    }
    return slot.get();
}

// Points an iterator at text for the duration of one query; the iterator keeps a shallow clone.
class IteratorScope {
public:
    IteratorScope(bool words, const QString& text) : it_(sharedIterator(words))
    {
        if (!it_)
            return;
        UErrorCode status = U_ZERO_ERROR;
        UText* ut = utext_openUChars(&text_, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
        it_->setText(ut, status);
        if (U_FAILURE(status))
            it_ = nullptr;
    }
    ~IteratorScope() { utext_close(&text_); }
    IteratorScope(const IteratorScope&) = delete;
    IteratorScope& operator=(const IteratorScope&) = delete;

    icu::BreakIterator* operator->() const { return it_; }
    explicit operator bool() const { return it_ != nullptr; }

private:
    UText text_ = UTEXT_INITIALIZER;
    icu::BreakIterator* it_;
};

bool isWordStatus(int32_t status) { return status >= UBRK_WORD_NONE_LIMIT; }

// Segment ends of a word iteration with whether the segment before each end is a word.
struct Segment {
    qsizetype start;
    qsizetype end;
    bool word;
};

std::vector<Segment> wordSegments(const QString& text)
{
    std::vector<Segment> segments;
    IteratorScope it(true, text);
    if (!it)
        return segments;
    qsizetype previous = it->first();
    for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next()) {
        segments.push_back({previous, b, isWordStatus(it->getRuleStatus())});
        previous = b;
    }
    return segments;
}

}  // namespace

TextBoundaries::TextBoundaries(qsizetype length, Fetch fetch) : length_(length), fetch_(std::move(fetch)) {}

TextBoundaries::TextBoundaries(const QString& text)
    : length_(text.size()), fetch_([text](qsizetype from, qsizetype to) { return text.mid(from, to - from); })
{
}

TextBoundaries::Window TextBoundaries::window(qsizetype from, qsizetype to) const
{
    from = clamp(from);
    to = clamp(to);
    // Never start a window on the second half of a surrogate pair.
    if (from > 0 && QChar::isLowSurrogate(fetch_(from, from + 1).at(0).unicode()))
        --from;
    return {from, fetch_(from, to)};
}

qsizetype TextBoundaries::previousGrapheme(qsizetype pos) const
{
    pos = clamp(pos);
    if (pos == 0)
        return 0;
    const Window w = window(pos - kGraphemeMargin, pos + 2);
    IteratorScope it(false, w.text);
    if (!it)
        return pos - 1;
    const int32_t local = static_cast<int32_t>(pos - w.start);
    if (!it->isBoundary(local)) {
        // Inside a cluster: its start. preceding() would align a split pair downwards first.
        if (it->following(local) == icu::BreakIterator::DONE)
            return pos - 1;
        return w.start + it->previous();
    }
    const int32_t r = it->preceding(local);
    return r == icu::BreakIterator::DONE ? w.start : w.start + r;
}

qsizetype TextBoundaries::nextGrapheme(qsizetype pos) const
{
    pos = clamp(pos);
    if (pos >= length_)
        return length_;
    const Window w = window(pos - kGraphemeMargin, pos + kGraphemeMargin);
    IteratorScope it(false, w.text);
    if (!it)
        return pos + 1;
    const int32_t r = it->following(static_cast<int32_t>(pos - w.start));
    return r == icu::BreakIterator::DONE ? w.start + w.text.size() : w.start + r;
}

qsizetype TextBoundaries::graphemeStart(qsizetype pos) const
{
    pos = clamp(pos);
    if (pos == 0 || pos == length_)
        return pos;
    const Window w = window(pos - kGraphemeMargin, pos + kGraphemeMargin);
    IteratorScope it(false, w.text);
    if (!it)
        return pos;
    const int32_t local = static_cast<int32_t>(pos - w.start);
    if (it->isBoundary(local))
        return pos;
    // preceding() would first align an offset inside a surrogate pair downwards.
    if (it->following(local) == icu::BreakIterator::DONE)
        return pos;
    const int32_t r = it->previous();
    return r == icu::BreakIterator::DONE ? w.start : w.start + r;
}

TextRange TextBoundaries::wordRange(qsizetype pos) const
{
    if (length_ == 0)
        return {0, 0};
    pos = clamp(pos);
    if (pos == length_)
        --pos;
    const Window w = window(pos - kWordMargin, pos + kWordMargin);
    const qsizetype local = pos - w.start;
    for (const Segment& s : wordSegments(w.text)) {
        if (local >= s.start && local < s.end)
            return {w.start + s.start, s.end - s.start};
    }
    return {pos, nextGrapheme(pos) - pos};
}

qsizetype TextBoundaries::previousWordStart(qsizetype pos) const
{
    pos = clamp(pos);
    if (pos == 0)
        return 0;
    const Window w = window(pos - kWordMargin, pos);
    const std::vector<Segment> segments = wordSegments(w.text);
    for (auto s = segments.rbegin(); s != segments.rend(); ++s) {
        if (s->word)
            return w.start + s->start;
    }
    return w.start;
}

qsizetype TextBoundaries::nextWordEnd(qsizetype pos) const
{
    pos = clamp(pos);
    if (pos >= length_)
        return length_;
    const Window w = window(pos - kGraphemeMargin, pos + kWordMargin);
    const qsizetype local = pos - w.start;
    for (const Segment& s : wordSegments(w.text)) {
        if (s.end > local && s.word)
            return w.start + s.end;
    }
    return w.start + w.text.size();
}

qsizetype TextBoundaries::paragraphStart(qsizetype pos) const
{
    pos = clamp(pos);
    // A position between CR and LF belongs to the paragraph that break ends.
    const bool insideCrLf = pos > 0 && pos < length_ && fetch_(pos - 1, pos + 1) == QStringLiteral("\r\n");
    qsizetype hi = insideCrLf ? pos - 1 : pos;
    while (hi > 0) {
        const qsizetype lo = std::max<qsizetype>(0, hi - kScanChunk);
        const QString chunk = fetch_(lo, hi);
        for (qsizetype i = chunk.size() - 1; i >= 0; --i) {
            if (isLineBreak(chunk.at(i).unicode()))
                return lo + i + 1;
        }
        hi = lo;
    }
    return 0;
}

qsizetype TextBoundaries::paragraphContentsEnd(qsizetype pos) const
{
    pos = clamp(pos);
    if (pos > 0 && pos < length_ && fetch_(pos - 1, pos + 1) == QStringLiteral("\r\n"))
        return pos - 1;
    for (qsizetype lo = pos; lo < length_; lo += kScanChunk) {
        const qsizetype hi = std::min(length_, lo + kScanChunk);
        const QString chunk = fetch_(lo, hi);
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            if (isLineBreak(chunk.at(i).unicode()))
                return lo + i;
        }
    }
    return length_;
}

qsizetype TextBoundaries::paragraphEnd(qsizetype pos) const
{
    const qsizetype contentsEnd = paragraphContentsEnd(pos);
    if (contentsEnd >= length_)
        return length_;
    const QString tail = fetch_(contentsEnd, std::min(length_, contentsEnd + 2));
    return contentsEnd + (tail == QStringLiteral("\r\n") ? 2 : 1);
}

TextRange TextBoundaries::paragraphRange(TextRange range) const
{
    const qsizetype start = clamp(range.location);
    const qsizetype last = range.length > 0 ? std::max(start, clamp(range.end()) - 1) : start;
    const qsizetype from = paragraphStart(start);
    return {from, paragraphEnd(last) - from};
}

qsizetype TextBoundaries::firstPossibleBreak(const char16_t* p, qsizetype i, qsizetype n)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi16(0x0D);
    const __m128i nel = _mm_set1_epi16(0x85);
    const __m128i sepMask = _mm_set1_epi16(static_cast<short>(0xFFFE));
    const __m128i sep = _mm_set1_epi16(0x2028);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, cr), zero);
        const __m128i hit = _mm_or_si128(_mm_or_si128(low, _mm_cmpeq_epi16(v, nel)),
                                         _mm_cmpeq_epi16(_mm_and_si128(v, sepMask), sep));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) return i + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    }
#endif
    for (; i < n; ++i) {
        const char16_t u = p[i];
        if (u <= 0x0D || u == 0x0085 || u == 0x2028 || u == 0x2029) return i;
    }
    return n;
}

}  // namespace korimado
