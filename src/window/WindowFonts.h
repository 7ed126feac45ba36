#pragma once

#include <QFont>

class QPushButton;
class QString;

namespace korimado {

// The system font at a size and weight, for the window's own controls.
QFont systemFont(qreal points, QFont::Weight weight = QFont::Normal);
// Qt 6.4 cannot ask for tabular digits; the system font's digits are already of equal width.
QFont monospacedDigitFont(qreal points);
// A flat button as wide as its title, for the navigation bar and the player bar.
QPushButton* makeInlineButton(const QString& title);

}  // namespace korimado
