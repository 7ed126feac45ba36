#pragma once

#include "platform/documents/FileIO.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderSearchOptions.h"
#include "search/engine/SearchRequest.h"

#include <QFile>

#include <QDir>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <mutex>

namespace korimado::test {

// The real file system with a hook in front of every call: a step can be made to fail, to write
// other bytes than asked, or to do something to the disk first (another program's save).
class FaultyFileSystem : public FolderFileSystem {
public:
    enum class Op {
        list, attributes, read, writeTemporary, writeNewFile, overwrite, renameFolder, replace, remove, removeDirectory, flush,
        createDirectory
    };
    // The steps that put bytes under a searched file's name: the rename of a new file over it, or
    // the write into a file with other names.
    static bool isWrite(Op op) { return op == Op::replace || op == Op::overwrite; }

    // Returns true to make the call fail (with EIO, or failsWith) without touching the disk.
    // Reads run on the search's worker threads: hooks that see them must be safe to call from
    // several at once. The path is the one the call is about: for writeTemporary the folder, for
    // replace and renameFolder the destination.
    std::function<bool(Op, const QString& path)> fails;
    int failsWith = EIO;
    // Runs before the call itself.
    std::function<void(Op, const QString& path)> before;
    // A temporary written in a folder for which this is true holds only its first byte.
    std::function<bool(const QString& folder)> writesShort;
    // Files are read on the search's workers.
    mutable std::atomic<int> reads{0};
    // Every call that changes the disk, in order: "op path" (writeTemporary gives its folder).
    // A rollback of many files restores several at once: their calls interleave.
    QStringList log;

    std::optional<QStringList> contentsOfDirectory(const QString& path, ErrorInfo* error) const override
    {
        if (hit(Op::list, path, error)) return std::nullopt;
        return FolderFileSystem::contentsOfDirectory(path, error);
    }
    std::optional<FolderEntryAttributes> attributes(const QString& path, bool followLinks) const override
    {
        if (hit(Op::attributes, path, nullptr)) return std::nullopt;
        return FolderFileSystem::attributes(path, followLinks);
    }
    std::optional<QByteArray> readFile(const QString& path, qint64 maximumSize, ErrorInfo* error) const override
    {
        ++reads;
        if (hit(Op::read, path, error)) return std::nullopt;
        return FolderFileSystem::readFile(path, maximumSize, error);
    }
    std::optional<QString> writeTemporary(const QString& folder, const QByteArray& data, ErrorInfo* error) override
    {
        record("writeTemporary " + folder);
        if (hit(Op::writeTemporary, folder, error)) return std::nullopt;
        if (writesShort && writesShort(folder)) return FolderFileSystem::writeTemporary(folder, data.left(1), error);
        return FolderFileSystem::writeTemporary(folder, data, error);
    }
    bool writeNewFile(const QString& path, const QByteArray& data, quint32 mode, ErrorInfo* error) override
    {
        record("writeNewFile " + path);
        if (hit(Op::writeNewFile, path, error)) return false;
        return FolderFileSystem::writeNewFile(path, data, mode, error);
    }
    bool overwrite(const QString& path, const FileIdentity& expected, const QByteArray& data, ErrorInfo* error) override
    {
        record("overwrite " + path);
        if (hit(Op::overwrite, path, error)) return false;
        return FolderFileSystem::overwrite(path, expected, data, error);
    }
    bool renameFolder(const QString& source, const QString& destination, ErrorInfo* error) override
    {
        record("renameFolder " + destination);
        if (hit(Op::renameFolder, destination, error)) return false;
        return FolderFileSystem::renameFolder(source, destination, error);
    }
    bool replace(const QString& source, const QString& destination, const std::optional<FileIdentity>& expected,
                 std::optional<quint32> mode, FileIdentity* placed, ErrorInfo* error) override
    {
        record("replace " + destination);
        if (hit(Op::replace, destination, error)) return false;
        return FolderFileSystem::replace(source, destination, expected, mode, placed, error);
    }
    bool removeFile(const QString& path, ErrorInfo* error) override
    {
        record("remove " + path);
        if (hit(Op::remove, path, error)) return false;
        return FolderFileSystem::removeFile(path, error);
    }
    bool removeDirectory(const QString& path, ErrorInfo* error) override
    {
        record("removeDirectory " + path);
        if (hit(Op::removeDirectory, path, error)) return false;
        return FolderFileSystem::removeDirectory(path, error);
    }
    bool flush(const QStringList& paths, ErrorInfo* error) override
    {
        record("flush");
        if (hit(Op::flush, QString(), error)) return false;
        return FolderFileSystem::flush(paths, error);
    }
    bool createDirectory(const QString& path, quint32 mode, ErrorInfo* error) override
    {
        record("createDirectory " + path);
        if (hit(Op::createDirectory, path, error)) return false;
        return FolderFileSystem::createDirectory(path, mode, error);
    }

private:
    std::mutex logMutex_;

    void record(const QString& step)
    {
        const std::lock_guard lock(logMutex_);
        log.push_back(step);
    }

    bool hit(Op op, const QString& path, ErrorInfo* error) const
    {
        if (before) before(op, path);
        if (!fails || !fails(op, path)) return false;
        if (error) *error = posixError(failsWith, path);
        return true;
    }
};

inline FolderSearchOptions folderOptions()
{
    FolderSearchOptions options;
    options.recursive = true;
    options.includesHiddenFiles = false;
    options.followsSymbolicLinks = false;
    options.maximumFileBytes = FolderSearchOptions::windowMaximumFileBytes;
    return options;
}

inline SearchRequest plainRequest(const QString& pattern, const QString& replacement = QString())
{
    SearchRequest request;
    request.pattern = pattern;
    request.replacement = replacement;
    request.options.mode = SearchMode::text;
    request.options.caseSensitive = true;
    return request;
}

inline quint32 modeOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0xFFFFFFFFu;
    return quint32(info.st_mode & 07777);
}

inline void makeLink(const QString& target, const QString& link)
{
    ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData());
}

// A small tmpfs mounted at path (made if missing) while it lives: a disk that fills up, or that
// turns read-only. Only root may mount; mounted() says whether it worked.
class TmpfsMount {
public:
    TmpfsMount(const QString& path, qint64 bytes) : path_(path)
    {
        QDir().mkpath(path);
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        mounted_ = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~TmpfsMount()
    {
        if (mounted_) ::umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly()
    {
        return ::mount("tmpfs", QFile::encodeName(path_).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QString path_;
    bool mounted_ = false;
};

}  // namespace korimado::test
