#include "platform/documents/FileReplacement.h"

#include "platform/documents/ExtendedAttributes.h"
#include "platform/documents/FileDescriptor.h"
#include "platform/documents/FileIO.h"
#include "platform/foundation/FilePath.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSet>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace korimado {

namespace {

bool fail(ErrorInfo* error, int code, const QString& path)
{
    if (!error) return false;
    if (code != fileReplacedErrorCode) {
        *error = posixError(code, path);
        return false;
    }
    const QString name = QStringLiteral("“%1”").arg(path.section(u'/', -1));
    *error = ErrorInfo{posixErrorDomain, code,
                       name + QStringLiteral("は確認した後で別のファイルかリンクに置き換えられたため、書き込みませんでした。"),
                       QStringLiteral("内容を確かめてから、もう一度試してください。")};
    return false;
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QString& path)
{
    return encodedFileName(path.section(u'/', -1));
}

// The folder of path, opened, as long as it is still the folder the path names: a folder on the
// way swapped for a link leads elsewhere and is refused. Paths are expected free of links.
FileDescriptor openFolder(const QString& folder, int* code)
{
    const QByteArray encoded = encodedFileName(folder);
    FileDescriptor fd(::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.isOpen()) {
        *code = errno;
        return fd;
    }
    char buffer[PATH_MAX];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd.get());
    const ssize_t length = ::readlink(self.constData(), buffer, sizeof buffer);
    QString actual;
    if (length > 0 && length < ssize_t(sizeof buffer)) {
        actual = decodedFileName(QByteArray(buffer, length));
    } else {
        // Without /proc: where the path leads now, and that it is the folder that was opened.
        struct stat opened {};
        struct stat named {};
        if (!::realpath(encoded.constData(), buffer) || ::fstat(fd.get(), &opened) != 0
            || ::stat(buffer, &named) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
            *code = fileReplacedErrorCode;
            return FileDescriptor();
        }
        actual = decodedFileName(buffer);
    }
    if (standardizedPath(actual) != standardizedPath(folder)) {
        *code = fileReplacedErrorCode;
        return FileDescriptor();
    }
    return fd;
}

// The folders of both ends of a rename, each checked as openFolder does; one folder, as a
// temporary beside its target has, is opened once.
class RenameFolders {
public:
    bool open(const QString& source, const QString& destination, ErrorInfo* error)
    {
        int code = 0;
        const QString fromFolder = folderOf(source);
        const QString toFolder = folderOf(destination);
        from_ = openFolder(fromFolder, &code);
        if (!from_.isOpen()) return fail(error, code, source);
        if (toFolder == fromFolder) return true;
        to_ = openFolder(toFolder, &code);
        return to_.isOpen() || fail(error, code, destination);
    }
    int from() const { return from_.get(); }
    int to() const { return to_.isOpen() ? to_.get() : from_.get(); }

private:
    FileDescriptor from_;
    FileDescriptor to_;
};

// Creates path (never through a link) and writes data into it; removed again on a failure.
bool writeNew(const QByteArray& path, const QString& shownPath, const QByteArray& data, mode_t mode, ErrorInfo* error,
              int* code)
{
    FileDescriptor fd(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.isOpen()) {
        *code = errno;
        return fail(error, errno, shownPath);
    }
    const char* bytes = data.constData();
    qsizetype left = data.size();
    *code = 0;
    while (left > 0 && *code == 0) {
        const ssize_t written = ::write(fd.get(), bytes, size_t(left));
        if (written < 0) {
            if (errno != EINTR) *code = errno;
            continue;
        }
        bytes += written;
        left -= written;
    }
    if (*code == 0 && mode != 0600 && ::fchmod(fd.get(), mode) != 0) *code = errno;
    // Some file systems tell of a full disk only when the file is closed.
    if (::close(fd.release()) != 0 && *code == 0) *code = errno;
    if (*code == 0) return true;
    ::unlink(path.constData());
    return fail(error, *code, shownPath);
}

}  // namespace

