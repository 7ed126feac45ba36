#include "theme/ThemeQColor.h"

#include <QGuiApplication>

namespace korimado {

QColor toQColor(const ThemeColorValue& color)
{
    return toQColor(color, QGuiApplication::palette());
}

QColor toQColor(const ThemeColorValue& color, const QPalette& palette)
{
    switch (color.system) {
    case SystemColor::none: break;
    case SystemColor::text: return palette.color(QPalette::Active, QPalette::Text);
    case SystemColor::textBackground: return palette.color(QPalette::Active, QPalette::Base);
    case SystemColor::selectedTextBackground: return palette.color(QPalette::Active, QPalette::Highlight);
    case SystemColor::secondaryLabel: return palette.color(QPalette::Active, QPalette::PlaceholderText);
    case SystemColor::findHighlight:
        // Palettes have no role for found text; the usual marker yellow reads on light and dark.
        return QColor(0xFF, 0xFF, 0x00);
    }
    return QColor::fromRgb(color.red, color.green, color.blue, color.alpha);
}

}  // namespace korimado
