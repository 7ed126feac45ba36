#pragma once

#include "platform/events/AppleEventManager.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace korimado {

// Serves events over a D-Bus connection: the object "/AppleEvents" with one method of the interface
// EventBusLocation::interfaceName(), Send(ay) → ay, taking an event and answering its reply in the wire form. Calls arrive on the
// main thread and go to the event manager. Only processes of this user are served: any other
// caller gets AccessDenied and nothing runs.
class DBusEventTransport : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    // The largest message a bus carries: a reply that would not fit becomes an error reply.
    static constexpr qint64 maximumReplySize = qint64(128) << 20;
    static constexpr int replyTooLarge = -10000;
    static constexpr int malformedEvent = AppleEventManager::malformedEvent;
    // The largest event taken from a file: an event's length is told in 32 bits.
    static constexpr qint64 maximumEventFileSize = qint64(4) << 30;

    explicit DBusEventTransport(QDBusConnection connection, AppleEventManager& manager = AppleEventManager::shared(),
                                QObject* parent = nullptr);
    ~DBusEventTransport() override;

    // Exports the object and takes this process's name; with claimFirstInstanceName also the
    // program's name, when no other process holds it. False when the object or the process name
    // could not be registered.
    bool start(bool claimFirstInstanceName);
    // Takes the program's name now, when no other process holds it (its holder may have ended).
    bool claimFirstInstanceName();
    bool ownsFirstInstanceName() const { return ownsFirstInstanceName_; }
    QDBusConnection connection() const { return connection_; }

    // Which user a caller (a unique bus name) runs as; none when the bus cannot say. The bus
    // answers by default; tests put another answer here.
    using UidLookup = std::function<std::optional<uint>(const QString& sender)>;
    void setUidLookup(UidLookup lookup);

    // The reply's bytes, or none when it would exceed limit (exposed for tests of the limit).
    static QByteArray encodeReply(const AppleEvent& reply, qint64 limit = maximumReplySize);

public Q_SLOTS:
    QByteArray Send(const QByteArray& event);
    // The same, the reply's bytes handed over in a sealed memory file: a bus carries a message a
    // few kilobytes per turn of its loop (64 MiB of text take seconds), a descriptor at once.
    QDBusUnixFileDescriptor SendForFile(const QByteArray& event);
    // The event in a sealed memory file (one anybody may still change is refused), the reply in
    // another: a value of megabytes reaches the program at once.
    QDBusUnixFileDescriptor SendFile(const QDBusUnixFileDescriptor& event);

private:
    // The reply to bytes in the wire form, or none when the caller was refused.
    std::optional<AppleEvent> answer(QByteArrayView bytes);
    QDBusUnixFileDescriptor replyFile(const AppleEvent& reply);
    bool isOwnUser(const QString& sender);

    QDBusConnection connection_;
    AppleEventManager& manager_;
    UidLookup uidLookup_;
    std::map<QString, std::optional<uint>> knownUids_;
    bool registered_ = false;
    bool ownsFirstInstanceName_ = false;
    QString processName_;
};

}  // namespace korimado
