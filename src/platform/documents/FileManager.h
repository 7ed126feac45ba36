#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace korimado {

// What one look at an item tells: the link itself is examined, and what it leads to where it leads anywhere.
struct FileAttributes {
    bool exists = false;          // something stands at the path, a dangling link included
    bool isDirectory = false;     // a folder, or a link to one
    bool isSymbolicLink = false;  // the item itself is a link
    bool isPackage = false;       // a folder shown as one file (none on Linux)
    std::optional<QDateTime> modificationDate;  // of what the path leads to, else of the link
};

struct DirectoryEntry {
    QString name;
    FileAttributes attributes;
};

// The file manager through which the file browser touches the disk, so that tests can make any
// step fail. Never overwrites: moves and creations refuse an existing destination, a dangling
// link there included, and never follow it.
class FileManager {
public:
    virtual ~FileManager() = default;

    // The process's own file manager.
    static FileManager& defaultManager();

    virtual FileAttributes attributes(const QString& path) const;
    bool itemExists(const QString& path) const { return attributes(path).exists; }

    // The immediate entries of a folder in the order the system lists them; names beginning with a
    // dot only when includeHidden. None, with the reason, when the folder cannot be read.
    virtual std::optional<std::vector<DirectoryEntry>> contentsOfDirectory(const QString& path, bool includeHidden,
                                                                           ErrorInfo* error) const;

    // Renames without replacing anything; across file systems copies, then removes the source.
    virtual bool moveItem(const QString& source, const QString& destination, ErrorInfo* error);
    // A new empty file or folder; fails when anything stands at the path.
    virtual bool createFile(const QString& path, ErrorInfo* error);
    virtual bool createDirectory(const QString& path, ErrorInfo* error);
    // Moves one item to the user's trash (the freedesktop trash).
    virtual bool trashItem(const QString& path, ErrorInfo* error);
};

}  // namespace korimado
