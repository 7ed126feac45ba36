// Events over a private session bus: the transport, the command-line client, and a second start
// of the program handing its files to the first.
#include "app/ApplicationEventService.h"
#include "platform/events/AppleEventManager.h"
#include "platform/events/DBusEventTransport.h"
#include "platform/events/EventBusLocation.h"
#include "platform/events/EventWireFormat.h"
#include "platform/wire/SealedFile.h"
#include "scripting/PrivateBus.h"
#include "scripting/guide/ScriptingTerminology.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;

namespace {

constexpr FourCharCode testClass = fourCharCode("tEst");

AppleEvent event(const char* id, const EventDescriptor& direct = {})
{
    AppleEvent e(testClass, code(QString::fromLatin1(id)));
    if (!direct.isNull())
        e.setDirectObject(direct);
    return e;
}

// Sends without blocking this thread, which serves the transport.
QDBusMessage send(QDBusConnection& client, const QString& service, const QByteArray& bytes)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, EventBusLocation::objectPath(),
                                                       EventBusLocation::interfaceName(), EventBusLocation::sendMethod());
    call << bytes;
    QDBusPendingCall pending = client.asyncCall(call, 10000);
    EXPECT_TRUE(test::spinUntil([&] { return pending.isFinished(); }, 15000));
    return pending.reply();
}

std::optional<AppleEvent> replyOf(const QDBusMessage& message)
{
    if (message.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return EventWireFormat::decodeEvent(message.arguments().value(0).toByteArray());
}

class EventBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager.setEventHandler(testClass, fourCharCode("echo"), [this](const AppleEvent& e, AppleEvent& reply) {
            ++handled;
            if (const EventDescriptor* direct = e.directObject())
                reply.setDirectObject(*direct);
        });
        manager.setEventHandler(testClass, fourCharCode("fail"), [](const AppleEvent&, AppleEvent& reply) {
            reply.setError(-1728, QStringLiteral("見つかりません。"));
        });
        manager.setEventHandler(testClass, fourCharCode("slow"), [](const AppleEvent&, AppleEvent&) { QThread::msleep(1500); });
        server = bus.connect(QStringLiteral("server"));
        transport = std::make_unique<DBusEventTransport>(server, manager);
        ASSERT_TRUE(transport->start(true));
        client = bus.connect(QStringLiteral("client"));
    }

    // Runs the client with the bus in its environment (or only HOME, PATH and LANG) and waits for it.
    struct Run {
        int status = -1;
        QString out;
        QString err;
    };
    Run client_(const QStringList& arguments, bool inheritBus = true, const QByteArray& input = {},
                const QString& sessionBus = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        if (inheritBus || !sessionBus.isEmpty())
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus.isEmpty() ? bus.address() : sessionBus);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KORIMADO_EVENT_PATH), arguments);
        EXPECT_TRUE(process.waitForStarted(5000));
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(test::spinUntil([&] { return process.state() == QProcess::NotRunning; }, 30000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    test::PrivateBus bus;
    test::TempDir folder;
    AppleEventManager manager;
    QDBusConnection server{QString()};
    QDBusConnection client{QString()};
    std::unique_ptr<DBusEventTransport> transport;
    int handled = 0;
};

}  // namespace

TEST_F(EventBusTest, ServesUnderTheProgramsNameAndItsOwn)
{
    EXPECT_TRUE(transport->ownsFirstInstanceName());
    for (const QString& service :
         {EventBusLocation::serviceName(), EventBusLocation::processServiceName(QCoreApplication::applicationPid())}) {
        const auto reply = replyOf(send(client, service, EventWireFormat::encode(event("echo", EventDescriptor::text("やあ")))));
        ASSERT_TRUE(reply) << service.toStdString();
        // An error reply has no direct object: say which error rather than crash on it.
        ASSERT_TRUE(reply->directObject()) << service.toStdString() << ": error " << reply->errorNumber();
        EXPECT_EQ(reply->directObject()->toText(), QStringLiteral("やあ"));
    }
    EXPECT_EQ(handled, 2);

    // Bytes that are no event are answered with an error, and nothing runs.
    const auto garbage = replyOf(send(client, EventBusLocation::serviceName(), QByteArray("garbage")));
    ASSERT_TRUE(garbage);
    EXPECT_EQ(garbage->errorNumber(), DBusEventTransport::malformedEvent);
    const auto unknown = replyOf(send(client, EventBusLocation::serviceName(), EventWireFormat::encode(event("none"))));
    EXPECT_EQ(unknown->errorNumber(), AppleEventManager::eventNotHandled);
    EXPECT_EQ(handled, 2);
}

