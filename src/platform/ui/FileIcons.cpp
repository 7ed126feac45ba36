#include "platform/ui/FileIcons.h"

#include "platform/foundation/Bundle.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>

namespace korimado {

namespace {

struct Cache {
    QHash<QString, QIcon> byType;
    QIcon folder;
};

Cache& cache()
{
    static Cache c;
    return c;
}

// The program's own icon of that name, or a null icon.
QIcon bundled(const QString& name)
{
    const QString path = Bundle::main().path(name, QStringLiteral("png"), QStringLiteral("Icons"));
    return path.isEmpty() ? QIcon() : QIcon(path);
}

QMimeType typeOf(const QString& path)
{
    static const QMimeDatabase database;
    return database.mimeTypeForFile(QFileInfo(path).fileName(), QMimeDatabase::MatchExtension);
}

}  // namespace

QString FileIcons::themeIconNameForFile(const QString& path)
{
    const QMimeType type = typeOf(path);
    for (const QString& name : {type.iconName(), type.genericIconName()})
        if (!name.isEmpty() && QIcon::hasThemeIcon(name)) return name;
    return {};
}

QIcon FileIcons::iconForFile(const QString& path)
{
    const QMimeType type = typeOf(path);
    Cache& c = cache();
    const auto found = c.byType.constFind(type.name());
    if (found != c.byType.constEnd()) return *found;

    QIcon icon;
    const QString themed = themeIconNameForFile(path);
    if (!themed.isEmpty()) icon = QIcon::fromTheme(themed);
    if (icon.isNull()) icon = bundled(type.genericIconName());
    if (icon.isNull()) icon = bundled(QStringLiteral("text-x-generic"));
    if (icon.isNull()) icon = QFileIconProvider().icon(QFileIconProvider::File);
    c.byType.insert(type.name(), icon);
    return icon;
}

QIcon FileIcons::folderIcon()
{
    QIcon& icon = cache().folder;
    if (!icon.isNull()) return icon;
    const QString name = QStringLiteral("folder");
    if (QIcon::hasThemeIcon(name)) icon = QIcon::fromTheme(name);
    if (icon.isNull()) icon = bundled(name);
    if (icon.isNull()) icon = QFileIconProvider().icon(QFileIconProvider::Folder);
    return icon;
}

void FileIcons::clearCache()
{
    cache() = Cache();
}

}  // namespace korimado
