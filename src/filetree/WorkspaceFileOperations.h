#pragma once

#include "filetree/WorkspaceFileError.h"

#include <QString>

#include <optional>

namespace korimado {

class FileManager;

// The file browser's changes to the disk, each confined to the open folder (the workspace root).
// Every refusal is thrown as WorkspaceFileError before anything on disk changes.
class WorkspaceFileOperations {
public:
    explicit WorkspaceFileOperations(FileManager& fileManager);

    FileManager& fileManager() const { return *fileManager_; }

    // The name without surrounding white space; refuses empty names, "." and "..", and names
    // holding "/", ":", NUL, LF or CR.
    static QString validatedName(const QString& name);

    // Where a new item of that name would stand in directory; nothing is created.
    QString destination(const QString& directory, const QString& name, const QString& workspaceRoot) const;

    // A new empty file or folder named name in directory; returns its path. Refused when anything,
    // a dangling link included, stands there.
    QString createFile(const QString& directory, const QString& name, const QString& workspaceRoot);
    QString createFolder(const QString& directory, const QString& name, const QString& workspaceRoot);

    // Moves source into directory, under newName when given (a rename when directory is the
    // source's own folder); returns the new path. Never overwrites.
    QString move(const QString& source, const QString& directory, const std::optional<QString>& newName,
                 const QString& workspaceRoot);

    // url at or under root, both with their symbolic links followed: a link leading out of the root is outside.
    static bool isInside(const QString& url, const QString& root);

private:
    enum class Kind { file, folder };
    QString create(Kind kind, const QString& directory, const QString& name, const QString& workspaceRoot);

    FileManager* fileManager_;
};

}  // namespace korimado
