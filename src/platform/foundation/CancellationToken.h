#pragma once

#include <atomic>
#include <memory>

namespace korimado {

// A cancelled flag shared between the main thread and one background job. Once cancelled it stays
// cancelled: a new request takes a new token. Every background job of the program polls one of
// these (the search code knows it as SearchCancellationToken).
class CancellationToken {
public:
    static std::shared_ptr<CancellationToken> make() { return std::make_shared<CancellationToken>(); }

    // Release/acquire order: whatever the cancelling thread wrote before cancel() is visible to a
    // poller that sees the flag set.
    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> cancelled_{false};
};

using CancellationTokenPtr = std::shared_ptr<CancellationToken>;

}  // namespace korimado
