#pragma once

#include <QLabel>

namespace korimado {

// A one-line label that cuts its text in the middle when it does not fit, so that both the start
// and the end of a long path stay in view. A line break in the text is shown as "⏎" on the one
// line. text() answers the whole text as given.
class MiddleTruncatingLabel : public QLabel {
    Q_OBJECT

public:
    explicit MiddleTruncatingLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    // What is drawn at the present width.
    QString shownText() const { return QLabel::text(); }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString text_;
};

}  // namespace korimado
