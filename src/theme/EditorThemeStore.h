#pragma once

#include "theme/EditorTheme.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace korimado {

class Bundle;

// One theme the user can choose: its own name (not necessarily its file's) and where it lies.
struct EditorThemeDescriptor {
    QString name;
    QString url;  // the file's path as the folder listing gave it
    bool isBundled = false;

    friend bool operator==(const EditorThemeDescriptor&, const EditorThemeDescriptor&) = default;
};

// The themes shipped in the resources' "Themes" folder and those the user installed; a user
// theme takes the place of a shipped one of the same name. Parsed themes are cached per file
// until the file's modification time changes. Safe to call from any thread.
class EditorThemeStore {
public:
    // The program's store: the main bundle's themes and $XDG_DATA_HOME/Korimado/Themes.
    static EditorThemeStore& shared();

    // Neither folder is created here; the user folder only when a theme is installed.
    explicit EditorThemeStore(const Bundle& bundle);
    EditorThemeStore(const std::optional<QString>& bundledDirectory, const QString& userDirectory);
    EditorThemeStore(const EditorThemeStore&) = delete;
    EditorThemeStore& operator=(const EditorThemeStore&) = delete;

    const std::optional<QString>& bundledDirectory() const { return bundledDirectory_; }
    const QString& userDirectory() const { return userDirectory_; }

    // Every loadable theme, sorted by name as file browsers sort; broken files are left out.
    std::vector<EditorThemeDescriptor> availableThemes() const;
    QStringList availableThemeNames() const;
    // The theme with exactly this name; throws EditorThemeError (unavailable, or the load's failure).
    EditorTheme theme(const QString& named) const;
    // The theme in one file, parsed again only when the file changed. Throws EditorThemeError.
    EditorTheme load(const QString& url) const;
    // Forgets the cached theme of one file, or of all files.
    void invalidate(const std::optional<QString>& url = std::nullopt);

    // Validates the bytes and writes the theme, re-encoded, to "<name>.cottheme" in the user
    // folder. Without overwrite an existing file is left alone (alreadyImported). Throws EditorThemeError.
    EditorTheme installTheme(const QByteArray& data, const std::optional<QString>& nameFallback, bool overwrite);
    // Writes the theme as a ".cottheme" file to a path, replacing any file there. Throws EditorThemeError.
    void exportTheme(const EditorTheme& theme, const QString& to) const;

private:
    struct CacheEntry {
        std::optional<qint64> date;
        EditorTheme theme;
    };

    const std::optional<QString> bundledDirectory_;
    const QString userDirectory_;
    mutable std::mutex lock_;
    mutable std::map<QString, CacheEntry> cache_;
};

}  // namespace korimado
