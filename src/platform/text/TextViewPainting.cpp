// Colours, drawing, the caret and its blinking.

#include "platform/text/TextView.h"

#include "platform/text/LayoutManager.h"
#include "platform/text/SelectionRanges.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace korimado {

namespace {

constexpr int kBlinkInterval = 500;

constexpr qreal kCaretBarWidth = 1.5;

}  // namespace

// MARK: - Appearance

void TextView::setTextColor(const QColor& color)
{
    textColor_ = color;
    layout_->setTextColor(color);
    viewport()->update();
}

void TextView::setBackgroundColor(const QColor& color)
{
    backgroundColor_ = color;
    // An opaque view covers what it redraws: nothing behind it is drawn first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, color.alpha() == 255);
    viewport()->update();
}

void TextView::setInsertionPointColor(const QColor& color)
{
    insertionPointColor_ = color;
    viewport()->update();
}

void TextView::setSelectedTextBackgroundColor(const QColor& color)
{
    selectedTextBackgroundColor_ = color;
    viewport()->update();
}

void TextView::setTabWidth(qreal points)
{
    tabWidth_ = points;
    const qreal space = QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' '));
    layout_->setTabWidth(std::max(1, qRound(space > 0 ? points / space : 4)));
    relayout();
}

void TextView::setWrapsLines(bool wraps)
{
    wrapsLines_ = wraps;
    layout_->setWrapsLines(wraps);
    if (wraps)
        horizontalScrollBar()->setValue(0);
    relayout();
}

void TextView::setShowsInvisibleCharacters(bool shows)
{
    showsInvisibles_ = shows;
    layout_->setShowsInvisibleCharacters(shows);
    viewport()->update();
}

void TextView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange && layout_) {
        glyphsPrepared_ = false;
        layout_->setFont(font());
        setTabWidth(tabWidth_);
    }
    QAbstractScrollArea::changeEvent(event);
}

// MARK: - Drawing

void TextView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRectF dirty = QRectF(event->rect()).translated(scroll);
    painter.translate(-scroll);
    painter.setClipRect(dirty);
    painter.fillRect(dirty, backgroundColor_);
    drawBackground(painter, dirty);

    const QPointF origin = textContainerOrigin();
    std::vector<SelectionHighlight> highlights;
    if (selectable_) {
        for (TextRange r : selections_) {
            if (r.length > 0)
                highlights.push_back({r, selectedTextBackgroundColor_});
        }
    }
    layout_->draw(painter, dirty.translated(-origin), origin, highlights);

    const TextRange selection = selectedRange();
    drawExtraCarets(painter, dirty);
    drawOverlays(painter, dirty);

    if (selectedRanges().size() == 1 && (selection.length == 0 || hasMarkedText()) && editable_) {
        const QRectF caret = markedCaretRect();
        if (caret.intersects(dirty.adjusted(-2, 0, 2, 0)))
            drawInsertionPoint(painter, caret, insertionPointColor_, caretOn_ && hasFocus());
    }
    // After a whole redraw, the rows as drawn now; the layout is at hand.
    if (selectionBandsEverywhere_)
        noteSelectionBands();

    if (preparingGlyphs_) {
        // Quarters of a device pixel, where glyphs are placed.
        layout_->prepareGlyphs(painter, glyphArea_, origin, 0.25 * (4 - glyphShiftsLeft_) / viewport()->devicePixelRatioF());
        ++glyphPasses_;
    } else if (!glyphsPrepared_) {
        glyphsPrepared_ = true;
        prepareGlyphsWhenIdle();
    }
}

void TextView::prepareGlyphsWhenIdle()
{
    preparedParagraph_ = layout_->paragraphIndex(selections_.first().location);
    // Shifts left means a pass is already on its way.
    if (std::exchange(glyphShiftsLeft_, 3) == 0)
        QTimer::singleShot(0, this, &TextView::prepareNextGlyphs);
}

