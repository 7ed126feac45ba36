#pragma once

#include <optional>

namespace korimado {

// The view settings of one editor, kept by its text commands and written into the editor whole.
struct EditorCommandPreferences {
    int tabWidth = 4;  // columns
    bool usesSpaces = false;
    bool showsInvisibles = false;
    bool showsIndentGuides = false;
    std::optional<int> pageGuideColumn;
    double fontSize = 14;  // points
    bool monospacedFont = true;
    bool antialias = true;
    bool ligatures = false;
    bool vertical = false;
    bool rightToLeft = false;
    bool editable = true;
    bool automaticallyIndents = true;

    friend bool operator==(const EditorCommandPreferences&, const EditorCommandPreferences&) = default;
};

}  // namespace korimado