std::optional<QString> writeTemporaryFile(const QString& folder, const QString& prefix, const QByteArray& data,
                                          ErrorInfo* error)
{
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path =
            base + prefix + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        int code = 0;
        if (writeNew(encodedFileName(path), path, data, 0600, error, &code)) return path;
        if (code != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

bool writeNewFile(const QString& path, const QByteArray& data, quint32 mode, ErrorInfo* error)
{
    int code = 0;
    return writeNew(encodedFileName(path), path, data, mode_t(mode & 07777), error, &code);
}

bool renameNewFolder(const QString& source, const QString& destination, ErrorInfo* error)
{
    RenameFolders folders;
    if (!folders.open(source, destination, error)) return false;
    const QByteArray fromName = nameOf(source);
    struct stat own {};
    if (::fstatat(folders.from(), fromName.constData(), &own, AT_SYMLINK_NOFOLLOW) != 0) return fail(error, errno, source);
    if (!S_ISDIR(own.st_mode)) return fail(error, ENOTDIR, source);
    if (::renameat2(folders.from(), fromName.constData(), folders.to(), nameOf(destination).constData(), RENAME_NOREPLACE)
        != 0) {
        return fail(error, errno, destination);
    }
    return true;
}

bool replaceByRename(const QString& source, const QString& destination, const std::optional<FileIdentity>& expected,
                     std::optional<quint32> mode, FileIdentity* placed, ErrorInfo* error)
{
    RenameFolders folders;
    if (!folders.open(source, destination, error)) return false;
    const int from = folders.from();
    const int to = folders.to();
    const QByteArray fromName = nameOf(source);
    const QByteArray toName = nameOf(destination);

    const FileDescriptor file(::openat(from, fromName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat own {};
    if (!file.isOpen() || ::fstat(file.get(), &own) != 0) return fail(error, errno, source);
    if (!S_ISREG(own.st_mode)) return fail(error, EINVAL, source);

    struct stat there {};
    const bool exists = ::fstatat(to, toName.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) return fail(error, errno, destination);
    if (expected) {
        if (!exists) return fail(error, ENOENT, destination);
        if (!S_ISREG(there.st_mode) || there.st_dev != expected->device || there.st_ino != expected->inode) {
            return fail(error, fileReplacedErrorCode, destination);
        }
    } else if (exists) {
        return fail(error, EEXIST, destination);
    }

    // Owner first: changing it afterwards would clear the set-user-ID and set-group-ID bits.
    if (exists && ::geteuid() == 0 && (own.st_uid != there.st_uid || own.st_gid != there.st_gid)) {
        if (::fchown(file.get(), there.st_uid, there.st_gid) != 0) return fail(error, errno, destination);
    }
    std::optional<mode_t> bits;
    if (mode) bits = mode_t(*mode & 07777);
    else if (exists) bits = there.st_mode & 07777;
    if (bits) {
        if (::fchmod(file.get(), *bits) != 0) return fail(error, errno, destination);
    }
    // After the mode: an ACL sets the group bits from its mask, as the old file has them.
    if (exists) {
        const FileDescriptor old(::openat(to, toName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat oldInfo {};
        if (!old.isOpen() || ::fstat(old.get(), &oldInfo) != 0) return fail(error, errno, destination);
        if (oldInfo.st_dev != there.st_dev || oldInfo.st_ino != there.st_ino) {
            return fail(error, fileReplacedErrorCode, destination);
        }
        if (const int code = copyExtendedAttributes(old.get(), file.get())) return fail(error, code, destination);
    }

    int result = ::renameat2(from, fromName.constData(), to, toName.constData(), expected ? 0 : RENAME_NOREPLACE);
    // A file system without the no-replace flag: the look above stands for it.
    if (result != 0 && errno == EINVAL && !expected) {
        result = ::renameat(from, fromName.constData(), to, toName.constData());
    }
    if (result != 0) return fail(error, errno, destination);
    if (placed) *placed = FileIdentity{quint64(own.st_dev), quint64(own.st_ino)};
    return true;
}

bool overwriteInPlace(const QString& path, const FileIdentity& expected, const QByteArray& data, ErrorInfo* error)
{
    const FileDescriptor file(::open(encodedFileName(path).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0) return fail(error, errno, path);
    if (!S_ISREG(info.st_mode) || info.st_dev != expected.device || info.st_ino != expected.inode) {
        return fail(error, fileReplacedErrorCode, path);
    }
    // A full disk is found out before anything is overwritten, where the file system allows.
    if (data.size() > info.st_size && ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, 0, off_t(data.size())) != 0
        && errno != EOPNOTSUPP && errno != ENOSYS) {
        return fail(error, errno, path);
    }
    qsizetype at = 0;
    while (at < data.size()) {
        const ssize_t written = ::pwrite(file.get(), data.constData() + at, size_t(data.size() - at), off_t(at));
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail(error, errno, path);
        }
        at += written;
    }
    if (::ftruncate(file.get(), off_t(data.size())) != 0 || ::fsync(file.get()) != 0) return fail(error, errno, path);
    return true;
}

bool flushFileSystems(const QStringList& paths, ErrorInfo* error)
{
    QSet<QString> seen;
    QSet<quint64> flushed;
    for (const QString& path : paths) {
        if (seen.contains(path)) continue;
        seen.insert(path);
        const FileDescriptor fd(::open(encodedFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat info {};
        if (!fd.isOpen() || ::fstat(fd.get(), &info) != 0) {
            if (errno == ENOENT) continue;
            return fail(error, errno, path);
        }
        if (flushed.contains(quint64(info.st_dev))) continue;
        if (::syncfs(fd.get()) != 0) return fail(error, errno, path);
        flushed.insert(quint64(info.st_dev));
    }
    return true;
}

bool removeFile(const QString& path, ErrorInfo* error)
{
    if (::unlink(encodedFileName(path).constData()) == 0 || errno == ENOENT) return true;
    return fail(error, errno, path);
}

}  // namespace korimado
