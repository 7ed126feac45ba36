#pragma once

#include "search/engine/SearchCancellationToken.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace korimado {

// The time one file of a folder search may take: an expression that backtracks without end on
// one file gives up that file, not the search. Each file gets a token of its own, cancelled when
// its time is up or when the search's token is cancelled (the user's cancel); one watcher thread
// serves the whole walk.
class FolderFileDeadlines {
public:
    class File;

    // search: the token of the whole search; none when nobody can cancel it.
    FolderFileDeadlines(int milliseconds, const SearchCancellationToken* search);
    ~FolderFileDeadlines();
    FolderFileDeadlines(const FolderFileDeadlines&) = delete;
    FolderFileDeadlines& operator=(const FolderFileDeadlines&) = delete;

    // The bound of one file while the object lives; from any thread.
    std::unique_ptr<File> start();

    // "検索の制限時間（10秒）を超えました": a file's reason in the results.
    QString overTimeDescription() const;

private:
    struct Slot {
        CancellationTokenPtr token = CancellationToken::make();
        std::chrono::steady_clock::time_point deadline;
        bool expired = false;
    };
    void watch();
    void finish(std::list<Slot>::iterator slot);

    const int milliseconds_;
    const SearchCancellationToken* search_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::list<Slot> slots_;
    bool stopping_ = false;
    std::thread watcher_;
};

class FolderFileDeadlines::File {
public:
    ~File() { owner_.finish(slot_); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const SearchCancellationToken* token() const { return token_.get(); }
    // True when the file's own time ran out (not the search's cancel).
    bool expired() const;

private:
    friend class FolderFileDeadlines;
    File(FolderFileDeadlines& owner, std::list<Slot>::iterator slot, CancellationTokenPtr token)
        : owner_(owner), slot_(slot), token_(std::move(token))
    {
    }
    FolderFileDeadlines& owner_;
    std::list<Slot>::iterator slot_;
    CancellationTokenPtr token_;
};

}  // namespace korimado
