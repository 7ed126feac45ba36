#include "app/ApplicationEventService.h"

#include "platform/events/AppleEventManager.h"
#include "platform/events/DBusEventTransport.h"
#include "platform/events/EventBusLocation.h"
#include "platform/events/EventWireFormat.h"

#include "platform/foundation/FilePath.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <limits>
#include <utility>

namespace korimado {

namespace {

constexpr FourCharCode openDocumentsClass = fourCharCode("aevt");
constexpr FourCharCode openDocumentsID = fourCharCode("odoc");
constexpr FourCharCode reopenID = fourCharCode("rapp");
constexpr int handOverAttempts = 20;
constexpr int handOverRetryMs = 100;

// What a call to a program that ended, or is ending, is answered with.
bool ownerIsGoing(const QString& error)
{
    static const QStringList going{QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
                                   QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
                                   QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
                                   QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                                   QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")};
    return going.contains(error);
}

// The answer, however long it takes: a program that ends without one is answered for by the bus.
QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call)
{
    QDBusPendingCallWatcher watcher(connection.asyncCall(call, std::numeric_limits<int>::max()));
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer notice;
        notice.setSingleShot(true);
        QObject::connect(&notice, &QTimer::timeout, [] {
            std::fputs("korimado: 実行中のKorimadoの応答を待っています…\n", stderr);
        });
        notice.start(ApplicationEventService::handOverNoticeMs);
        loop.exec();
    }
    return watcher.reply();
}

// Whether a program of ours answers on the bus at address: the owner of an address file that a
// later program must not take over.
bool programAnswersAt(const QString& address)
{
    const QString name = QStringLiteral("korimado-address-check");
    bool answers = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        if (bus.isConnected() && bus.interface())
            answers = bus.interface()->isServiceRegistered(EventBusLocation::serviceName()).value();
    }
    QDBusConnection::disconnectFromBus(name);
    return answers;
}

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
    if (transport_->ownsFirstInstanceName())
        takeFirstInstanceName();
}

ApplicationEventService::~ApplicationEventService()
{
    withdraw();
}

void ApplicationEventService::withdraw()
{
    EventBusLocation::removeAddressFile(std::exchange(writtenAddress_, QString()));
}

QString ApplicationEventService::addressFileHeldMessage()
{
    return QStringLiteral("別のセッションバスで動いているKorimadoが %1 を使っているため、引き継ぎません。"
                          "このKorimadoは、自分のスクリプト実行コンソールから起動したスクリプトと、"
                          "このセッションバスのアドレス（DBUS_SESSION_BUS_ADDRESS）を受け継いだスクリプトから操作できます。")
        .arg(EventBusLocation::addressFilePath());
}

bool ApplicationEventService::ownsFirstInstanceName() const
{
    return transport_ && transport_->ownsFirstInstanceName();
}

bool ApplicationEventService::takeFirstInstanceName()
{
    if (!transport_->claimFirstInstanceName())
        return false;
    const QString address = EventBusLocation::sessionAddress();
    if (!writtenAddress_.isEmpty() || addressFileHeld_ || address.isEmpty())
        return true;
    // A program of ours on another session bus of this user keeps its file: taken over, its
    // scripts would drive this program, and once this one ended none could reach either.
    const QString held = EventBusLocation::addressInFile();
    if (!held.isEmpty() && held != address && programAnswersAt(held)) {
        addressFileHeld_ = true;
        std::fprintf(stderr, "korimado: %s\n", addressFileHeldMessage().toUtf8().constData());
        return true;
    }
    if (EventBusLocation::writeAddressFile(address))
        writtenAddress_ = address;
    return true;
}

ApplicationEventService::HandOver ApplicationEventService::handOver(const QStringList& files, QString* message)
{
    if (selfTest_ || !transport_)
        return HandOver::none;
    AppleEvent event(openDocumentsClass, files.isEmpty() ? reopenID : openDocumentsID);
    if (!files.isEmpty()) {
        std::vector<EventDescriptor> paths;
        // As UTF-16: a name that is not UTF-8 keeps the bytes it stands for.
        for (const QString& file : files)
            paths.push_back(EventDescriptor::unicodeText(standardizedPath(file)));
        event.setDirectObject(EventDescriptor::list(std::move(paths)));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                                                       EventBusLocation::interfaceName(), EventBusLocation::sendMethod());
    call << EventWireFormat::encode(event);

    QDBusMessage answer;
    for (int attempt = 0; attempt < handOverAttempts; ++attempt) {
        if (takeFirstInstanceName())
            return HandOver::none;
        answer = callAndWait(transport_->connection(), call);
        if (answer.type() == QDBusMessage::ReplyMessage) {
            // A program that cannot open files at all leaves this start to run on its own.
            const std::optional<AppleEvent> reply = EventWireFormat::decodeEvent(answer.arguments().value(0).toByteArray());
            return reply && reply->errorNumber() != AppleEventManager::eventNotHandled ? HandOver::handedOver
                                                                                       : HandOver::none;
        }
        if (!ownerIsGoing(answer.errorName()))
            break;
        // Its name goes after its object: give it the moment to let go.
        QThread::msleep(handOverRetryMs);
    }
    if (message)
        *message = QStringLiteral("実行中のKorimadoにファイルを渡せませんでした（%1）。").arg(answer.errorMessage());
    return HandOver::refused;
}

}  // namespace korimado
