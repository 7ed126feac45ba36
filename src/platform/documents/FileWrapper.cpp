#include "platform/documents/FileWrapper.h"

#include "platform/documents/FileDescriptor.h"
#include "platform/documents/FileIO.h"
#include "platform/documents/StaleTemporaries.h"
#include "platform/foundation/ParallelParts.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
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

// Writes a tree into a new item and makes it durable without flushing the whole file system:
// every file is flushed itself, on several threads at once (one flush after another takes tens of
// seconds for thousands of files), and then every folder, for the names in it.
class TreeWriter {
public:
    TreeWriter(ErrorInfo* error, const CancellationToken* cancel) : error_(error), cancel_(cancel) {}

    // Creates name in dirFd (nothing may stand there) holding the wrapper, flushed. lock holds the
    // new item locked from its creation on, so that a sweep of stale temporaries passes it by.
    bool create(int dirFd, const QByteArray& name, const FileWrapper& wrapper, const QString& path, FileDescriptor& lock)
    {
        pending_.clear();
        pendingFiles_ = 0;
        if (wrapper.isRegularFile()) {
            FileDescriptor fd(::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!fd.isOpen()) return fail(error_, errno, path);
            ::flock(fd.get(), LOCK_EX | LOCK_NB);
            const bool written = writeAll(fd.get(), wrapper.regularFileContents()) && ::fsync(fd.get()) == 0;
            const int code = errno;
            lock = std::move(fd);
            return written || fail(error_, code, path);
        }
        if (::mkdirat(dirFd, name.constData(), 0777) != 0) return fail(error_, errno, path);
        FileDescriptor fd(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.isOpen()) return fail(error_, errno, path);
        ::flock(fd.get(), LOCK_EX | LOCK_NB);
        const int root = fd.get();
        lock = std::move(fd);
        return fill(root, wrapper, path) && flushPending();
    }

private:
    // A folder made, whose files are still to be written and which is still to be flushed.
    struct Folder {
        FileDescriptor fd;
        QString path;
        std::vector<std::pair<QByteArray, QString>> fileNames;  // name, path
        std::vector<const FileWrapper*> files;
    };
    // Folders wait in batches, so that a tree of any size holds a bounded number open.
    static constexpr std::size_t batchFolders = 256;
    static constexpr std::size_t batchFiles = 4096;
    static constexpr std::size_t flushThreads = 64;

    bool cancelled() const { return cancel_ && cancel_->isCancelled(); }

