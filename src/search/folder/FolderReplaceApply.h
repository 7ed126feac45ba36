#pragma once

#include "search/folder/FolderReplaceReceipt.h"
#include "search/folder/FolderReplacementPreview.h"
#include "search/engine/SearchCancellationToken.h"

#include <QSet>
#include <QString>

#include <optional>

namespace korimado {

class FolderFileSystem;

// One apply run: the re-checks of every selected file; then every backup written into a folder
// of temporaries and every new content beside its file, all flushed once; the backups' folder
// renamed into place as the run's folder; then per file the target looked at again, replaced by
// a rename (a file with other names: written in place) and read back; one flush at the end. On
// any failure the files already replaced get their backups back.
class FolderReplaceApply {
public:
    FolderReplaceApply(const FolderReplacementPreview& preview, const std::optional<QString>& backupRoot,
                       const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem);

    // Throws FolderSearchError.
    FolderReplaceReceipt run(const QSet<QString>& selectedURLs, const QSet<QString>& blockedOpenURLs);

private:
    struct Failure;
    // A selected file on its way: its new bytes wait beside it until the flush.
    struct Staged {
        const FolderReplacementFile* file = nullptr;
        QString backupFile;       // in the run's folder, once that is in place
        QString targetTemporary;  // beside the target
        bool replaced = false;
    };

    QStringList recheck(const QList<const FolderReplacementFile*>& files, const QSet<QString>& blocked) const;
    std::optional<QString> placeProblem(const FolderSearchFile& source) const;
    void stage(const FolderReplacementFile& file);
    void commit(Staged& staged, QList<FolderRollbackEntry>& entries);
    void flush(const QStringList& extra) const;
    void discardTemporaries();
    [[noreturn]] void fail(const Failure& failure, const QList<FolderRollbackEntry>& entries,
                           const FolderReplaceReceipt& receipt);
    void makeStagingFolder();
    void placeBackups();
    void makeBackupParents(const QString& backupFile);
    QString backupBase() const;
    bool isCancelled() const { return cancellation_ && cancellation_->isCancelled(); }

    const FolderReplacementPreview& preview_;
    std::optional<QString> backupRoot_;
    const SearchCancellationToken* cancellation_;
    FolderFileSystem& fileSystem_;
    QString root_;
    QString runFolder_;
    QString stagingFolder_;  // the backups until they are all on the disk; then the run's folder
    bool backupsPlaced_ = false;
    Staged* committing_ = nullptr;  // the file whose replacement is under way
    QList<Staged> staged_;
};

}  // namespace korimado
