#include "search/FolderSearchEngine.h"

#include "search/FolderFileSystem.h"

namespace korimado {

FolderSearchResult FolderSearchEngine::search(const QString&, const SearchRequest&, const FolderSearchOptions&,
                                              const SearchCancellationToken*, FolderFileSystem*)
{
    throw FolderSearchError::invalidRoot();
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
