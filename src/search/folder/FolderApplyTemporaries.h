#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace korimado {

class FolderFileSystem;
struct FolderListingEntry;

// The temporaries of a folder replacement: a target's new bytes wait beside it, and the run's
// backups wait in a folder of their own inside the backup folder, until one flush has put them all
// on the disk. Their names (".korimado-apply-", the writing process's id, "-", eight random
// hexadecimal digits, "-", sixteen more that seal the rest with the user's own key) tell a later
// search that a run of this user made them and whether that process has ended. A name of that
// form without the seal is anyone's file, and is searched as any other.
class FolderApplyTemporaries {
public:
    FolderApplyTemporaries() = delete;

    // A fresh name of this process.
    static QString newName();
    // A fresh name as a process with that id would give it.
    static QString nameFor(qint64 writer);
    static bool isTemporaryName(const QString& name);
    // Takes every temporary out of entries (the listing of folder) and removes those whose process
    // has ended: a replacement killed midway leaves them, and they are no one's text. Only what
    // this user owns is removed: a file with no other name, or a folder holding nothing but such
    // files and folders.
    static void sweep(const QString& folder, std::vector<FolderListingEntry>& entries, FolderFileSystem& fileSystem);
    // The same in root's backup folder.
    static void sweepBackupFolder(const QString& root, FolderFileSystem& fileSystem);
    // A folder and everything in it; links are removed, never followed.
    static void removeTree(const QString& folder, FolderFileSystem& fileSystem);

private:
    static bool isStale(const QString& name);
};

}  // namespace korimado
