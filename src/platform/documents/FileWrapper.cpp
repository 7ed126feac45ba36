#include "platform/documents/FileWrapper.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/ParallelParts.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace korimado {

namespace {

bool fail(ErrorInfo* error, int code, const QString& path)
{
    if (error) *error = posixError(code, path);
    return false;
}

bool isComponent(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\0');
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += wrote;
    }
    return true;
}

void removeTree(int dirFd, const QByteArray& name);

// Removes a child that is not a folder (a link is removed itself), or one that became a folder.
void removeEntry(int dirFd, const QByteArray& name)
{
    if (::unlinkat(dirFd, name.constData(), 0) != 0 && errno == EISDIR) removeTree(dirFd, name);
}

// Removing a file frees its blocks, and a disk told of freed blocks at once makes every removal
// wait for it: a folder of many files is emptied on several threads.
void removeEntries(int dirFd, const std::vector<QByteArray>& names)
{
    const std::size_t parts = parallelPartCount(names.size(), 16, 4);
    runInParts(parts, [&](std::size_t part) {
        for (std::size_t i = part; i < names.size(); i += parts) removeEntry(dirFd, names[i]);
    });
}

// Removes the item name in the folder dirFd, never following a link: a link is removed itself.
void removeTree(int dirFd, const QByteArray& name)
{
    struct stat info {};
    if (::fstatat(dirFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(info.st_mode)) {
        ::unlinkat(dirFd, name.constData(), 0);
        return;
    }
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* dir = ::fdopendir(fd)) {
            std::vector<QByteArray> folders;
            std::vector<QByteArray> others;
            while (const dirent* entry = ::readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
                const bool mayBeFolder = entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN;
                (mayBeFolder ? folders : others).emplace_back(entry->d_name);
            }
            removeEntries(::dirfd(dir), others);
            for (const QByteArray& child : folders) removeTree(::dirfd(dir), child);
            ::closedir(dir);
        } else {
            ::close(fd);
        }
    }
    ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
}

class TreeWriter {
public:
    explicit TreeWriter(ErrorInfo* error) : error_(error) {}

    // Creates name in dirFd (which must not exist) and fills it with the wrapper.
    bool create(int dirFd, const QByteArray& name, const FileWrapper& wrapper, const QString& path)
    {
        if (wrapper.isRegularFile()) {
            const int fd = ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0) return fail(error_, errno, path);
            const bool written = writeAll(fd, wrapper.regularFileContents());
            const int code = errno;
            if (::close(fd) != 0 && written) return fail(error_, errno, path);
            return written || fail(error_, code, path);
        }
        if (::mkdirat(dirFd, name.constData(), 0777) != 0) return fail(error_, errno, path);
        const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return fail(error_, errno, path);
        bool ok = true;
        for (auto it = wrapper.fileWrappers().cbegin(); ok && it != wrapper.fileWrappers().cend(); ++it) {
            const QByteArray childName = QFile::encodeName(it.key());
            const QString childPath = path + QLatin1Char('/') + it.key();
            ok = isComponent(childName) ? create(fd, childName, it.value(), childPath)
                                        : fail(error_, EINVAL, childPath);
        }
        ::close(fd);
        return ok;
    }

private:
    ErrorInfo* error_;
};

// A hidden name beside the target that nothing else uses.
QByteArray siblingName(const QString& fileName, const char* role)
{
    const QByteArray random = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    return QFile::encodeName(temporaryFileNamePrefix(fileName)) + role + random;
}

}  // namespace

FileWrapper FileWrapper::regularFile(QByteArray contents)
{
    FileWrapper wrapper;
    wrapper.isFile_ = true;
    wrapper.contents_ = std::move(contents);
    return wrapper;
}

FileWrapper FileWrapper::directory(Children children)
{
    FileWrapper wrapper;
    wrapper.children_ = std::move(children);
    return wrapper;
}

const FileWrapper* FileWrapper::child(const QString& name) const
{
    const auto it = children_.constFind(name);
    return it == children_.constEnd() ? nullptr : &it.value();
}

void FileWrapper::addFileWrapper(const QString& name, FileWrapper wrapper)
{
    children_.insert(name, std::move(wrapper));
}

QStringList FileWrapper::paths(const QString& prefix) const
{
    QStringList out;
    appendPaths(prefix, out);
    return out;
}

void FileWrapper::appendPaths(const QString& prefix, QStringList& out) const
{
    if (isFile_) {
        out.append(prefix);
    } else if (children_.isEmpty()) {
        out.append(prefix + QLatin1Char('/'));
    } else {
        for (auto it = children_.cbegin(); it != children_.cend(); ++it) {
            it.value().appendPaths(prefix + QLatin1Char('/') + it.key(), out);
        }
    }
}

bool FileWrapper::write(const QString& path, ErrorInfo* error, const BeforeExchange& beforeExchange) const
{
    const QFileInfo target(path);
    const QString fileName = target.fileName();
    const QByteArray name = QFile::encodeName(fileName);
    if (!isComponent(name)) return fail(error, EINVAL, path);
    const QString folder = target.path();
    const int parent = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return fail(error, errno, folder);
    struct ParentCloser {
        int fd;
        ~ParentCloser() { ::close(fd); }
    } closer{parent};

    QByteArray temporary;
    TreeWriter writer(error);
    for (int attempt = 0;; ++attempt) {
        temporary = siblingName(fileName, "new-");
        if (writer.create(parent, temporary, *this, path)) break;
        const bool taken = error && error->code == EEXIST;
        removeTree(parent, temporary);
        if (!taken || attempt >= 8) return false;
    }
    if (::syncfs(parent) != 0) {
        const int code = errno;
        removeTree(parent, temporary);
        return fail(error, code, path);
    }
    if (beforeExchange && !beforeExchange(error)) {
        removeTree(parent, temporary);
        return false;
    }

    struct stat existing {};
    if (::fstatat(parent, name.constData(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        if (::renameat2(parent, temporary.constData(), parent, name.constData(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EINVAL && errno != ENOSYS) {
            const int code = errno;
            removeTree(parent, temporary);
            return fail(error, code, path);
        }
        if (::renameat(parent, temporary.constData(), parent, name.constData()) == 0) return true;
        const int code = errno;
        removeTree(parent, temporary);
        return fail(error, code, path);
    }

    if (::renameat2(parent, temporary.constData(), parent, name.constData(), RENAME_EXCHANGE) == 0) {
        removeTree(parent, temporary);  // now the old item
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        const int code = errno;
        removeTree(parent, temporary);
        return fail(error, code, path);
    }
    // No exchange on this file system: move the old item aside, put the new one in its place, and
    // put the old one back should that fail.
    const QByteArray old = siblingName(fileName, "old-");
    if (::renameat(parent, name.constData(), parent, old.constData()) != 0) {
        const int code = errno;
        removeTree(parent, temporary);
        return fail(error, code, path);
    }
    if (::renameat(parent, temporary.constData(), parent, name.constData()) != 0) {
        const int code = errno;
        ::renameat(parent, old.constData(), parent, name.constData());
        removeTree(parent, temporary);
        return fail(error, code, path);
    }
    removeTree(parent, old);
    return true;
}

}  // namespace korimado
