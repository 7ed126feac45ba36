#include "search/FolderSearchWalk.h"

#include "document/TextCodec.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "search/FolderExcerpts.h"
#include "search/FolderFileSystem.h"
#include "search/FolderSearchEngine.h"
#include "search/FolderSearchError.h"
#include "search/FolderSearchPaths.h"
#include "search/SearchEngine.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

namespace korimado {

namespace {

// Plain scalar order: UTF-16 order puts the supplementary planes before U+E000..U+FFFF.
bool scalarLess(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y) continue;
        // Surrogates (D800..DFFF) stand for scalars above every unit of E000..FFFF.
        const auto rank = [](char16_t u) { return u >= 0xD800 && u <= 0xDFFF ? char32_t(u) + 0x10000 : char32_t(u); };
        return rank(x) < rank(y);
    }
    return a.size() < b.size();
}

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

}  // namespace

FolderSearchWalk::FolderSearchWalk(const SearchRequest& request, const FolderSearchOptions& options,
                                   const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem)
    : request_(request), options_(options), cancellation_(cancellation), fileSystem_(fileSystem),
      excluded_(options.excludedGlobs)
{
}

std::optional<QString> FolderSearchWalk::resolvedRoot(const QString& rootURL, FolderFileSystem& fileSystem)
{
    // An empty or relative root would be taken against the working directory, which for a desktop
    // program is "/": the whole disk.
    if (rootURL.trimmed().isEmpty() || !rootURL.startsWith(u'/')) return std::nullopt;
    const std::optional<QString> resolved = fileSystem.resolvedPath(standardizedPath(rootURL));
    if (!resolved) return std::nullopt;
    const std::optional<FolderEntryAttributes> attributes = fileSystem.attributes(*resolved, true);
    if (!attributes || !attributes->isDirectory) return std::nullopt;
    return resolved;
}

void FolderSearchWalk::checkCancelled() const
{
    if (cancellation_ && cancellation_->isCancelled()) throw FolderSearchError::cancelled();
}

void FolderSearchWalk::skip(const QString& relativePath, const QString& reason)
{
    result_.skippedFiles.push_back(FolderSkippedFile{relativePath, reason});
}

FolderSearchResult FolderSearchWalk::run(const QString& rootURL)
{
    QElapsedTimer timer;
    timer.start();
    const std::optional<QString> root = resolvedRoot(rootURL, fileSystem_);
    if (!root) throw FolderSearchError::invalidRoot();
    root_ = *root;
    result_.rootURL = root_;

    // An invalid expression fails here, before any file is read.
    SearchEngine::findAll(QString(), request_, 0, cancellation_);

    pending_.push_back(root_);
    while (!pending_.isEmpty()) {
        const QString folder = pending_.takeLast();
        checkCancelled();
        listFolder(folder);
    }

    std::vector<std::pair<QByteArray, qsizetype>> keys;
    keys.reserve(size_t(result_.files.size()));
    for (qsizetype i = 0; i < result_.files.size(); ++i) {
        keys.emplace_back(localizedStandardSortKey(result_.files[i].relativePath), i);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<FolderSearchFile> sorted;
    sorted.reserve(result_.files.size());
    for (const auto& key : keys) sorted.push_back(std::move(result_.files[key.second]));
    result_.files = std::move(sorted);
    result_.elapsedMilliseconds = double(timer.nsecsElapsed()) / 1e6;
    return std::move(result_);
}

void FolderSearchWalk::listFolder(const QString& folder)
{
    const QString resolved = fileSystem_.resolvedPath(folder).value_or(standardizedPath(folder));
    if (!FolderSearchPaths::isInside(resolved, root_) || listedFolders_.contains(resolved)) return;
    listedFolders_.insert(resolved);
    std::optional<QStringList> names = fileSystem_.contentsOfDirectory(resolved, nullptr);
    if (!names) {
        skip(FolderSearchPaths::relativePath(resolved, root_), FolderSkipReason::unreadableFolder);
        return;
    }
    std::vector<std::pair<QString, QString>> entries;  // normalised name, name
    entries.reserve(size_t(names->size()));
    for (QString& name : *names) entries.emplace_back(name.normalized(QString::NormalizationForm_C), std::move(name));
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return scalarLess(a.first, b.first); });
    for (const auto& entry : entries) examineEntry(childPath(resolved, entry.second), entry.second);
}

