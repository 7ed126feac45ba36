#pragma once

#include <QLatin1String>

namespace korimado {

// Posted with no object and no user information after the settings in user defaults changed.
inline constexpr QLatin1String editorPreferencesChanged{"Korimado.preferencesChanged"};

// The one place that spells a setting's key. Each setting has its user-defaults key here and its
// key in the program's own settings file below; both are stored, so neither string may change.
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
// Followed by a language's identifier: that language's snippet list.
inline constexpr QLatin1String snippetsPrefix{"editor.snippets."};
}  // namespace EditorSettingsKey

// The keys of the program's own JSON settings file (EditorSettingsSnapshot::encoded).
namespace EditorSettingsFileKey {
inline constexpr QLatin1String schemaVersion{"schemaVersion"};
inline constexpr QLatin1String fontName{"fontName"};
inline constexpr QLatin1String fontSize{"fontSize"};
inline constexpr QLatin1String wrap{"wrap"};
inline constexpr QLatin1String autoplay{"autoplay"};
inline constexpr QLatin1String hiddenFiles{"hiddenFiles"};
inline constexpr QLatin1String appearance{"appearance"};
inline constexpr QLatin1String tokenIndex{"tokenIndex"};
inline constexpr QLatin1String tabWidth{"tabWidth"};
inline constexpr QLatin1String useSpaces{"useSpaces"};
inline constexpr QLatin1String lineNumbers{"lineNumbers"};
inline constexpr QLatin1String statusBar{"statusBar"};
inline constexpr QLatin1String invisibles{"invisibles"};
inline constexpr QLatin1String showPageGuide{"showPageGuide"};
inline constexpr QLatin1String pageGuideColumn{"pageGuideColumn"};
inline constexpr QLatin1String spelling{"spelling"};
inline constexpr QLatin1String defaultEncoding{"defaultEncoding"};
inline constexpr QLatin1String defaultLineEnding{"defaultLineEnding"};
inline constexpr QLatin1String treeSortOrder{"treeSortOrder"};
inline constexpr QLatin1String themeName{"themeName"};
}  // namespace EditorSettingsFileKey

}  // namespace korimado
