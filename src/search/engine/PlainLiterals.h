#pragma once

#include "search/engine/SearchOptions.h"

#include <QString>

#include <optional>

namespace korimado {

// A piece of a plain pattern that every match shows in the text's own units, so that text
// without it can be passed over unfolded. Without folding (literal, case-sensitive, no width or
// diacritic folding) it is the longest stretch of the pattern between line breaks (those may
// become another line ending); otherwise the longest run of ASCII characters of the folded
// pattern that no character beyond ASCII folds into (with case folding, compared in either
// ASCII case); only its first character when marks are dropped, since a mark may stand between
// any two.
struct PlainLiterals {
    QString literal;
    bool asciiCaseInsensitive = false;

    // None when no such piece exists.
    static std::optional<PlainLiterals> forPattern(const QString& pattern, const SearchOptions& options);
};

}  // namespace korimado
