#include "platform/text/LayoutManager.h"

#include "platform/text/LayoutManagerParagraph.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace korimado {

using namespace layout_manager_detail;

// MARK: Drawing

std::vector<LayoutManager::DrawItem> LayoutManager::drawItems(const QRectF& exposed)
{
    std::vector<DrawItem> items;
    const qsizetype last = paragraphCount() - (hasExtraLineFragment() ? 2 : 1);
    if (last < 0 || exposed.bottom() < 0) return items;
    for (qsizetype p = paragraphAtRow(static_cast<qsizetype>(std::floor(exposed.top() / rowHeight_))); p <= last; ++p) {
        const qreal top = paragraphTop(p);
        if (top >= exposed.bottom()) break;
        const qsizetype contentsStart = paragraphStart(p);
        forEachFragmentOfParagraph(p, exposed, allText(), [&](const LineFragment& f, Segment& s, int line) {
            if (f.rect.bottom() > exposed.top() && f.rect.top() < exposed.bottom()) {
                const qreal segmentTop = f.rect.top() - (line > 0 ? line * rowHeight_ : 0);
                items.push_back({f, &s, line, contentsStart + s.start, QPointF(wrapsLines_ ? 0 : s.x, segmentTop)});
            }
            return f.rect.top() < exposed.bottom();
        });
    }
    return items;
}

void LayoutManager::drawText(QPainter& painter, const std::vector<DrawItem>& items, const QRectF& exposed,
                             const QPointF& origin)
{
    painter.setPen(textColor_);
    const Segment* drawn = nullptr;
    for (const DrawItem& item : items) {
        if (item.segment == drawn || item.line < 0) continue;
        drawn = item.segment;
        // QTextLayout clips in painter coordinates.
        item.segment->layout->draw(&painter, origin + item.segmentOrigin, {}, exposed.translated(origin));
    }
}

void LayoutManager::draw(QPainter& painter, const QRectF& exposed, const QPointF& origin,
                         const std::vector<SelectionHighlight>& selections)
{
    ++useClock_;
    const std::vector<DrawItem> items = drawItems(exposed);

    painter.save();
    painter.setFont(font_);
    // Selections behind the text; a selection that runs past a line's end reaches the right edge.
    for (const SelectionHighlight& selection : selections) {
        if (selection.range.isEmpty()) continue;
        for (const DrawItem& item : items) {
            const TextRange part = item.fragment.characterRange.intersected(selection.range);
            if (part.isEmpty() || item.line < 0) {
                if (!part.isEmpty())
                    painter.fillRect(QRectF(origin.x(), origin.y() + item.fragment.rect.top(), exposed.right() + 1, rowHeight_), selection.color);
                continue;
            }
            const QTextLine line = item.segment->layout->lineAt(item.line);
            const int a = static_cast<int>(toLayout(*item.segment, part.location - item.base, true));
            const int b = static_cast<int>(toLayout(*item.segment, part.end() - item.base, false));
            const qreal x0 = item.segmentOrigin.x() + line.cursorToX(a);
            const int lineEnd = line.textStart() + line.textLength();
            const qreal x1 = b > lineEnd ? exposed.right() + 1 : item.segmentOrigin.x() + line.cursorToX(b);
            painter.fillRect(QRectF(origin.x() + x0, origin.y() + item.fragment.rect.top(), x1 - x0, rowHeight_), selection.color);
        }
    }

    drawText(painter, items, exposed, origin);
    if (showsInvisibles_ || showsControls_) {
        for (const DrawItem& item : items) drawInvisibles(painter, origin, *item.segment, item.fragment.paragraph, item.fragment, item.line);
    }
    painter.restore();
}

void LayoutManager::prepareGlyphs(QPainter& painter, const QRectF& area, const QPointF& origin, qreal shift)
{
    ++useClock_;
    const std::vector<DrawItem> items = drawItems(area);
    painter.save();
    painter.setFont(font_);
    // Far above anything a view shows, and well inside the painter's fixed-point range.
    drawText(painter, items, area, QPointF(origin.x() + shift, -1e6));
    painter.restore();
}

void LayoutManager::drawInvisibles(QPainter& painter, const QPointF& origin, Segment& segment, qsizetype paragraph,
                                   const LineFragment& fragment, int lineIndex)
{
    painter.setPen(invisibleColor_);
    const qreal baseline = origin.y() + fragment.rect.top() + ascent_;
    const qreal left = origin.x() + (wrapsLines_ ? 0 : segment.x);
    const TextRange contents = paragraphContentsRange(paragraph);
    if (lineIndex >= 0) {
        const QTextLine line = segment.layout->lineAt(lineIndex);
        const QString text = segment.layout->text();
        const int end = line.textStart() + line.textLength();
        for (int i = line.textStart(); i < end; ++i) {
            if (insideComposition(segment, i)) continue;
            const char16_t c = text.at(i).unicode();
            QString mark;
            if (showsInvisibles_) {
                if (c == u'\t') mark = QStringLiteral("→");
                else if (c == u' ') mark = QStringLiteral("·");
                else if (c == 0x3000) mark = QStringLiteral("□");
            }
            if (showsControls_ && mark.isEmpty() && (c < 0x20 || c == 0x7F) && c != u'\t')
                mark = QString(QChar(c == 0x7F ? 0x2421 : 0x2400 + c));
            if (!mark.isEmpty()) painter.drawText(QPointF(left + line.cursorToX(i), baseline), mark);
        }
    }
    // The line break, after the paragraph's last row.
    if (showsInvisibles_ && fragment.characterRange.end() > contents.end()) {
        const qreal x = lineIndex >= 0 ? segment.layout->lineAt(lineIndex).naturalTextWidth() : 0;
        painter.drawText(QPointF(left + x, baseline), QStringLiteral("↵"));
    }
}
}  // namespace korimado
