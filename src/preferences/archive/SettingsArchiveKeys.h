#pragma once

#include <QLatin1String>

namespace korimado {

// The outside editor's preference keys that a settings archive maps to the program's settings:
// the one place that spells them (the list of every key that format knows is beside the mapping).
namespace SettingsArchiveKey {
inline constexpr QLatin1String font{"font"};
inline constexpr QLatin1String appearance{"appearance"};
inline constexpr QLatin1String defaultTheme{"defaultTheme"};
inline constexpr QLatin1String showLineNumbers{"showLineNumbers"};
inline constexpr QLatin1String showInvisibles{"showInvisibles"};
inline constexpr QLatin1String showPageGuide{"showPageGuide"};
inline constexpr QLatin1String pageGuideColumn{"pageGuideColumn"};
inline constexpr QLatin1String wrapLines{"wrapLines"};
inline constexpr QLatin1String autoExpandTab{"autoExpandTab"};
inline constexpr QLatin1String tabWidth{"tabWidth"};
inline constexpr QLatin1String showStatusBarLines{"showStatusBarLines"};
inline constexpr QLatin1String showStatusBarChars{"showStatusBarChars"};
inline constexpr QLatin1String showStatusBarWords{"showStatusBarWords"};
inline constexpr QLatin1String showStatusBarLocation{"showStatusBarLocation"};
inline constexpr QLatin1String showStatusBarLine{"showStatusBarLine"};
inline constexpr QLatin1String showStatusBarColumn{"showStatusBarColumn"};
inline constexpr QLatin1String defaultLineEndCharCode{"defaultLineEndCharCode"};
inline constexpr QLatin1String encodingInNew{"encodingInNew"};
}  // namespace SettingsArchiveKey

}  // namespace korimado
