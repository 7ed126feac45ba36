#pragma once

#include "document/TextFormat.h"
#include "platform/foundation/DispatchQueue.h"
#include "search/folder/FolderBytePrefilter.h"
#include "search/folder/FolderFileDeadlines.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderGlob.h"
#include "search/folder/FolderListings.h"
#include "search/folder/FolderSearchOptions.h"
#include "search/folder/FolderSearchResult.h"
#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchRequest.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace korimado {

// One folder search: the depth-first walk with its two visited sets, the entry tests and the
// search of each file that survives them.
class FolderSearchWalk {
public:
    // bytesFirst: files are first looked at as bytes (FolderBytePrefilter); without it every file
    // is decoded, which gives the same result more slowly.
    FolderSearchWalk(const SearchRequest& request, const FolderSearchOptions& options,
                     const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem, bool bytesFirst = true);

    // Throws FolderSearchError (invalidRoot, cancelled) and SearchEngineError.
    FolderSearchResult run(const QString& rootURL);

    // The root as the search takes it: absolute, standardised, links resolved; none when it is
    // blank, relative, missing or not a folder.
    static std::optional<QString> resolvedRoot(const QString& rootURL, FolderFileSystem& fileSystem);

private:
    // One regular file handed to a worker, and what came of it.
    struct FileJob {
        qsizetype sequence = 0;  // place in traversal order
        QString path;
        QString entryRelativePath;
        FolderEntryAttributes attributes;
        bool attributesRead = false;  // else the worker reads them
        bool notAFile = false;        // the worker found no regular file there
        qint64 reservedBytes = 0;     // counted in the walk's bytes in flight
        std::optional<QString> skipReason;
        std::exception_ptr error;  // of the search core: ends the search when its turn comes
        std::optional<quint32> posixPermissions;  // of a file with hits, links followed
        bool isWritable = false;                  // of a file with hits
        TextFormat format;
        FolderContentStamp stamp;
        QList<FolderSearchHit> hits;
    };
    struct PendingJob {
        std::shared_ptr<FileJob> job;
        std::shared_future<void> done;  // of the job's batch
    };
    // Files go to the workers a batch at a time: one hand-over per file costs more than most
    // files take to search.
    static constexpr qsizetype batchFiles = 32;
    static constexpr qint64 batchBytes = 1 << 20;
    static constexpr qsizetype jobsPerWorker = 4;  // batches queued per worker
    static constexpr qint64 maximumInFlightBytes = 64 * 1024 * 1024;

    // What a worker needs of the walk to search one file: nothing it changes.
    struct FileContext {
        const SearchRequest* request = nullptr;
        qint64 limit = 0;
        const FolderBytePrefilter* prefilter = nullptr;
        const SearchCancellationToken* cancellation = nullptr;
        FolderFileDeadlines* deadlines = nullptr;
        DispatchQueue* largeFiles = nullptr;
        FolderFileSystem* fileSystem = nullptr;
    };
    // Runs on a worker: reads only the file of the job, touches nothing of the walk.
    static void searchFile(FileJob& job, const FileContext& context);
    static void searchContent(FileJob& job, const FileContext& context);
    FileContext fileContext();
    void merge(FileJob& job);
    void mergeOldest();
    void dispatchBatch();
    void skipAt(qsizetype sequence, const QString& relativePath, const QString& reason);
    void readAhead();
    void listFolder(const QString& folder, bool alreadyResolved);
    void examineEntry(const FolderListedEntry& listed);
    void examineFile(const QString& path, const QString& entryRelativePath,
                     const std::optional<FolderEntryAttributes>& attributes);
    void skip(const QString& relativePath, const QString& reason);
    void checkCancelled() const;

    const SearchRequest& request_;
    const FolderSearchOptions& options_;
    const SearchCancellationToken* cancellation_;
    FolderFileSystem& fileSystem_;
    FolderGlobList excluded_;

    QString root_;
    QList<std::pair<QString, bool>> pending_;  // folders still to list (resolved?); the last first
    static constexpr qsizetype readAheadFolders = 4;
    std::unique_ptr<FolderListings> listings_;
    QSet<QString> listedFolders_;
    QSet<QString> examinedFiles_;  // only while links are followed
    FolderSearchResult result_;
    qsizetype nextSequence_ = 0;
    std::vector<std::pair<qsizetype, FolderSkippedFile>> skipped_;
    bool bytesFirst_;
    std::optional<FolderBytePrefilter> prefilter_;
    std::unique_ptr<FolderFileDeadlines> deadlines_;  // outlives the workers
    // Files larger than a worker keeps its buffer for are read and searched on one thread, one at
    // a time: each takes about three times its size while it is searched, and the allocator keeps
    // what a thread freed in that thread's heap, so large files on every worker would stay
    // resident in every worker's heap. Decoding a large text uses every core anyway. The thread is
    // the process's, shared by every search, so that a later search reuses its heap rather than
    // keeping another. None on a single core.
    DispatchQueue* largeFiles_ = nullptr;
    std::unique_ptr<DispatchQueue> pool_;  // the workers; none on a single core (goes first)
    qsizetype maximumJobs_ = jobsPerWorker;
    std::deque<PendingJob> jobs_;
    qint64 inFlightBytes_ = 0;
    std::vector<std::shared_ptr<FileJob>> batch_;  // not yet handed to the workers
    std::shared_ptr<std::promise<void>> batchDone_;
    std::shared_future<void> batchFuture_;
    qint64 batchSize_ = 0;
};

}  // namespace korimado
