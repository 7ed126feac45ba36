#include "platform/documents/FileWrapper.h"

#include "platform/documents/FileDescriptor.h"
#include "platform/documents/FileIO.h"
#include "platform/documents/StaleTemporaries.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
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

class TreeWriter {
public:
    explicit TreeWriter(ErrorInfo* error) : error_(error) {}

    // Creates name in dirFd (which must not exist) and fills it with the wrapper. With lock, the
    // item is held locked through it from its creation on: a sweep of stale temporaries passes it by.
    bool create(int dirFd, const QByteArray& name, const FileWrapper& wrapper, const QString& path,
                FileDescriptor* lock = nullptr)
    {
        if (wrapper.isRegularFile()) {
            FileDescriptor fd(::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!fd.isOpen()) return fail(error_, errno, path);
            if (lock) ::flock(fd.get(), LOCK_EX | LOCK_NB);
            const bool written = writeAll(fd.get(), wrapper.regularFileContents());
            const int code = errno;
            if (lock) {
                *lock = std::move(fd);
                return written || fail(error_, code, path);
            }
            if (::close(fd.release()) != 0 && written) return fail(error_, errno, path);
            return written || fail(error_, code, path);
        }
        if (::mkdirat(dirFd, name.constData(), 0777) != 0) return fail(error_, errno, path);
        FileDescriptor fd(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.isOpen()) return fail(error_, errno, path);
        if (lock) ::flock(fd.get(), LOCK_EX | LOCK_NB);
        bool ok = true;
        for (auto it = wrapper.fileWrappers().cbegin(); ok && it != wrapper.fileWrappers().cend(); ++it) {
            const QByteArray childName = QFile::encodeName(it.key());
            const QString childPath = path + QLatin1Char('/') + it.key();
            ok = isComponent(childName) ? create(fd.get(), childName, it.value(), childPath)
                                        : fail(error_, EINVAL, childPath);
        }
        if (lock) *lock = std::move(fd);
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

    // What a write killed before its end left here would otherwise stay for good.
    removeStaleTemporaries(folder, fileName);
    QByteArray temporary;
    FileDescriptor lock;
    TreeWriter writer(error);
    for (int attempt = 0;; ++attempt) {
        temporary = siblingName(fileName, "new-");
        if (writer.create(parent, temporary, *this, path, &lock)) break;
        const bool taken = error && error->code == EEXIST;
        removeItemTree(parent, temporary);
        if (!taken || attempt >= 8) return false;
    }
    if (::syncfs(parent) != 0) {
        const int code = errno;
        removeItemTree(parent, temporary);
        return fail(error, code, path);
    }
    if (beforeExchange && !beforeExchange(error)) {
        removeItemTree(parent, temporary);
        return false;
    }

    struct stat existing {};
    if (::fstatat(parent, name.constData(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        if (::renameat2(parent, temporary.constData(), parent, name.constData(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EINVAL && errno != ENOSYS) {
            const int code = errno;
            removeItemTree(parent, temporary);
            return fail(error, code, path);
        }
        if (::renameat(parent, temporary.constData(), parent, name.constData()) == 0) return true;
        const int code = errno;
        removeItemTree(parent, temporary);
        return fail(error, code, path);
    }

    if (::renameat2(parent, temporary.constData(), parent, name.constData(), RENAME_EXCHANGE) == 0) {
        removeItemTree(parent, temporary);  // now the old item
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        const int code = errno;
        removeItemTree(parent, temporary);
        return fail(error, code, path);
    }
    // No exchange on this file system: move the old item aside, put the new one in its place, and
    // put the old one back should that fail.
    const QByteArray old = siblingName(fileName, "old-");
    if (::renameat(parent, name.constData(), parent, old.constData()) != 0) {
        const int code = errno;
        removeItemTree(parent, temporary);
        return fail(error, code, path);
    }
    if (::renameat(parent, temporary.constData(), parent, name.constData()) != 0) {
        const int code = errno;
        ::renameat(parent, old.constData(), parent, name.constData());
        removeItemTree(parent, temporary);
        return fail(error, code, path);
    }
    removeItemTree(parent, old);
    return true;
}

}  // namespace korimado
