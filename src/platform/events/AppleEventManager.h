#pragma once

#include "platform/events/AppleEvent.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace korimado {

// Hands events to their handlers, always on the main thread: the in-process channel, which the
// program's own tests and self-tests send through, and the end every transport delivers to.
class AppleEventManager {
public:
    // Fills the reply (its direct object, or an error). Runs on the main thread.
    using Handler = std::function<void(const AppleEvent& event, AppleEvent& reply)>;

    static constexpr int eventNotHandled = -1708;
    static constexpr int malformedEvent = -1702;
    static constexpr int timedOut = -1712;

    static AppleEventManager& shared();

    // Main thread only.
    void setEventHandler(FourCharCode eventClass, FourCharCode eventID, Handler handler);
    void removeEventHandler(FourCharCode eventClass, FourCharCode eventID);
    bool hasEventHandler(FourCharCode eventClass, FourCharCode eventID) const;

    // Main thread: the handler's reply; an event nobody handles is answered with -1708.
    AppleEvent dispatch(const AppleEvent& event) const;
    // Main thread: the same for an event in the wire form, the road every transport takes; bytes
    // that are not one event are answered with -1702.
    AppleEvent dispatch(QByteArrayView wire) const;

    // Any thread. On the main thread the event is dispatched at once; from another thread it is
    // queued to the main thread and the caller waits at most timeoutMs for the reply. None (and
    // the reason in error) when no reply came in time; an event still waiting then is dropped.
    std::optional<AppleEvent> send(const AppleEvent& event, int timeoutMs, QString* error = nullptr) const;
    // The same for an event in the wire form.
    std::optional<AppleEvent> send(const QByteArray& wire, int timeoutMs, QString* error = nullptr) const;

private:
    std::optional<AppleEvent> sendToMainThread(std::function<AppleEvent()> dispatchOnMain, int timeoutMs,
                                               QString* error) const;

    std::map<std::pair<FourCharCode, FourCharCode>, Handler> handlers_;
};

}  // namespace korimado
