#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korimado {

// A four-character code: event classes and IDs, parameter keys, descriptor types, enumerators.
// The first character stands in the most significant byte.
using FourCharCode = std::uint32_t;

constexpr FourCharCode fourCharCode(const char (&text)[5])
{
    return (FourCharCode(std::uint8_t(text[0])) << 24) | (FourCharCode(std::uint8_t(text[1])) << 16)
           | (FourCharCode(std::uint8_t(text[2])) << 8) | FourCharCode(std::uint8_t(text[3]));
}

namespace wire {

// Starting from 0, code = code × 256 + byte for each byte of the UTF-8 text, keeping the low 32 bits.
FourCharCode code(std::string_view utf8);
// The four bytes of a code read as Latin-1, in UTF-8.
std::string codeText(FourCharCode code);
// Whether the text is exactly four characters of printable ASCII, so that it names a code one to one.
bool isCodeText(std::string_view utf8);

}  // namespace wire
}  // namespace korimado
