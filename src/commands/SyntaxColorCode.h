#pragma once

#include "platform/text/TextRange.h"

#include <QString>

#include <optional>
#include <vector>

namespace korimado {

// A colour in sRGB, each component 0…1.
struct SyntaxRGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    friend bool operator==(const SyntaxRGBA&, const SyntaxRGBA&) = default;
};

// The notation a colour code was written in, so that an edited colour is written back in it.
struct SyntaxColorFormat {
    enum class Kind { hex, rgb, hsl };
    Kind kind = Kind::hex;
    int digits = 6;            // hex: digits after "#" (3, 4, 6 or 8)
    bool uppercase = false;    // hex: a letter and no lower-case letter among the digits
    bool percentages = false;  // rgb: the colour components were written with "%"
    bool alpha = false;        // rgb, hsl: an alpha value was written or the name was rgba / hsla
    bool commaSeparated = false;

    static SyntaxColorFormat hex(int digits, bool uppercase) { return {Kind::hex, digits, uppercase, false, false, false}; }
    static SyntaxColorFormat rgb(bool percentages, bool alpha, bool commaSeparated)
    {
        return {Kind::rgb, 0, false, percentages, alpha, commaSeparated};
    }
    static SyntaxColorFormat hsl(bool alpha, bool commaSeparated) { return {Kind::hsl, 0, false, false, alpha, commaSeparated}; }
    friend bool operator==(const SyntaxColorFormat&, const SyntaxColorFormat&) = default;
};

struct SyntaxColorMatch {
    TextRange range;  // UTF-16 units of the whole text
    SyntaxRGBA color;
    SyntaxColorFormat format;
};

// CSS-style colour codes (#RGB[A], #RRGGBB[AA], rgb()/rgba(), hsl()/hsla() in comma and space
// forms): found at a selection or caret, read, and written back in a notation.
class SyntaxColorCode {
public:
    SyntaxColorCode() = delete;

    struct Parsed {
        SyntaxRGBA color;
        SyntaxColorFormat format;
    };

    // A non-empty selection must be a code (white space around it aside); a caret finds the
    // shortest code on its line that touches it.
    static std::optional<SyntaxColorMatch> find(const QString& text, TextRange selection);
    static std::optional<Parsed> parse(const QString& code);

    static QString renderHex(const SyntaxRGBA& color, int requestedDigits, bool uppercase);
    static QString renderRGB(const SyntaxRGBA& color, bool percentages, bool includesAlpha, bool commaSeparated);
    static QString renderHSL(const SyntaxRGBA& color, bool includesAlpha, bool commaSeparated);
    // The colour, clamped, in the format's notation; alpha is shown when the format had it or the
    // colour is not opaque.
    static QString render(const SyntaxRGBA& color, const SyntaxColorFormat& format);

    static QString number(double value, int decimals);
};

}  // namespace korimado
