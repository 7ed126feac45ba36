#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
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
};

// One name of a folder listing, with what the listing itself tells of it (no look at the entry).
struct FolderListingEntry {
    enum class Kind { unknown, directory, regularFile, symbolicLink, other };
    QString name;
    Kind kind = Kind::unknown;
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
    // Whether the current user may replace the file in place.
    virtual bool isWritable(const QString& path) const;
    // Atomically (temporary file and rename). A new file gets newFileMode, when given, before
    // the rename; an existing one keeps its own permissions.
    virtual bool writeFile(const QString& path, const QByteArray& data, std::optional<quint32> newFileMode,
                           ErrorInfo* error);
    virtual bool setPermissions(const QString& path, quint32 mode, ErrorInfo* error);
    // A plain mkdir: fails when anything, a link included, stands at the path.
    virtual bool createDirectory(const QString& path, quint32 mode, ErrorInfo* error);
};

}  // namespace korimado
