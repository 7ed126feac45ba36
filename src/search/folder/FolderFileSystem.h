#pragma once

#include "platform/documents/FileReplacement.h"
#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace korimado {

// What one look at a folder entry tells the folder engine.
struct FolderEntryAttributes {
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isSymbolicLink = false;  // only when the link itself was examined
    bool isHidden = false;        // the platform's own flag (none on Linux: a leading "." decides)
    bool isPackage = false;       // a folder shown as one document (none on Linux)
    std::optional<qint64> fileSize;
    std::optional<QDateTime> modificationDate;
    bool isWritable = false;      // the current user may replace the file in place
    std::optional<quint32> posixPermissions;  // 07777 bits
    std::optional<FileIdentity> identity;     // of the item itself, or with followLinks of what it leads to
    quint64 linkCount = 1;                    // the names the file has (hard links)
    std::optional<quint32> ownerID;
};

// One name of a folder listing, with what the listing itself tells of it (no look at the entry).
struct FolderListingEntry {
    enum class Kind { unknown, directory, regularFile, symbolicLink, other };
    QString name;
    Kind kind = Kind::unknown;
};

// What FolderFileSystem::readFileInto came to.
enum class FolderReadOutcome {
    read,     // the whole file (at most maximumSize + 1 bytes)
    refused,  // its first block was judged and refused; the rest is not read
    failed,
};

// Every file-system call of the folder engine goes through one of these, so that tests can make
// any listing, read, write or permission change fail. Paths are absolute local paths.
class FolderFileSystem {
public:
    virtual ~FolderFileSystem() = default;

    // The process's own file system.
    static FolderFileSystem& standard();

    // The names in a folder, hidden ones included, in no particular order.
    virtual std::optional<QStringList> contentsOfDirectory(const QString& path, ErrorInfo* error) const;
    // The same with the kind of each entry where the listing tells it; by default every kind is
    // unknown (contentsOfDirectory), the process's own file system reads it from the listing.
    virtual std::optional<std::vector<FolderListingEntry>> listDirectory(const QString& path, ErrorInfo* error) const;
    // The item itself (a link is described as a link), or with followLinks what it leads to.
    virtual std::optional<FolderEntryAttributes> attributes(const QString& path, bool followLinks) const;
    // path with every symbolic link in it resolved, standardised; none when part of it is missing
    // or the links loop.
    virtual std::optional<QString> resolvedPath(const QString& path) const;
    // A regular file whole, read with read(); at most maximumSize + 1 bytes, so that a longer
    // result says the file is larger than allowed.
    virtual std::optional<QByteArray> readFile(const QString& path, qint64 maximumSize, ErrorInfo* error) const;
    // The same into buffer, whose allocation a reader keeps from file to file. With refusesStart,
    // the first firstBlock bytes (the whole of a shorter file) are judged before the rest is read:
    // a binary shows itself at once. By default through readFile, so that a file system standing
    // in for tests sees every read.
    virtual FolderReadOutcome readFileInto(const QString& path, qint64 maximumSize, QByteArray& buffer,
                                           qsizetype firstBlock, bool (*refusesStart)(QByteArrayView),
                                           ErrorInfo* error) const;
    // Whether the current user may replace the file in place.
    virtual bool isWritable(const QString& path) const;
    // Whether the current user may make, rename and remove files in the folder.
    virtual bool isFolderWritable(const QString& path) const;
    // A new file in folder holding data, named as a folder replacement's temporaries are
    // (FolderApplyTemporaries), readable by its owner only and not flushed. Returns its path.
    virtual std::optional<QString> writeTemporary(const QString& folder, const QByteArray& data, ErrorInfo* error);
    // A new file at path holding data with mode, not flushed; nothing may stand there.
    virtual bool writeNewFile(const QString& path, const QByteArray& data, quint32 mode, ErrorInfo* error);
    // Writes data into the file itself, which must still be expected, and flushes it
    // (overwriteInPlace): a file with other names stays one file.
    virtual bool overwrite(const QString& path, const FileIdentity& expected, const QByteArray& data, ErrorInfo* error);
    // Renames a folder to destination, where nothing may stand (renameNewFolder).
    virtual bool renameFolder(const QString& source, const QString& destination, ErrorInfo* error);
    // Renames source over destination without following a link at either end (replaceByRename):
    // with expected, destination must still be that regular file; without, nothing may be there.
    virtual bool replace(const QString& source, const QString& destination, const std::optional<FileIdentity>& expected,
                         std::optional<quint32> mode, FileIdentity* placed, ErrorInfo* error);
    virtual bool removeFile(const QString& path, ErrorInfo* error);
    // An empty folder.
    virtual bool removeDirectory(const QString& path, ErrorInfo* error);
    // Everything written so far on the file systems of paths reaches the disk: one flush each.
    virtual bool flush(const QStringList& paths, ErrorInfo* error);
    // A plain mkdir: fails when anything, a link included, stands at the path.
    virtual bool createDirectory(const QString& path, quint32 mode, ErrorInfo* error);
};

}  // namespace korimado
