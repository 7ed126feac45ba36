#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

namespace korimado {

// The system colours a theme entry can defer to; the window turns them into the palette's colours.
enum class SystemColor {
    none,
    text,
    textBackground,
    selectedTextBackground,
    secondaryLabel,
    findHighlight,
};

// An sRGB colour with 8-bit components, or a reference to a system colour. Kept free of QtGui so
// that the engines can resolve theme colours without a window.
struct ThemeColorValue {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    SystemColor system = SystemColor::none;

    static constexpr ThemeColorValue rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255)
    {
        return ThemeColorValue{r, g, b, a, SystemColor::none};
    }
    static constexpr ThemeColorValue systemColor(SystemColor which)
    {
        return ThemeColorValue{0, 0, 0, 255, which};
    }

    // True for "#" followed by exactly 6 or 8 hexadecimal digits, either letter case.
    static bool isValidHex(QStringView text);
    // Lenient: the digits after "#" read as one number (unreadable counts as 0); 8 digits are
    // RRGGBBAA, any other count takes the three low bytes as RGB with full alpha.
    static ThemeColorValue fromHex(QStringView text);
    // "#rrggbb", or "#rrggbbaa" when not opaque.
    QString hexString() const;

    bool isSystem() const { return system != SystemColor::none; }
    double redF() const { return red / 255.0; }
    double greenF() const { return green / 255.0; }
    double blueF() const { return blue / 255.0; }
    double alphaF() const { return alpha / 255.0; }

    friend bool operator==(const ThemeColorValue&, const ThemeColorValue&) = default;
};

}  // namespace korimado