void FolderSearchWalk::examineEntry(const QString& entryPath, const QString& name)
{
    checkCancelled();
    const QString relative = FolderSearchPaths::relativePath(entryPath, root_);
    if (name == FolderSearchEngine::backupFolderName || excluded_.matches(relative)) {
        skip(relative, FolderSkipReason::excluded);
        return;
    }
    std::optional<FolderEntryAttributes> attributes = fileSystem_.attributes(entryPath, false);
    const bool hidden = (attributes && attributes->isHidden) || name.startsWith(u'.');
    if (hidden && !options_.includesHiddenFiles) {
        skip(relative, FolderSkipReason::hidden);
        return;
    }
    QString path;
    if (attributes && attributes->isSymbolicLink) {
        if (!options_.followsSymbolicLinks) {
            skip(relative, FolderSkipReason::symbolicLink);
            return;
        }
        path = fileSystem_.resolvedPath(entryPath).value_or(standardizedPath(entryPath));
        if (!FolderSearchPaths::isInside(path, root_)) {
            skip(relative, FolderSkipReason::outsideRoot);
            return;
        }
        attributes = fileSystem_.attributes(path, true);
    } else {
        path = standardizedPath(entryPath);
        if (!FolderSearchPaths::isInside(path, root_)) {
            skip(relative, FolderSkipReason::outsideRoot);
            return;
        }
    }
    if (attributes && attributes->isDirectory) {
        if (options_.recursive && !attributes->isPackage) pending_.push_back(path);
        return;
    }
    if (!attributes || !attributes->isRegularFile) {
        skip(relative, FolderSkipReason::notRegularFile);
        return;
    }
    examineFile(path, relative, *attributes);
}

void FolderSearchWalk::examineFile(const QString& path, const QString& entryRelativePath,
                                   const FolderEntryAttributes& attributes)
{
    if (examinedFiles_.contains(path)) {
        skip(entryRelativePath, FolderSkipReason::duplicate);
        return;
    }
    examinedFiles_.insert(path);
    ++result_.visitedFileCount;

    const qint64 limit = options_.maximumFileBytes;
    const qint64 size = attributes.fileSize.value_or(std::numeric_limits<qint64>::max());
    if (size > limit) {
        skip(entryRelativePath, FolderSkipReason::tooLarge);
        return;
    }
    std::optional<QByteArray> data = fileSystem_.readFile(path, limit, nullptr);
    if (!data) {
        skip(entryRelativePath, FolderSkipReason::unreadable);
        return;
    }
    // Grown past the limit since its size was read.
    if (data->size() > limit) {
        skip(entryRelativePath, FolderSkipReason::tooLarge);
        return;
    }
    DecodedText decoded;
    try {
        decoded = TextCodec::decode(*data);
    } catch (const CodecError&) {
        skip(entryRelativePath, FolderSkipReason::notRoundTrip);
        return;
    }
    if (!TextCodec::reencodesExactly(*data, decoded)) {
        skip(entryRelativePath, FolderSkipReason::notRoundTrip);
        return;
    }

    SearchRequest request = request_;
    request.lineEnding = decoded.format.lineEnding;
    const SearchResultSet found = SearchEngine::findAll(decoded.text, request, 0, cancellation_);
    if (found.matches.isEmpty()) return;

    FolderSearchFile file;
    file.url = path;
    file.relativePath = FolderSearchPaths::relativePath(path, root_);
    file.format = decoded.format;
    const std::vector<qsizetype> starts = FolderSearchPaths::lineStarts(decoded.text);
    file.hits.reserve(found.matches.size());
    for (const SearchMatch& match : found.matches) {
        const qsizetype location = match.range.location;
        const auto after = std::upper_bound(starts.begin(), starts.end(), location);
        const qsizetype line = qsizetype(after - starts.begin());
        const qsizetype lineStart = starts[size_t(line - 1)];
        file.hits.push_back(FolderSearchHit{match.range, line, location - lineStart + 1,
                                            FolderExcerpts::hitExcerpt(decoded.text, lineStart, location)});
    }
    const std::optional<FolderEntryAttributes> current = fileSystem_.attributes(path, true);
    if (current) file.posixPermissions = current->posixPermissions;
    file.modificationDate = attributes.modificationDate;
    file.isWritable = attributes.isWritable && fileSystem_.isWritable(path);
    file.originalData = std::move(*data);
    file.text = std::move(decoded.text);
    result_.files.push_back(std::move(file));
}

}  // namespace korimado
