#include "platform/documents/FileIO.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korimado {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

bool fail(ErrorInfo* error, int code, const QString& path)
{
    if (error) *error = posixError(code, path);
    return false;
}

}  // namespace

ErrorInfo posixError(int code, const QString& path)
{
    return ErrorInfo{posixErrorDomain, code,
                     QStringLiteral("“%1”にアクセスできませんでした。").arg(QFileInfo(path).fileName()),
                     QString::fromLocal8Bit(std::strerror(code))};
}

std::optional<QByteArray> readWholeFile(const QString& path, ErrorInfo* error)
{
    Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode)) {
        fail(error, EISDIR, path);
        return std::nullopt;
    }
    QByteArray data;
    qsizetype capacity = info.st_size > 0 ? static_cast<qsizetype>(info.st_size) : 4096;
    data.resize(capacity);
    qsizetype used = 0;
    for (;;) {
        if (used == capacity) {
            capacity *= 2;
            data.resize(capacity);
        }
        const ssize_t count = ::read(fd.get(), data.data() + used, static_cast<size_t>(capacity - used));
        if (count < 0) {
            if (errno == EINTR) continue;
            fail(error, errno, path);
            return std::nullopt;
        }
        if (count == 0) break;
        used += count;
    }
    data.resize(used);
    return data;
}

bool writeFileSafely(const QString& path, const QByteArray& data, ErrorInfo* error)
{
    QString target = QFileInfo(path).absoluteFilePath();
    // Replacing a link would turn it into a plain file: write where it points instead.
    if (QFileInfo(target).isSymLink()) {
        const QString resolved = QFileInfo(target).canonicalFilePath();
        if (!resolved.isEmpty()) target = resolved;
    }
    const QString folder = QFileInfo(target).path();

    mode_t mode = 0666;
    struct stat existing {};
    const bool exists = ::stat(QFile::encodeName(target).constData(), &existing) == 0;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }

    QByteArray temporary = QFile::encodeName(folder + "/." + QFileInfo(target).fileName() + ".korimado-XXXXXX");
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) return fail(error, errno, target);
    auto discard = [&](int code) {
        fd.reset();
        ::unlink(temporary.constData());
        return fail(error, code, target);
    };

    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd.get(), bytes, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) continue;
            return discard(errno);
        }
        bytes += written;
        left -= written;
    }
    if (::fchmod(fd.get(), mode) != 0) return discard(errno);
    if (exists && ::geteuid() == 0) {
        // Keep the owner when root saves someone else's file.
        if (::fchown(fd.get(), existing.st_uid, existing.st_gid) != 0) return discard(errno);
    }
    if (::fsync(fd.get()) != 0) return discard(errno);
    if (::close(fd.release()) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return fail(error, code, target);
    }
    if (::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        ::unlink(temporary.constData());
        return fail(error, code, target);
    }
    // The rename itself must reach the disk too.
    Descriptor dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

}  // namespace korimado
