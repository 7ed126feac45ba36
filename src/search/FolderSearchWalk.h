#pragma once

#include "search/FolderGlob.h"
#include "search/FolderSearchOptions.h"
#include "search/FolderSearchResult.h"
#include "search/SearchCancellationToken.h"
#include "search/SearchRequest.h"

#include <QSet>
#include <QString>

namespace korimado {

class FolderFileSystem;
struct FolderEntryAttributes;

// One folder search: the depth-first walk with its two visited sets, the entry tests and the
// search of each file that survives them.
class FolderSearchWalk {
public:
    FolderSearchWalk(const SearchRequest& request, const FolderSearchOptions& options,
                     const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem);

    // Throws FolderSearchError (invalidRoot, cancelled) and SearchEngineError.
    FolderSearchResult run(const QString& rootURL);

    // The root as the search takes it: absolute, standardised, links resolved; none when it is
    // blank, relative, missing or not a folder.
    static std::optional<QString> resolvedRoot(const QString& rootURL, FolderFileSystem& fileSystem);

private:
    void listFolder(const QString& folder);
    void examineEntry(const QString& entryPath, const QString& name);
    void examineFile(const QString& path, const QString& entryRelativePath, const FolderEntryAttributes& attributes);
    void skip(const QString& relativePath, const QString& reason);
    void checkCancelled() const;

    const SearchRequest& request_;
    const FolderSearchOptions& options_;
    const SearchCancellationToken* cancellation_;
    FolderFileSystem& fileSystem_;
    FolderGlobList excluded_;

    QString root_;
    QList<QString> pending_;      // folders still to list; the last is taken first
    QSet<QString> listedFolders_;
    QSet<QString> examinedFiles_;
    FolderSearchResult result_;
};

}  // namespace korimado
