#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace korimado {

// Who the program is. This layer knows no name of its own: the program configures it once, before
// anything here asks.
struct BundleConfiguration {
    QString identifier;      // reverse-DNS; queue labels start with it
    QString dataFolderName;  // the program's folder in the user's data and config folders
    QString errorDomain;     // the domain of the errors this layer makes
    QStringList localizations;  // the languages the program speaks, the one it shows first
    QString name;            // the program's name as its user knows it
};

// Where the application's bundled resources and its per-user data live.
class Bundle {
public:
    static void configure(BundleConfiguration configuration);
    // Stops the process when nothing was configured: files would land in the wrong folders.
    static const BundleConfiguration& configuration();

    // Resources from $KORIMADO_RESOURCES, else "resources" beside the executable, else the
    // installed "<prefix>/share/korimado", else the source tree's folder.
    static const Bundle& main();
    explicit Bundle(const QString& resourceRoot) : resourceRoot_(resourceRoot) {}

    QString resourcePath() const { return resourceRoot_; }
    // The file's (or folder's) path, or empty when it does not exist. The extension may be given with or without
    // its dot, or left empty when the name carries it.
    QString path(const QString& resource, const QString& extension = {}, const QString& subdirectory = {}) const;
    // The file's URL, or an empty URL when it does not exist.
    QUrl url(const QString& resource, const QString& extension = {}, const QString& subdirectory = {}) const;

    static QString bundleIdentifier() { return configuration().identifier; }
    // The languages the program shows itself in, most preferred first; the system's own panels
    // and buttons follow the first.
    static QStringList preferredLocalizations() { return configuration().localizations; }

    // $XDG_DATA_HOME/<data folder> (or one of its subfolders), created when missing; empty when it
    // cannot be created.
    static QString applicationSupportDirectory(const QString& subfolder = {});
    // The same folder's path, whether or not it exists; nothing is created.
    static QString applicationSupportPath(const QString& subfolder = {});
    // $XDG_CONFIG_HOME/<data folder>/name; nothing is created.
    static QString configurationFilePath(const QString& name);

private:
    static QString locateResources();

    QString resourceRoot_;
};

}  // namespace korimado
