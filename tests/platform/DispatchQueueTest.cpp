#include "platform/foundation/CancellationToken.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace korimado;
using test::spinFor;
using test::spinUntil;

namespace {

// Holds a queue's thread until released, so that later blocks stay pending.
class Gate {
public:
    void wait()
    {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void waitUntilEntered()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }
    void open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

}  // namespace

TEST(DispatchQueue, LabelsStartWithTheApplicationIdentifier)
{
    EXPECT_EQ(DispatchQueue::applicationLabel(".search"), "app.korimado.Korimado.search");
    EXPECT_EQ(DispatchQueue::applicationLabel("syntax"), "app.korimado.Korimado.syntax");
    DispatchQueue queue(DispatchQueue::applicationLabel(".statistics"));
    EXPECT_EQ(queue.label(), "app.korimado.Korimado.statistics");
}

TEST(DispatchQueue, SerialQueueRunsInOrderOnOneBackgroundThread)
{
    DispatchQueue queue("serial");
    std::vector<int> order;  // touched only on the queue
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 500; ++i) {
        queue.async([&, i] {
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
        });
    }
    // Far enough off that 500 blocks on a loaded machine cannot outlast it.
    queue.after(1000, [&] { order.push_back(1000); });
    queue.async([&] { order.push_back(500); });
    bool onQueue = false;
    queue.sync([&] { onQueue = queue.isCurrent(); });
    EXPECT_TRUE(onQueue);
    EXPECT_FALSE(queue.isCurrent());
    ASSERT_EQ(order.size(), 501u) << "the delayed block is not due yet";
    for (int i = 0; i <= 500; ++i) {
        EXPECT_EQ(order[i], i);
    }
    EXPECT_NE(threads.front(), std::this_thread::get_id());
    EXPECT_EQ(std::count(threads.begin(), threads.end(), threads.front()), 500);

    bool ran = false;
    for (int wait = 0; wait < 500 && !ran; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        queue.sync([&] { ran = order.back() == 1000; });
    }
    EXPECT_TRUE(ran);
}

// A thread waiting for a delayed block while another thread, adding work, finds it due and takes
// it out of the waiting list: the waiting thread must not read the block's deadline from it again.
TEST(DispatchQueue, ADelayedBlockTakenWhileAThreadWaitsForItIsRunOnce)
{
    DispatchQueue queue("delayed");
    for (int round = 0; round < 200; ++round) {
        std::atomic<int> delayed{0};
        queue.after(1, [&] { ++delayed; });
        // One block at a time, so the queue's thread keeps going back to waiting for the delayed one.
        while (delayed == 0) queue.sync([] {});
        queue.sync([] {});
        EXPECT_EQ(delayed.load(), 1);
    }
}

TEST(DispatchQueue, SyncPassesExceptionsAndRunsInlineOnItsOwnThread)
{
    DispatchQueue queue("sync");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("no"); }), std::runtime_error);
    queue.async([] { throw std::runtime_error("dropped"); });
    int value = 0;
    queue.sync([&] {
        queue.sync([&] { value = 42; });  // would deadlock if it waited for itself
    });
    EXPECT_EQ(value, 42) << "the queue survives a throwing block";
}

TEST(DispatchQueue, ConcurrentQueueRunsInParallelUpToItsLimit)
{
    DispatchQueue queue(DispatchQueue::applicationLabel(".syntax"), 3);
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    int most = 0;
    int finished = 0;
    for (int i = 0; i < 9; ++i) {
        queue.async([&] {
            std::unique_lock lock(mutex);
            most = std::max(most, ++running);
            changed.notify_all();
            // Wait (briefly) for company, so that parallel threads overlap.
            changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return running >= 3; });
            --running;
            ++finished;
            changed.notify_all();
        });
    }
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return finished == 9; }));
    EXPECT_EQ(most, 3);
}

