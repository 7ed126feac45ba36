#include "platform/ui/MiddleTruncatingLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace korimado {

namespace {

// CR LF, CR, LF, NEL, LS and PS each become one mark.
QString oneLine(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' || c == u'\n' || c == 0x85 || c == 0x2028 || c == 0x2029) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            line += u'⏎';
        } else {
            line += text[i];
        }
    }
    return line;
}

}  // namespace

MiddleTruncatingLabel::MiddleTruncatingLabel(const QString& text, QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setText(text);
}

void MiddleTruncatingLabel::setText(const QString& text)
{
    text_ = text;
    elide();
}

QSize MiddleTruncatingLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void MiddleTruncatingLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void MiddleTruncatingLabel::elide()
{
    const int room = contentsRect().width();
    const QString line = oneLine(text_);
    QLabel::setText(room > 0 ? fontMetrics().elidedText(line, Qt::ElideMiddle, room) : line);
}

}  // namespace korimado