TEST_F(EventBusTest, RefusesAnotherUser)
{
    QStringList asked;
    transport->setUidLookup([&](const QString& sender) -> std::optional<uint> {
        asked.append(sender);
        return ::getuid() + 1;
    });
    const QDBusMessage answer = send(client, EventBusLocation::serviceName(), EventWireFormat::encode(event("echo")));
    EXPECT_EQ(answer.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(answer.errorName(), QDBusError::errorString(QDBusError::AccessDenied));
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(asked, QStringList{client.baseService()});

    // A caller the bus cannot vouch for is refused too.
    transport->setUidLookup([](const QString&) -> std::optional<uint> { return std::nullopt; });
    EXPECT_EQ(send(client, EventBusLocation::serviceName(), EventWireFormat::encode(event("echo"))).type(),
              QDBusMessage::ErrorMessage);
    EXPECT_EQ(handled, 0);
}

TEST_F(EventBusTest, AReplyTooLargeForTheBusBecomesAnError)
{
    AppleEvent big = AppleEvent::reply();
    big.setDirectObject(EventDescriptor::text(QString(200, QLatin1Char('x'))));
    const auto reply = EventWireFormat::decodeEvent(DBusEventTransport::encodeReply(big, 100));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->errorNumber(), DBusEventTransport::replyTooLarge);
    EXPECT_FALSE(reply->directObject());
    const auto fitting = EventWireFormat::decodeEvent(DBusEventTransport::encodeReply(big, 1000));
    ASSERT_TRUE(fitting && fitting->directObject()) << "error " << (fitting ? fitting->errorNumber() : 0);
    EXPECT_EQ(fitting->directObject()->toText()->size(), 200);
}

// A reply handed over in a file: whole, past what one message of the bus would hold at a
// time, sealed against change; another user gets nothing.
TEST_F(EventBusTest, AReplyComesBackInASealedFile)
{
    const QString text = QString(3 * 1024 * 1024, QLatin1Char('a')) + QStringLiteral("日本語😀");
    const auto sendForFile = [&] {
        QDBusMessage call = QDBusMessage::createMethodCall(EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                                                           EventBusLocation::interfaceName(), EventBusLocation::sendForFileMethod());
        call << EventWireFormat::encode(event("echo", EventDescriptor::text(text)));
        QDBusPendingCall pending = client.asyncCall(call, 10000);
        EXPECT_TRUE(test::spinUntil([&] { return pending.isFinished(); }, 15000));
        return pending.reply();
    };
    const QDBusMessage answer = sendForFile();
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
    const QDBusUnixFileDescriptor file = qdbus_cast<QDBusUnixFileDescriptor>(answer.arguments().value(0));
    ASSERT_TRUE(file.isValid());
    EXPECT_NE(::fcntl(file.fileDescriptor(), F_GET_SEALS) & F_SEAL_WRITE, 0);
    QFile reader;
    ASSERT_TRUE(reader.open(file.fileDescriptor(), QIODevice::ReadOnly));
    const std::optional<AppleEvent> reply = EventWireFormat::decodeEvent(reader.readAll());
    ASSERT_TRUE(reply);
    ASSERT_TRUE(reply->directObject()) << "error " << reply->errorNumber();
    EXPECT_EQ(reply->directObject()->toText(), text);
    EXPECT_EQ(handled, 1);

    transport->setUidLookup([](const QString&) -> std::optional<uint> { return ::getuid() + 1; });
    const QDBusMessage refused = sendForFile();
    EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(refused.errorName(), QDBusError::errorString(QDBusError::AccessDenied));
    EXPECT_EQ(handled, 1);
}

TEST_F(EventBusTest, TheClientPrintsRepliesAsJsonAndExitsByOutcome)
{
    Run run = client_({"tEst", "echo", R"({"obj":{"want":"docu","form":"indx","seld":1}})"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("{\"obj\":{\"want\":\"docu\",\"form\":\"indx\",\"seld\":1,\"from\":null}}\n"));
    run = client_({"tEst", "echo", "日本語 の 文"});
    EXPECT_EQ(run.out, QStringLiteral("\"日本語 の 文\"\n"));
    run = client_({"--pid", QString::number(QCoreApplication::applicationPid()), "tEst", "echo"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QString());

    run = client_({"tEst", "fail"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("-1728")) && run.err.contains(QStringLiteral("見つかりません。")))
        << run.err.toStdString();

    run = client_({"--timeout", "0.3", "tEst", "slow"});
    EXPECT_EQ(run.status, 2);
    EXPECT_FALSE(run.err.isEmpty());
    run = client_({"--pid", "1", "tEst", "echo"});
    EXPECT_EQ(run.status, 2);
    run = client_({"tEst"});
    EXPECT_EQ(run.status, 2);
    // The dictionary with its codes, the very listing the Help window shows; no program needed.
    run = client_({"--list"}, false);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, ScriptingTerminology::bundledListing() + QLatin1Char('\n'));
    EXPECT_TRUE(run.out.contains(QStringLiteral("\nreplace [cEd1 RPlc]"))) << run.out.left(300).toStdString();

    transport->setUidLookup([](const QString&) -> std::optional<uint> { return ::getuid() + 1; });
    run = client_({"tEst", "echo"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("拒否"))) << run.err.toStdString();
}

// Values past what an argument may hold (128 KiB) come from a file or standard input, and an event
// that large travels in a sealed memory file.
TEST_F(EventBusTest, TheClientTakesLargeValuesFromAFileOrStandardInput)
{
    QByteArray value;
    while (value.size() < 5'000'000)
        value += "本文の一行 with \"ASCII\" \\ 𠮷\tand more\x01\n";
    const QString path = folder.write(QStringLiteral("contents.txt"), value);
    // Printed a slice at a time: escapes fall on every side of a slice's end.
    QString expected = QStringLiteral("\"")
                       + QString::fromUtf8(value)
                             .replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
                             .replace(QStringLiteral("\""), QStringLiteral("\\\""))
                             .replace(QStringLiteral("\t"), QStringLiteral("\\t"))
                             .replace(QStringLiteral("\x01"), QStringLiteral("\\u0001"))
                             .replace(QStringLiteral("\n"), QStringLiteral("\\n"))
                       + QStringLiteral("\"\n");
    int events = 0;
    manager.setEventHandler(testClass, fourCharCode("size"), [&](const AppleEvent& e, AppleEvent& reply) {
        ++events;
        if (const EventDescriptor* direct = e.directObject())
            reply.setDirectObject(EventDescriptor::integer(direct->toText().value_or(QString()).toUtf8().size()));
    });

    Run run = client_({"tEst", "echo", "----=@" + path});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out == expected) << run.out.size() << " of " << expected.size();
    run = client_({"tEst", "size", "@-"}, true, value);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString::number(value.size()) + QLatin1Char('\n'));
    EXPECT_EQ(events, 1);

    // What cannot be read is named; nothing is sent.
    run = client_({"tEst", "size", "@" + folder.file(QStringLiteral("missing.txt"))});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("missing.txt"))) << run.err.toStdString();
    run = client_({"tEst", "size", "@" + folder.write(QStringLiteral("latin1.txt"), "caf\xe9")});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("UTF-8"))) << run.err.toStdString();
    run = client_({"tEst", "size", "@-", "data=@-"}, true, "x");
    EXPECT_EQ(run.status, 2);
    // Text that begins with "@" is written as JSON.
    run = client_({"tEst", "echo", "\"@-\""});
    EXPECT_EQ(run.out, QStringLiteral("\"@-\"\n"));
    EXPECT_EQ(events, 1);
}

