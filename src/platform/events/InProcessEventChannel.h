#pragma once

#include "platform/events/AppleEventManager.h"

#include <QString>

#include <functional>
#include <optional>

namespace korimado {

// Sends events to this process's own handlers as another process would, without a bus: from a
// worker of the global thread pool, in the wire form, through the event manager's dispatch on the
// main thread, waiting a limited time for the reply. The main thread must keep running its event
// loop meanwhile; it never blocks here.
class InProcessEventChannel {
public:
    static constexpr int defaultTimeoutMs = 5000;

    // The reply, or the reason there is none (the wait ran out, or the reply could not be read).
    struct Result {
        std::optional<AppleEvent> reply;
        QString error;
    };
    using Completion = std::function<void(Result result)>;

    explicit InProcessEventChannel(AppleEventManager& manager = AppleEventManager::shared()) : manager_(manager) {}

    // Returns at once; done is called once, on the worker thread.
    void send(AppleEvent event, Completion done, int timeoutMs = defaultTimeoutMs) const;
    // Waits on the calling thread, which must not be the main thread.
    Result sendAndWait(const AppleEvent& event, int timeoutMs = defaultTimeoutMs) const;

private:
    AppleEventManager& manager_;
};

}  // namespace korimado
