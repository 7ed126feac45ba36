#include "window/WindowFonts.h"

#include <QApplication>
#include <QPushButton>

namespace korimado {

QFont systemFont(qreal points, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

QFont monospacedDigitFont(qreal points)
{
    return systemFont(points);
}

QPushButton* makeInlineButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setFont(systemFont(11));
    button->setFlat(true);
    // A flat push button keeps the style's wide minimum; size it to its title instead.
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(title) + 20);
    return button;
}

}  // namespace korimado
