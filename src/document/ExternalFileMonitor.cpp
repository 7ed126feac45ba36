#include "document/ExternalFileMonitor.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"

#include <atomic>

namespace korimado {

struct ExternalFileMonitor::State {
    std::atomic<bool> active{true};
    Handler handler;
};

std::unique_ptr<ExternalFileMonitor> ExternalFileMonitor::make(const QString& path,
                                                               std::shared_ptr<DispatchQueue> queue, Handler handler)
{
    std::unique_ptr<ExternalFileMonitor> monitor(new ExternalFileMonitor);
    auto state = std::make_shared<State>();
    state->handler = std::move(handler);
    monitor->state_ = state;
    std::weak_ptr<State> weak = state;
    monitor->token_ = FileWatchHub::shared().subscribe(path, [weak, queue](FileWatchHub::Events events) {
        queue->async([weak, events] {
            const Change change = classify(events);
            MainQueue::async([weak, change] {
                const auto state = weak.lock();
                if (state && state->active.load()) state->handler(change);
            });
        });
    });
    if (monitor->token_ == 0) return nullptr;
    return monitor;
}

ExternalFileMonitor::~ExternalFileMonitor()
{
    cancel();
}

bool ExternalFileMonitor::isActive() const
{
    return state_ && state_->active.load();
}

void ExternalFileMonitor::cancel()
{
    if (!isActive()) return;
    state_->active.store(false);
    FileWatchHub::shared().unsubscribe(token_);
    token_ = 0;
}

ExternalFileMonitor::Change ExternalFileMonitor::classify(FileWatchHub::Events events)
{
    constexpr FileWatchHub::Events gone =
        FileWatchHub::moved | FileWatchHub::deleted | FileWatchHub::replaced | FileWatchHub::revoked;
    return (events & gone) ? Change::movedOrRemoved : Change::contentsOrAttributes;
}

}  // namespace korimado
