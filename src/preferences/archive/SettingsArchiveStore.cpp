#include "preferences/archive/SettingsArchiveStore.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/Bundle.h"
#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsArchiveError.h"

#include <QDir>
#include <QFileInfo>

namespace korimado {

namespace {

QString defaultBasePath()
{
    QString support = Bundle::applicationSupportPath();
    if (support.isEmpty()) support = QDir::tempPath() + QLatin1Char('/') + Bundle::configuration().dataFolderName;
    return QDir::cleanPath(support + QStringLiteral("/Settings/ImportedBase.cotsettings"));
}

}  // namespace

SettingsArchiveStore::SettingsArchiveStore() : baseArchivePath_(defaultBasePath()) {}

void SettingsArchiveStore::saveBase(const SettingsArchive& archive, const FileWrapper::BeforeExchange& beforeExchange,
                                    const CancellationToken* cancel) const
{
    ErrorInfo error;
    if (!createDirectories(QFileInfo(baseArchivePath_).path(), &error)) {
        throw SettingsArchiveError::fileOperation(QStringLiteral("保存"), error);
    }
    archive.write(baseArchivePath_, beforeExchange, cancel);
}

}  // namespace korimado
