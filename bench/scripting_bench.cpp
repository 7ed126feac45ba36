// Scripts against the program over the session bus: round trips of a small get beside the bus's
// own Ping, the 64 MiB contents over the bus and in process, the command-line client beside
// dbus-send making the same call (a small get, the 64 MiB reply; five runs each, median and range),
// 5 MB of contents set from a file, character positions on 64 MiB, and the two heavy commands (replace-all over 64 MiB, NFKC Casefold of 16 MiB) beside
// sed and Python's normalizer on the same text. Starts a bus of its own when none is set.
#include "BenchSupport.h"

#include "document/KoriDocument.h"
#include "platform/events/AppleEventManager.h"
#include "platform/events/DBusEventTransport.h"
#include "platform/events/EventBusLocation.h"
#include "platform/events/EventWireFormat.h"
#include "platform/foundation/Bundle.h"
#include "platform/wire/MappedFile.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "scripting/text/ScriptNormalization.h"
#include "window/EditorWindowController.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

using namespace korimado;
using namespace korimado::bench;

namespace {

constexpr int RoundTrips = 1000;
constexpr int ClientRuns = 20;

// A bus of this run's own, for as long as the benchmark runs.
class OwnBus {
public:
    explicit OwnBus(const QString& folder)
    {
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                              QStringLiteral("--address=unix:path=") + folder + QStringLiteral("/bus")});
        daemon_.start();
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~OwnBus()
    {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000))
            daemon_.kill();
    }
    QString address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

EventDescriptor firstDocument()
{
    return EventDescriptor::objectSpecifier(fourCharCode("docu"), fourCharCode("indx"), EventDescriptor::integer(1),
                                            EventDescriptor());
}

AppleEvent getProperty(FourCharCode code)
{
    AppleEvent event(fourCharCode("core"), fourCharCode("getd"));
    event.setDirectObject(EventDescriptor::objectSpecifier(fourCharCode("prop"), fourCharCode("prop"),
                                                           EventDescriptor::typeCode(code), firstDocument()));
    return event;
}

QDBusMessage sendCall(const QByteArray& bytes)
{
    QDBusMessage call = QDBusMessage::createMethodCall(EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                                                       EventBusLocation::interfaceName(), EventBusLocation::sendMethod());
    call << bytes;
    return call;
}

