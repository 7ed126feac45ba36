#include "editor/LineNumberRuler.h"

#include "document/LineIndex.h"
#include "editor/EditorTextView.h"
#include "platform/text/LayoutManager.h"

#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korimado {

namespace {

constexpr qreal RightMargin = 12;
constexpr qreal TopOffset = 2;
constexpr qreal NumberAlpha = 0.55;
constexpr qreal NumberPointSize = 11;
// Room left of the widest number, so that it never touches the gutter's edge.
constexpr qreal LeftMargin = 6;

}  // namespace

LineNumberRuler::LineNumberRuler(EditorTextView* editor, std::shared_ptr<const LineIndex> index)
    : QWidget(editor), editor_(editor), index_(std::move(index))
{
    // The editor gives the ruler its place and width (thickness()).
    resize(RuleThickness, height());
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (editor) {
        connect(editor, &TextView::visibleRectDidChange, this, qOverload<>(&QWidget::update));
        // An edit changes numbers only on the rows that moved, which the editor redraws too.
        connect(editor, &TextView::rowsDidMove, this, [this](const QRect& rows) {
            if (editor_) update(0, rows.top() + editor_->viewport()->y() - y(), width(), rows.height());
        });
        editor->setVerticalRuler(this);
    }
}

LineNumberRuler::~LineNumberRuler() = default;

std::vector<LineNumberRuler::Label> LineNumberRuler::visibleLabels(const QRectF& rows) const
{
    std::vector<Label> labels;
    const EditorTextView* editor = editor_;
    LayoutManager* layout = editor ? editor->layoutManager() : nullptr;
    if (!layout || !index_ || !editor->textStorage()) return labels;

    const QPointF origin = editor->textContainerOrigin();
    // From the editor's view coordinates to ours: the ruler stands level with the editor's viewport.
    const qreal offset = origin.y() + editor->viewToViewport(QPointF(0, 0)).y() + (editor->viewport()->y() - y());
    const qsizetype length = editor->textLength();
    const qsizetype lineCount = index_->lineCount();
    QRectF visible = editor->visibleRect().translated(-origin);
    if (!rows.isNull()) {
        // A row is asked for when any of it shows in rows: the layout finds fragments by their top.
        const qreal rowHeight = layout->rowHeight();
        visible.setTop(std::max(visible.top(), rows.top() - offset - rowHeight));
        visible.setBottom(std::min(visible.bottom(), rows.bottom() - offset + 1));
        if (visible.height() < 0) return labels;
    }

    qsizetype labelled = -1;
    for (const LineFragment& fragment : layout->lineFragments(visible)) {
        const qsizetype c = fragment.characterRange.location;
        // The extra line, below; a composition on the empty last line makes it a fragment.
        if (fragment.characterRange.isEmpty() && c >= length && layout->hasExtraLineFragment()) continue;
        // Only the first row of a logical line gets its number (a wrapped composition at a line
        // start makes several rows begin there).
        const qsizetype line = index_->line(c);
        if (index_->start(line) == c && c != labelled) {
            labels.push_back({line + 1, fragment.rect.top() + offset});
            labelled = c;
        }
    }
    if (layout->hasExtraLineFragment() && index_->start(lineCount - 1) == length) {
        const QRectF extra = layout->extraLineFragmentRect();
        if (extra.bottom() >= visible.top() && extra.top() <= visible.bottom())
            labels.push_back({lineCount, extra.top() + offset});
    }
    return labels;
}

namespace {

int digitCount(qsizetype lineCount)
{
    int digits = 1;
    for (qsizetype n = std::max<qsizetype>(lineCount, 1); n >= 10; n /= 10) ++digits;
    return digits;
}

}  // namespace

int LineNumberRuler::thickness() const
{
    // Measured again only when the count of digits changes: an edit asks on every keystroke.
    const int digits = digitCount(index_ ? index_->lineCount() : 1);
    if (digits != measuredDigits_) {
        measuredDigits_ = digits;
        measuredThickness_ = thicknessFor(index_ ? index_->lineCount() : 1);
    }
    return measuredThickness_;
}

int LineNumberRuler::thicknessFor(qsizetype lineCount)
{
    const QFontMetricsF metrics(numberFont());
    qreal digitWidth = 0;
    for (char c = '0'; c <= '9'; ++c) digitWidth = std::max(digitWidth, metrics.horizontalAdvance(QLatin1Char(c)));
    const qreal needed = LeftMargin + digitCount(lineCount) * digitWidth + RightMargin;
    return std::max(RuleThickness, int(std::ceil(needed)));
}

QFont LineNumberRuler::numberFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(NumberPointSize);
    return font;
}

void LineNumberRuler::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRect(event->rect());
    const EditorTextView* editor = editor_;
    QColor background = palette().color(QPalette::Window);
    if (editor && editor->backgroundColor().isValid()) background = editor->backgroundColor();
    painter.fillRect(event->rect(), background);
    if (!editor) return;

    const QFont font = numberFont();
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    QColor color = palette().color(QPalette::PlaceholderText);
    if (editor->textColor().isValid()) {
        color = editor->textColor();
        color.setAlphaF(NumberAlpha);
    }
    painter.setPen(color);
    for (const Label& label : visibleLabels(QRectF(event->rect()))) {
        const QString text = QString::number(label.number);
        const qreal x = width() - metrics.horizontalAdvance(text) - RightMargin;
        painter.drawText(QPointF(x, label.top + TopOffset + metrics.ascent()), text);
    }
}

}  // namespace korimado
