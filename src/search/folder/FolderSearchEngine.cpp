#include "search/folder/FolderSearchEngine.h"

#include "document/TextCodec.h"
#include "platform/foundation/PlatformError.h"
#include "search/folder/FolderExcerpts.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderReplaceApply.h"
#include "search/folder/FolderRollback.h"
#include "search/engine/SearchEngine.h"
#include "search/folder/FolderSearchPaths.h"
#include "search/folder/FolderSearchWalk.h"

namespace korimado {

FolderSearchResult FolderSearchEngine::search(const QString& rootURL, const SearchRequest& request,
                                              const FolderSearchOptions& options,
                                              const SearchCancellationToken* cancellation, FolderFileSystem* fileSystem)
{
    FolderSearchWalk walk(request, options, cancellation, fileSystem ? *fileSystem : FolderFileSystem::standard());
    return walk.run(rootURL);
}

namespace {

// The file as the search read it, decoded the same way; none when it changed since.
std::optional<DecodedText> reread(const FolderSearchFile& file, FolderFileSystem& fileSystem, QByteArray& data)
{
    std::optional<QByteArray> bytes = fileSystem.readFile(file.url, std::max<qint64>(file.stamp.size, 0), nullptr);
    if (!bytes || FolderContentStamp::of(*bytes) != file.stamp) return std::nullopt;
    try {
        DecodedText decoded = TextCodec::decode(*bytes);
        if (decoded.format != file.format) return std::nullopt;
        data = std::move(*bytes);
        return decoded;
    } catch (const CodecError&) {
        return std::nullopt;
    }
}

}  // namespace

FolderReplacementPreview FolderSearchEngine::makeReplacementPreview(const FolderSearchResult& result,
                                                                    const SearchRequest& request,
                                                                    const SearchCancellationToken* cancellation,
                                                                    FolderFileSystem* fileSystem)
{
    FolderFileSystem& files = fileSystem ? *fileSystem : FolderFileSystem::standard();
    FolderReplacementPreview preview;
    preview.rootURL = result.rootURL;
    QStringList changed;
    qint64 held = 0;
    for (const FolderSearchFile& found : result.files) {
        if (cancellation && cancellation->isCancelled()) throw FolderSearchError::cancelled();
        FolderSearchFile file = found;
        std::optional<DecodedText> decoded = reread(found, files, file.originalData);
        if (!decoded) {
            changed.push_back(QStringLiteral("検索後に変更: ") + found.relativePath);
            continue;
        }
        file.text = std::move(decoded->text);
        SearchRequest fileRequest = request;
        fileRequest.scope = std::nullopt;
        // Breaks inside replacement strings come out in the file's own line ending.
        fileRequest.lineEnding = file.format.lineEnding;
        const SearchReplacementResult replaced = SearchEngine::replacingAll(file.text, fileRequest, cancellation);
        if (replaced.matchCount == 0) continue;
        FolderReplacementFile out;
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
        held += file.originalData.size() + 2 * file.text.size() + out.replacementData.size()
                + 2 * out.replacementText.size();
        if (held > previewHeldBytesLimit) {
            throw PlatformError(ErrorInfo{QStringLiteral("FolderSearch"), previewTooLargeCode,
                                          QStringLiteral("置換結果が大きすぎるため作成できません。変更前後のテキストが1 GiBを超えます。"
                                                         "対象のファイルを絞り込んでください。"),
                                          QString()});
        }
        out.replacementCount = replaced.matchCount;
        out.beforeExcerpt = FolderExcerpts::previewExcerpt(file.text);
        out.afterExcerpt = FolderExcerpts::previewExcerpt(out.replacementText);
        out.source = std::move(file);
        preview.files.push_back(std::move(out));
    }
    if (!changed.isEmpty()) throw FolderSearchError::preconditionFailed(changed);
    return preview;
}

std::optional<QStringList> FolderSearchEngine::excerpts(const FolderSearchFile& file, FolderFileSystem* fileSystem)
{
    QByteArray data;
    const std::optional<DecodedText> decoded = reread(file, fileSystem ? *fileSystem : FolderFileSystem::standard(), data);
    if (!decoded) return std::nullopt;
    QList<SearchMatch> matches;
    matches.reserve(file.hits.size());
    for (const FolderSearchHit& hit : file.hits) {
        SearchMatch match;
        match.range = hit.range;
        if (hit.range.end() > decoded->text.size()) return std::nullopt;
        matches.push_back(match);
    }
    const std::vector<qsizetype> starts = FolderSearchPaths::lineStarts(decoded->text);
    QStringList out;
    for (const FolderSearchHit& hit : FolderExcerpts::placedHits(decoded->text, starts, matches, matches.size(), nullptr))
        out.push_back(hit.excerpt);
    return out;
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
