#include "search/folder/FolderSearchWalk.h"

#include "document/TextCodec.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "platform/foundation/MemoryAdvice.h"
#include "search/folder/FolderApplyTemporaries.h"
#include "search/folder/FolderExcerpts.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderListings.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/folder/FolderSearchError.h"
#include "search/folder/FolderSearchPaths.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"

#include <QElapsedTimer>

#include <chrono>
#include <QThread>

#include <algorithm>
#include <limits>

namespace korimado {

namespace {

// A binary nearly always shows a NUL in its first block (its header), and is refused without
// reading the rest.
constexpr qsizetype firstBlockBytes = 64 * 1024;
// A worker keeps its read buffer from file to file up to this size; a larger one goes with its file.
// Every worker keeps one, so the kept size counts once per core in the search's memory.
constexpr qsizetype keptBufferBytes = 256 * 1024;

// The read buffer of the worker thread that runs this.
QByteArray& workerBuffer()
{
    thread_local QByteArray buffer;
    return buffer;
}

// Hands back what a large file took once everything of it is freed: the buffer, its text and the
// search's scratch.
struct BufferTrim {
    QByteArray& buffer;
    bool large = false;  // the file read was larger than the buffer kept
    ~BufferTrim()
    {
        if (buffer.capacity() > keptBufferBytes) buffer = QByteArray();
        if (large) releaseFreedMemory();
    }
};

DispatchQueue& largeFileQueue()
{
    static DispatchQueue* const queue =
        new DispatchQueue(DispatchQueue::applicationLabel(QStringLiteral(".folder-search-large-files")), 1);
    return *queue;
}

// The size the worker learnt of the file, or that the walk did; unknown counts as small.
qint64 knownSize(const FolderEntryAttributes& attributes)
{
    return attributes.fileSize.value_or(0);
}

// A plain pattern's breaks become the file's own line ending before it is looked for; nothing
// else in a search depends on the ending.
bool searchNeedsLineEnding(const SearchRequest& request)
{
    if (request.options.mode != SearchMode::text) return false;
    for (QChar c : request.pattern) {
        const char16_t u = c.unicode();
        if (u == 0x0A || u == 0x0D || u == 0x0085 || u == 0x2028 || u == 0x2029) return true;
    }
    return false;
}

}  // namespace

FolderSearchWalk::FolderSearchWalk(const SearchRequest& request, const FolderSearchOptions& options,
                                   const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem,
                                   bool bytesFirst)
    : request_(request), options_(options), cancellation_(cancellation), fileSystem_(fileSystem),
      excluded_(options.excludedGlobs), bytesFirst_(bytesFirst)
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

    if (bytesFirst_) prefilter_ = FolderBytePrefilter::forRequest(request_);
    deadlines_ = std::make_unique<FolderFileDeadlines>(options_.fileTimeLimitMilliseconds, cancellation_);

    // Files are read, decoded and matched on every core while the walk goes on; their outcomes
    // are taken in traversal order, so the result is the same as from one thread.
    const int workers = std::max(1, QThread::idealThreadCount());
    maximumJobs_ = jobsPerWorker * batchFiles * workers;
    if (workers > 1) {
        largeFiles_ = &largeFileQueue();
        pool_ = std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".folder-search-files")),
                                                workers);
    }
    // Two threads keep the listings ahead of a walk that examines each entry in a few microseconds.
    listings_ = std::make_unique<FolderListings>(fileSystem_, root_, workers > 1 ? 2 : 0);
    struct Drain {
        FolderSearchWalk& walk;
        // On the way out by an exception, files and listings not yet started are dropped and the
        // running ones finish before the walk goes.
        ~Drain()
        {
            walk.pool_.reset();
            walk.listings_.reset();
        }
    } drain{*this};

    pending_.push_back({root_, false});
    while (!pending_.isEmpty()) {
        const auto [folder, resolved] = pending_.takeLast();
        checkCancelled();
        readAhead();
        listFolder(folder, resolved);
    }
    while (!jobs_.empty()) mergeOldest();

    // Nearly in order already: only the files skipped by a worker come late.
    const auto bySequence = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(skipped_.begin(), skipped_.end(), bySequence))
        std::stable_sort(skipped_.begin(), skipped_.end(), bySequence);
    result_.skippedFiles.reserve(qsizetype(skipped_.size()));
    for (auto& s : skipped_) result_.skippedFiles.push_back(std::move(s.second));
    skipped_ = {};

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

