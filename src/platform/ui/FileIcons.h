#pragma once

#include <QIcon>
#include <QString>

namespace korimado {

// Icons for files and folders as the desktop shows them: the icon theme's icon for the file's
// type, else the theme's generic icon for its kind, else the program's own bundled one. Looked up
// by name only (the file is never read) and cached per type, so a tree of thousands of rows asks
// the theme a few times. Main thread only.
class FileIcons {
public:
    static QIcon iconForFile(const QString& path);
    static QIcon folderIcon();
    // The icon's name in the theme: the file type's own, or its generic one when the theme lacks
    // it. Empty when the theme has neither and the bundled icon stands in.
    static QString themeIconNameForFile(const QString& path);
    // Forgets what was looked up, after the icon theme changed.
    static void clearCache();
};

}  // namespace korimado
