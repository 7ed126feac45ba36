#include "theme/ThemeColorValue.h"

namespace korimado {

namespace {

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

bool ThemeColorValue::isValidHex(QStringView text)
{
    if (!text.startsWith(u'#') || (text.size() != 7 && text.size() != 9)) return false;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (hexDigit(text[i].unicode()) < 0) return false;
    }
    return true;
}

ThemeColorValue ThemeColorValue::fromHex(QStringView text)
{
    const QStringView digits = text.startsWith(u'#') ? text.mid(1) : text;
    // Any unreadable digit makes the whole value 0; more than 16 digits do not fit in 64 bits.
    std::uint64_t value = 0;
    bool readable = !digits.isEmpty() && digits.size() <= 16;
    for (qsizetype i = 0; readable && i < digits.size(); ++i) {
        const int d = hexDigit(digits[i].unicode());
        if (d < 0) readable = false;
        value = (value << 4) | static_cast<std::uint64_t>(d < 0 ? 0 : d);
    }
    if (!readable) value = 0;
    const auto byte = [&](int shift) { return static_cast<std::uint8_t>((value >> shift) & 0xFF); };
    if (digits.size() == 8) return rgba(byte(24), byte(16), byte(8), byte(0));
    return rgba(byte(16), byte(8), byte(0), 255);
}

QString ThemeColorValue::hexString() const
{
    QString text = QStringLiteral("#%1%2%3")
                       .arg(red, 2, 16, QLatin1Char('0'))
                       .arg(green, 2, 16, QLatin1Char('0'))
                       .arg(blue, 2, 16, QLatin1Char('0'));
    if (alpha != 255) text += QStringLiteral("%1").arg(alpha, 2, 16, QLatin1Char('0'));
    return text;
}

}  // namespace korimado
