#include "search/engine/TextFolding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace korimado {

namespace {

// One table per mode, shared by every thread; pages are built on first use and never freed.
TextFolding::Table tables[16];

const icu::Normalizer2* nfd()
{
    UErrorCode status = U_ZERO_ERROR;
    return icu::Normalizer2::getNFDInstance(status);
}

const icu::Normalizer2* nfc()
{
    UErrorCode status = U_ZERO_ERROR;
    return icu::Normalizer2::getNFCInstance(status);
}

const icu::Normalizer2* nfkc()
{
    UErrorCode status = U_ZERO_ERROR;
    return icu::Normalizer2::getNFKCInstance(status);
}

inline bool isHigh(char16_t u) { return (u & 0xFC00) == 0xD800; }
inline bool isLow(char16_t u) { return (u & 0xFC00) == 0xDC00; }

// The code point at i (a lone surrogate stands for itself) and its length in units.
inline char32_t codePointAt(const char16_t* text, qsizetype i, qsizetype end, int& length)
{
    const char16_t u = text[i];
    if (isHigh(u) && i + 1 < end && isLow(text[i + 1])) {
        length = 2;
        return QChar::surrogateToUcs4(u, text[i + 1]);
    }
    length = 1;
    return u;
}

icu::UnicodeString widthFolded(const icu::UnicodeString& s)
{
    icu::UnicodeString out;
    for (int32_t i = 0; i < s.length();) {
        const UChar32 c = s.char32At(i);
        const int32_t type = u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE);
        icu::UnicodeString mapping;
        if ((type == U_DT_WIDE || type == U_DT_NARROW) && nfkc()->getRawDecomposition(c, mapping)) {
            out.append(mapping);
        } else {
            out.append(c);
        }
        i += U16_LENGTH(c);
    }
    return out;
}

icu::UnicodeString withoutNonspacingMarks(const icu::UnicodeString& s)
{
    icu::UnicodeString out;
    for (int32_t i = 0; i < s.length();) {
        const UChar32 c = s.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) out.append(c);
        i += U16_LENGTH(c);
    }
    return out;
}

// The end of the run of ASCII units from i that fold to themselves: every one but, under case
// folding, the capitals. Eight units at a time: most source text is runs of these.
qsizetype identityAsciiEnd(const char16_t* text, qsizetype i, qsizetype to, bool capitalsFold)
{
#if defined(__SSE2__)
    const __m128i highBits = _mm_set1_epi16(short(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    const __m128i capitalA = _mm_set1_epi16(u'A');
    const __m128i letters = _mm_set1_epi16(25);
    for (; i + 8 <= to; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        __m128i stop = _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(x, highBits), zero), _mm_set1_epi16(-1));
        if (capitalsFold)
            stop = _mm_or_si128(stop, _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(x, capitalA), letters), zero));
        const unsigned bits = unsigned(_mm_movemask_epi8(stop));
        if (bits) return i + __builtin_ctz(bits) / 2;
    }
#endif
    for (; i < to; ++i) {
        const char16_t u = text[i];
        if (u >= 0x80 || (capitalsFold && u >= u'A' && u <= u'Z')) return i;
    }
    return to;
}

}  // namespace

TextFolding::TextFolding(FoldingMode mode) : mode_(mode), table_(&tables[mode.index()]) {}

QString TextFolding::foldSegment(QStringView segment) const
{
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString s(reinterpret_cast<const UChar*>(segment.utf16()), int32_t(segment.size()));
    const bool canonical = !mode_.literal;
    if (canonical) s = nfd()->normalize(s, status);
    if (mode_.widthInsensitive) {
        s = widthFolded(s);
        if (canonical) s = nfd()->normalize(s, status);
    }
    if (mode_.caseInsensitive) {
        s.foldCase(U_FOLD_CASE_DEFAULT);
        if (canonical) s = nfd()->normalize(s, status);
    }
    if (mode_.diacriticInsensitive) s = withoutNonspacingMarks(s);
    if (canonical && !mode_.diacriticInsensitive) s = nfc()->normalize(s, status);
    if (U_FAILURE(status)) return segment.toString();
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

const TextFolding::Page& TextFolding::buildPage(char32_t cp) const
{
    auto& slot = table_->pages[cp >> 8];
    if (const Page* p = slot.load(std::memory_order_acquire)) return *p;

    auto* built = new Page;
    const icu::Normalizer2* boundaries = mode_.literal ? nullptr : (mode_.diacriticInsensitive ? nfd() : nfc());
    const char32_t first = cp & ~char32_t(0xFF);
    for (char32_t c = first; c < first + 256; ++c) {
        Entry& e = built->entries[c - first];
        const int ownLength = c >= 0x10000 ? 2 : 1;
        if (c >= 0xD800 && c <= 0xDFFF) {
            e = Entry{std::uint16_t(c), 1, std::uint8_t(identityFlag | boundaryFlag)};
            continue;
        }
        char16_t own[2];
        if (ownLength == 2) {
            own[0] = QChar::highSurrogate(c);
            own[1] = QChar::lowSurrogate(c);
        } else {
            own[0] = char16_t(c);
        }
        const QString folded = foldSegment(QStringView(own, ownLength));
        bool boundary = !folded.isEmpty();
        if (boundary && boundaries) {
            boundary = boundaries->hasBoundaryBefore(UChar32(c))
                && boundaries->hasBoundaryBefore(UChar32(folded.at(0).isHighSurrogate() && folded.size() > 1
                                                            ? QChar::surrogateToUcs4(folded.at(0), folded.at(1))
                                                            : folded.at(0).unicode()));
        }
        std::uint8_t flags = boundary ? boundaryFlag : 0;
        if (folded == QStringView(own, ownLength)) {
            e = Entry{0, std::uint8_t(ownLength), std::uint8_t(flags | identityFlag)};
        } else if (folded.size() == 1) {
            e = Entry{folded.at(0).unicode(), 1, flags};
        } else if (folded.size() < 256 && built->pool.size() + size_t(folded.size()) < 0xFFFF) {
            e = Entry{std::uint16_t(built->pool.size()), std::uint8_t(folded.size()), flags};
            const char16_t* f = reinterpret_cast<const char16_t*>(folded.utf16());
            built->pool.insert(built->pool.end(), f, f + folded.size());
        } else {
            e = Entry{0, 0, std::uint8_t(flags | longFlag)};
        }
    }
    const Page* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, built, std::memory_order_acq_rel)) {
        delete built;  // another thread built the same page
        return *expected;
    }
    return *built;
}