QDBusMessage pingCall()
{
    return QDBusMessage::createMethodCall(EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                                          QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
}

// Runs work on a thread of its own with a bus connection of its own while the main thread serves.
template <typename Work>
void fromAnotherConnection(const QString& address, Work work)
{
    QEventLoop loop;
    std::thread client([&] {
        {
            QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("bench-client"));
            work(connection);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-client"));
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    client.join();
}

double runP50(const QString& program, const QStringList& arguments, const char* expected)
{
    std::vector<double> samples;
    for (int i = 0; i < ClientRuns; ++i) {
        QProcess process;
        // The main thread answers the client's events: wait in its event loop, not blocked.
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        Stopwatch watch;
        process.start(program, arguments);
        loop.exec();
        samples.push_back(watch.ms());
        if (i == 0 && (process.exitCode() != 0 || !process.readAllStandardOutput().contains(expected)))
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    }
    return percentile(samples, 50);
}

// Five runs of a program, each timed while the main thread goes on answering events.
std::vector<double> fiveRuns(const QString& program, const std::function<QStringList(int)>& arguments, const char* expected)
{
    std::vector<double> samples;
    for (int i = 0; i < 5; ++i) {
        QProcess process;
        QTemporaryFile output;
        output.open();
        process.setStandardOutputFile(output.fileName());
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        Stopwatch watch;
        process.start(program, arguments(i));
        loop.exec();
        samples.push_back(watch.ms());
        if (i == 0) {
            QByteArray head = output.read(4096);
            if (process.exitCode() != 0 || !head.contains(expected))
                std::fprintf(stderr, "%s failed (%d): %s %s\n", qPrintable(program), process.exitCode(),
                             process.readAllStandardError().constData(), head.left(200).constData());
        }
    }
    return samples;
}

// "name: ours median (min–max) ms, peer median (min–max) ms, ratio": five runs of each.
void compare(const char* name, const char* peer, std::vector<double> ours, std::vector<double> theirs)
{
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    const double median = percentile(ours, 50);
    const double peerMedian = percentile(theirs, 50);
    std::printf("%s: %.1f ms (%.1f–%.1f); %s: %.1f ms (%.1f–%.1f); ratio %.2f\n", name, median, ours.front(),
                ours.back(), peer, peerMedian, theirs.front(), theirs.back(), peerMedian > 0 ? median / peerMedian : 0.0);
    std::fflush(stdout);
}

// dbus-send's argument for bytes: array:byte:0x61,0x62,…
QString dbusSendBytes(const QByteArray& bytes)
{
    QString out = QStringLiteral("array:byte:");
    out.reserve(bytes.size() * 5 + 12);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i)
            out += QLatin1Char(',');
        out += QString::number(quint8(bytes[i]));
    }
    return out;
}

// The peer's time for a command over a file, in milliseconds.
double peerMs(const QString& program, const QStringList& arguments, const QString& output)
{
    QProcess process;
    process.setStandardOutputFile(output);
    Stopwatch watch;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
    return watch.ms();
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    // Set before anything connects, so that this process and the clients it starts share it.
    std::unique_ptr<OwnBus> ownBus;
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        ownBus = std::make_unique<OwnBus>(folder.path());
        if (ownBus->address().isEmpty()) {
            std::fprintf(stderr, "no session bus and dbus-daemon did not start\n");
            return 1;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", ownBus->address().toUtf8());
    }
    QApplication app(argc, argv);
    report("load_average_1m", loadAverage());
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");

    std::optional<ScriptingDictionary> dictionary =
        ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")));
    if (!dictionary) {
        std::fprintf(stderr, "no scripting dictionary\n");
        return 1;
    }
    KoriDocument small;
    small.storage().setString(QStringLiteral("The quick brown fox jumps over the lazy dog.\n吾輩は猫である。\n"));
    small.addWindowController(std::make_unique<EditorWindowController>(small));
    KoriDocument* front = &small;
    AppleEventManager manager;
    ScriptEventDispatcher dispatcher(std::move(*dictionary), [&] { return std::vector<KoriDocument*>{front}; });
    dispatcher.install(manager);
    DBusEventTransport transport(QDBusConnection::sessionBus(), manager);
    if (!transport.start(true) || !transport.ownsFirstInstanceName()) {
        std::fprintf(stderr, "could not take the program's name on the bus (is it running?)\n");
        return 1;
    }

    // Small round trips, each kind in turns so that both see the same load.
    const QByteArray getLength = EventWireFormat::encode(getProperty(fourCharCode("pLen")));
    std::vector<double> gets;
    std::vector<double> pings;
    fromAnotherConnection(address, [&](QDBusConnection& connection) {
        for (int i = 0; i < RoundTrips; ++i) {
            Stopwatch get;
            const QDBusMessage reply = connection.call(sendCall(getLength), QDBus::Block, 10000);
            gets.push_back(get.ms());
            if (i == 0 && reply.type() != QDBusMessage::ReplyMessage)
                std::fprintf(stderr, "get length failed: %s\n", qPrintable(reply.errorMessage()));
            Stopwatch ping;
            connection.call(pingCall(), QDBus::Block, 10000);
            pings.push_back(ping.ms());
        }
    });
    report("dbus_get_length_p50_ms", percentile(gets, 50));
    report("dbus_get_length_p95_ms", percentile(gets, 95));
    report("dbus_ping_p50_ms", percentile(pings, 50));
    report("dbus_ping_p95_ms", percentile(pings, 95));

    // The client beside dbus-send making the same call (Send with the same event's bytes).
    const QString client = QStringLiteral(KORIMADO_EVENT_PATH);
    const QStringList dbusSend{QStringLiteral("--session"), QStringLiteral("--print-reply"),
                               QStringLiteral("--dest=") + EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                               EventBusLocation::interfaceName() + QLatin1Char('.') + EventBusLocation::sendMethod()};
    const auto property = [](const char* code) {
        return QStringLiteral(R"({"obj":{"want":"prop","form":"prop","seld":{"type":"%1"},)"
                              R"("from":{"obj":{"want":"docu","form":"indx","seld":1}}}})").arg(QLatin1String(code));
    };
    compare("cli_get_length", "dbus_send_get_length",
            fiveRuns(client, [&](int) { return QStringList{QStringLiteral("core"), QStringLiteral("getd"), property("pLen")}; }, "54"),
            fiveRuns(QStringLiteral("dbus-send"), [&](int) { return dbusSend + QStringList{dbusSendBytes(getLength)}; },
                     "method return"));
    report("dbus_send_ping_p50_ms",
           runP50(QStringLiteral("dbus-send"),
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                   QStringLiteral("--dest=") + EventBusLocation::serviceName(), EventBusLocation::objectPath(),
                   QStringLiteral("org.freedesktop.DBus.Peer.Ping")},
                  "method return"));

    // The 64 MiB text: its contents over the bus and in process.
    KoriDocument large;
    const QString text = generateMixedText(32 * 1024 * 1024);
    large.storage().setString(text);
    large.addWindowController(std::make_unique<EditorWindowController>(large));
    front = &large;
    const AppleEvent getContents = getProperty(fourCharCode("PCnt"));
    {
        Stopwatch watch;
        const AppleEvent reply = manager.dispatch(getContents);
        report("contents_64mib_inprocess_ms", watch.ms());
        // What the bus adds beside its own transfer: the wire form both ways.
        Stopwatch encodeWatch;
        const QByteArray encoded = EventWireFormat::encode(reply);
        report("contents_64mib_encode_ms", encodeWatch.ms());
        Stopwatch decodeWatch;
        if (!EventWireFormat::decodeEvent(encoded))
            std::fprintf(stderr, "contents do not decode\n");
        report("contents_64mib_decode_ms", decodeWatch.ms());
        const EventDescriptor* contents = reply.directObject();
        if (!contents || contents->toText().value_or(QString()).size() != text.size())
            std::fprintf(stderr, "contents in process came back wrong\n");
    }
    // As the client asks (the reply in a file) and with the reply in the message itself.
    fromAnotherConnection(address, [&](QDBusConnection& connection) {
        for (const bool byFile : {true, false}) {
            Stopwatch watch;
            QDBusMessage call = sendCall(EventWireFormat::encode(getContents));
            if (byFile)
                call = QDBusMessage::createMethodCall(call.service(), call.path(), call.interface(),
                                                      EventBusLocation::sendForFileMethod())
                       << call.arguments().value(0);
            const QDBusMessage reply = connection.call(call, QDBus::Block, 120000);
            // Read as the client reads it: the reply's file mapped, not copied.
            QByteArray bytes;
            std::optional<wire::MappedFile> mapped;
            if (byFile) {
                const QDBusUnixFileDescriptor fd = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
                if (fd.isValid())
                    mapped = wire::MappedFile::map(fd.fileDescriptor());
                if (mapped)
                    bytes = QByteArray::fromRawData(mapped->bytes().data(), qsizetype(mapped->bytes().size()));
            } else {
                bytes = reply.arguments().value(0).toByteArray();
            }
            const std::optional<AppleEvent> event = EventWireFormat::decodeEvent(bytes);
            const EventDescriptor* contents = event ? event->directObject() : nullptr;
            const qsizetype size = contents ? contents->toText().value_or(QString()).size() : -1;
            report(byFile ? "contents_64mib_dbus_ms" : "contents_64mib_dbus_in_message_ms", watch.ms());
            if (size != text.size())
                std::fprintf(stderr, "contents over the bus came back wrong: %s\n", qPrintable(reply.errorMessage()));
        }
    });

    // The 64 MiB reply as a script gets it, beside dbus-send fetching the same reply in its message.
    compare("cli_contents_64mib", "dbus_send_contents_64mib",
            fiveRuns(client, [&](int) { return QStringList{QStringLiteral("core"), QStringLiteral("getd"), property("PCnt")}; }, "\""),
            fiveRuns(QStringLiteral("dbus-send"),
                     [&](int) { return dbusSend + QStringList{dbusSendBytes(EventWireFormat::encode(getContents))}; },
                     "method return"));

    // 5 MB of contents set from a file (two files in turns, so that every set changes the text).
    // dbus-send cannot pass 5 MB in an argument (128 KiB at most): cp of the same file stands beside.
    QStringList fiveMegabytes;
    for (const char* name : {"set-a.txt", "set-b.txt"}) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        QFile file(path);
        QByteArray body;
        for (qsizetype units = 1'000'000; (body = text.left(units).toUtf8()).size() < 5'000'000;)
            units += 250'000;
        if (!file.open(QIODevice::WriteOnly) || file.write(name[4] == 'a' ? body : "b" + body) < 0)
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        fiveMegabytes.append(path);
    }
    front = &small;
    compare("cli_set_contents_5mb_from_file", "cp_5mb",
            fiveRuns(client,
                     [&](int i) {
                         return QStringList{QStringLiteral("core"), QStringLiteral("setd"), property("PCnt"),
                                            QStringLiteral("data=@") + fiveMegabytes[i % 2]};
                     },
                     ""),
            fiveRuns(QStringLiteral("cp"), [&](int i) { return QStringList{fiveMegabytes[i % 2], folder.filePath(QStringLiteral("copy.txt"))}; }, ""));
    front = &large;

    // Character positions on the 64 MiB text: length, and a range read from the middle.
    {
        Stopwatch first;
        manager.dispatch(getProperty(fourCharCode("pLen")));
        report("length_64mib_first_ms", first.ms());
        large.storage().replaceCharacters(TextRange(large.storage().length() / 2, 0), QStringLiteral("e\u0301"));
        Stopwatch again;
        manager.dispatch(getProperty(fourCharCode("pLen")));
        report("length_64mib_after_edit_ms", again.ms());
        AppleEvent string(fourCharCode("cEd1"), fourCharCode("StrG"));
        string.setDirectObject(firstDocument());
        string.setParameter(fourCharCode("rnGe"), EventDescriptor::list({EventDescriptor::integer(10'000'000), EventDescriptor::integer(20)}));
        Stopwatch range;
        manager.dispatch(string);
        report("string_range_64mib_ms", range.ms());
    }

    // Replace-all over the 64 MiB text, as a script sends it (a replacement of another length, so
    // that the text around the matches moves), beside sed on the same text.
    const QString textFile = folder.filePath(QStringLiteral("text.txt"));
    {
        QFile file(textFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
            std::fprintf(stderr, "could not write %s\n", qPrintable(textFile));
    }
    {
        AppleEvent replace(fourCharCode("cEd1"), fourCharCode("RPlc"));
        replace.setDirectObject(firstDocument());
        replace.setParameter(fourCharCode("tRgt"), EventDescriptor::text(QStringLiteral("dog")));
        replace.setParameter(fourCharCode("nWst"), EventDescriptor::text(QStringLiteral("wolf")));
        replace.setParameter(fourCharCode("aLl "), EventDescriptor::boolean(true));
        Stopwatch watch;
        const AppleEvent reply = manager.dispatch(replace);
        report("replace_all_64mib_ms", watch.ms());
        if (reply.errorNumber() != 0 || large.string().contains(QStringLiteral("lazy dog")))
            std::fprintf(stderr, "replace-all failed: %d\n", reply.errorNumber());
    }
    report("sed_replace_all_64mib_ms", peerMs(QStringLiteral("sed"), {QStringLiteral("s/dog/wolf/g"), textFile},
                                              folder.filePath(QStringLiteral("sed.txt"))));

    // NFKC Casefold of 16 MiB, beside Python's casefold and NFKC on the same text.
    const QString quarter = text.left(8 * 1024 * 1024);
    {
        Stopwatch watch;
        const std::optional<QString> folded = ScriptNormalization::apply(quarter, QStringLiteral("NFKC Casefold"));
        report("nfkc_casefold_16mib_ms", watch.ms());
        if (!folded || folded->isEmpty())
            std::fprintf(stderr, "NFKC Casefold gave nothing\n");
    }
    const QString quarterFile = folder.filePath(QStringLiteral("quarter.txt"));
    {
        QFile file(quarterFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(quarter.toUtf8()) < 0)
            std::fprintf(stderr, "could not write %s\n", qPrintable(quarterFile));
    }
    report("python_nfkc_casefold_16mib_ms",
           peerMs(QStringLiteral("python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import sys, unicodedata as u; t = open(sys.argv[1], encoding='utf-8').read(); "
                                  "sys.stdout.write(u.normalize('NFKC', u.normalize('NFKC', t).casefold()))"),
                   quarterFile},
                  folder.filePath(QStringLiteral("python.txt"))));

    report("peak_rss_mb", peakRssMb());
    dispatcher.uninstall();
    return 0;
}
