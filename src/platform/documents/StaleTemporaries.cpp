#include "platform/documents/StaleTemporaries.h"

#include "platform/documents/FileDescriptor.h"
#include "platform/documents/FileIO.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/ParallelParts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace korimado {

namespace {

bool isOurStaleTemporary(const QString& entry, const QString& prefix, const QString& legacyPrefix)
{
    // mkostemp's six random characters follow either prefix.
    constexpr qsizetype randomPart = 6;
    return (entry.startsWith(prefix) && entry.size() == prefix.size() + randomPart)
        || (entry.startsWith(legacyPrefix) && entry.size() == legacyPrefix.size() + randomPart);
}

bool isLowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool isBase36(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
}

// Removes a child that is not a folder (a link is removed itself), or one that became a folder.
void removeEntry(int dirFd, const QByteArray& name)
{
    if (::unlinkat(dirFd, name.constData(), 0) != 0 && errno == EISDIR) removeItemTree(dirFd, name);
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

std::vector<QByteArray> entryNames(int dirFd)
{
    std::vector<QByteArray> names;
    const int copy = ::dup(dirFd);
    if (copy < 0) return names;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    return names;
}

// Removes a temporary of ours that no write holds locked: a save's file, or a tree write's
// folder, file or link (a link cannot be locked, and is only ever the old item put aside).
void removeIfStale(int dirFd, const QByteArray& name, bool regularFilesOnly)
{
    struct stat named {};
    if (::fstatat(dirFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (named.st_uid != ::geteuid()) return;
    if (S_ISLNK(named.st_mode) && !regularFilesOnly) {
        ::unlinkat(dirFd, name.constData(), 0);
        return;
    }
    const bool folder = S_ISDIR(named.st_mode);
    if (!S_ISREG(named.st_mode) && !(folder && !regularFilesOnly)) return;
    const int flags = (folder ? O_DIRECTORY : O_NONBLOCK) | O_RDONLY | O_NOFOLLOW | O_CLOEXEC;
    FileDescriptor fd(::openat(dirFd, name.constData(), flags));
    struct stat held {};
    if (!fd.isOpen() || ::fstat(fd.get(), &held) != 0) return;
    if (held.st_dev != named.st_dev || held.st_ino != named.st_ino) return;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
    if (folder) removeItemTree(dirFd, name);
    else ::unlinkat(dirFd, name.constData(), 0);
}

}  // namespace

bool isTreeTemporaryName(const QByteArray& name, const char* role)
{
    // ".korimado-" + 12 hexadecimal digits + "-", then the role, then at most 13 base-36 digits.
    static const QByteArray start = ".korimado-";
    constexpr qsizetype digest = 12;
    const qsizetype roleLength = static_cast<qsizetype>(std::strlen(role));
    const qsizetype randomFrom = start.size() + digest + 1 + roleLength;
    if (name.size() <= randomFrom || name.size() > randomFrom + 13 || !name.startsWith(start)) return false;
    for (qsizetype i = start.size(); i < start.size() + digest; ++i) {
        if (!isLowerHex(name[i])) return false;
    }
    if (name[start.size() + digest] != '-') return false;
    if (name.mid(start.size() + digest + 1, roleLength) != role) return false;
    for (qsizetype i = randomFrom; i < name.size(); ++i) {
        if (!isBase36(name[i])) return false;
    }
    return true;
}

void removeItemTree(int dirFd, const QByteArray& name)
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
            for (const QByteArray& child : folders) removeItemTree(::dirfd(dir), child);
            ::closedir(dir);
        } else {
            ::close(fd);
        }
    }
    ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR);
}

void removeStaleTemporaries(const QString& folder, const QString& fileName)
{
    const QString prefix = temporaryFileNamePrefix(fileName);
    const QString legacyPrefix = QLatin1Char('.') + fileName + QStringLiteral(".korimado-");
    const QByteArray oldItems = encodedFileName(prefix) + "old-";
    FileDescriptor dirFd(::open(encodedFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.isOpen()) return;
    struct stat target {};
    // The old item put aside is all that is left of it until fileName stands again.
    const bool targetStands =
        ::fstatat(dirFd.get(), encodedFileName(fileName).constData(), &target, AT_SYMLINK_NOFOLLOW) == 0;
    for (const QByteArray& name : entryNames(dirFd.get())) {
        if (isOurStaleTemporary(decodedFileName(name), prefix, legacyPrefix)) {
            removeIfStale(dirFd.get(), name, true);
        } else if (isTreeTemporaryName(name, "new-") || (targetStands && name.startsWith(oldItems)
                                                         && isTreeTemporaryName(name, "old-"))) {
            removeIfStale(dirFd.get(), name, false);
        }
    }
}

}  // namespace korimado
