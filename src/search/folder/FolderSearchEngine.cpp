#include "search/folder/FolderSearchEngine.h"

#include "document/TextCodec.h"
#include "platform/foundation/PlatformError.h"
#include "search/folder/FolderExcerpts.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderReplaceApply.h"
#include "search/folder/FolderRollback.h"
#include "search/engine/SearchEngine.h"
#include "search/folder/FolderSearchWalk.h"

namespace korimado {

FolderSearchResult FolderSearchEngine::search(const QString& rootURL, const SearchRequest& request,
                                              const FolderSearchOptions& options,
                                              const SearchCancellationToken* cancellation, FolderFileSystem* fileSystem)
{
    FolderSearchWalk walk(request, options, cancellation, fileSystem ? *fileSystem : FolderFileSystem::standard());
    return walk.run(rootURL);
}

FolderReplacementPreview FolderSearchEngine::makeReplacementPreview(const FolderSearchResult& result,
                                                                    const SearchRequest& request,
                                                                    const SearchCancellationToken* cancellation)
{
    FolderReplacementPreview preview;
    preview.rootURL = result.rootURL;
    for (const FolderSearchFile& file : result.files) {
        if (cancellation && cancellation->isCancelled()) throw FolderSearchError::cancelled();
        SearchRequest fileRequest = request;
        fileRequest.scope = std::nullopt;
        // Breaks inside replacement strings come out in the file's own line ending.
        fileRequest.lineEnding = file.format.lineEnding;
        const SearchReplacementResult replaced = SearchEngine::replacingAll(file.text, fileRequest, cancellation);
        if (replaced.matchCount == 0) continue;
        FolderReplacementFile out;
        out.source = file;
        out.replacementText = file.text;
        out.replacementText.replace(replaced.searchedRange.location, replaced.searchedRange.length, replaced.replacement);
        try {
            out.replacementData = TextCodec::encode(out.replacementText, file.format);
        } catch (const CodecError& e) {
            throw PlatformError(ErrorInfo{QStringLiteral("FolderSearch"), unencodableReplacementCode,
                                          file.relativePath + QStringLiteral("を元の文字コードで保存できません。")
                                              + e.errorDescription(),
                                          QString()});
        }
        out.replacementCount = replaced.matchCount;
        out.beforeExcerpt = FolderExcerpts::previewExcerpt(file.text);
        out.afterExcerpt = FolderExcerpts::previewExcerpt(out.replacementText);
        preview.files.push_back(std::move(out));
    }
    return preview;
}

FolderReplaceReceipt FolderSearchEngine::apply(const FolderReplacementPreview& preview,
                                               const QSet<QString>& selectedURLs,
                                               const QSet<QString>& blockedOpenURLs,
                                               const std::optional<QString>& backupRoot,
                                               const SearchCancellationToken* cancellation,
                                               FolderFileSystem* fileSystem)
{
    FolderReplaceApply run(preview, backupRoot, cancellation, fileSystem ? *fileSystem : FolderFileSystem::standard());
    return run.run(selectedURLs, blockedOpenURLs);
}

FolderRollbackResult FolderSearchEngine::rollbackEntries(const QList<FolderRollbackEntry>& entries,
                                                         FolderFileSystem* fileSystem)
{
    return FolderRollback::run(entries, fileSystem ? *fileSystem : FolderFileSystem::standard());
}

}  // namespace korimado
