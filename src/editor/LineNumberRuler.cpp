#include "editor/LineNumberRuler.h"

#include "document/LineIndex.h"
#include "editor/EditorTextView.h"
#include "platform/text/LayoutManager.h"

#include <QFontDatabase>
#include <QPainter>

namespace korimado {

namespace {

constexpr qreal RightMargin = 12;
constexpr qreal TopOffset = 2;
constexpr qreal NumberAlpha = 0.55;
constexpr qreal NumberPointSize = 11;

}  // namespace

LineNumberRuler::LineNumberRuler(EditorTextView* editor, std::shared_ptr<const LineIndex> index)
    : QWidget(editor), editor_(editor), index_(std::move(index))
{
    setFixedWidth(RuleThickness);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (editor) {
        connect(editor, &TextView::visibleRectDidChange, this, qOverload<>(&QWidget::update));
        connect(editor, &EditorTextView::storageCharactersChanged, this, qOverload<>(&QWidget::update));
        editor->setVerticalRuler(this);
    }
}

LineNumberRuler::~LineNumberRuler() = default;

std::vector<LineNumberRuler::Label> LineNumberRuler::visibleLabels() const
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
    const QRectF visible = editor->visibleRect().translated(-origin);

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

QFont LineNumberRuler::numberFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(NumberPointSize);
    return font;
}

void LineNumberRuler::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setClipRect(rect());
    const EditorTextView* editor = editor_;
    QColor background = palette().color(QPalette::Window);
    if (editor && editor->backgroundColor().isValid()) background = editor->backgroundColor();
    painter.fillRect(rect(), background);
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
    // Numbers wider than the gutter run off its left edge; the gutter never widens.
    for (const Label& label : visibleLabels()) {
        const QString text = QString::number(label.number);
        const qreal x = RuleThickness - metrics.horizontalAdvance(text) - RightMargin;
        painter.drawText(QPointF(x, label.top + TopOffset + metrics.ascent()), text);
    }
}

}  // namespace korimado
