#include "platform/events/AppleEventManager.h"

#include "platform/events/EventWireFormat.h"
#include "platform/foundation/MainQueue.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace korimado {

namespace {

// What a waiting sender and the main thread share; either may be the last to hold it.
struct PendingReply {
    std::mutex mutex;
    std::condition_variable arrived;
    std::optional<AppleEvent> reply;
    bool abandoned = false;  // the sender stopped waiting: not to be run any more
};

}  // namespace

AppleEventManager& AppleEventManager::shared()
{
    static AppleEventManager manager;
    return manager;
}

void AppleEventManager::setEventHandler(FourCharCode eventClass, FourCharCode eventID, Handler handler)
{
    handlers_[{eventClass, eventID}] = std::move(handler);
}

void AppleEventManager::removeEventHandler(FourCharCode eventClass, FourCharCode eventID)
{
    handlers_.erase({eventClass, eventID});
}

bool AppleEventManager::hasEventHandler(FourCharCode eventClass, FourCharCode eventID) const
{
    return handlers_.count({eventClass, eventID}) > 0;
}

AppleEvent AppleEventManager::dispatch(const AppleEvent& event) const
{
    AppleEvent reply = AppleEvent::reply();
    const auto found = handlers_.find({event.eventClass(), event.eventID()});
    if (found == handlers_.end()) {
        reply.setError(eventNotHandled, QStringLiteral("このスクリプトコマンドには対応していません。"));
        return reply;
    }
    found->second(event, reply);
    return reply;
}

AppleEvent AppleEventManager::dispatch(QByteArrayView wire) const
{
    QString error;
    const std::optional<AppleEvent> event = EventWireFormat::decodeEvent(wire, &error);
    if (!event) {
        AppleEvent reply = AppleEvent::reply();
        reply.setError(malformedEvent, QStringLiteral("イベントを読み取れません: ") + error);
        return reply;
    }
    return dispatch(*event);
}

std::optional<AppleEvent> AppleEventManager::send(const AppleEvent& event, int timeoutMs, QString* error) const
{
    return sendToMainThread([this, event] { return dispatch(event); }, timeoutMs, error);
}

std::optional<AppleEvent> AppleEventManager::send(const QByteArray& wire, int timeoutMs, QString* error) const
{
    return sendToMainThread([this, wire] { return dispatch(QByteArrayView(wire)); }, timeoutMs, error);
}

std::optional<AppleEvent> AppleEventManager::sendToMainThread(std::function<AppleEvent()> dispatchOnMain, int timeoutMs,
                                                              QString* error) const
{
    if (MainQueue::isMainThread())
        return dispatchOnMain();

    auto pending = std::make_shared<PendingReply>();
    MainQueue::async([dispatchOnMain = std::move(dispatchOnMain), pending] {
        {
            const std::lock_guard lock(pending->mutex);
            if (pending->abandoned)
                return;
        }
        AppleEvent reply = dispatchOnMain();
        const std::lock_guard lock(pending->mutex);
        pending->reply = std::move(reply);
        pending->arrived.notify_all();
    });

    std::unique_lock lock(pending->mutex);
    if (!pending->arrived.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                                   [&] { return pending->reply.has_value(); })) {
        pending->abandoned = true;
        if (error)
            *error = QStringLiteral("応答が時間内に届きませんでした。");
        return std::nullopt;
    }
    return std::move(pending->reply);
}

}  // namespace korimado
