#include "search/FolderSearchEngine.h"

#include "search/FolderFileSystem.h"
#include "search/FolderSearchWalk.h"

namespace korimado {

FolderSearchResult FolderSearchEngine::search(const QString& rootURL, const SearchRequest& request,
                                              const FolderSearchOptions& options,
                                              const SearchCancellationToken* cancellation, FolderFileSystem* fileSystem)
{
    FolderSearchWalk walk(request, options, cancellation, fileSystem ? *fileSystem : FolderFileSystem::standard());
    return walk.run(rootURL);
}

FolderReplacementPreview FolderSearchEngine::makeReplacementPreview(const FolderSearchResult& result,
                                                                    const SearchRequest&,
                                                                    const SearchCancellationToken*)
{
    return FolderReplacementPreview{result.rootURL, {}};
}

FolderReplaceReceipt FolderSearchEngine::apply(const FolderReplacementPreview&, const QSet<QString>&,
                                               const QSet<QString>&, const std::optional<QString>&,
                                               const SearchCancellationToken*, FolderFileSystem*)
{
    return FolderReplaceReceipt{};
}

FolderRollbackResult FolderSearchEngine::rollbackEntries(const QList<FolderRollbackEntry>&, FolderFileSystem*)
{
    return FolderRollbackResult{};
}

}  // namespace korimado
