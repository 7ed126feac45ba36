// korimado-event: sends one event to the running Korimado over the session bus and prints the
// reply's value as JSON. Exit status 0 on success, 1 when Korimado answers with an error, 2 when
// it cannot be reached, refuses, does not answer in time, or the arguments are wrong.
#include "app/ApplicationIdentity.h"
#include "platform/events/EventBusLocation.h"
#include "platform/events/EventCommandLine.h"
#include "platform/events/EventJson.h"
#include "platform/events/EventWireFormat.h"
#include "platform/foundation/JsonWriter.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;

namespace {

enum Status { succeeded = 0, answeredWithError = 1, notReached = 2 };

int fail(const QString& message, int status = notReached)
{
    std::fprintf(stderr, "korimado-event: %s\n", message.toUtf8().constData());
    return status;
}

// The first bus on which the program's name has an owner.
std::optional<QDBusConnection> connectToProgram(const QString& service)
{
    int index = 0;
    for (const QString& address : EventBusLocation::clientAddresses()) {
        const QString name = QStringLiteral("korimado-event-") + QString::number(index++);
        QDBusConnection connection = QDBusConnection::connectToBus(address, name);
        if (connection.isConnected() && connection.interface()
            && connection.interface()->isServiceRegistered(service).value())
            return connection;
        QDBusConnection::disconnectFromBus(name);
    }
    return std::nullopt;
}

// Everything in the file a reply came in.
std::optional<QByteArray> readAll(const QDBusUnixFileDescriptor& file)
{
    if (!file.isValid())
        return std::nullopt;
    struct stat status {};
    if (::fstat(file.fileDescriptor(), &status) != 0)
        return std::nullopt;
    QByteArray bytes(qsizetype(status.st_size), Qt::Uninitialized);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(file.fileDescriptor(), bytes.data() + done, size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        done += n;
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Bundle::configure(applicationBundleConfiguration());

    const auto parsed = EventCommandLine::parse(QCoreApplication::arguments().mid(1));
    if (const auto* message = std::get_if<QString>(&parsed))
        return fail(*message);
    const EventCommandLine& line = std::get<EventCommandLine>(parsed);
    if (line.help) {
        std::fputs(EventCommandLine::usage().toUtf8().constData(), stdout);
        return succeeded;
    }

    const QString service = line.pid ? EventBusLocation::processServiceName(*line.pid) : EventBusLocation::serviceName();
    const std::optional<QDBusConnection> connection = connectToProgram(service);
    if (!connection)
        return fail(line.pid ? QStringLiteral("プロセス %1 のKorimadoが見つかりません。").arg(*line.pid)
                             : QStringLiteral("実行中のKorimadoが見つかりません。"));

    // A reply comes back in a file where the bus can pass one: large ones arrive at once.
    const bool byFile = connection->connectionCapabilities().testFlag(QDBusConnection::UnixFileDescriptorPassing);
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, EventBusLocation::objectPath(), EventBusLocation::interfaceName(),
        byFile ? EventBusLocation::sendForFileMethod() : EventBusLocation::sendMethod());
    call << EventWireFormat::encode(line.event);
    const int timeoutMs = int(std::lround(line.timeoutSeconds * 1000));
    const QDBusMessage answer = connection->call(call, QDBus::Block, timeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        const QString name = answer.errorName();
        if (name == QDBusError::errorString(QDBusError::AccessDenied))
            return fail(QStringLiteral("Korimadoに拒否されました: ") + answer.errorMessage());
        if (name == QDBusError::errorString(QDBusError::NoReply) || name == QDBusError::errorString(QDBusError::Timeout))
            return fail(QStringLiteral("%1秒以内に応答がありませんでした。").arg(line.timeoutSeconds));
        return fail(QStringLiteral("送れませんでした: ") + name + QStringLiteral(": ") + answer.errorMessage());
    }

    QString error;
    const std::optional<QByteArray> bytes =
        byFile ? readAll(qdbus_cast<QDBusUnixFileDescriptor>(answer.arguments().value(0))) : answer.arguments().value(0).toByteArray();
    if (!bytes)
        return fail(QStringLiteral("応答を読み取れません: ") + QString::fromLocal8Bit(std::strerror(errno)));
    const std::optional<AppleEvent> reply = EventWireFormat::decodeEvent(*bytes, &error);
    if (!reply)
        return fail(QStringLiteral("応答を読み取れません: ") + error);
    if (const int number = reply->errorNumber()) {
        const QString message = reply->errorString();
        return fail(QStringLiteral("エラー %1%2").arg(number).arg(message.isEmpty() ? QString() : QStringLiteral(": ") + message),
                    answeredWithError);
    }
    if (const EventDescriptor* value = reply->directObject()) {
        QByteArray json = JsonWriter::write(EventJson::json(*value), {.prettyPrinted = false, .sortedKeys = false,
                                                                       .escapesSolidus = false});
        json.append('\n');
        std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    }
    return succeeded;
}