bool TextFolding::isSegmentStart(const char16_t* text, qsizetype pos, qsizetype end) const
{
    if (pos <= 0 || pos >= end) return true;
    if (isLow(text[pos]) && isHigh(text[pos - 1])) return false;
    int length;
    return entry(codePointAt(text, pos, end, length)).flags & boundaryFlag;
}

QString TextFolding::fold(QStringView text) const
{
    FoldedText folded;
    fold(reinterpret_cast<const char16_t*>(text.utf16()), 0, text.size(), folded);
    return QString(reinterpret_cast<const QChar*>(folded.units), folded.length);
}

void TextFolding::fold(const char16_t* text, qsizetype from, qsizetype to, FoldedText& out) const
{
    out.sourceStart = from;
    out.sourceEnd = to;
    out.segments.clear();
    out.units = text + from;
    out.length = to - from;

    // The buffer is only written from the first unit that folds to something else.
    bool copying = false;
    qsizetype w = 0;
    auto reserve = [&](qsizetype more) {
        if (qsizetype(out.buffer.size()) < w + more) out.buffer.resize(size_t(std::max(w + more, 2 * w + 64)));
    };
    auto startCopy = [&](qsizetype at) {
        if (copying) return;
        copying = true;
        w = at - from;
        out.buffer.resize(size_t(std::max<qsizetype>(to - from + 64, 64)));
        std::memcpy(out.buffer.data(), text + from, size_t(w) * sizeof(char16_t));
    };
    auto append = [&](const char16_t* units, qsizetype n) {
        if (n == 0) return;  // a part that folded to nothing may have no buffer at all
        reserve(n);
        std::memcpy(out.buffer.data() + w, units, size_t(n) * sizeof(char16_t));
        w += n;
    };

    qsizetype i = from;
    while (i < to) {
        // Runs of code points that fold to one unit each, on their own: the bulk of any text.
        if (copying && qsizetype(out.buffer.size()) < w + (to - i)) out.buffer.resize(size_t(w + (to - i) + 64));
        const qsizetype run = i;
        for (; i < to; ++i) {
            const char16_t u = text[i];
            if (u < 0x80) {
                const qsizetype j = identityAsciiEnd(text, i, to, mode_.caseInsensitive);
                if (j > i) {
                    if (copying) {
                        std::memcpy(out.buffer.data() + w, text + i, size_t(j - i) * sizeof(char16_t));
                        w += j - i;
                    }
                    i = j - 1;
                    continue;
                }
            }
            if (QChar::isSurrogate(u)) break;
            const Entry e = entry(u);
            if (!(e.flags & boundaryFlag) || e.length != 1 || (e.flags & longFlag)) break;
            if (e.flags & identityFlag) {
                if (copying) out.buffer[size_t(w++)] = u;
            } else {
                startCopy(i);
                out.buffer[size_t(w++)] = char16_t(e.value);
            }
        }
        if (i >= to) break;
        // A code point that attaches to the one before takes that one into its segment.
        if (i > run && !QChar::isSurrogate(text[i]) && !(entry(text[i]).flags & boundaryFlag)) {
            --i;
            if (copying) --w;
        }

        int length = 0;
        const char32_t cp = codePointAt(text, i, to, length);
        const Entry e = entry(cp);
        qsizetype j = i + length;
        int l = 0;
        Entry next{0, 0, boundaryFlag};
        if (j < to) next = entry(codePointAt(text, j, to, l));
        // Only the first code point of the range can lack a boundary; any other is taken in with
        // the segment before it.
        if ((next.flags & boundaryFlag) && !(e.flags & longFlag)) {
            if (e.flags & identityFlag) {
                if (copying) append(text + i, length);
            } else {
                startCopy(i);
                const qsizetype at = w;
                const char16_t unit = char16_t(e.value);
                append(e.length == 1 ? &unit : page(cp).pool.data() + e.value, e.length);
                if (e.length != length) out.segments.push_back({at, i, e.length, length});
            }
            i = j;
            continue;
        }

        // A code point with marks attached: the whole segment at once.
        while (j < to && !(next.flags & boundaryFlag)) {
            j += l;
            if (j < to) next = entry(codePointAt(text, j, to, l));
        }
        // Where the segment splits into parts that fold on their own to the same whole (a vowel
        // jamo after a space), each part is a segment of its own, so that an occurrence may
        // begin or end between them.
        qsizetype partStart = i;
        QString rest = foldSegment(QStringView(text + i, j - i));
        while (partStart < j) {
            qsizetype partEnd = j;
            QString part = rest;
            QString tail;
            int tries = 0;
            for (qsizetype k = partStart; k < j && tries < 16;) {
                int kl = 0;
                const char32_t before = codePointAt(text, k, j, kl);
                k += kl;
                if (k >= j) break;
                // Only where a cluster may end: never before a mark, unless a control precedes.
                int cl = 0;
                const int32_t breakClass = u_getIntPropertyValue(UChar32(codePointAt(text, k, j, cl)), UCHAR_GRAPHEME_CLUSTER_BREAK);
                const int32_t beforeClass = u_getIntPropertyValue(UChar32(before), UCHAR_GRAPHEME_CLUSTER_BREAK);
                const bool control = beforeClass == U_GCB_CONTROL || beforeClass == U_GCB_CR || beforeClass == U_GCB_LF;
                if (!control && (breakClass == U_GCB_EXTEND || breakClass == U_GCB_ZWJ || breakClass == U_GCB_SPACING_MARK))
                    continue;
                ++tries;
                const QString head = foldSegment(QStringView(text + partStart, k - partStart));
                if (head.isEmpty() || !rest.startsWith(head)) continue;
                QString remainder = foldSegment(QStringView(text + k, j - k));
                // A remainder that folds to nothing splits off only where a cluster ends anyway
                // (a stray mark after a line break), so that no occurrence takes it in.
                if ((remainder.isEmpty() && !control) || head.size() + remainder.size() != rest.size()
                    || !rest.endsWith(remainder))
                    continue;
                partEnd = k;
                part = head;
                tail = std::move(remainder);
                break;
            }
            const qsizetype sourceLength = partEnd - partStart;
            const bool unchanged = part == QStringView(text + partStart, sourceLength);
            if (!unchanged) startCopy(partStart);
            const qsizetype at = copying ? w : partStart - from;
            if (copying) append(reinterpret_cast<const char16_t*>(part.utf16()), part.size());
            const bool single = sourceLength == 1 || (sourceLength == 2 && QChar::isHighSurrogate(text[partStart]));
            if (!(single && part.size() == sourceLength))
                out.segments.push_back({at, partStart, std::int32_t(part.size()), std::int32_t(sourceLength)});
            partStart = partEnd;
            rest = std::move(tail);
        }
        i = j;
    }
    if (copying) {
        out.units = out.buffer.data();
        out.length = w;
    }
}

