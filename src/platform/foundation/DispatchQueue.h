#pragma once

#include "platform/foundation/WorkItem.h"

#include <QString>

#include <functional>
#include <memory>

namespace korimado {

// A queue of background work run by its own threads: one thread for a serial queue (blocks run
// one at a time, in submission order), up to maxThreads for a concurrent one. Threads start on
// first use and live as long as the queue.
//
// Destruction drops the blocks that have not started and waits for those running; it may happen
// on one of the queue's own threads (the last owner released inside a block). A block that throws
// is abandoned; the queue goes on.
class DispatchQueue {
public:
    // The application identifier that every queue label starts with.
    static QString applicationIdentifier();
    // "<application identifier>.<suffix>"; the suffix may be given with or without its dot.
    static QString applicationLabel(const QString& suffix);

    explicit DispatchQueue(QString label, int maxThreads = 1);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const QString& label() const { return label_; }
    int maxThreads() const;

    void async(std::function<void()> block);
    void async(WorkItemPtr item);
    // Enqueues the block once `ms` milliseconds have passed.
    void after(int ms, std::function<void()> block);
    void after(int ms, WorkItemPtr item);
    // Runs the block on the queue and waits for it; an exception it throws reaches the caller.
    // Called from the queue's own thread it runs the block at once instead of deadlocking.
    // Program code never calls it from the main thread on a queue that may be busy.
    void sync(const std::function<void()>& block);
    // True on one of this queue's threads.
    bool isCurrent() const;

private:
    struct State;
    QString label_;
    std::shared_ptr<State> state_;
};

}  // namespace korimado
