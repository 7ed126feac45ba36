#include "platform/foundation/DispatchQueue.h"

#include "platform/foundation/Bundle.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace korimado {

namespace {

using Clock = std::chrono::steady_clock;
using Block = std::function<void()>;

}  // namespace

// Shared by the queue and its threads, so that a thread outlives the queue object when the queue
// is destroyed from inside one of its own blocks.
struct DispatchQueue::State {
    explicit State(int max) : maxThreads(std::max(1, max)) {}

    const int maxThreads;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Block> ready;
    std::map<std::pair<Clock::time_point, std::uint64_t>, Block> timed;
    std::uint64_t nextSequence = 0;
    std::vector<std::thread> threads;
    int idle = 0;
    bool stopping = false;

    static thread_local const State* current;

    // Blocks whose time has come join the ready ones in deadline order. Caller holds the mutex.
    void promoteDue(Clock::time_point now)
    {
        while (!timed.empty() && timed.begin()->first.first <= now) {
            ready.push_back(std::move(timed.begin()->second));
            timed.erase(timed.begin());
        }
    }

    void startThread(const std::shared_ptr<State>& self)
    {
        threads.emplace_back([self] { self->work(); });
    }

    void work()
    {
        current = this;
        std::unique_lock lock(mutex);
        while (!stopping) {
            promoteDue(Clock::now());
            if (!ready.empty()) {
                Block block = std::move(ready.front());
                ready.pop_front();
                lock.unlock();
                try {
                    block();
                } catch (...) {
                    // Nobody waits for an asynchronous block: its failure ends only that block.
                }
                block = nullptr;  // captures die outside the lock
                lock.lock();
                continue;
            }
            ++idle;
            if (timed.empty()) {
                wake.wait(lock);
            } else {
                // A copy: the wait reads its deadline again on waking, when another thread may
                // have taken that block out of the map.
                const Clock::time_point deadline = timed.begin()->first.first;
                wake.wait_until(lock, deadline);
            }
            --idle;
        }
        current = nullptr;
    }
};

thread_local const DispatchQueue::State* DispatchQueue::State::current = nullptr;

QString DispatchQueue::applicationIdentifier()
{
    return Bundle::bundleIdentifier();
}

QString DispatchQueue::applicationLabel(const QString& suffix)
{
    return suffix.startsWith(u'.') ? applicationIdentifier() + suffix
                                   : applicationIdentifier() + u'.' + suffix;
}

DispatchQueue::DispatchQueue(QString label, int maxThreads)
    : label_(std::move(label)), state_(std::make_shared<State>(maxThreads))
{
}

DispatchQueue::~DispatchQueue()
{
    std::deque<Block> dropped;
    std::map<std::pair<Clock::time_point, std::uint64_t>, Block> droppedTimed;
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->ready);
        droppedTimed.swap(state_->timed);
        threads.swap(state_->threads);
    }
    state_->wake.notify_all();
    for (std::thread& thread : threads) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // it holds the state and leaves its loop once this block returns
        } else {
            thread.join();
        }
    }
}

int DispatchQueue::maxThreads() const
{
    return state_->maxThreads;
}

void DispatchQueue::async(std::function<void()> block)
{
    if (!block) {
        return;
    }
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) {
            return;
        }
        state_->promoteDue(Clock::now());
        state_->ready.push_back(std::move(block));
        if (static_cast<int>(state_->ready.size()) > state_->idle
            && static_cast<int>(state_->threads.size()) < state_->maxThreads) {
            state_->startThread(state_);
            return;
        }
    }
    state_->wake.notify_one();
}

void DispatchQueue::async(WorkItemPtr item)
{
    if (item) {
        async([item = std::move(item)] { item->perform(); });
    }
}

void DispatchQueue::after(int ms, std::function<void()> block)
{
    if (!block) {
        return;
    }
    if (ms <= 0) {
        async(std::move(block));
        return;
    }
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) {
            return;
        }
        const auto due = Clock::now() + std::chrono::milliseconds(ms);
        state_->timed.emplace(std::make_pair(due, state_->nextSequence++), std::move(block));
        if (state_->threads.empty()) {
            state_->startThread(state_);
            return;
        }
    }
    // A waiting thread may have to wait for an earlier deadline now.
    state_->wake.notify_all();
}

void DispatchQueue::after(int ms, WorkItemPtr item)
{
    if (item) {
        after(ms, [item = std::move(item)] { item->perform(); });
    }
}

void DispatchQueue::sync(const std::function<void()>& block)
{
    if (!block) {
        return;
    }
    if (isCurrent()) {
        block();
        return;
    }
    // Only the block holds the promise: a block dropped by a stopping queue breaks it, and the
    // wait below ends with an error instead of hanging.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    async([&block, done = std::move(done)] {
        try {
            block();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    finished.get();
}

bool DispatchQueue::isCurrent() const
{
    return State::current == state_.get();
}

}  // namespace korimado