void FolderSearchWalk::readAhead()
{
    // The folders listed next are the last pushed. Only those met as folders in a listing: their
    // path is resolved and inside the root already, so reading one ahead reads nothing the walk
    // would not.
    const qsizetype last = pending_.size() - 1;
    for (qsizetype i = last; i >= 0 && i > last - readAheadFolders; --i) {
        if (pending_[i].second) listings_->readAhead(pending_[i].first);
    }
}

void FolderSearchWalk::listFolder(const QString& folder, bool alreadyResolved)
{
    // A folder met as a folder in a listing of a resolved folder is resolved already: only the
    // root and followed links need the path looked up component by component.
    const QString resolved = alreadyResolved ? folder : fileSystem_.resolvedPath(folder).value_or(standardizedPath(folder));
    if (!FolderSearchPaths::isInside(resolved, root_) || listedFolders_.contains(resolved)) return;
    listedFolders_.insert(resolved);
    FolderListings::Listing listing = listings_->take(resolved, [this] { checkCancelled(); });
    if (!listing) {
        skip(FolderSearchPaths::relativePath(resolved, root_), FolderSkipReason::unreadableFolder);
        return;
    }
    // The sweep takes out every temporary and removes those of ended runs.
    if (std::any_of(listing->begin(), listing->end(), [](const FolderListedEntry& e) { return e.isTemporary; })) {
        std::vector<FolderListingEntry> entries;
        for (const FolderListedEntry& e : *listing) entries.push_back(e.entry);
        FolderApplyTemporaries::sweep(resolved, entries, fileSystem_);
        std::erase_if(*listing, [](const FolderListedEntry& e) { return e.isTemporary; });
    }
    for (const FolderListedEntry& e : *listing) examineEntry(e);
}

void FolderSearchWalk::examineEntry(const FolderListedEntry& listed)
{
    checkCancelled();
    const QString& entryPath = listed.path;
    const QString& name = listed.entry.name;
    const FolderListingEntry::Kind kind = listed.entry.kind;
    const QString& relative = listed.relativePath;
    if (name == FolderSearchEngine::backupFolderName || excluded_.matches(relative)) {
        skip(relative, FolderSkipReason::excluded);
        return;
    }
    // What the listing already tells needs no look at the entry here: a folder is listed when its
    // turn comes, a regular file is looked at by the worker that opens it. (This system has no
    // hidden flag and no packages: a leading "." alone hides.)
    if (kind == FolderListingEntry::Kind::directory || kind == FolderListingEntry::Kind::regularFile) {
        if (name.startsWith(u'.') && !options_.includesHiddenFiles) {
            skip(relative, FolderSkipReason::hidden);
            return;
        }
        const QString& path = listed.standardized;
        if (!FolderSearchPaths::isInside(path, root_)) {
            skip(relative, FolderSkipReason::outsideRoot);
            return;
        }
        if (kind == FolderListingEntry::Kind::directory) {
            if (options_.recursive) pending_.push_back({path, true});
            return;
        }
        examineFile(path, relative, std::nullopt);
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
        path = listed.standardized;
        if (!FolderSearchPaths::isInside(path, root_)) {
            skip(relative, FolderSkipReason::outsideRoot);
            return;
        }
    }
    if (attributes && attributes->isDirectory) {
        if (options_.recursive && !attributes->isPackage) pending_.push_back({path, false});
        return;
    }
    if (!attributes || !attributes->isRegularFile) {
        skip(relative, FolderSkipReason::notRegularFile);
        return;
    }
    examineFile(path, relative, attributes);
}

