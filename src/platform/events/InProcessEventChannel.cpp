#include "platform/events/InProcessEventChannel.h"

#include "platform/events/EventWireFormat.h"

#include <QThreadPool>

namespace korimado {

void InProcessEventChannel::send(AppleEvent event, Completion done, int timeoutMs) const
{
    // A copy rides along: the worker may outlive this channel, never the manager.
    QThreadPool::globalInstance()->start([channel = *this, event = std::move(event), done = std::move(done), timeoutMs] {
        done(channel.sendAndWait(event, timeoutMs));
    });
}

InProcessEventChannel::Result InProcessEventChannel::sendAndWait(const AppleEvent& event, int timeoutMs) const
{
    Result result;
    const std::optional<AppleEvent> reply = manager_.send(EventWireFormat::encode(event), timeoutMs, &result.error);
    if (!reply)
        return result;
    // The reply takes the bytes a transport would carry, so what cannot travel fails here too.
    result.reply = EventWireFormat::decodeEvent(EventWireFormat::encode(*reply), &result.error);
    return result;
}

}  // namespace korimado
