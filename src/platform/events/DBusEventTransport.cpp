#include "platform/events/DBusEventTransport.h"

#include "platform/events/EventBusLocation.h"
#include "platform/events/EventWireFormat.h"
#include "platform/foundation/Bundle.h"
#include "platform/wire/MappedFile.h"
#include "platform/wire/SealedFile.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace korimado {

DBusEventTransport::DBusEventTransport(QDBusConnection connection, AppleEventManager& manager, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), manager_(manager)
{
    uidLookup_ = [this](const QString& sender) -> std::optional<uint> {
        QDBusConnectionInterface* bus = connection_.interface();
        if (!bus)
            return std::nullopt;
        const QDBusReply<uint> uid = bus->serviceUid(sender);
        if (!uid.isValid())
            return std::nullopt;
        return uid.value();
    };
}

DBusEventTransport::~DBusEventTransport()
{
    if (!registered_)
        return;
    connection_.unregisterObject(EventBusLocation::objectPath());
    if (QDBusConnectionInterface* bus = connection_.interface()) {
        bus->unregisterService(processName_);
        if (ownsFirstInstanceName_)
            bus->unregisterService(EventBusLocation::serviceName());
    }
}

bool DBusEventTransport::start(bool claimFirstInstanceName)
{
    if (registered_ || !connection_.isConnected())
        return registered_;
    QDBusConnectionInterface* bus = connection_.interface();
    if (!bus)
        return false;
    if (!connection_.registerObject(EventBusLocation::objectPath(), EventBusLocation::interfaceName(), this,
                                   QDBusConnection::ExportAllSlots))
        return false;
    processName_ = EventBusLocation::processServiceName(QCoreApplication::applicationPid());
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> own =
        bus->registerService(processName_, QDBusConnectionInterface::DontQueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    if (!own.isValid() || own.value() != QDBusConnectionInterface::ServiceRegistered) {
        connection_.unregisterObject(EventBusLocation::objectPath());
        return false;
    }
    registered_ = true;
    if (claimFirstInstanceName)
        this->claimFirstInstanceName();
    return true;
}

bool DBusEventTransport::claimFirstInstanceName()
{
    QDBusConnectionInterface* bus = registered_ ? connection_.interface() : nullptr;
    if (!bus || ownsFirstInstanceName_)
        return ownsFirstInstanceName_;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> first =
        bus->registerService(EventBusLocation::serviceName(), QDBusConnectionInterface::DontQueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    ownsFirstInstanceName_ = first.isValid() && first.value() == QDBusConnectionInterface::ServiceRegistered;
    return ownsFirstInstanceName_;
}

void DBusEventTransport::setUidLookup(UidLookup lookup)
{
    uidLookup_ = std::move(lookup);
    knownUids_.clear();
}

bool DBusEventTransport::isOwnUser(const QString& sender)
{
    // A unique name is never given to another connection, so what the bus said stays true.
    auto known = knownUids_.find(sender);
    if (known == knownUids_.end())
        known = knownUids_.emplace(sender, uidLookup_ ? uidLookup_(sender) : std::nullopt).first;
    return known->second && *known->second == ::getuid();
}

QByteArray DBusEventTransport::encodeReply(const AppleEvent& reply, qint64 limit)
{
    if (EventWireFormat::encodedSize(reply) <= limit)
        return EventWireFormat::encode(reply);
    AppleEvent tooLarge = AppleEvent::reply();
    tooLarge.setError(replyTooLarge, QStringLiteral("応答が大きすぎてバスで送れません（上限 %1 MiB）。").arg(limit >> 20));
    return EventWireFormat::encode(tooLarge);
}

std::optional<AppleEvent> DBusEventTransport::answer(QByteArrayView bytes)
{
    if (!calledFromDBus())
        return std::nullopt;
    if (!isOwnUser(message().service())) {
        sendErrorReply(QDBusError::AccessDenied, Bundle::configuration().name + QStringLiteral(" answers only its own user."));
        return std::nullopt;
    }
    return manager_.dispatch(bytes);
}

QByteArray DBusEventTransport::Send(const QByteArray& bytes)
{
    const std::optional<AppleEvent> reply = answer(bytes);
    return reply ? encodeReply(*reply) : QByteArray();
}

QDBusUnixFileDescriptor DBusEventTransport::SendForFile(const QByteArray& bytes)
{
    const std::optional<AppleEvent> reply = answer(bytes);
    return reply ? replyFile(*reply) : QDBusUnixFileDescriptor();
}

QDBusUnixFileDescriptor DBusEventTransport::SendFile(const QDBusUnixFileDescriptor& event)
{
    if (!calledFromDBus())
        return {};
    // Another user's file is not even looked at.
    if (!isOwnUser(message().service())) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Korimado answers only its own user."));
        return {};
    }
    struct stat status {};
    const int fd = event.isValid() ? event.fileDescriptor() : -1;
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !wire::SealedFile::isSealed(fd)) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("The event must come in a sealed memory file."));
        return {};
    }
    if (status.st_size > maximumEventFileSize) {
        sendErrorReply(QDBusError::LimitsExceeded, QStringLiteral("The event is larger than 4 GiB."));
        return {};
    }
    const std::optional<wire::MappedFile> file = wire::MappedFile::map(fd);
    if (!file) {
        sendErrorReply(QDBusError::Failed, QStringLiteral("The event could not be read: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    const std::string_view bytes = file->bytes();
    const std::optional<AppleEvent> reply = answer(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return reply ? replyFile(*reply) : QDBusUnixFileDescriptor();
}

QDBusUnixFileDescriptor DBusEventTransport::replyFile(const AppleEvent& reply)
{
    // Encoded in huge pages and copied into the file by the kernel.
    const QByteArray encoded = EventWireFormat::encode(reply);
    const int fd = wire::SealedFile::create("korimado-reply", std::string_view(encoded.constData(), size_t(encoded.size())));
    if (fd < 0) {
        sendErrorReply(QDBusError::Failed, QStringLiteral("The reply could not be written: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    QDBusUnixFileDescriptor file(fd);  // keeps a duplicate
    ::close(fd);
    return file;
}

}  // namespace korimado
