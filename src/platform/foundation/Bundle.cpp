#include "platform/foundation/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

namespace korimado {

namespace {

QString executableDirectory()
{
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

std::optional<BundleConfiguration>& configured()
{
    static std::optional<BundleConfiguration> value;
    return value;
}

}  // namespace

void Bundle::configure(BundleConfiguration configuration)
{
    configured() = std::move(configuration);
}

const BundleConfiguration& Bundle::configuration()
{
    if (!configured()) qFatal("Bundle::configure() was not called before the bundle's identity was asked for");
    return *configured();
}

const Bundle& Bundle::main()
{
    static const Bundle bundle(locateResources());
    return bundle;
}

QString Bundle::locateResources()
{
    const QString fromEnvironment = qEnvironmentVariable("KORIMADO_RESOURCES");
    if (!fromEnvironment.isEmpty()) return QDir::cleanPath(fromEnvironment);

    const QString exeDir = executableDirectory();
    const QStringList candidates = {
        exeDir + QStringLiteral("/resources"),
        exeDir + QStringLiteral("/../share/korimado"),
        QStringLiteral(KORIMADO_SOURCE_RESOURCES),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isDir()) return QDir::cleanPath(candidate);
    }
    return QDir::cleanPath(QStringLiteral(KORIMADO_SOURCE_RESOURCES));
}

QString Bundle::path(const QString& resource, const QString& extension, const QString& subdirectory) const
{
    if (resource.isEmpty()) return {};
    QString name = resource;
    if (!extension.isEmpty()) {
        name += extension.startsWith(QLatin1Char('.')) ? extension : QLatin1Char('.') + extension;
    }
    QString folder = resourceRoot_;
    if (!subdirectory.isEmpty()) folder += QLatin1Char('/') + subdirectory;
    const QString full = QDir::cleanPath(folder + QLatin1Char('/') + name);
    // A name such as "../x" must not reach outside the resources.
    if (!full.startsWith(QDir::cleanPath(resourceRoot_) + QLatin1Char('/'))) return {};
    return QFileInfo::exists(full) ? full : QString();
}

QUrl Bundle::url(const QString& resource, const QString& extension, const QString& subdirectory) const
{
    const QString found = path(resource, extension, subdirectory);
    return found.isEmpty() ? QUrl() : QUrl::fromLocalFile(found);
}

QString Bundle::applicationSupportPath(const QString& subfolder)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') +
                     configuration().dataFolderName;
    if (!subfolder.isEmpty()) folder += QLatin1Char('/') + subfolder;
    return QDir::cleanPath(folder);
}

QString Bundle::configurationFilePath(const QString& name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           configuration().dataFolderName + QLatin1Char('/') + name;
}

QString Bundle::applicationSupportDirectory(const QString& subfolder)
{
    const QString folder = applicationSupportPath(subfolder);
    return QDir().mkpath(folder) ? folder : QString();
}

}  // namespace korimado
