#pragma once

#include <QLatin1String>

namespace korimado {

// Posted with no object and no user information after the settings in user defaults changed.
inline constexpr QLatin1String editorPreferencesChanged{"Korimado.preferencesChanged"};

// The user-defaults keys of the editor settings.
namespace EditorSettingsKey {
inline constexpr QLatin1String fontName{"editor.fontName"};
inline constexpr QLatin1String fontSize{"editor.fontSize"};
inline constexpr QLatin1String wrap{"editor.wrap"};
inline constexpr QLatin1String autoplay{"preview.autoplay"};
inline constexpr QLatin1String hiddenFiles{"tree.hiddenFiles"};
inline constexpr QLatin1String appearance{"ui.appearance"};
inline constexpr QLatin1String tokenIndex{"editor.tokens"};
inline constexpr QLatin1String tabWidth{"editor.tabWidth"};
inline constexpr QLatin1String useSpaces{"editor.useSpaces"};
inline constexpr QLatin1String lineNumbers{"editor.lineNumbers"};
inline constexpr QLatin1String statusBar{"editor.statusBar"};
inline constexpr QLatin1String invisibles{"editor.invisibles"};
inline constexpr QLatin1String showPageGuide{"editor.showPageGuide"};
inline constexpr QLatin1String pageGuideColumn{"editor.pageGuideColumn"};
inline constexpr QLatin1String spelling{"editor.spelling"};
inline constexpr QLatin1String defaultEncoding{"document.defaultEncoding"};
inline constexpr QLatin1String defaultLineEnding{"document.defaultLineEnding"};
inline constexpr QLatin1String treeSortOrder{"tree.sortOrder"};
inline constexpr QLatin1String themeName{"editor.themeName"};
}  // namespace EditorSettingsKey

}  // namespace korimado
