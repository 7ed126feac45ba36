#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace korimado {

// What an ICU expression's text proves about every match it can make, so that a search may look
// for cheap literals first and run the expression only around them. The reading is conservative:
// syntax it does not know well (inline flags, comments mode, set operations it cannot follow)
// proves nothing, and the caller takes the plain road.
struct RegexLiterals {
    // At least one of these occurs in every match, as UTF-16 text; with asciiCaseInsensitive the
    // comparison folds ASCII letters only (every character of every literal is one whose case
    // partners are ASCII alone, so no other character can stand for it).
    std::vector<QString> literals;
    bool asciiCaseInsensitive = false;
    // Longest match in UTF-16 units; none when unbounded.
    std::optional<std::int64_t> maximumLength;
    // No match can hold a line terminator (LF, VT, FF, CR, NEL, LS, PS).
    bool singleLine = false;

    // The analysis of an expression as compiled with these ICU flags; none when nothing can be
    // proven.
    static std::optional<RegexLiterals> analyse(const QString& expression, std::uint32_t icuFlags);

    // True for the units that end a line for ICU's "." and "$".
    static bool isLineTerminator(char16_t u)
    {
        return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
    }

    // ASCII characters that no other character matches under full case folding but their own
    // upper and lower case (so "k" is not one: the Kelvin sign folds to it).
    static bool isCaseSafe(char16_t u);
};

}  // namespace korimado