void TextView::prepareNextGlyphs()
{
    if (!isVisible()) {
        glyphShiftsLeft_ = 0;
        return;
    }
    // Only the caret's row and the two below it in its line: that is the text typing moves, and a
    // screen full of text seen for the first time would cost as much again as painting it.
    const QRectF shown = visibleRect().translated(-textContainerOrigin());
    const qreal caretTop = layout_->caretRect(std::min(selections_.first().location, storage_->length())).top();
    glyphArea_ = layout_->paragraphsRect(preparedParagraph_, preparedParagraph_)
                     .intersected(QRectF(shown.left(), caretTop, shown.width(), 3 * layout_->rowHeight()))
                     .intersected(shown);
    if (glyphArea_.isEmpty()) {
        glyphShiftsLeft_ = 0;
        return;
    }
    // A repaint now, not an update: an update could be joined by a key's paint and slow it. Its one
    // pixel lies in the caret's row, which typing redraws anyway.
    const QPoint at = viewToViewport(glyphArea_.topLeft() + textContainerOrigin()).toPoint();
    preparingGlyphs_ = true;
    viewport()->repaint(QRect(std::clamp(at.x(), 0, std::max(0, viewport()->width() - 1)),
                              std::clamp(at.y(), 0, std::max(0, viewport()->height() - 1)), 1, 1));
    preparingGlyphs_ = false;
    if (--glyphShiftsLeft_ > 0)
        QTimer::singleShot(0, this, &TextView::prepareNextGlyphs);
}

// The carets after the first of several stand still; only the first one blinks.
void TextView::drawExtraCarets(QPainter& painter, const QRectF& dirtyRect)
{
    if (!hasCaretAmongSeveral(selections_))
        return;
    const QPointF origin = textContainerOrigin();
    const qsizetype length = storage_->length();
    for (qsizetype i = 1; i < selections_.size(); ++i) {
        const TextRange r = selections_[i];
        if (!r.isEmpty())
            continue;
        const qsizetype at = std::clamp<qsizetype>(r.location, 0, length);
        QRectF bar;
        if (hasMarkedText()) {
            const QRectF caret = layout_->markedCaretRect(at, markedCursor_).translated(origin);
            bar = QRectF(caret.left(), caret.top(), kCaretBarWidth, caret.height());
        } else if (at < length) {
            const QRectF glyph = layout_->boundingRect(TextRange(at, 1));
            const QRectF line = layout_->lineFragmentUsedRect(at);
            bar = QRectF(glyph.left() + origin.x(), line.top() + origin.y(), kCaretBarWidth, line.height());
        } else if (layout_->hasExtraLineFragment()) {
            const QRectF extra = layout_->extraLineFragmentRect().translated(origin);
            bar = QRectF(extra.left(), extra.top(), kCaretBarWidth, extra.height());
        } else {
            // After the last character of a text without a final break.
            const QRectF caret = layout_->caretRect(at).translated(origin);
            bar = QRectF(caret.left(), caret.top(), kCaretBarWidth, caret.height());
        }
        bar.setHeight(std::max<qreal>(bar.height(), 1));
        if (bar.intersects(dirtyRect))
            painter.fillRect(bar, insertionPointColor_);
    }
}

void TextView::drawBackground(QPainter&, const QRectF&) {}

void TextView::drawOverlays(QPainter&, const QRectF&) {}

void TextView::drawInsertionPoint(QPainter& painter, const QRectF& rect, const QColor& color, bool on)
{
    if (on)
        painter.fillRect(QRectF(rect.left(), rect.top(), std::max<qreal>(1, rect.width()), rect.height()), color);
}

void TextView::restartBlinking()
{
    caretOn_ = true;
    if (hasFocus())
        blinkTimer_.start(kBlinkInterval, this);
}

void TextView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != blinkTimer_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    caretOn_ = !caretOn_;
    const QRectF caret = markedCaretRect();
    viewport()->update(QRectF(viewToViewport(caret.topLeft()), caret.size()).toAlignedRect().adjusted(-2, -1, 2, 1));
}

void TextView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlinking();
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event)
{
    // A composition left behind would hang over the text; candidate windows take the focus as popups.
    // The input method hands its composition to the view it was composed in, if at all.
    if (hasMarkedText() && event->reason() != Qt::PopupFocusReason) {
        if (markedByInputMethod_) {
            QVector<qsizetype> places;
            for (TextRange r : selections_)
                places.append(r.location);
            clearComposition();
            pendingCommit_ = places;
        } else {
            unmarkText();
        }
    }
    QAbstractScrollArea::focusOutEvent(event);
    blinkTimer_.stop();
    viewport()->update();
}
}  // namespace korimado
