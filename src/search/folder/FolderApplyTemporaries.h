#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace korimado {

class FolderFileSystem;
struct FolderListingEntry;

// The temporaries of a folder replacement: a target's new bytes wait beside it, and the run's
// backups wait in a folder of their own inside the backup folder, until one flush has put them all
// on the disk. Their names (".korimado-apply-", the writing process's id, "-", eight hexadecimal
// digits) tell any later search what they are and whether the process that wrote them has ended.
class FolderApplyTemporaries {
public:
    FolderApplyTemporaries() = delete;

    // The beginning of the names this process gives.
    static QString prefix();
    // A fresh name.
    static QString newName();
    static bool isTemporaryName(const QString& name);
    // Takes every temporary out of entries (the listing of folder) and removes those whose process
    // has ended: a replacement killed midway leaves them, and they are no one's text.
    static void sweep(const QString& folder, std::vector<FolderListingEntry>& entries, FolderFileSystem& fileSystem);
    // The same in root's backup folder.
    static void sweepBackupFolder(const QString& root, FolderFileSystem& fileSystem);
    // A folder and everything in it; links are removed, never followed.
    static void removeTree(const QString& folder, FolderFileSystem& fileSystem);

private:
    static bool isStale(const QString& name);
};

}  // namespace korimado
