#pragma once

#include "search/folder/FolderReplaceReceipt.h"
#include "search/folder/FolderReplacementPreview.h"
#include "search/engine/SearchCancellationToken.h"

#include <QSet>
#include <QString>

#include <optional>

namespace korimado {

class FolderFileSystem;

// One apply run: the re-checks of every selected file, then per file backup, atomic write,
// permissions and read-back, and on any failure the restoring of what was written.
class FolderReplaceApply {
public:
    FolderReplaceApply(const FolderReplacementPreview& preview, const std::optional<QString>& backupRoot,
                       const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem);

    // Throws FolderSearchError.
    FolderReplaceReceipt run(const QSet<QString>& selectedURLs, const QSet<QString>& blockedOpenURLs);

private:
    struct Failure;
    QStringList recheck(const QList<const FolderReplacementFile*>& files, const QSet<QString>& blocked) const;
    void write(const FolderReplacementFile& file, QList<FolderRollbackEntry>& entries);
    void makeRunFolder();
    void makeBackupParents(const QString& backupFile);
    bool isCancelled() const { return cancellation_ && cancellation_->isCancelled(); }

    const FolderReplacementPreview& preview_;
    std::optional<QString> backupRoot_;
    const SearchCancellationToken* cancellation_;
    FolderFileSystem& fileSystem_;
    QString root_;
    QString runFolder_;
    bool runFolderMade_ = false;
};

}  // namespace korimado
