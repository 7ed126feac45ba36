#pragma once

#include "search/folder/FolderReplaceReceipt.h"
#include "search/folder/FolderReplacementPreview.h"
#include "search/folder/FolderRollbackEntry.h"
#include "search/folder/FolderSearchError.h"
#include "search/folder/FolderSearchOptions.h"
#include "search/folder/FolderSearchResult.h"
#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchRequest.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <QString>

#include <optional>

namespace korimado {

class FolderFileSystem;

// Search and replace over every text file under one folder. Static functions only; each runs
// synchronously on the caller's thread (the folder window's queue) and keeps no state. The
// optional file system is the seam through which tests make file operations fail; none means
// the real one.
class FolderSearchEngine {
public:
    FolderSearchEngine() = delete;

    // The folder of replacement backups inside a searched folder; never searched itself.
    static inline const QString backupFolderName = QStringLiteral(".korimado-backups");
    // The code of the preview's error for a file whose new text its encoding cannot hold.
    static constexpr int unencodableReplacementCode = 3;
    // The code of the preview's error when the texts it would hold pass previewHeldBytesLimit.
    static constexpr int previewTooLargeCode = 4;
    // Old and new bytes and texts of every file of a preview, all held at once until apply.
    static constexpr qint64 previewHeldBytesLimit = qint64(1) << 30;

    // Walks rootURL (absolute; links in it resolved) depth-first and searches each text file that
    // decodes and re-encodes byte for byte. Throws FolderSearchError (invalidRoot, cancelled) and
    // any SearchEngineError of the request unchanged.
    static FolderSearchResult search(const QString& rootURL, const SearchRequest& request,
                                     const FolderSearchOptions& options,
                                     const SearchCancellationToken* cancellation = nullptr,
                                     FolderFileSystem* fileSystem = nullptr);

    // The new text and bytes of every file of result, nothing written. Each file is read again
    // and must still hold the bytes the search read. Throws FolderSearchError::cancelled,
    // FolderSearchError::preconditionFailed naming files changed or gone since the search, a
    // SearchEngineError unchanged, or a PlatformError of domain "FolderSearch": code 3 naming a
    // file whose new text its encoding cannot hold, code 4 when the preview would hold more than
    // previewHeldBytesLimit.
    static FolderReplacementPreview makeReplacementPreview(const FolderSearchResult& result,
                                                           const SearchRequest& request,
                                                           const SearchCancellationToken* cancellation = nullptr,
                                                           FolderFileSystem* fileSystem = nullptr);

    // The excerpt of every hit of a file of a search result (the result keeps only the first's),
    // from the file as it is now; none when it no longer holds the bytes the search read.
    static std::optional<QStringList> excerpts(const FolderSearchFile& file, FolderFileSystem* fileSystem = nullptr);

    // Writes the selected files of preview after re-checking every one against what the search
    // saw, each backed up first under backupRoot (none: <root>/.korimado-backups), written
    // atomically and read back. On a failure while writing, the files written so far are
    // restored. Throws FolderSearchError (preconditionFailed, writeFailed, cancelled).
    static FolderReplaceReceipt apply(const FolderReplacementPreview& preview, const QSet<QString>& selectedURLs,
                                      const QSet<QString>& blockedOpenURLs,
                                      const std::optional<QString>& backupRoot = std::nullopt,
                                      const SearchCancellationToken* cancellation = nullptr,
                                      FolderFileSystem* fileSystem = nullptr);

    // Puts the backed-up bytes back, newest entry first, into every target that still holds what
    // the replacement wrote. Never throws; backups stay on disk.
    static FolderRollbackResult rollbackEntries(const QList<FolderRollbackEntry>& entries,
                                                FolderFileSystem* fileSystem = nullptr);
};

}  // namespace korimado
