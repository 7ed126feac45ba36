#include "search/folder/FolderApplyTemporaries.h"

#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderSearchEngine.h"

#include "platform/documents/FileIO.h"
#include "platform/documents/FileReplacement.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FilePath.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korimado {

namespace {

const QString namePrefix = QStringLiteral(".korimado-apply-");
constexpr qsizetype randomDigits = 8;
constexpr qsizetype sealDigits = 16;
constexpr qsizetype keySize = 32;
const QString keyFileName = QStringLiteral(".folder-replace-key");

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) byte = char(QRandomGenerator::system()->bounded(256));
    return bytes;
}

// The key is the user's alone: a file of their own, readable by them only.
std::optional<QByteArray> readKey(const QString& path)
{
    struct stat info {};
    if (::lstat(encodedFileName(path).constData(), &info) != 0) return std::nullopt;
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0 || info.st_size != keySize) {
        return QByteArray();
    }
    const std::optional<QByteArray> key = readWholeFile(path, nullptr, keySize);
    return key && key->size() == keySize ? *key : QByteArray();
}

QByteArray loadOrMakeKey()
{
    const QString folder = Bundle::applicationSupportDirectory();
    if (!folder.isEmpty()) {
        const QString path = folder + u'/' + keyFileName;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (const std::optional<QByteArray> key = readKey(path)) {
                if (!key->isEmpty()) return *key;
                break;
            }
            const QByteArray fresh = randomBytes(keySize);
            if (writeNewFile(path, fresh, 0600, nullptr)) {
                flushFileSystems({path}, nullptr);
                return fresh;
            }
        }
    }
    // This process's own: what it leaves is no later run's to remove, but nothing else is either.
    return randomBytes(keySize);
}

QString sealOf(QStringView writerAndRandom)
{
    static const QByteArray key = loadOrMakeKey();
    const QByteArray mac = QMessageAuthenticationCode::hash(writerAndRandom.toUtf8(), key, QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.toHex().left(sealDigits));
}

// The process id in a temporary's name; 0 when the name is not one this user's runs give.
qint64 writerOf(const QString& name)
{
    constexpr qsizetype tail = 1 + randomDigits + 1 + sealDigits;
    if (!name.startsWith(namePrefix) || name.size() < namePrefix.size() + 1 + tail) return 0;
    const qsizetype dash = name.size() - tail;
    if (name[dash] != u'-' || name[dash + 1 + randomDigits] != u'-') return 0;
    for (qsizetype i = dash + 1; i < name.size(); ++i) {
        if (i != dash + 1 + randomDigits && !isHexDigit(name[i])) return 0;
    }
    const QStringView digits = QStringView(name).sliced(namePrefix.size(), dash - namePrefix.size());
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') return 0;
    }
    bool ok = false;
    const qint64 pid = digits.toLongLong(&ok);
    if (!ok || pid <= 0) return 0;
    const QStringView sealed = QStringView(name).sliced(namePrefix.size(), name.size() - namePrefix.size() - sealDigits - 1);
    return QStringView(name).sliced(name.size() - sealDigits) == sealOf(sealed) ? pid : 0;
}

// Whether a stale temporary folder holds only what a run writes there: folders and files of this
// user, each file with no other name.
bool holdsOnlyRunFiles(const QString& folder, FolderFileSystem& fileSystem, int depth)
{
    if (depth > 64) return false;
    const std::optional<QStringList> names = fileSystem.contentsOfDirectory(folder, nullptr);
    if (!names) return false;
    for (const QString& name : *names) {
        const QString path = folder + u'/' + name;
        const std::optional<FolderEntryAttributes> attributes = fileSystem.attributes(path, false);
        if (!attributes || attributes->ownerID != quint32(::geteuid()) || attributes->isSymbolicLink) return false;
        if (attributes->isDirectory) {
            if (!holdsOnlyRunFiles(path, fileSystem, depth + 1)) return false;
        } else if (!attributes->isRegularFile || attributes->linkCount != 1) {
            return false;
        }
    }
    return true;
}

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

}  // namespace

QString FolderApplyTemporaries::newName()
{
    return nameFor(qint64(::getpid()));
}

QString FolderApplyTemporaries::nameFor(qint64 writer)
{
    const QString unsealed = QString::number(writer) + u'-'
        + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), int(randomDigits), 16, QLatin1Char('0'));
    return namePrefix + unsealed + u'-' + sealOf(unsealed);
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
        if (!attributes || attributes->ownerID != quint32(::geteuid()) || attributes->isSymbolicLink) return true;
        if (attributes->isDirectory) {
            if (holdsOnlyRunFiles(path, fileSystem, 0)) removeTree(path, fileSystem);
        } else if (attributes->isRegularFile && attributes->linkCount == 1) {
            fileSystem.removeFile(path, nullptr);
        }
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
