#pragma once

#include <QString>

#include <array>
#include <optional>

namespace korimado {

// Plain search compares a string with the text; regular-expression search takes the pattern as an
// ICU expression and expands replacement templates.
enum class SearchMode { text, regularExpression };

// "text" / "regularExpression": the raw values stored in rule files.
QString searchModeRawValue(SearchMode mode);
std::optional<SearchMode> searchModeFromRawValue(const QString& raw);
inline constexpr std::array<SearchMode, 2> allSearchModes{SearchMode::text, SearchMode::regularExpression};

}  // namespace korimado
