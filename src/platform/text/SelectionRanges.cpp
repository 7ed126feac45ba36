#include "platform/text/SelectionRanges.h"

#include <algorithm>

namespace korimado {

namespace {

bool lessByLocationThenLength(TextRange a, TextRange b)
{
    return a.location != b.location ? a.location < b.location : a.length < b.length;
}

}  // namespace

bool hasCaretAmongSeveral(const QVector<TextRange>& ranges)
{
    return ranges.size() > 1 && std::any_of(ranges.begin(), ranges.end(), [](TextRange r) { return r.isEmpty(); });
}

// Touching or overlapping ranges merge; several selections are never carets.
QVector<TextRange> mergedSelection(QVector<TextRange> sorted)
{
    if (sorted.isEmpty())
        sorted.append({0, 0});
    std::stable_sort(sorted.begin(), sorted.end(), lessByLocationThenLength);
    QVector<TextRange> merged;
    for (TextRange r : sorted) {
        if (!merged.isEmpty()) {
            const TextRange last = merged.last();
            if (r == last || r.location < last.end() || (r.location == last.end() && r.length > 0 && last.length > 0)) {
                merged.last() = last.united(r);
                continue;
            }
        }
        merged.append(r);
    }
    if (merged.size() > 1) {
        QVector<TextRange> nonEmpty;
        for (TextRange r : merged) {
            if (r.length > 0)
                nonEmpty.append(r);
        }
        merged = nonEmpty.isEmpty() ? QVector<TextRange>{merged.first()} : nonEmpty;
    }
    return merged;
}

// Clamped and sorted; carets among several stay, anything else is merged.
QVector<TextRange> caretsKept(const QVector<TextRange>& ranges, qsizetype length)
{
    QVector<TextRange> sorted;
    for (TextRange r : ranges) {
        if (!r.isNotFound())
            sorted.append(r.clamped(length));
    }
    std::stable_sort(sorted.begin(), sorted.end(), lessByLocationThenLength);
    return hasCaretAmongSeveral(sorted) ? sorted : mergedSelection(sorted);
}

}  // namespace korimado
