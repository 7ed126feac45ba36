#include "platform/documents/DirectoryHandle.h"

#include "platform/documents/FileIO.h"

#include <QFile>
#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace korimado {

namespace {

bool fail(ErrorInfo* error, int code, const QString& path)
{
    if (error) *error = posixError(code, path);
    return false;
}

}  // namespace

std::optional<DirectoryHandle> DirectoryHandle::open(const QString& path, ErrorInfo* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    return DirectoryHandle(fd, path);
}

DirectoryHandle::DirectoryHandle(DirectoryHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_))
{
}

DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

DirectoryHandle::~DirectoryHandle()
{
    if (fd_ >= 0) ::close(fd_);
}

QString DirectoryHandle::childPath(const QByteArray& name) const
{
    return path_ + QLatin1Char('/') + QFile::decodeName(name);
}

std::optional<std::vector<QByteArray>> DirectoryHandle::entryNames(ErrorInfo* error) const
{
    // A listing of its own, so that this handle's position is never shared.
    const int listing = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) {
        fail(error, errno, path_);
        return std::nullopt;
    }
    DIR* dir = ::fdopendir(listing);
    if (!dir) {
        const int code = errno;
        ::close(listing);
        fail(error, code, path_);
        return std::nullopt;
    }
    std::vector<QByteArray> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
        errno = 0;
    }
    const int code = errno;
    ::closedir(dir);
    if (code != 0) {
        fail(error, code, path_);
        return std::nullopt;
    }
    return names;
}

DirectoryHandle::Kind DirectoryHandle::kind(const QByteArray& name, qint64* size) const
{
    struct stat info {};
    if (::fstatat(fd_, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) return Kind::missing;
    if (S_ISLNK(info.st_mode)) return Kind::symbolicLink;
    if (S_ISDIR(info.st_mode)) return Kind::directory;
    if (!S_ISREG(info.st_mode)) return Kind::other;
    if (size) *size = static_cast<qint64>(info.st_size);
    return Kind::regularFile;
}

std::optional<DirectoryHandle> DirectoryHandle::openDirectory(const QByteArray& name, ErrorInfo* error) const
{
    const int fd = ::openat(fd_, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        fail(error, errno, childPath(name));
        return std::nullopt;
    }
    return DirectoryHandle(fd, childPath(name));
}

std::optional<QByteArray> DirectoryHandle::readFile(const QByteArray& name, qint64 maximumSize, ErrorInfo* error) const
{
    const int fd = ::openat(fd_, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        fail(error, errno, childPath(name));
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int code = S_ISREG(info.st_mode) ? errno : EINVAL;
        ::close(fd);
        fail(error, code, childPath(name));
        return std::nullopt;
    }
    const qint64 expected = std::min<qint64>(static_cast<qint64>(info.st_size), maximumSize + 1);
    QByteArray bytes;
    bytes.resize(expected);
    qint64 done = 0;
    const auto fill = [&](qint64 until) {
        while (done < until) {
            const ssize_t got = ::read(fd, bytes.data() + done, static_cast<size_t>(until - done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return got == 0;
            done += got;
        }
        return true;
    };
    bool ok = fill(expected);
    // A file that grew since it was looked at is read on, up to one byte past the limit.
    while (ok && done == bytes.size() && done <= maximumSize) {
        char probe = 0;
        const ssize_t got = ::read(fd, &probe, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        bytes.append(probe);
        ++done;
        bytes.resize(std::min<qint64>(done + 65536, maximumSize + 1));
        ok = fill(bytes.size());
    }
    if (!ok) {
        const int code = errno;
        ::close(fd);
        fail(error, code, childPath(name));
        return std::nullopt;
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

std::optional<DirectoryHandle> DirectoryHandle::createDirectory(const QByteArray& name, unsigned mode, ErrorInfo* error) const
{
    if (::mkdirat(fd_, name.constData(), static_cast<mode_t>(mode)) != 0) {
        fail(error, errno, childPath(name));
        return std::nullopt;
    }
    return openDirectory(name, error);
}

bool DirectoryHandle::writeFile(const QByteArray& name, const QByteArray& data, unsigned mode, ErrorInfo* error) const
{
    const QByteArray temporary =
        QByteArray(".korimado-") + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + QByteArray(".tmp");
    const int fd = ::openat(fd_, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            static_cast<mode_t>(mode));
    if (fd < 0) return fail(error, errno, childPath(name));
    const auto discard = [&](int code) {
        ::close(fd);
        ::unlinkat(fd_, temporary.constData(), 0);
        return fail(error, code, childPath(name));
    };
    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return discard(errno);
        bytes += written;
        left -= written;
    }
    if (::fsync(fd) != 0) return discard(errno);
    if (::renameat(fd_, temporary.constData(), fd_, name.constData()) != 0) return discard(errno);
    if (::close(fd) != 0) return fail(error, errno, childPath(name));
    ::fsync(fd_);
    return true;
}

bool DirectoryHandle::removeEntry(const QByteArray& name, bool directory) const
{
    return ::unlinkat(fd_, name.constData(), directory ? AT_REMOVEDIR : 0) == 0;
}

}  // namespace korimado
