#include "search/engine/PlainMatcher.h"

#include "platform/foundation/MemoryAdvice.h"
#include "search/engine/FoldedStartFilter.h"
#include "search/engine/GraphemeProbe.h"
#include "search/engine/PlainLiterals.h"
#include "search/engine/SearchEngineError.h"
#include "search/engine/UnitScanner.h"

#include <algorithm>
#include <optional>

namespace korimado {

namespace {

// Texts from this length on are worth a look for where occurrences may begin before folding.
constexpr qsizetype filteredLength = 1 << 16;

constexpr quint64 caseInsensitiveBit = 1;
constexpr quint64 literalBit = 2;
constexpr quint64 diacriticInsensitiveBit = 128;
constexpr quint64 widthInsensitiveBit = 256;

// The folded pattern looked for in folded text, eight units at a time.
class UnitSearcher {
public:
    explicit UnitSearcher(QStringView pattern) : scanner_(pattern, false), m_(pattern.size()) {}

    // The first occurrence at or after from in [0, n), or -1; stop receives the position the
    // scan had reached (every start before it was examined).
    qsizetype find(const char16_t* text, qsizetype n, qsizetype from, qsizetype& stop) const
    {
        const qsizetype hit = scanner_.find(text, n, from);
        stop = hit >= 0 ? hit : std::max(from, n - m_ + 1);
        return hit;
    }

private:
    UnitScanner scanner_;
    qsizetype m_;
};

}  // namespace

FoldingMode PlainMatcher::foldingMode(const SearchOptions& options)
{
    quint64 bits = options.preservedTextualOptionsRawValue.value_or(0);
    if (!options.caseSensitive) bits |= caseInsensitiveBit;
    if (options.ignoresDiacriticMarks) bits |= diacriticInsensitiveBit;
    if (options.ignoresWidth) bits |= widthInsensitiveBit;
    if (options.isLiteralSearch) bits |= literalBit;
    FoldingMode mode;
    mode.caseInsensitive = bits & caseInsensitiveBit;
    mode.diacriticInsensitive = bits & diacriticInsensitiveBit;
    mode.widthInsensitive = bits & widthInsensitiveBit;
    mode.literal = bits & literalBit;
    return mode;
}

QList<SearchMatch> PlainMatcher::matches(const QString& text, const QString& pattern, TextRange scope,
                                         const SearchOptions& options, const SearchCancellationToken* cancellation,
                                         Walk walk)
{
    QList<SearchMatch> found;
    const TextFolding folding(foldingMode(options));
    const QString foldedPattern = folding.fold(pattern);
    const qsizetype m = foldedPattern.size();
    const qsizetype end = scope.end();
    if (m == 0 || scope.length <= 0) return found;

    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    // Text without the piece of the pattern that every match shows as it stands has no match: one
    // vectorised pass finds where the next match may be, and only the text around it is folded.
    std::optional<UnitScanner> literalScanner;
    if (const std::optional<PlainLiterals> literal = PlainLiterals::forPattern(pattern, options)) {
        literalScanner.emplace(literal->literal, literal->asciiCaseInsensitive);
        if (literalScanner->find(units, end, scope.location) < 0) return found;
        if (walk == Walk::foldingAll) literalScanner.reset();
    }
    // Without such a piece, a long text is still folded only where an occurrence may begin.
    std::optional<FoldedStartFilter> startFilter;
    if (!literalScanner && walk == Walk::toLiterals && scope.length >= filteredLength)
        startFilter = FoldedStartFilter::make(folding, foldedPattern);
    const UnitSearcher searcher(foldedPattern);
    GraphemeProbe probe(text);
    const bool unicodeWords = options.usesUnicodeBoundaries;

    auto isWordAround = [&](qsizetype v, qsizetype w) {
        if (v > 0 && GraphemeProbe::isWordCharacter(probe.scalarAt(probe.clusterStart(v - 1)), unicodeWords))
            return true;
        return w < text.size() && GraphemeProbe::isWordCharacter(probe.scalarAt(probe.clusterStart(w)), unicodeWords);
    };

    FoldedText chunk;
    FoldedText before;
    qsizetype stretch = std::max(stretchLength, 4 * m);
    // Around a literal the stretch is short: the next literal may be far.
    qsizetype window = 2 * m + 16;
    qsizetype start = scope.location;
    while (start < end) {
        if (cancellation && cancellation->isCancelled()) throw SearchEngineError::cancelled();
        qsizetype stop;
        if (literalScanner) {
            // Every occurrence from start on shows the literal at p or later, so none begins
            // before a segment start whose text up to p folds to m units or more: the folding
            // starts there and ends a little past p.
            const qsizetype p = literalScanner->find(units, end, start);
            if (p < 0) break;
            for (qsizetype back = m + 16;; back *= 2) {
                qsizetype q = std::max(start, p - back);
                while (q > start && !folding.isSegmentStart(units, q, text.size())) --q;
                if (q == start) break;
                folding.fold(units, q, p, before);
                if (before.length >= m) {
                    start = q;
                    break;
                }
            }
            stop = std::min(end, p + window);
        } else if (startFilter) {
            // Every occurrence from start on begins at p or later, at a segment start.
            const qsizetype p = startFilter->next(units, end, start);
            if (p >= end) break;
            qsizetype q = p;
            while (q > start && !folding.isSegmentStart(units, q, text.size())) --q;
            start = q;
            stop = std::min(end, p + window);
        } else {
            stop = std::min(end, start + stretch);
        }
        while (stop < end && !folding.isSegmentStart(units, stop, text.size())) ++stop;
        folding.fold(units, start, stop, chunk);
        if (chunk.length < m && stop < end) {
            stretch *= 2;  // marks dropped or composed away: take a longer stretch
            window *= 2;
            continue;
        }

        qsizetype f = 0;
        qsizetype reached = 0;
        qsizetype polled = 0;
        for (;;) {
            const qsizetype hit = searcher.find(chunk.units, chunk.length, f, reached);
            if (hit < 0) break;
            if (++polled % 1024 == 0 && cancellation && cancellation->isCancelled())
                throw SearchEngineError::cancelled();
            const std::optional<qsizetype> v = chunk.sourceStartAt(hit);
            const std::optional<qsizetype> w = chunk.sourceEndAt(hit + m);
            if (!v || !w || !probe.isBoundary(*v) || !probe.isBoundary(*w)) {
                f = hit + 1;  // not a whole-cluster occurrence: look on from the next unit
                continue;
            }
            f = hit + m;
            if (options.wholeWord && isWordAround(*v, *w)) continue;
            SearchMatch match;
            match.range = TextRange(*v, *w - *v);
            makeRoomAtEnd(found);
            found.push_back(std::move(match));
        }
        if (stop >= end) break;
        // Occurrences that could run past this stretch are looked for again in the next one,
        // which starts where no occurrence found here can overlap it.
        qsizetype next = chunk.resumePoint(std::max(reached, f));
        if (next < end && QChar::isLowSurrogate(units[next]) && QChar::isHighSurrogate(units[next - 1])) ++next;
        start = next > start ? next : stop;
    }
    return found;
}

}  // namespace korimado
