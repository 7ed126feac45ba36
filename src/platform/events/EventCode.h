#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

namespace korimado {

// A four-character code: event classes and IDs, parameter keys, descriptor types, enumerators.
// The first character stands in the most significant byte.
using FourCharCode = std::uint32_t;

constexpr FourCharCode fourCharCode(const char (&text)[5])
{
    return (FourCharCode(std::uint8_t(text[0])) << 24) | (FourCharCode(std::uint8_t(text[1])) << 16)
           | (FourCharCode(std::uint8_t(text[2])) << 8) | FourCharCode(std::uint8_t(text[3]));
}

// Starting from 0, code = code × 256 + byte for each UTF-8 byte of the text, keeping the low 32 bits.
FourCharCode code(QStringView text);
// The four bytes of a code as characters (Latin-1), most significant first.
QString codeString(FourCharCode code);
// Whether text is exactly four characters of printable ASCII, so that it names a code one to one.
bool isCodeText(QStringView text);

}  // namespace korimado
