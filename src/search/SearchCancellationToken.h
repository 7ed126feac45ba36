#pragma once

#include <memory>
#include <mutex>

namespace korimado {

// A cancelled flag polled by one background operation. Made fresh for each operation and never
// reset: once cancelled it stays cancelled.
class SearchCancellationToken {
public:
    static std::shared_ptr<SearchCancellationToken> make() { return std::make_shared<SearchCancellationToken>(); }

    void cancel()
    {
        std::lock_guard guard(lock);
        cancelled = true;
    }
    bool isCancelled() const
    {
        std::lock_guard guard(lock);
        return cancelled;
    }

    mutable std::mutex lock;
    bool cancelled = false;  // read and written under lock only
};

using SearchCancellationTokenPtr = std::shared_ptr<SearchCancellationToken>;

}  // namespace korimado
