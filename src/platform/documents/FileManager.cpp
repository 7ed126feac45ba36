#include "platform/documents/FileManager.h"

#include "platform/documents/FileDescriptor.h"
#include "platform/documents/FileIO.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace korimado {

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// The reason in the user's words; the system's own text stays as the recovery line.
ErrorInfo fileError(int code, const QString& path)
{
    ErrorInfo error = posixError(code, path);
    switch (code) {
    case EACCES:
    case EPERM: error.description = QStringLiteral("アクセス権がありません。"); break;
    case EEXIST:
    case ENOTEMPTY: error.description = QStringLiteral("同じ名前の項目がすでにあります。"); break;
    case ENOENT: error.description = QStringLiteral("項目が見つかりません。"); break;
    case ENOSPC:
    case EDQUOT: error.description = QStringLiteral("ディスクの空き容量が足りません。"); break;
    case EROFS: error.description = QStringLiteral("読み出し専用のボリュームです。"); break;
    case ENAMETOOLONG: error.description = QStringLiteral("名前が長すぎます。"); break;
    case EBUSY: error.description = QStringLiteral("項目は使用中です。"); break;
    default: break;
    }
    return error;
}

bool fail(ErrorInfo* error, int code, const QString& path)
{
    if (error) *error = fileError(code, path);
    return false;
}

std::optional<QDateTime> dateOf(const struct stat& info)
{
    // In UTC: a local-time date looks up the time zone for every item of a large folder.
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000,
                                          Qt::UTC);
}

FileAttributes attributesAt(int dirfd, const char* name)
{
    FileAttributes result;
    struct stat own {};
    if (::fstatat(dirfd, name, &own, AT_SYMLINK_NOFOLLOW) != 0) return result;
    result.exists = true;
    result.isSymbolicLink = S_ISLNK(own.st_mode);
    result.isDirectory = S_ISDIR(own.st_mode);
    result.modificationDate = dateOf(own);
    if (result.isSymbolicLink) {
        struct stat target {};
        if (::fstatat(dirfd, name, &target, 0) == 0) {
            result.isDirectory = S_ISDIR(target.st_mode);
            result.modificationDate = dateOf(target);
        }
    }
    return result;
}


bool removeTree(const QByteArray& path)
{
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) return errno == ENOENT;
    if (!S_ISDIR(info.st_mode)) return ::unlink(path.constData()) == 0;
    if (DIR* dir = ::opendir(path.constData())) {
        bool ok = true;
        while (dirent* entry = ::readdir(dir)) {
            if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
            ok = removeTree(path + '/' + entry->d_name) && ok;
        }
        ::closedir(dir);
        if (!ok) return false;
    }
    return ::rmdir(path.constData()) == 0;
}

// Copies an item to a place where nothing stands, links as links; errno tells why it stopped.
bool copyTree(const QByteArray& source, const QByteArray& destination)
{
    struct stat info {};
    if (::lstat(source.constData(), &info) != 0) return false;
    if (S_ISLNK(info.st_mode)) {
        QByteArray target(static_cast<qsizetype>(info.st_size) + 1, '\0');
        const ssize_t length = ::readlink(source.constData(), target.data(), static_cast<size_t>(target.size()));
        if (length < 0) return false;
        target.truncate(length);
        return ::symlink(target.constData(), destination.constData()) == 0;
    }
    if (S_ISDIR(info.st_mode)) {
        if (::mkdir(destination.constData(), (info.st_mode & 07777) | S_IRWXU) != 0) return false;
        DIR* dir = ::opendir(source.constData());
        if (!dir) return false;
        bool ok = true;
        while (dirent* entry = ::readdir(dir)) {
            if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
            if (!copyTree(source + '/' + entry->d_name, destination + '/' + entry->d_name)) {
                ok = false;
                break;
            }
        }
        const int saved = errno;
        ::closedir(dir);
        errno = saved;
        if (ok) ::chmod(destination.constData(), info.st_mode & 07777);
        return ok;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = ENOTSUP;
        return false;
    }
    FileDescriptor in(::open(source.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return false;
    FileDescriptor out(::open(destination.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, info.st_mode & 07777));
    if (out.get() < 0) return false;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out.get(), buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return false;
            done += put;
        }
    }
    if (::fsync(out.get()) != 0) return false;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::futimens(out.get(), times);
    return true;
}

}  // namespace

FileManager& FileManager::defaultManager()
{
    static FileManager manager;
    return manager;
}

FileAttributes FileManager::attributes(const QString& path) const
{
    if (path.isEmpty()) return {};
    return attributesAt(AT_FDCWD, native(path).constData());
}

std::optional<std::vector<DirectoryEntry>> FileManager::contentsOfDirectory(const QString& path, bool includeHidden,
                                                                           ErrorInfo* error) const
{
    FileDescriptor folder(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    DIR* dir = ::fdopendir(::dup(folder.get()));
    if (!dir) {
        fail(error, errno, path);
        return std::nullopt;
    }
    std::vector<DirectoryEntry> entries;
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (!includeHidden || !name[1] || (name[1] == '.' && !name[2]))) continue;
        DirectoryEntry item;
        item.name = QFile::decodeName(name);
        item.attributes = attributesAt(folder.get(), name);
        // An entry removed between the listing and the look is gone: leave it out.
        if (item.attributes.exists) entries.push_back(std::move(item));
        errno = 0;
    }
    const int code = errno;
    ::closedir(dir);
    if (code != 0) {
        fail(error, code, path);
        return std::nullopt;
    }
    return entries;
}

bool FileManager::moveItem(const QString& source, const QString& destination, ErrorInfo* error)
{
    const QByteArray from = native(source);
    const QByteArray to = native(destination);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    int code = errno;
    if (code == EINVAL || code == ENOSYS || code == ENOTSUP) {
        // The file system cannot refuse on its own: a hard link refuses atomically for files; a
        // folder is checked just before the plain rename.
        struct stat info {};
        if (::lstat(from.constData(), &info) != 0) return fail(error, errno, source);
        if (!S_ISDIR(info.st_mode)) {
            if (::link(from.constData(), to.constData()) == 0) {
                if (::unlink(from.constData()) == 0) return true;
                const int saved = errno;
                ::unlink(to.constData());
                return fail(error, saved, source);
            }
            code = errno;
            if (code != EPERM && code != ENOTSUP && code != EXDEV) return fail(error, code, destination);
        }
        struct stat existing {};
        if (::lstat(to.constData(), &existing) == 0) return fail(error, EEXIST, destination);
        if (::rename(from.constData(), to.constData()) == 0) return true;
        code = errno;
    }
    if (code != EXDEV) return fail(error, code, source);
    if (!copyTree(from, to)) {
        const int saved = errno;
        if (saved != EEXIST) removeTree(to);
        return fail(error, saved ? saved : EIO, destination);
    }
    if (!removeTree(from)) return fail(error, errno ? errno : EIO, source);
    return true;
}

bool FileManager::createFile(const QString& path, ErrorInfo* error)
{
    // O_EXCL with O_NOFOLLOW: a dangling link at the path is refused, never followed.
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return fail(error, errno, path);
    ::close(fd);
    return true;
}

bool FileManager::createDirectory(const QString& path, ErrorInfo* error)
{
    if (::mkdir(native(path).constData(), 0777) != 0) return fail(error, errno, path);
    return true;
}

bool FileManager::trashItem(const QString& path, ErrorInfo* error)
{
    if (!itemExists(path)) return fail(error, ENOENT, path);
    errno = 0;
    if (QFile::moveToTrash(path)) return true;
    return fail(error, errno ? errno : EIO, path);
}

}  // namespace korimado
