#pragma once

#include <QString>
#include <QUrl>

namespace korimado {

// Where the application's bundled resources and its per-user data live.
class Bundle {
public:
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

    static QString bundleIdentifier() { return QStringLiteral("app.korimado.Korimado"); }

    // $XDG_DATA_HOME/Korimado (or one of its subfolders), created when missing; empty when it
    // cannot be created.
    static QString applicationSupportDirectory(const QString& subfolder = {});
    // The same folder's path, whether or not it exists; nothing is created.
    static QString applicationSupportPath(const QString& subfolder = {});

private:
    static QString locateResources();

    QString resourceRoot_;
};

}  // namespace korimado
