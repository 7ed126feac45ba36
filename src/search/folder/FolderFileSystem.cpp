#include "search/folder/FolderFileSystem.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/FilePath.h"
#include "search/folder/FolderApplyTemporaries.h"

#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace korimado {

namespace {

QDateTime modificationTime(const struct stat& info)
{
    const qint64 ms = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1'000'000;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// Asked for every entry a search lists: once is enough.
bool isSuperUser()
{
    static const bool root = ::geteuid() == 0;
    return root;
}

// As the safe write judges it: a file its owner may not write is never replaced, even by root.
bool mayReplace(const QByteArray& path, const struct stat& info)
{
    return S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) != 0
        && (isSuperUser() || ::access(path.constData(), W_OK) == 0);
}

}  // namespace

// The process's own file system: listings say what each entry is, so that a search need not
// look at every file before a worker opens it.
class LocalFolderFileSystem : public FolderFileSystem {
public:
    std::optional<std::vector<FolderListingEntry>> listDirectory(const QString& path, ErrorInfo* error) const override
    {
        DIR* dir = ::opendir(encodedFileName(path).constData());
        if (!dir) {
            if (error) *error = posixError(errno, path);
            return std::nullopt;
        }
        std::vector<FolderListingEntry> entries;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            FolderListingEntry out;
            out.name = decodedFileName(name);
            switch (entry->d_type) {
            case DT_DIR: out.kind = FolderListingEntry::Kind::directory; break;
            case DT_REG: out.kind = FolderListingEntry::Kind::regularFile; break;
            case DT_LNK: out.kind = FolderListingEntry::Kind::symbolicLink; break;
            case DT_UNKNOWN: out.kind = FolderListingEntry::Kind::unknown; break;
            default: out.kind = FolderListingEntry::Kind::other; break;
            }
            entries.push_back(std::move(out));
        }
        const int code = errno;
        ::closedir(dir);
        if (code != 0) {
            if (error) *error = posixError(code, path);
            return std::nullopt;
        }
        return entries;
    }

    // Opened first and looked at through the descriptor: one look at the file instead of two.
    std::optional<QByteArray> readFile(const QString& path, qint64 maximumSize, ErrorInfo* error) const override
    {
        QByteArray data;
        if (readFileInto(path, maximumSize, data, 0, nullptr, error) != FolderReadOutcome::read) return std::nullopt;
        return data;
    }

    FolderReadOutcome readFileInto(const QString& path, qint64 maximumSize, QByteArray& buffer, qsizetype firstBlock,
                                   bool (*refusesStart)(QByteArrayView), ErrorInfo* error) const override
    {
        const QByteArray encoded = encodedFileName(path);
        // Without O_NONBLOCK a pipe put in the file's place meanwhile would block until a writer came.
        const int fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            if (error) *error = posixError(errno, path);
            return FolderReadOutcome::failed;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            const int code = S_ISREG(info.st_mode) ? errno : EINVAL;
            ::close(fd);
            if (error) *error = posixError(code, path);
            return FolderReadOutcome::failed;
        }
        const qint64 limit = maximumSize + 1;
        qint64 capacity = std::min<qint64>(info.st_size > 0 ? info.st_size + 1 : 4096, limit);
        // Only the first block at first, when its bytes may settle the matter.
        qint64 stage = refusesStart ? std::min<qint64>(capacity, std::max<qsizetype>(firstBlock, 1)) : capacity;
        buffer.resize(qsizetype(stage));
        qint64 used = 0;
        bool looked = !refusesStart;
        while (used < limit) {
            if (used == stage) {
                if (!looked) {
                    looked = true;
                    if (refusesStart(QByteArrayView(buffer.constData(), qsizetype(used)))) {
                        ::close(fd);
                        buffer.truncate(qsizetype(used));
                        return FolderReadOutcome::refused;
                    }
                }
                if (used == capacity) capacity = std::min(capacity * 2, limit);
                stage = capacity;
                buffer.resize(qsizetype(capacity));
            }
            const ssize_t count = ::read(fd, buffer.data() + used, size_t(stage - used));
            if (count < 0) {
                if (errno == EINTR) continue;
                const int code = errno;
                ::close(fd);
                if (error) *error = posixError(code, path);
                return FolderReadOutcome::failed;
            }
            if (count == 0) break;
            used += count;
        }
        ::close(fd);
        buffer.truncate(qsizetype(used));
        if (!looked && refusesStart(QByteArrayView(buffer))) return FolderReadOutcome::refused;
        return FolderReadOutcome::read;
    }
};

FolderFileSystem& FolderFileSystem::standard()
{
    static LocalFolderFileSystem instance;
    return instance;
}

std::optional<std::vector<FolderListingEntry>> FolderFileSystem::listDirectory(const QString& path, ErrorInfo* error) const
{
    std::optional<QStringList> names = contentsOfDirectory(path, error);
    if (!names) return std::nullopt;
    std::vector<FolderListingEntry> entries;
    entries.reserve(size_t(names->size()));
    for (QString& name : *names) entries.push_back({std::move(name), FolderListingEntry::Kind::unknown});
    return entries;
}

std::optional<QStringList> FolderFileSystem::contentsOfDirectory(const QString& path, ErrorInfo* error) const
{
    DIR* dir = ::opendir(encodedFileName(path).constData());
    if (!dir) {
        if (error) *error = posixError(errno, path);
        return std::nullopt;
    }
    QStringList names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        names.push_back(decodedFileName(name));
    }
    const int code = errno;
    ::closedir(dir);
    if (code != 0) {
        if (error) *error = posixError(code, path);
        return std::nullopt;
    }
    return names;
}

