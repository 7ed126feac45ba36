#include "platform/wire/FourCharCode.h"

namespace korimado::wire {

FourCharCode code(std::string_view utf8)
{
    FourCharCode result = 0;
    for (const char byte : utf8)
        result = (result << 8) | FourCharCode(std::uint8_t(byte));
    return result;
}

std::string codeText(FourCharCode code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = std::uint8_t(code >> shift);
        if (byte < 0x80) {
            text += char(byte);
        } else {
            text += char(0xC0 | (byte >> 6));
            text += char(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

bool isCodeText(std::string_view utf8)
{
    if (utf8.size() != 4)
        return false;
    for (const char c : utf8)
        if (std::uint8_t(c) < 0x20 || std::uint8_t(c) > 0x7e)
            return false;
    return true;
}

}  // namespace korimado::wire
