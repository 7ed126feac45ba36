#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

namespace korimado {

class EditorTextView;
class LineIndex;

// The gutter of line numbers at the left of an editor. Numbers are the document's logical lines,
// read from its shared line index (never counted here), shown on the first row of each line and on
// the empty last line of a text that ends with a break.
class LineNumberRuler : public QWidget {
    Q_OBJECT

public:
    // The narrowest gutter; it widens for numbers that do not fit and narrows back.
    static constexpr int RuleThickness = 64;

    // Installs itself as the editor's vertical ruler; the caller decides whether rulers show.
    LineNumberRuler(EditorTextView* editor, std::shared_ptr<const LineIndex> index);
    ~LineNumberRuler() override;

    EditorTextView* editor() const { return editor_; }
    const std::shared_ptr<const LineIndex>& index() const { return index_; }

    QSize sizeHint() const override { return QSize(thickness(), 0); }

    // The gutter width the current last line number needs in the number font.
    int thickness() const;
    static int thicknessFor(qsizetype lineCount);

    struct Label {
        qsizetype number = 0;  // 1-based line number
        qreal top = 0;         // top of its row, in the ruler's coordinates
    };
    // The numbers the visible part of the editor shows, top to bottom; with rows (the ruler's
    // coordinates), only those whose row reaches into them.
    std::vector<Label> visibleLabels(const QRectF& rows = QRectF()) const;
    // The monospaced digits of the numbers, 11 points.
    static QFont numberFont();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<EditorTextView> editor_;
    std::shared_ptr<const LineIndex> index_;
    mutable int measuredDigits_ = 0;
    mutable int measuredThickness_ = RuleThickness;
};

}  // namespace korimado
