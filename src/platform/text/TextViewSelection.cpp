// Selections: the ranges, their anchor, and the rows they are drawn on.

#include "platform/text/TextView.h"

#include "platform/text/InputContext.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/SelectionRanges.h"

#include <algorithm>

namespace korimado {

namespace {

constexpr qsizetype kMaxSelectionBands = 256;

}  // namespace

// MARK: - Selection

void TextView::setSelectedRange(TextRange range, SelectionAffinity affinity, bool stillSelecting)
{
    setSelectedRanges({range}, affinity, stillSelecting);
}

QVector<TextRange> TextView::selectedRanges() const
{
    return hasCaretAmongSeveral(selections_) ? QVector<TextRange>{selections_.first()} : selections_;
}

void TextView::setSelectedRanges(const QVector<TextRange>& ranges, SelectionAffinity affinity, bool stillSelecting)
{
    const qsizetype length = storage_->length();
    QVector<TextRange> sorted;
    for (TextRange r : ranges) {
        if (!r.isNotFound())
            sorted.append(r.clamped(length));
    }
    QVector<TextRange> merged = mergedSelection(sorted);
    if (hasCaretAmongSeveral(selections_) && merged == QVector<TextRange>{selections_.first()})
        merged = selections_;
    applySelections(merged, affinity, stillSelecting);
}

void TextView::setSelections(const QVector<TextRange>& ranges, bool stillSelecting)
{
    applySelections(caretsKept(ranges, storage_->length()), SelectionAffinity::Downstream, stillSelecting);
}

void TextView::applySelections(const QVector<TextRange>& ranges, SelectionAffinity affinity, bool stillSelecting)
{
    const bool changed = ranges != selections_ || affinity != affinity_;
    selections_ = ranges;
    affinity_ = affinity;
    if (ownEdits_ == 0 && internalSelection_ == 0)
        breakUndoCoalescing();
    if (!keepGoalX_)
        hasGoalX_ = false;
    if (internalSelection_ == 0)
        anchor_ = ranges.size() == 1 && affinity == SelectionAffinity::Upstream ? ranges.first().end()
                                                                                  : ranges.first().location;
    if (hasMarkedText())
        showComposition();
    restartBlinking();
    redrawSelectionBands(true);
    // A selection moved silently by our own edit is announced with the selection the edit ends with.
    if (changed || (pendingSelectionNotice_ && !stillSelecting)) {
        if (!stillSelecting)
            pendingSelectionNotice_ = false;
        selectionChangedInternally(!stillSelecting);
    }
}

// The rows the selections stood on are drawn again, and those they stand on now are noted for
// the next change. Whole paragraphs: a caret or a highlight never reaches beyond its paragraph's rows.
void TextView::redrawSelectionBands(bool evenWhereTheyStand)
{
    const auto redraw = [this](const std::vector<std::pair<qreal, qreal>>& bands, bool everywhere) {
        if (everywhere) {
            viewport()->update();
            return;
        }
        const qreal originY = textContainerOrigin().y();
        const int width = viewport()->width();
        for (const auto& [top, bottom] : bands) {
            const qreal y = viewToViewport(QPointF(0, top + originY)).y();
            const QRect band = QRectF(0, y - 1, width, bottom - top + 2).toAlignedRect().intersected(viewport()->rect());
            if (!band.isEmpty())
                viewport()->update(band);
        }
    };
    const std::vector<std::pair<qreal, qreal>> before = selectionBands_;
    const bool everywhereBefore = selectionBandsEverywhere_;
    noteSelectionBands();
    if (!evenWhereTheyStand && !everywhereBefore && !selectionBandsEverywhere_ && before == selectionBands_)
        return;
    redraw(before, everywhereBefore);
    redraw(selectionBands_, selectionBandsEverywhere_);
}

void TextView::noteSelectionBands()
{
    selectionBands_.clear();
    // Beyond a few hundred rows one redraw of the view costs less than finding them.
    selectionBandsEverywhere_ = selections_.size() > kMaxSelectionBands;
    if (selectionBandsEverywhere_)
        return;
    const qsizetype length = storage_->length();
    for (TextRange r : selections_) {
        const qsizetype first = layout_->paragraphIndex(std::clamp<qsizetype>(r.location, 0, length));
        const qsizetype last = r.length == 0 ? first : layout_->paragraphIndex(std::clamp<qsizetype>(r.end(), 0, length));
        const QRectF rows = layout_->paragraphsRect(first, last);
        if (!selectionBands_.empty() && rows.top() <= selectionBands_.back().second)
            selectionBands_.back().second = std::max(selectionBands_.back().second, rows.bottom());
        else
            selectionBands_.emplace_back(rows.top(), rows.bottom());
    }
}

void TextView::selectionChangedInternally(bool notify)
{
    if (glyphsPrepared_ && layout_->paragraphIndex(selections_.first().location) != preparedParagraph_)
        prepareGlyphsWhenIdle();
    if (hasFocus())
        InputContext::current().update(Qt::ImCursorRectangle | Qt::ImCursorPosition | Qt::ImAnchorPosition
                                       | Qt::ImSurroundingText | Qt::ImCurrentSelection);
    if (!notify)
        return;
    Q_EMIT selectionDidChange();
    if (delegate_)
        delegate_->textViewDidChangeSelection(*this);
}

qsizetype TextView::selectionAnchor() const
{
    const QVector<TextRange> ranges = selectedRanges();
    const TextRange r = ranges.size() == 1 ? ranges.first()
                                           : TextRange::fromBounds(ranges.first().location, ranges.last().end());
    return anchor_ == r.end() ? r.end() : r.location;
}

qsizetype TextView::selectionHead() const
{
    const QVector<TextRange> ranges = selectedRanges();
    const TextRange r = ranges.size() == 1 ? ranges.first()
                                           : TextRange::fromBounds(ranges.first().location, ranges.last().end());
    return selectionAnchor() == r.location ? r.end() : r.location;
}

// Selects from the anchor to head (or puts a caret at head), keeping the anchor for the next step.
void TextView::moveTo(qsizetype head, bool extend)
{
    head = std::clamp<qsizetype>(head, 0, storage_->length());
    if (!extend) {
        setSelectedRange({head, 0});
        return;
    }
    const qsizetype anchor = selectionAnchor();
    ++internalSelection_;
    setSelectedRange(TextRange::fromBounds(std::min(anchor, head), std::max(anchor, head)),
                     head < anchor ? SelectionAffinity::Upstream : SelectionAffinity::Downstream);
    --internalSelection_;
    breakUndoCoalescing();
    anchor_ = anchor;
}

void TextView::setEditable(bool editable)
{
    // What was composed is handed over while the view still takes it.
    if (!editable)
        unmarkText();
    editable_ = editable;
    setAttribute(Qt::WA_InputMethodEnabled, editable);
    viewport()->update();
}

void TextView::setSelectable(bool selectable)
{
    selectable_ = selectable;
    viewport()->update();
}
}  // namespace korimado