std::optional<qsizetype> FoldedText::sourceStartAt(qsizetype f) const
{
    // The last segment starting at or before f.
    auto it = std::upper_bound(segments.begin(), segments.end(), f,
                               [](qsizetype value, const Segment& s) { return value < s.foldedStart; });
    if (it == segments.begin()) return sourceStart + f;
    const Segment& s = *(it - 1);
    if (f >= s.foldedEnd()) return s.sourceEnd() + (f - s.foldedEnd());  // also past a segment that folded to nothing
    if (f == s.foldedStart) return s.sourceStart;
    return std::nullopt;
}

std::optional<qsizetype> FoldedText::sourceEndAt(qsizetype f) const
{
    // The last segment starting before f.
    auto it = std::lower_bound(segments.begin(), segments.end(), f,
                               [](const Segment& s, qsizetype value) { return s.foldedStart < value; });
    if (it == segments.begin()) return sourceStart + f;
    const Segment& s = *(it - 1);
    if (f < s.foldedEnd()) return std::nullopt;
    return s.sourceEnd() + (f - s.foldedEnd());
}

qsizetype FoldedText::resumePoint(qsizetype f) const
{
    if (f >= length) return sourceEnd;
    auto it = std::upper_bound(segments.begin(), segments.end(), f,
                               [](qsizetype value, const Segment& s) { return value < s.foldedStart; });
    if (it != segments.begin()) {
        const Segment& s = *(it - 1);
        if (f > s.foldedStart && f < s.foldedEnd()) return s.sourceEnd();
    }
    return *sourceStartAt(f);
}

}  // namespace korimado