void FolderSearchWalk::examineFile(const QString& path, const QString& entryRelativePath,
                                   const std::optional<FolderEntryAttributes>& attributes)
{
    // Without links followed, every file comes from the one listing of its resolved folder under
    // a name of its own: no path can come twice, and the set of them (as large as the tree's
    // paths) is not kept.
    if (options_.followsSymbolicLinks) {
        if (examinedFiles_.contains(path)) {
            skip(entryRelativePath, FolderSkipReason::duplicate);
            return;
        }
        examinedFiles_.insert(path);
    }
    ++result_.visitedFileCount;

    const qint64 limit = options_.maximumFileBytes;
    qint64 size = 0;
    if (attributes) {
        size = attributes->fileSize.value_or(std::numeric_limits<qint64>::max());
        if (size > limit) {
            skip(entryRelativePath, FolderSkipReason::tooLarge);
            return;
        }
    }
    auto job = std::make_shared<FileJob>();
    job->sequence = nextSequence_++;
    job->path = path;
    job->entryRelativePath = entryRelativePath;
    job->attributesRead = attributes.has_value();
    if (attributes) job->attributes = *attributes;
    if (!pool_) {
        searchFile(*job, fileContext());
        merge(*job);
        return;
    }
    job->reservedBytes = std::max<qint64>(size, 0);
    inFlightBytes_ += job->reservedBytes;
    if (!batchDone_) {
        batchDone_ = std::make_shared<std::promise<void>>();
        batchFuture_ = batchDone_->get_future().share();
    }
    jobs_.push_back({job, batchFuture_});
    batch_.push_back(job);
    batchSize_ += std::max<qint64>(size, 0);
    if (qsizetype(batch_.size()) >= batchFiles || batchSize_ >= batchBytes) dispatchBatch();
    // Bounded: a folder of large files must not all sit in memory at once.
    while (!jobs_.empty() && (qsizetype(jobs_.size()) > maximumJobs_ || inFlightBytes_ > maximumInFlightBytes)) mergeOldest();
}

FolderSearchWalk::FileContext FolderSearchWalk::fileContext()
{
    return FileContext{&request_,     options_.maximumFileBytes, prefilter_ ? &*prefilter_ : nullptr,
                       cancellation_, deadlines_.get(),          largeFiles_,
                       &fileSystem_};
}

void FolderSearchWalk::dispatchBatch()
{
    if (batch_.empty()) return;
    pool_->async([batch = std::move(batch_), done = std::move(batchDone_), context = fileContext()] {
        for (const std::shared_ptr<FileJob>& job : batch) searchFile(*job, context);
        done->set_value();
    });
    batch_.clear();
    batchDone_.reset();
    batchSize_ = 0;
}

void FolderSearchWalk::mergeOldest()
{
    // Only when the oldest file is still in the batch being filled: handing over a part-filled
    // batch for every file merged would wake a worker per file.
    if (!batch_.empty() && jobs_.front().job == batch_.front()) dispatchBatch();
    // A cancel is seen while a long file is still being searched; the workers see it too and stop.
    while (jobs_.front().done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) checkCancelled();
    PendingJob pending = std::move(jobs_.front());
    jobs_.pop_front();
    inFlightBytes_ -= pending.job->reservedBytes;
    merge(*pending.job);
}

void FolderSearchWalk::searchFile(FileJob& job, const FileContext& context)
{
    try {
        if (context.cancellation && context.cancellation->isCancelled()) throw FolderSearchError::cancelled();
        if (!job.attributesRead) {
            FolderFileSystem& fileSystem = *context.fileSystem;
            // The tests the walk makes of a file it has looked at, in the same order.
            const std::optional<FolderEntryAttributes> attributes = fileSystem.attributes(job.path, false);
            if (!attributes || !attributes->isRegularFile) {
                job.skipReason = FolderSkipReason::notRegularFile;
                job.notAFile = true;
                return;
            }
            job.attributes = *attributes;
            if (attributes->fileSize.value_or(std::numeric_limits<qint64>::max()) > context.limit) {
                job.skipReason = FolderSkipReason::tooLarge;
                return;
            }
        }
        if (context.largeFiles && knownSize(job.attributes) > keptBufferBytes) {
            context.largeFiles->sync([&job, &context] { searchContent(job, context); });
        } else {
            searchContent(job, context);
        }
        // The looks a file with hits is given once its hits are known, here rather than on the
        // walk's thread, which every file passes through.
        if (!job.error && !job.skipReason && !job.hits.isEmpty()) {
            FolderFileSystem& fileSystem = *context.fileSystem;
            if (const std::optional<FolderEntryAttributes> current = fileSystem.attributes(job.path, true))
                job.posixPermissions = current->posixPermissions;
            job.isWritable = job.attributes.isWritable && fileSystem.isWritable(job.path);
        }
    } catch (...) {
        job.error = std::current_exception();
    }
}

