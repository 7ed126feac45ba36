#include "search/folder/FolderSearchWalk.h"

#include "document/TextCodec.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "search/folder/FolderApplyTemporaries.h"
#include "search/folder/FolderExcerpts.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/folder/FolderSearchError.h"
#include "search/folder/FolderSearchPaths.h"
#include "search/engine/SearchEngine.h"

#include <QElapsedTimer>
#include <QThread>

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
    skipAt(nextSequence_++, relativePath, reason);
}

void FolderSearchWalk::skipAt(qsizetype sequence, const QString& relativePath, const QString& reason)
{
    skipped_.push_back({sequence, FolderSkippedFile{relativePath, reason}});
}

FolderSearchResult FolderSearchWalk::run(const QString& rootURL)
{
    QElapsedTimer timer;
    timer.start();
    const std::optional<QString> root = resolvedRoot(rootURL, fileSystem_);
    if (!root) throw FolderSearchError::invalidRoot();
    root_ = *root;
    result_.rootURL = root_;
    FolderApplyTemporaries::sweepBackupFolder(root_, fileSystem_);

    // An invalid expression fails here, before any file is read.
    SearchEngine::findAll(QString(), request_, 0, cancellation_);

    // Files are read, decoded and matched on a few workers while the walk goes on; their outcomes
    // are taken in traversal order, so the result is the same as from one thread.
    const int workers = std::min(QThread::idealThreadCount(), maximumWorkers);
    if (workers > 1) {
        pool_ = std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".folder-search-files")),
                                                workers);
    }
    struct Drain {
        FolderSearchWalk& walk;
        // On the way out by an exception, files not yet started are dropped and the running ones
        // finish before the walk goes.
        ~Drain() { walk.pool_.reset(); }
    } drain{*this};

    pending_.push_back(root_);
    while (!pending_.isEmpty()) {
        const QString folder = pending_.takeLast();
        checkCancelled();
        listFolder(folder);
    }
    while (!jobs_.empty()) mergeOldest();

    std::stable_sort(skipped_.begin(), skipped_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& s : skipped_) result_.skippedFiles.push_back(std::move(s.second));

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
    FolderApplyTemporaries::sweep(resolved, *names, fileSystem_);
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
        if (FolderSearchPaths::isInBackups(path, root_)) {
            skip(relative, FolderSkipReason::excluded);
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
    auto job = std::make_shared<FileJob>();
    job->sequence = nextSequence_++;
    job->path = path;
    job->entryRelativePath = entryRelativePath;
    job->attributes = attributes;
    if (!pool_) {
        searchFile(*job, request_, limit, cancellation_, fileSystem_);
        merge(*job);
        return;
    }
    inFlightBytes_ += std::max<qint64>(size, 0);
    auto done = std::make_shared<std::promise<void>>();
    jobs_.push_back({job, done->get_future()});
    pool_->async([job, done, request = request_, limit, cancellation = cancellation_, fs = &fileSystem_] {
        searchFile(*job, request, limit, cancellation, *fs);
        done->set_value();
    });
    // Bounded: a folder of large files must not all sit in memory at once.
    while (!jobs_.empty() && (qsizetype(jobs_.size()) > maximumJobs || inFlightBytes_ > maximumInFlightBytes)) mergeOldest();
}

void FolderSearchWalk::mergeOldest()
{
    PendingJob pending = std::move(jobs_.front());
    jobs_.pop_front();
    pending.done.wait();
    inFlightBytes_ -= std::max<qint64>(pending.job->attributes.fileSize.value_or(0), 0);
    merge(*pending.job);
}

void FolderSearchWalk::searchFile(FileJob& job, const SearchRequest& baseRequest, qint64 limit,
                                  const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem)
{
    try {
        if (cancellation && cancellation->isCancelled()) throw FolderSearchError::cancelled();
        std::optional<QByteArray> data = fileSystem.readFile(job.path, limit, nullptr);
        if (!data) {
            job.skipReason = FolderSkipReason::unreadable;
            return;
        }
        // Grown past the limit since its size was read.
        if (data->size() > limit) {
            job.skipReason = FolderSkipReason::tooLarge;
            return;
        }
        DecodedText decoded;
        try {
            decoded = TextCodec::decode(*data);
        } catch (const CodecError&) {
            job.skipReason = FolderSkipReason::notRoundTrip;
            return;
        }
        // The UTF-8 reader takes shortest forms only, so every text it gives back re-encodes to the
        // very bytes read; the check costs as much as the decoding and is left to the other encodings.
        if (decoded.format.encoding != TextEncoding::utf8 && !TextCodec::reencodesExactly(*data, decoded)) {
            job.skipReason = FolderSkipReason::notRoundTrip;
            return;
        }
        SearchRequest request = baseRequest;
        request.lineEnding = decoded.format.lineEnding;
        const SearchResultSet found = SearchEngine::findAll(decoded.text, request, 0, cancellation);
        if (found.matches.isEmpty()) return;

        const std::vector<qsizetype> starts = FolderSearchPaths::lineStarts(decoded.text);
        job.hits.reserve(found.matches.size());
        for (const SearchMatch& match : found.matches) {
            const qsizetype location = match.range.location;
            const auto after = std::upper_bound(starts.begin(), starts.end(), location);
            const qsizetype line = qsizetype(after - starts.begin());
            const qsizetype lineStart = starts[size_t(line - 1)];
            job.hits.push_back(FolderSearchHit{match.range, line, location - lineStart + 1,
                                               FolderExcerpts::hitExcerpt(decoded.text, lineStart, location)});
        }
        job.format = decoded.format;
        job.data = std::move(*data);
        job.text = std::move(decoded.text);
    } catch (...) {
        job.error = std::current_exception();
    }
}

void FolderSearchWalk::merge(FileJob& job)
{
    if (job.error) std::rethrow_exception(job.error);
    if (job.skipReason) {
        skipAt(job.sequence, job.entryRelativePath, *job.skipReason);
        return;
    }
    if (job.hits.isEmpty()) return;
    FolderSearchFile file;
    file.url = job.path;
    file.relativePath = FolderSearchPaths::relativePath(job.path, root_);
    file.format = job.format;
    const std::optional<FolderEntryAttributes> current = fileSystem_.attributes(job.path, true);
    if (current) file.posixPermissions = current->posixPermissions;
    file.modificationDate = job.attributes.modificationDate;
    file.isWritable = job.attributes.isWritable && fileSystem_.isWritable(job.path);
    file.identity = job.attributes.identity;
    file.originalData = std::move(job.data);
    file.text = std::move(job.text);
    file.hits = std::move(job.hits);
    result_.files.push_back(std::move(file));
}

}  // namespace korimado
