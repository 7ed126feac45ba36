#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace korimado {

// A block of work that can be cancelled before it runs; a cancelled item does nothing when
// performed. Held by shared pointer so that the submitter can keep it to cancel it later.
class WorkItem {
public:
    explicit WorkItem(std::function<void()> block) : block_(std::move(block)) {}
    static std::shared_ptr<WorkItem> make(std::function<void()> block)
    {
        return std::make_shared<WorkItem>(std::move(block));
    }

    void perform() const
    {
        if (!isCancelled() && block_) {
            block_();
        }
    }
    // Safe from any thread; a block already running is not interrupted.
    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    const std::function<void()> block_;
    std::atomic<bool> cancelled_{false};
};

using WorkItemPtr = std::shared_ptr<WorkItem>;

}  // namespace korimado