    bool fill(int dirFd, const FileWrapper& wrapper, const QString& path)
    {
        Folder folder{FileDescriptor(::fcntl(dirFd, F_DUPFD_CLOEXEC, 0)), path, {}, {}};
        if (!folder.fd.isOpen()) return fail(error_, errno, path);
        for (auto it = wrapper.fileWrappers().cbegin(); it != wrapper.fileWrappers().cend(); ++it) {
            if (cancelled()) return fail(error_, ECANCELED, path);
            const QByteArray childName = QFile::encodeName(it.key());
            const QString childPath = path + QLatin1Char('/') + it.key();
            if (!isComponent(childName)) return fail(error_, EINVAL, childPath);
            if (it.value().isRegularFile()) {
                folder.fileNames.emplace_back(childName, childPath);
                folder.files.push_back(&it.value());
                continue;
            }
            if (::mkdirat(dirFd, childName.constData(), 0777) != 0) return fail(error_, errno, childPath);
            FileDescriptor child(::openat(dirFd, childName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.isOpen()) return fail(error_, errno, childPath);
            if (!fill(child.get(), it.value(), childPath)) return false;
        }
        pendingFiles_ += folder.files.size();
        pending_.push_back(std::move(folder));
        return (pending_.size() < batchFolders && pendingFiles_ < batchFiles) || flushPending();
    }

    // Writes and flushes the waiting folders' files, then flushes the folders.
    bool flushPending()
    {
        std::vector<std::pair<std::size_t, std::size_t>> jobs;  // folder, file
        jobs.reserve(pendingFiles_);
        for (std::size_t f = 0; f < pending_.size(); ++f) {
            for (std::size_t i = 0; i < pending_[f].files.size(); ++i) jobs.emplace_back(f, i);
        }
        std::atomic<std::size_t> next{0};
        std::mutex failureLock;
        int failureCode = 0;
        QString failurePath;
        const auto failed = [&](int code, const QString& path) {
            std::lock_guard guard(failureLock);
            if (failureCode == 0) {
                failureCode = code;
                failurePath = path;
            }
        };
        const auto hasFailed = [&] {
            std::lock_guard guard(failureLock);
            return failureCode != 0;
        };
        const auto run = [&](std::size_t count, const std::function<void(std::size_t)>& one) {
            next = 0;
            const std::size_t parts = count < 16 ? 1 : std::min(flushThreads, count / 8);
            runInParts(parts, [&](std::size_t) {
                for (std::size_t k; (k = next.fetch_add(1)) < count;) {
                    if (hasFailed()) return;
                    if (cancelled()) return failed(ECANCELED, QString());
                    one(k);
                }
            });
        };
        run(jobs.size(), [&](std::size_t k) {
            const Folder& folder = pending_[jobs[k].first];
            const auto& [name, path] = folder.fileNames[jobs[k].second];
            FileDescriptor fd(::openat(folder.fd.get(), name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!fd.isOpen()) return failed(errno, path);
            if (!writeAll(fd.get(), folder.files[jobs[k].second]->regularFileContents()) || ::fsync(fd.get()) != 0) {
                return failed(errno, path);
            }
            if (::close(fd.release()) != 0) failed(errno, path);
        });
        if (!hasFailed()) {
            run(pending_.size(), [&](std::size_t f) {
                if (::fsync(pending_[f].fd.get()) != 0) failed(errno, pending_[f].path);
            });
        }
        pending_.clear();
        pendingFiles_ = 0;
        return failureCode == 0 || fail(error_, failureCode, failurePath);
    }

    ErrorInfo* error_;
    const CancellationToken* cancel_;
    std::vector<Folder> pending_;
    std::size_t pendingFiles_ = 0;
};

// The rename that put the new item in place reaches the disk too. It has happened either way.
bool flushed(int folderFd)
{
    ::fsync(folderFd);
    return true;
}

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

bool FileWrapper::write(const QString& path, ErrorInfo* error, const BeforeExchange& beforeExchange,
                        const CancellationToken* cancel) const
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
    TreeWriter writer(error, cancel);
    for (int attempt = 0;; ++attempt) {
        temporary = siblingName(fileName, "new-");
        if (writer.create(parent, temporary, *this, path, lock)) break;
        const bool taken = error && error->code == EEXIST;
        removeItemTree(parent, temporary);
        if (!taken || attempt >= 8) return false;
    }
    if (beforeExchange && !beforeExchange(error)) {
        removeItemTree(parent, temporary);
        return false;
    }

    struct stat existing {};
    if (::fstatat(parent, name.constData(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        if (::renameat2(parent, temporary.constData(), parent, name.constData(), RENAME_NOREPLACE) == 0) {
            return flushed(parent);
        }
        if (errno != EINVAL && errno != ENOSYS) {
            const int code = errno;
            removeItemTree(parent, temporary);
            return fail(error, code, path);
        }
        if (::renameat(parent, temporary.constData(), parent, name.constData()) == 0) return flushed(parent);
        const int code = errno;
        removeItemTree(parent, temporary);
        return fail(error, code, path);
    }

    if (::renameat2(parent, temporary.constData(), parent, name.constData(), RENAME_EXCHANGE) == 0) {
        flushed(parent);
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
    flushed(parent);
    removeItemTree(parent, old);
    return true;
}

}  // namespace korimado