std::optional<FolderEntryAttributes> FolderFileSystem::attributes(const QString& path, bool followLinks) const
{
    const QByteArray encoded = encodedFileName(path);
    struct stat info {};
    if ((followLinks ? ::stat(encoded.constData(), &info) : ::lstat(encoded.constData(), &info)) != 0) {
        return std::nullopt;
    }
    FolderEntryAttributes attributes;
    attributes.isDirectory = S_ISDIR(info.st_mode);
    attributes.isRegularFile = S_ISREG(info.st_mode);
    attributes.isSymbolicLink = S_ISLNK(info.st_mode);
    attributes.fileSize = qint64(info.st_size);
    attributes.modificationDate = modificationTime(info);
    attributes.isWritable = mayReplace(encoded, info);
    attributes.posixPermissions = quint32(info.st_mode & 07777);
    attributes.identity = FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
    attributes.linkCount = quint64(info.st_nlink);
    attributes.ownerID = quint32(info.st_uid);
    return attributes;
}

std::optional<QString> FolderFileSystem::resolvedPath(const QString& path) const
{
    // A dangling link still says where it leads: its target, resolved as far as it exists, so
    // that a link to a missing file outside the folder is told apart from one inside it.
    QString current = standardizedPath(path);
    for (int depth = 0; depth < 40; ++depth) {
        char buffer[PATH_MAX];
        if (::realpath(encodedFileName(current).constData(), buffer)) return standardizedPath(decodedFileName(buffer));
        if (errno != ENOENT) return std::nullopt;
        const QFileInfo info(current);
        if (!info.isSymLink()) {
            const std::optional<QString> folder = info.path() == current ? std::nullopt : resolvedPath(info.path());
            return folder ? standardizedPath(*folder + u'/' + info.fileName()) : current;
        }
        current = standardizedPath(info.symLinkTarget());
    }
    return std::nullopt;
}

std::optional<QByteArray> FolderFileSystem::readFile(const QString& path, qint64 maximumSize, ErrorInfo* error) const
{
    return readWholeFile(path, error, maximumSize);
}

FolderReadOutcome FolderFileSystem::readFileInto(const QString& path, qint64 maximumSize, QByteArray& buffer,
                                                 qsizetype firstBlock, bool (*refusesStart)(QByteArrayView),
                                                 ErrorInfo* error) const
{
    std::optional<QByteArray> data = readFile(path, maximumSize, error);
    if (!data) return FolderReadOutcome::failed;
    buffer = std::move(*data);
    if (refusesStart && refusesStart(QByteArrayView(buffer).first(std::min(buffer.size(), std::max<qsizetype>(firstBlock, 1)))))
        return FolderReadOutcome::refused;
    return FolderReadOutcome::read;
}

bool FolderFileSystem::isWritable(const QString& path) const
{
    const QByteArray encoded = encodedFileName(path);
    struct stat info {};
    return ::stat(encoded.constData(), &info) == 0 && mayReplace(encoded, info);
}

bool FolderFileSystem::isFolderWritable(const QString& path) const
{
    return ::access(encodedFileName(path).constData(), W_OK | X_OK) == 0;
}

std::optional<QString> FolderFileSystem::writeTemporary(const QString& folder, const QByteArray& data, ErrorInfo* error)
{
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = base + FolderApplyTemporaries::newName();
        ErrorInfo failure;
        if (korimado::writeNewFile(path, data, 0600, &failure)) return path;
        if (failure.code != EEXIST) {
            if (error) *error = failure;
            return std::nullopt;
        }
    }
    if (error) *error = posixError(EEXIST, folder);
    return std::nullopt;
}

bool FolderFileSystem::writeNewFile(const QString& path, const QByteArray& data, quint32 mode, ErrorInfo* error)
{
    return korimado::writeNewFile(path, data, mode, error);
}

bool FolderFileSystem::overwrite(const QString& path, const FileIdentity& expected, const QByteArray& data,
                                 ErrorInfo* error)
{
    return overwriteInPlace(path, expected, data, error);
}

bool FolderFileSystem::renameFolder(const QString& source, const QString& destination, ErrorInfo* error)
{
    return renameNewFolder(source, destination, error);
}

bool FolderFileSystem::replace(const QString& source, const QString& destination,
                               const std::optional<FileIdentity>& expected, std::optional<quint32> mode,
                               FileIdentity* placed, ErrorInfo* error)
{
    return replaceByRename(source, destination, expected, mode, placed, error);
}

bool FolderFileSystem::removeFile(const QString& path, ErrorInfo* error)
{
    return korimado::removeFile(path, error);
}

bool FolderFileSystem::removeDirectory(const QString& path, ErrorInfo* error)
{
    if (::rmdir(encodedFileName(path).constData()) == 0) return true;
    if (error) *error = posixError(errno, path);
    return false;
}

bool FolderFileSystem::flush(const QStringList& paths, ErrorInfo* error)
{
    return flushFileSystems(paths, error);
}

bool FolderFileSystem::createDirectory(const QString& path, quint32 mode, ErrorInfo* error)
{
    const QByteArray encoded = encodedFileName(path);
    if (::mkdir(encoded.constData(), mode_t(mode & 07777)) != 0) {
        if (error) *error = posixError(errno, path);
        return false;
    }
    // mkdir leaves out what the umask takes away; the mode asked for is the one meant.
    if (::chmod(encoded.constData(), mode_t(mode & 07777)) != 0) {
        if (error) *error = posixError(errno, path);
        return false;
    }
    return true;
}

}  // namespace korimado