TEST(DispatchQueue, ResultsHopBackToTheMainThread)
{
    ASSERT_TRUE(MainQueue::isMainThread());
    DispatchQueue queue("hop");
    auto token = CancellationToken::make();
    std::vector<int> delivered;
    bool allOnMain = true;
    for (int i = 0; i < 20; ++i) {
        queue.async([&, i] {
            const int result = i * i;
            MainQueue::async([&, result] {
                allOnMain = allOnMain && MainQueue::isMainThread();
                delivered.push_back(result);
            });
        });
    }
    ASSERT_TRUE(spinUntil([&] { return delivered.size() == 20; }));
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(delivered[i], i * i) << "main-queue blocks keep their order";
    }

    // A stale result is dropped by the token its job captured.
    bool applied = false;
    queue.async([&, token] {
        token->cancel();  // stands for a newer request cancelling this one
        MainQueue::async([&, token] {
            if (!token->isCancelled()) {
                applied = true;
            }
        });
    });
    queue.sync([] {});
    spinFor(30);  // whatever was posted has run
    EXPECT_FALSE(applied);
}

TEST(DispatchQueue, MainQueueAfterWaitsAlsoWhenPostedFromAnotherThread)
{
    DispatchQueue queue("after");
    QElapsedTimer clock;
    clock.start();
    qint64 ranAt = -1;
    bool onMain = false;
    queue.async([&] {
        MainQueue::after(60, [&] {
            ranAt = clock.elapsed();
            onMain = MainQueue::isMainThread();
        });
    });
    ASSERT_TRUE(spinUntil([&] { return ranAt >= 0; }));
    EXPECT_GE(ranAt, 55);
    EXPECT_TRUE(onMain);
}

TEST(DispatchQueue, CancelledWorkItemsAreSkipped)
{
    DispatchQueue queue("cancel");
    Gate gate;
    queue.async([&] { gate.wait(); });
    std::atomic<int> ran{0};
    auto skipped = WorkItem::make([&] { ran += 100; });
    auto kept = WorkItem::make([&] { ran += 1; });
    auto delayed = WorkItem::make([&] { ran += 1000; });
    queue.async(skipped);
    queue.async(kept);
    queue.after(10, delayed);
    gate.waitUntilEntered();
    skipped->cancel();
    delayed->cancel();
    gate.open();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    queue.sync([] {});
    EXPECT_EQ(ran.load(), 1);
    EXPECT_TRUE(skipped->isCancelled());
    EXPECT_FALSE(kept->isCancelled());

    // On the main queue too: a debounce replaces the pending item with a new one.
    int mainRuns = 0;
    auto first = WorkItem::make([&] { mainRuns += 10; });
    MainQueue::after(5, first);
    first->cancel();
    auto second = WorkItem::make([&] { mainRuns += 1; });
    MainQueue::after(5, second);
    ASSERT_TRUE(spinUntil([&] { return mainRuns != 0; }));
    spinFor(30);
    EXPECT_EQ(mainRuns, 1);
}

TEST(DispatchQueue, DestructionDropsPendingWorkAndWaitsForTheRunningBlock)
{
    std::atomic<int> pendingRan{0};
    std::atomic<bool> runningFinished{false};
    std::vector<int> payload(1000, 7);
    {
        DispatchQueue queue("destroy");
        Gate gate;
        queue.async([&] {
            gate.wait();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            runningFinished = true;
        });
        for (int i = 0; i < 100; ++i) {
            queue.async([&, copy = payload] { pendingRan += copy.front(); });  // captures are freed (LSan)
        }
        queue.after(1, [&] { pendingRan += 1; });
        gate.waitUntilEntered();
        gate.open();
    }
    EXPECT_TRUE(runningFinished);
    EXPECT_EQ(pendingRan.load(), 0);

    // The last owner may release the queue inside one of its own blocks.
    std::atomic<bool> released{false};
    {
        auto queue = std::make_shared<DispatchQueue>("self");
        auto keep = std::make_shared<std::shared_ptr<DispatchQueue>>(queue);
        queue->async([keep, &released] {
            keep->reset();
            released = true;
        });
        queue.reset();
    }
    for (int i = 0; i < 200 && !released; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(released);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the detached thread leave
}

TEST(DispatchQueue, SyncOnAQueueThatDropsTheBlockFailsInsteadOfHanging)
{
    auto queue = std::make_unique<DispatchQueue>("drop");
    DispatchQueue* raw = queue.get();
    Gate gate;
    queue->async([&] { gate.wait(); });
    gate.waitUntilEntered();
    std::atomic<bool> calling{false};
    std::thread waiter([&] {
        calling = true;
        EXPECT_THROW(raw->sync([] {}), std::future_error);
    });
    while (!calling) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the waiter's block is queued
    std::thread destroyer([&] { queue.reset(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gate.open();
    destroyer.join();
    waiter.join();
}
