#pragma once

#include "document/TextFormat.h"

#include <QFont>

namespace korimado {

class UserDefaults;

// What the editor settings give the application as a whole; each call reads a fresh snapshot.
class EditorPreferences {
public:
    EditorPreferences() = delete;

    // The format of new documents; names that match no encoding or line ending give UTF-8 and LF.
    static TextFormat defaultTextFormat();
    static TextFormat defaultTextFormat(const UserDefaults& defaults);

    // The named font when it is installed (a family, or one face by its PostScript name), else the
    // system's fixed-pitch font, at the set size.
    static QFont editorFont();
    static QFont editorFont(const UserDefaults& defaults);
    // The name a font setting is exported under: itself when installed, else the fixed-pitch family.
    static QString exportedFontFamily(const QString& fontName);

    // 1 light, 2 dark, anything else follows the system.
    static void applyAppearance();
    static void applyAppearance(const UserDefaults& defaults);
};

}  // namespace korimado
