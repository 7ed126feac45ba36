#pragma once

#include <QString>

namespace korimado {

// The conversions of the "変換" menu that the platform's string services provide: case with the
// current locale, the full-width/half-width transform and URL percent-encoding.
class TextConversions {
public:
    TextConversions() = delete;

    static QString uppercase(const QString& text);
    static QString lowercase(const QString& text);
    // The first letter of every word upper-cased, the rest lower-cased.
    static QString capitalize(const QString& text);
    // Half-width forms to full width (ASCII spaces become U+3000) and back.
    static QString fullWidth(const QString& text);
    static QString halfWidth(const QString& text);
    // Everything but A-Z, a-z, 0-9 and "-._~" as %XX of its UTF-8 bytes; unchanged when the text
    // holds a lone surrogate, which has no UTF-8 form.
    static QString urlEncode(const QString& text);
    // Unchanged when a "%" is not followed by two hexadecimal digits or the bytes are not UTF-8.
    static QString urlDecode(const QString& text);
};

}  // namespace korimado