void FolderSearchWalk::searchContent(FileJob& job, const FileContext& context)
{
    const SearchRequest& baseRequest = *context.request;
    const qint64 limit = context.limit;
    const FolderBytePrefilter* prefilter = context.prefilter;
    const SearchCancellationToken* cancellation = context.cancellation;
    FolderFileDeadlines* deadlines = context.deadlines;
    FolderFileSystem& fileSystem = *context.fileSystem;
    try {
        if (cancellation && cancellation->isCancelled()) throw FolderSearchError::cancelled();
        QByteArray& bytes = workerBuffer();
        BufferTrim trim{bytes};
        const FolderReadOutcome read = fileSystem.readFileInto(job.path, limit, bytes, firstBlockBytes,
                                                               &FolderBytePrefilter::isRefusedByCodec, nullptr);
        const QByteArray* data = &bytes;
        trim.large = data->size() > keptBufferBytes;
        if (read == FolderReadOutcome::failed) {
            job.skipReason = FolderSkipReason::unreadable;
            return;
        }
        // Grown past the limit since its size was read.
        if (data->size() > limit) {
            job.skipReason = FolderSkipReason::tooLarge;
            return;
        }
        if (read == FolderReadOutcome::refused) {
            job.skipReason = FolderSkipReason::notRoundTrip;
            return;
        }
        // UTF-8 without any literal a match must show: no hit, nothing to skip, nothing to decode.
        if (prefilter && prefilter->provesNoHit(*data)) return;
        if (FolderBytePrefilter::isRefusedByCodec(*data)) {
            job.skipReason = FolderSkipReason::notRoundTrip;
            return;
        }
        DecodedText decoded;
        try {
            decoded = TextCodec::decodeLeavingLineEndings(*data);
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
        // A large file's bytes go before it is searched: its text, its matches and their lines
        // take room enough. Only the stamp is still wanted of them.
        const bool stamped = trim.large;
        if (stamped) {
            job.stamp = FolderContentStamp::of(*data);
            bytes = QByteArray();
        }
        // The line endings are read only where the pattern needs them or there is a hit to report.
        const bool endingsFirst = searchNeedsLineEnding(baseRequest);
        if (endingsFirst) TextCodec::readLineEndings(decoded);
        SearchRequest request = baseRequest;
        request.lineEnding = decoded.format.lineEnding;
        // One file that takes too long, or that the expression is too complex for, is given up with
        // its reason in the results; the search goes on.
        const std::unique_ptr<FolderFileDeadlines::File> bound = deadlines ? deadlines->start() : nullptr;
        const SearchCancellationToken* token = bound ? bound->token() : cancellation;
        try {
            const SearchResultSet found = SearchEngine::findAll(decoded.text, request, 0, token);
            if (found.matches.isEmpty()) return;
            if (!endingsFirst) TextCodec::readLineEndings(decoded);

            // Only the first hit's line is shown; the others are made when asked for (excerpts).
            const std::vector<qsizetype> starts = FolderSearchPaths::lineStarts(decoded.text);
            job.hits = FolderExcerpts::placedHits(decoded.text, starts, found.matches, 1, token);
        } catch (const SearchEngineError& error) {
            if (bound && bound->expired()) {
                job.skipReason = deadlines->overTimeDescription();
                return;
            }
            if (error.kind() == SearchEngineError::Kind::expressionTooComplex) {
                job.skipReason = FolderSkipReason::tooComplex;
                return;
            }
            throw;
        } catch (...) {
            if (bound && bound->expired()) {
                job.hits.clear();
                job.skipReason = deadlines->overTimeDescription();
                return;
            }
            throw;
        }
        job.format = decoded.format;
        if (!stamped) job.stamp = FolderContentStamp::of(*data);
    } catch (...) {
        job.error = std::current_exception();
    }
}

void FolderSearchWalk::merge(FileJob& job)
{
    if (job.error) std::rethrow_exception(job.error);
    // Changed into something else between the listing and the worker's look: as if the walk had
    // seen it so.
    if (job.notAFile) --result_.visitedFileCount;
    if (job.skipReason) {
        skipAt(job.sequence, job.entryRelativePath, *job.skipReason);
        return;
    }
    if (job.hits.isEmpty()) return;
    FolderSearchFile file;
    file.url = job.path;
    file.relativePath = FolderSearchPaths::relativePath(job.path, root_);
    file.format = job.format;
    file.posixPermissions = job.posixPermissions;
    file.modificationDate = job.attributes.modificationDate;
    file.isWritable = job.isWritable;
    file.identity = job.attributes.identity;
    file.stamp = job.stamp;
    file.hits = std::move(job.hits);
    result_.files.push_back(std::move(file));
}

}  // namespace korimado
