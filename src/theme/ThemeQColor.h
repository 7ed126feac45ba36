#pragma once

#include "theme/ThemeColorValue.h"

#include <QColor>
#include <QPalette>

namespace korimado {

// A theme colour for painting; system colours come from the palette (the application's by default).
QColor toQColor(const ThemeColorValue& color);
QColor toQColor(const ThemeColorValue& color, const QPalette& palette);

}  // namespace korimado
