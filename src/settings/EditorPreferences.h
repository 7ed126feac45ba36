#pragma once

#include "document/TextFormat.h"

#include <QColor>
#include <QFont>

namespace korimado {

class EditorWindowController;
class UserDefaults;

// Applies the editor settings to the application; each call reads a fresh snapshot.
class EditorPreferences {
public:
    EditorPreferences() = delete;

    // The format of new documents; names that match no encoding or line ending give UTF-8 and LF.
    static TextFormat defaultTextFormat();
    static TextFormat defaultTextFormat(const UserDefaults& defaults);

    // The named font when it is installed, else the system's fixed-pitch font, at the set size.
    static QFont editorFont();
    static QFont editorFont(const UserDefaults& defaults);

    // 1 light, 2 dark, anything else follows the system.
    static void applyAppearance();
    static void applyAppearance(const UserDefaults& defaults);

    // The colours the editors paint with.
    struct Theme {
        QColor background;
        QColor text;
        QColor insertionPoint;
        QColor selection;
    };
    // The colours of the chosen theme ("editor.themeName"), else "Classic", else the built-in one.
    static Theme currentTheme();

    // Applies font, colours, tabs, invisibles, guides, line numbers and the status line to one
    // window, and lets its sidebar re-read its own settings.
    static void apply(EditorWindowController& to);
};

}  // namespace korimado
