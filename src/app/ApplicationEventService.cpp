#include "app/ApplicationEventService.h"

#include "platform/events/AppleEventManager.h"
#include "platform/events/DBusEventTransport.h"
#include "platform/events/EventBusLocation.h"
#include "platform/events/EventWireFormat.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>

namespace korimado {

namespace {

constexpr FourCharCode openDocumentsClass = fourCharCode("aevt");
constexpr FourCharCode openDocumentsID = fourCharCode("odoc");
constexpr FourCharCode reopenID = fourCharCode("rapp");

}  // namespace

ApplicationEventService::ApplicationEventService(bool selfTest) : selfTest_(selfTest)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    transport_ = std::make_unique<DBusEventTransport>(bus);
    if (!transport_->start(!selfTest)) {
        transport_.reset();
        return;
    }
    if (transport_->ownsFirstInstanceName()) {
        const QString address = EventBusLocation::sessionAddress();
        if (!address.isEmpty() && EventBusLocation::writeAddressFile(address))
            writtenAddress_ = address;
    }
}

ApplicationEventService::~ApplicationEventService()
{
    EventBusLocation::removeAddressFile(writtenAddress_);
}

bool ApplicationEventService::ownsFirstInstanceName() const
{
    return transport_ && transport_->ownsFirstInstanceName();
}

bool ApplicationEventService::handedOver(const QStringList& files)
{
    if (selfTest_ || !transport_ || transport_->ownsFirstInstanceName())
        return false;
    AppleEvent event(openDocumentsClass, files.isEmpty() ? reopenID : openDocumentsID);
    if (!files.isEmpty()) {
        std::vector<EventDescriptor> paths;
        for (const QString& file : files)
            paths.push_back(EventDescriptor::text(QFileInfo(file).absoluteFilePath()));
        event.setDirectObject(EventDescriptor::list(std::move(paths)));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                                                       EventBusLocation::interfaceName(), EventBusLocation::sendMethod());
    call << EventWireFormat::encode(event);
    const QDBusMessage answer = transport_->connection().call(call, QDBus::Block, handOverTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage)
        return false;
    // A program that answers took the files, and shows their errors itself; one that cannot open
    // files at all leaves this start to run on its own.
    const std::optional<AppleEvent> reply = EventWireFormat::decodeEvent(answer.arguments().value(0).toByteArray());
    return reply && reply->errorNumber() != AppleEventManager::eventNotHandled;
}

}  // namespace korimado
