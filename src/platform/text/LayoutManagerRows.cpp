// The row index: each paragraph's rows (estimated until laid out) in a Fenwick tree, and the
// geometry that follows from it.

#include "platform/text/LayoutManager.h"

#include "platform/text/LayoutManagerParagraph.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace korimado {

using namespace layout_manager_detail;

// MARK: Heights

int LayoutManager::estimateRows(qsizetype units) const
{
    if (!wrapsLines_ || units == 0) return 1;
    return std::max(1, static_cast<int>(std::ceil(static_cast<qreal>(units) * charWidth_ / wrapWidth_ - 1e-6)));
}

void LayoutManager::resetHeights() const
{
    heightsDirty_ = false;
    const qsizetype n = paragraphCount();
    rows_.assign(static_cast<size_t>(n), 1);
    if (wrapsLines_) {
        for (qsizetype i = 0; i < n; ++i) rows_[static_cast<size_t>(i)] = estimateRows(paragraphRange(i).length);
    }
    fenwickDirty_ = true;
}

void LayoutManager::rebuildFenwick() const
{
    ensureHeights();
    const size_t n = rows_.size();
    fenwick_.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        fenwick_[i] += rows_[i - 1];
        const size_t j = i + (i & (~i + 1));
        if (j <= n) fenwick_[j] += fenwick_[i];
    }
    fenwickDirty_ = false;
}

void LayoutManager::fenwickAdd(qsizetype paragraph, qsizetype delta)
{
    const size_t n = rows_.size();
    for (size_t i = static_cast<size_t>(paragraph) + 1; i <= n; i += i & (~i + 1)) fenwick_[i] += delta;
}

void LayoutManager::setRows(qsizetype paragraph, int rows)
{
    ensureHeights();
    int& current = rows_[static_cast<size_t>(paragraph)];
    if (current == rows) return;
    const int delta = rows - current;
    current = rows;
    if (!fenwickDirty_) fenwickAdd(paragraph, delta);
    // Told once the current work is done: views must not relayout in the middle of a paint.
    QMetaObject::invokeMethod(this, [this] { Q_EMIT layoutChanged(); }, Qt::QueuedConnection);
}

int LayoutManager::rowsOfParagraph(qsizetype paragraph) const
{
    ensureHeights();
    return rows_[static_cast<size_t>(paragraph)];
}

QRectF LayoutManager::paragraphsRect(qsizetype first, qsizetype last) const
{
    const qsizetype n = paragraphCount();
    first = std::clamp<qsizetype>(first, 0, n - 1);
    last = std::clamp<qsizetype>(last, first, n - 1);
    const qreal top = paragraphTop(first);
    return QRectF(0, top, containerWidth(), paragraphTop(last) - top + rowsOfParagraph(last) * rowHeight_);
}

qsizetype LayoutManager::rowsBefore(qsizetype paragraph) const
{
    if (!wrapsLines_) return paragraph;
    if (fenwickDirty_) rebuildFenwick();
    qsizetype sum = 0;
    for (size_t i = static_cast<size_t>(paragraph); i > 0; i -= i & (~i + 1)) sum += fenwick_[i];
    return sum;
}

qsizetype LayoutManager::paragraphAtRow(qsizetype row) const
{
    const qsizetype n = paragraphCount();
    if (row <= 0) return 0;
    if (!wrapsLines_) return std::min(row, n - 1);
    if (fenwickDirty_) rebuildFenwick();
    size_t step = 1;
    while (step * 2 <= static_cast<size_t>(n)) step *= 2;
    size_t pos = 0;
    qsizetype rest = row;
    for (; step > 0; step >>= 1) {
        if (pos + step <= static_cast<size_t>(n) && fenwick_[pos + step] <= rest) {
            pos += step;
            rest -= fenwick_[pos];
        }
    }
    return std::min<qsizetype>(static_cast<qsizetype>(pos), n - 1);
}

qreal LayoutManager::paragraphTop(qsizetype paragraph) const
{
    return static_cast<qreal>(rowsBefore(paragraph)) * rowHeight_;
}

qreal LayoutManager::documentHeight() const
{
    return static_cast<qreal>(rowsBefore(paragraphCount())) * rowHeight_;
}

qreal LayoutManager::containerWidth() const
{
    return wrapsLines_ ? wrapWidth_ : UnwrappedLineWidth;
}

QRectF LayoutManager::usedRectForTextContainer() const
{
    if (!wrapsLines_ && longestStale_) countLongest();
    qreal width = wrapsLines_ ? wrapWidth_
                              : std::max(widestLine_, static_cast<qreal>(longestParagraph_) * charWidth_);
    return QRectF(0, 0, width, documentHeight());
}

}  // namespace korimado
