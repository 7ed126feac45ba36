#include "search/folder/FolderApplyTemporaries.h"

#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderSearchEngine.h"

#include <QRandomGenerator>

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace korimado {

namespace {

const QString namePrefix = QStringLiteral(".korimado-apply-");
constexpr qsizetype randomDigits = 8;

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
}

// The process id in a temporary's name; 0 when the name is not one.
qint64 writerOf(const QString& name)
{
    if (!name.startsWith(namePrefix) || name.size() < namePrefix.size() + 2 + randomDigits) return 0;
    const qsizetype dash = name.size() - randomDigits - 1;
    if (name[dash] != u'-') return 0;
    for (qsizetype i = dash + 1; i < name.size(); ++i) {
        if (!isHexDigit(name[i])) return 0;
    }
    bool ok = false;
    const QStringView digits = QStringView(name).sliced(namePrefix.size(), dash - namePrefix.size());
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') return 0;
    }
    const qint64 pid = digits.toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

}  // namespace

QString FolderApplyTemporaries::prefix()
{
    return namePrefix + QString::number(qint64(::getpid())) + u'-';
}

QString FolderApplyTemporaries::newName()
{
    return prefix() + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), int(randomDigits), 16, QLatin1Char('0'));
}

bool FolderApplyTemporaries::isTemporaryName(const QString& name)
{
    return writerOf(name) != 0;
}

bool FolderApplyTemporaries::isStale(const QString& name)
{
    const qint64 pid = writerOf(name);
    if (pid == 0 || pid == qint64(::getpid())) return false;
    // Alive, or someone else's process that we may not signal: still someone's.
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

void FolderApplyTemporaries::sweep(const QString& folder, std::vector<FolderListingEntry>& entries,
                                   FolderFileSystem& fileSystem)
{
    std::erase_if(entries, [&](const FolderListingEntry& entry) {
        const QString& name = entry.name;
        if (!isTemporaryName(name)) return false;
        if (!isStale(name)) return true;
        const QString path = childPath(folder, name);
        const std::optional<FolderEntryAttributes> attributes = fileSystem.attributes(path, false);
        if (attributes && attributes->isDirectory && !attributes->isSymbolicLink) removeTree(path, fileSystem);
        else if (attributes && attributes->isRegularFile) fileSystem.removeFile(path, nullptr);
        return true;
    });
}

void FolderApplyTemporaries::removeTree(const QString& folder, FolderFileSystem& fileSystem)
{
    const std::optional<QStringList> names = fileSystem.contentsOfDirectory(folder, nullptr);
    for (const QString& name : names.value_or(QStringList())) {
        const QString path = childPath(folder, name);
        const std::optional<FolderEntryAttributes> attributes = fileSystem.attributes(path, false);
        if (attributes && attributes->isDirectory && !attributes->isSymbolicLink) removeTree(path, fileSystem);
        else fileSystem.removeFile(path, nullptr);
    }
    fileSystem.removeDirectory(folder, nullptr);
}

void FolderApplyTemporaries::sweepBackupFolder(const QString& root, FolderFileSystem& fileSystem)
{
    const QString folder = (root.endsWith(u'/') ? root : root + u'/') + FolderSearchEngine::backupFolderName;
    const std::optional<FolderEntryAttributes> attributes = fileSystem.attributes(folder, false);
    if (!attributes || !attributes->isDirectory || attributes->isSymbolicLink) return;
    std::optional<std::vector<FolderListingEntry>> entries = fileSystem.listDirectory(folder, nullptr);
    if (entries) sweep(folder, *entries, fileSystem);
}

}  // namespace korimado