TEST_F(EventBusTest, AnEventInAFileMustBeSealed)
{
    const QByteArray bytes = EventWireFormat::encode(event("echo", EventDescriptor::text(QStringLiteral("封"))));
    const auto sendFile = [&](int fd) {
        QDBusMessage call = QDBusMessage::createMethodCall(EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                                                           EventBusLocation::interfaceName(), EventBusLocation::sendFileMethod());
        call << QVariant::fromValue(QDBusUnixFileDescriptor(fd));
        ::close(fd);
        QDBusPendingCall pending = client.asyncCall(call, 10000);
        EXPECT_TRUE(test::spinUntil([&] { return pending.isFinished(); }, 15000));
        return pending.reply();
    };
    // Writable still: the sender could change it under the reader.
    const int open = ::memfd_create("event", MFD_CLOEXEC);
    ASSERT_EQ(::write(open, bytes.constData(), size_t(bytes.size())), bytes.size());
    const QDBusMessage refused = sendFile(open);
    EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(handled, 0);

    const QDBusMessage answer = sendFile(wire::SealedFile::create("event", std::string_view(bytes.constData(), size_t(bytes.size()))));
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
    QFile reader;
    ASSERT_TRUE(reader.open(qdbus_cast<QDBusUnixFileDescriptor>(answer.arguments().value(0)).fileDescriptor(), QIODevice::ReadOnly));
    const std::optional<AppleEvent> reply = EventWireFormat::decodeEvent(reader.readAll());
    ASSERT_TRUE(reply && reply->directObject());
    EXPECT_EQ(reply->directObject()->toText(), QStringLiteral("封"));
    EXPECT_EQ(handled, 1);
}

TEST_F(EventBusTest, TheClientFindsTheBusThroughTheAddressFile)
{
    Run run = client_({"tEst", "echo", "1"}, false);
    EXPECT_EQ(run.status, 2);  // nothing says where the bus is
    ASSERT_TRUE(EventBusLocation::writeAddressFile(bus.address()));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(EventBusLocation::addressFilePath()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    run = client_({"tEst", "echo", "1"}, false);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("1\n"));
    EventBusLocation::removeAddressFile(QStringLiteral("unix:path=/elsewhere"));
    EXPECT_TRUE(QFileInfo::exists(EventBusLocation::addressFilePath()));
    EventBusLocation::removeAddressFile(bus.address());
    EXPECT_FALSE(QFileInfo::exists(EventBusLocation::addressFilePath()));
}

TEST_F(EventBusTest, TheClientGoesOnToTheNextBusWhenTheSessionBusHasNoProgram)
{
    test::PrivateBus empty;
    ASSERT_TRUE(EventBusLocation::writeAddressFile(bus.address()));
    Run run = client_({"tEst", "echo", "\"here\""}, false, {}, empty.address());
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("\"here\"\n"));
    EXPECT_EQ(handled, 1);
    EventBusLocation::removeAddressFile(bus.address());
    run = client_({"tEst", "echo", "1"}, false, {}, empty.address());
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("実行中のKorimadoが見つかりません。"))) << run.err.toStdString();
    EXPECT_EQ(handled, 1);
}

