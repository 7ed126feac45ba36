#pragma once

#include "platform/documents/FileIO.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderSearchOptions.h"
#include "search/engine/SearchRequest.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>

namespace korimado::test {

// The real file system with a hook in front of every call: a step can be made to fail, to write
// other bytes than asked, or to do something to the disk first (another program's save).
class FaultyFileSystem : public FolderFileSystem {
public:
    enum class Op { list, attributes, read, write, setPermissions, createDirectory };

    // Returns true to make the call fail (with EIO) without touching the disk. Reads run on the
    // search's worker threads: hooks that see them must be safe to call from several at once.
    std::function<bool(Op, const QString& path)> fails;
    // Runs before the call itself.
    std::function<void(Op, const QString& path)> before;
    // A write to a path for which this is true lands only its first byte.
    std::function<bool(const QString& path)> writesShort;
    // Files are read on the search's workers.
    mutable std::atomic<int> reads{0};

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
    bool writeFile(const QString& path, const QByteArray& data, std::optional<quint32> mode, ErrorInfo* error) override
    {
        if (hit(Op::write, path, error)) return false;
        if (writesShort && writesShort(path)) return FolderFileSystem::writeFile(path, data.left(1), mode, error);
        return FolderFileSystem::writeFile(path, data, mode, error);
    }
    bool setPermissions(const QString& path, quint32 mode, ErrorInfo* error) override
    {
        if (hit(Op::setPermissions, path, error)) return false;
        return FolderFileSystem::setPermissions(path, mode, error);
    }
    bool createDirectory(const QString& path, quint32 mode, ErrorInfo* error) override
    {
        if (hit(Op::createDirectory, path, error)) return false;
        return FolderFileSystem::createDirectory(path, mode, error);
    }

private:
    bool hit(Op op, const QString& path, ErrorInfo* error) const
    {
        if (before) before(op, path);
        if (!fails || !fails(op, path)) return false;
        if (error) *error = posixError(EIO, path);
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

}  // namespace korimado::test
