// A zsh script changes a document with korimado-event over a session bus of its own, as a user's
// script would: the events go through the transport, the dispatcher and the edit door.
#include "app/ApplicationEventService.h"
#include "editor/EditorTextView.h"
#include "platform/events/AppleEventManager.h"
#include "platform/events/DBusEventTransport.h"
#include "platform/events/EventBusLocation.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UndoManager.h"
#include "scripting/PrivateBus.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "scripting/console/ScriptOutputView.h"
#include "scripting/console/WorkspaceScriptConsoleController.h"
#include "support/WindowFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

using namespace korimado;

namespace {

// The program itself, started on a bus of the test's own with a file, and how many documents it
// has open, asked through the client.
class RunningProgram {
public:
    // home: the user's home, which a second program of the same user shares; dir's by default.
    RunningProgram(const test::PrivateBus& bus, const test::TempDir& dir, const QString& home = QString())
        : environment_(QProcessEnvironment::systemEnvironment())
    {
        environment_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        environment_.insert(QStringLiteral("HOME"), home.isEmpty() ? dir.path() : home);
        environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
        environment_.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
        environment_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    ~RunningProgram()
    {
        process_.terminate();
        if (!process_.waitForFinished(10000))
            process_.kill();
        process_.waitForFinished(5000);
    }

    bool start(const QString& file)
    {
        process_.setProcessEnvironment(environment_);
        process_.start(QStringLiteral(KORIMADO_PROGRAM_PATH), {file});
        return process_.waitForStarted(10000) && test::spinUntil([&] { return countDocuments() == QLatin1String("1"); }, 30000);
    }

    QString countDocuments() const
    {
        QProcess client;
        client.setProcessEnvironment(environment_);
        client.start(QStringLiteral(KORIMADO_EVENT_PATH), {QStringLiteral("core"), QStringLiteral("cnte"), QStringLiteral("kocl={\"type\":\"docu\"}")});
        client.waitForFinished(10000);
        return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
    }

    const QProcessEnvironment& environment() const { return environment_; }
    // Everything the program wrote to standard error so far.
    QString standardError()
    {
        errors_ += process_.readAllStandardError();
        return QString::fromUtf8(errors_);
    }
    void end()
    {
        process_.terminate();
        process_.waitForFinished(10000);
    }

private:
    QProcessEnvironment environment_;
    QProcess process_;
    QByteArray errors_;
};

// One document in a window, its events served on the bus under the program's name.
struct ServedDocument {
    ServedDocument(test::PrivateBus& bus, KoriDocument& document)
        : dictionary(ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef"))).value()),
          dispatcher(dictionary, [&document] { return std::vector<KoriDocument*>{&document}; }),
          server(bus.connect(QStringLiteral("server"))),
          transport(server, manager)
    {
        test::openDocumentWindow(document);
        dispatcher.install(manager);
        started = transport.start(true);
    }
    bool serving() const { return started; }

    AppleEventManager manager;
    ScriptingDictionary dictionary;
    ScriptEventDispatcher dispatcher;
    QDBusConnection server;
    DBusEventTransport transport;
    bool started = false;
};

}  // namespace

TEST(ScriptedDocumentBus, AZshScriptReplacesTextAndChangesCaseAndAnotherUserIsRefused)
{
    test::PrivateBus bus;
    test::TempDir dir;
    std::unique_ptr<KoriDocument> document = test::readFileDocument(dir, QStringLiteral("note.txt"), "the dog and the dog\n");
    ServedDocument served(bus, *document);
    ASSERT_TRUE(served.serving());
    DBusEventTransport& transport = served.transport;

    const QString script = dir.write(QStringLiteral("edit.zsh"), R"(doc='{"obj":{"want":"docu","form":"name","seld":"note.txt"}}'
sel='{"obj":{"want":"prop","form":"prop","seld":{"type":"sele"},"from":'$doc'}}'
korimado-event cEd1 RPlc "$doc" tRgt=dog nWst=cat 'aLl =true' || exit $?
korimado-event core setd '{"obj":{"want":"prop","form":"prop","seld":{"type":"cLin"},"from":'$sel'}}' 'data=[1,1]' || exit $?
korimado-event cEd1 CGcs "$sel" 'cStp={"enum":"cCup"}' || exit $?
korimado-event core getd '{"obj":{"want":"prop","form":"prop","seld":{"type":"pLen"},"from":'$doc'}}'
)");
    const auto run = [&] {
        QProcess process;
        // What the script runner gives a script, and the bus the program is on.
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(KORIMADO_EVENT_PATH)).path()
                                                       + QStringLiteral(":/usr/bin:/bin"));
        environment.insert(QStringLiteral("HOME"), dir.path());
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("/usr/bin/zsh"), {script});
        EXPECT_TRUE(process.waitForStarted(5000));
        EXPECT_TRUE(test::spinUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
        return std::pair(process.exitCode(), QString::fromUtf8(process.readAll()));
    };

    auto [status, output] = run();
    EXPECT_EQ(status, 0) << output.toStdString();
    EXPECT_EQ(output, QStringLiteral("2\n20\n"));  // the count replaced, then the length
    EXPECT_EQ(document->string(), QStringLiteral("THE CAT AND THE CAT\n"));
    // Both edits undo, one step each.
    EditorTextView& editor = *static_cast<EditorWindowController&>(*document->windowControllers().front()).textView();
    editor.undoManager()->undo();
    EXPECT_EQ(document->string(), QStringLiteral("the cat and the cat\n"));

    transport.setUidLookup([](const QString&) -> std::optional<uint> { return ::getuid() + 1; });
    std::tie(status, output) = run();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(document->string(), QStringLiteral("the cat and the cat\n"));
}

// Contents set and read back through the client stay byte for byte what they were: CRLF breaks,
// emoji, Japanese, escapes; a large text comes back whole through the reply's file.
TEST(ScriptedDocumentBus, ContentsTravelByteExactBothWays)
{
    test::PrivateBus bus;
    test::TempDir dir;
    std::unique_ptr<KoriDocument> document = test::readFileDocument(dir, QStringLiteral("crlf.txt"), "x\r\ny\r\n");
    ServedDocument served(bus, *document);
    ASSERT_TRUE(served.serving());

    const auto client = [&](const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KORIMADO_EVENT_PATH), arguments);
        EXPECT_TRUE(process.waitForStarted(5000));
        EXPECT_TRUE(test::spinUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    };
    const QString contents = QStringLiteral(R"({"obj":{"want":"prop","form":"prop","seld":{"type":"PCnt"},)"
                                            R"("from":{"obj":{"want":"docu","form":"indx","seld":1}}}})");

    // Japanese of every plane the editor meets, a surrogate pair, a joiner sequence, a BOM inside.
    const QString text = QStringLiteral("一行目：漢字ｶﾅかな\r\n😀👨‍👩‍👧 \"引用\" \\ タブ\tここ\r\n\uFEFF𠮷野家\r\n");
    client({QStringLiteral("core"), QStringLiteral("setd"), contents, QStringLiteral("data=") + text});
    EXPECT_EQ(document->string(), text);
    EXPECT_EQ(client({QStringLiteral("core"), QStringLiteral("getd"), contents}),
              QByteArray("\"一行目：漢字ｶﾅかな\\r\\n😀👨‍👩‍👧 \\\"引用\\\" \\\\ タブ\\tここ\\r\\n\xEF\xBB\xBF𠮷野家\\r\\n\"\n"));

    // Larger than the bus takes in one message at a time; read back through the mapped file.
    QString large;
    for (int i = 0; i < 40000; ++i)
        large += QStringLiteral("%1 行目 😀 émoji\r\n").arg(i);
    document->storage().setString(large);
    const QByteArray printed = client({QStringLiteral("core"), QStringLiteral("getd"), contents});
    QByteArray expected = large.toUtf8().replace("\r\n", "\\r\\n");
    EXPECT_EQ(printed.size(), expected.size() + 3);
    EXPECT_TRUE(printed == "\"" + expected + "\"\n");
}

TEST(ScriptedDocumentBus, ASecondStartHandsItsFileToTheRunningProgramAndEnds)
{
    test::PrivateBus bus;
    test::TempDir dir;
    const QString first = dir.write(QStringLiteral("first.txt"), "one\n");
    const QString second = dir.write(QStringLiteral("second.txt"), "two\n");
    RunningProgram running(bus, dir);
    ASSERT_TRUE(running.start(first));
    const QProcessEnvironment& environment = running.environment();
    const auto countDocuments = [&] { return running.countDocuments(); };

    QProcess later;
    later.setProcessEnvironment(environment);
    later.start(QStringLiteral(KORIMADO_PROGRAM_PATH), {second});
    ASSERT_TRUE(later.waitForStarted(10000));
    EXPECT_TRUE(test::spinUntil([&] { return later.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(test::spinUntil([&] { return countDocuments() == QLatin1String("2"); }, 30000));
}

// A self-test start always runs on its own: beside a running program it neither takes the
// program's name nor hands its files over.
TEST(ScriptedDocumentBus, ASelfTestStartNeverHandsOver)
{
    test::PrivateBus bus;
    test::TempDir dir;
    RunningProgram running(bus, dir);
    ASSERT_TRUE(running.start(dir.write(QStringLiteral("first.txt"), "one\n")));

    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    {
        ApplicationEventService selfTest(true);
        EXPECT_TRUE(selfTest.isServing());
        EXPECT_FALSE(selfTest.ownsFirstInstanceName());
        EXPECT_EQ(selfTest.handOver({dir.write(QStringLiteral("second.txt"), "two\n")}), ApplicationEventService::HandOver::none);
        EXPECT_EQ(selfTest.handOver({}), ApplicationEventService::HandOver::none);
    }
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    test::spinFor(300);
    EXPECT_EQ(running.countDocuments(), QStringLiteral("1"));
}

// The road of a script run from the window's runner: only PATH, HOME and LANG reach it, so the
// client finds the program's bus through the address the program left at start-up. The test runs
// itself again under dbus-run-session, for a session bus such as a desktop gives.
TEST(ScriptedDocumentBus, ARunnerScriptFindsTheProgramThroughTheAddressItLeft)
{
    if (!qEnvironmentVariableIsSet("KORIMADO_TEST_SESSION_BUS")) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KORIMADO_TEST_SESSION_BUS"), QStringLiteral("1"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("dbus-run-session"),
                    {QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                     QStringLiteral("--gtest_filter=ScriptedDocumentBus.ARunnerScriptFindsTheProgramThroughTheAddressItLeft")});
        ASSERT_TRUE(child.waitForStarted(5000));
        EXPECT_TRUE(test::spinUntil([&] { return child.state() == QProcess::NotRunning; }, 120000));
        const QByteArray output = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }

    test::TempDir dir;
    std::unique_ptr<KoriDocument> document = test::readFileDocument(dir, QStringLiteral("note.txt"), "the dog and the dog\n");
    test::openDocumentWindow(*document);
    const auto dictionary = ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")));
    ASSERT_TRUE(dictionary);
    ScriptEventDispatcher dispatcher(*dictionary, [&] { return std::vector<KoriDocument*>{document.get()}; });
    dispatcher.install(AppleEventManager::shared());
    auto service = std::make_unique<ApplicationEventService>(false);
    ASSERT_TRUE(service->ownsFirstInstanceName());
    ASSERT_TRUE(QFileInfo::exists(EventBusLocation::addressFilePath()));

    const QString script = dir.write(QStringLiteral("edit.zsh"), (R"(client=')" + QByteArray(KORIMADO_EVENT_PATH) + R"('
doc='{"obj":{"want":"docu","form":"name","seld":"note.txt"}}'
sel='{"obj":{"want":"prop","form":"prop","seld":{"type":"sele"},"from":'$doc'}}'
printf '%s\n' "bus=${DBUS_SESSION_BUS_ADDRESS-none}"
$client cEd1 RPlc "$doc" tRgt=dog nWst=cat 'aLl =true' || exit $?
$client core setd '{"obj":{"want":"prop","form":"prop","seld":{"type":"cLin"},"from":'$sel'}}' 'data=[1,1]' || exit $?
$client cEd1 CGcs "$sel" 'cStp={"enum":"cCup"}' || exit $?
)"));
    WorkspaceScriptConsoleController runner(dir.path());
    runner.selectScript(script);
    runner.runScript();
    EXPECT_TRUE(test::spinUntil([&] { return runner.process() == nullptr; }, 60000));
    const QString output = runner.output()->text();
    EXPECT_EQ(output, QStringLiteral("実行中…\nbus=none\n2\n\n終了コード：0\n"));
    EXPECT_EQ(document->string(), QStringLiteral("THE CAT AND THE CAT\n"));

    // The address goes with the program.
    service.reset();
    EXPECT_FALSE(QFileInfo::exists(EventBusLocation::addressFilePath()));
    dispatcher.uninstall();
}

namespace {

// The client as a script started with a bare environment runs it: HOME, PATH and what is given.
QString clientSays(const QString& home, const QStringList& arguments, const QMap<QString, QString>& variables = {})
{
    QProcess client;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    for (auto it = variables.begin(); it != variables.end(); ++it)
        environment.insert(it.key(), it.value());
    client.setProcessEnvironment(environment);
    client.start(QStringLiteral(KORIMADO_EVENT_PATH), arguments);
    client.waitForFinished(30000);
    return QString::fromUtf8(client.readAllStandardOutput() + client.readAllStandardError()).trimmed();
}

const QString frontName = QStringLiteral(
    R"({"obj":{"want":"prop","form":"prop","seld":{"type":"pnam"},"from":{"obj":{"want":"docu","form":"indx","seld":1}}}})");

QString fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

}  // namespace

// The program itself with three files, the last opened in front: "document 1" and a replace
// without a target through the client both mean that one.
TEST(ScriptedDocumentBus, DocumentOneIsTheFrontWindowOfTheRunningProgram)
{
    test::PrivateBus bus;
    test::TempDir dir;
    RunningProgram running(bus, dir);
    ASSERT_TRUE(running.start(dir.write(QStringLiteral("work.txt"), "one\n")));
    for (const char* name : {"second.txt", "third.txt"}) {
        QProcess later;
        later.setProcessEnvironment(running.environment());
        later.start(QStringLiteral(KORIMADO_PROGRAM_PATH), {dir.write(QString::fromLatin1(name), "one\n")});
        ASSERT_TRUE(later.waitForFinished(30000));
    }
    ASSERT_TRUE(test::spinUntil([&] { return running.countDocuments() == QLatin1String("3"); }, 30000));
    const QMap<QString, QString> onBus{{QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address()}};
    EXPECT_EQ(clientSays(dir.path(), {QStringLiteral("core"), QStringLiteral("getd"), frontName}, onBus),
              QStringLiteral("\"third.txt\""));
    EXPECT_EQ(clientSays(dir.path(), {QStringLiteral("cEd1"), QStringLiteral("RPlc"), QStringLiteral("tRgt=one"),
                                      QStringLiteral("nWst=ONE"), QStringLiteral("aLl =true")},
                         onBus),
              QStringLiteral("1"));
    const auto contentsOf = [&](const char* name) {
        return clientSays(dir.path(),
                          {QStringLiteral("core"), QStringLiteral("getd"),
                           QStringLiteral(R"({"obj":{"want":"prop","form":"prop","seld":{"type":"PCnt"},)"
                                          R"("from":{"obj":{"want":"docu","form":"name","seld":"%1"}}}})")
                               .arg(QString::fromLatin1(name))},
                          onBus);
    };
    EXPECT_EQ(contentsOf("third.txt"), QStringLiteral("\"ONE\\n\""));
    EXPECT_EQ(contentsOf("work.txt"), QStringLiteral("\"one\\n\""));
}

// Two programs of one user on two session buses: the later one leaves the earlier one's address
// file alone and says so; a script from a runner (which names its program's bus) drives its own
// program, a bare script the first; and the first stays reachable once the second has ended.
TEST(ScriptedDocumentBus, ASecondProgramOnAnotherBusNeverTakesTheFirstsAddressFile)
{
    test::PrivateBus firstBus;
    test::PrivateBus secondBus;
    test::TempDir home;
    test::TempDir other;
    const QString addressFile = home.file(QStringLiteral(".local/share/Korimado/bus-address"));
    RunningProgram first(firstBus, home);
    ASSERT_TRUE(first.start(home.write(QStringLiteral("first.txt"), "1\n")));
    ASSERT_TRUE(test::spinUntil([&] { return fileText(addressFile) == firstBus.address(); }, 10000));

    RunningProgram second(secondBus, other, home.path());
    ASSERT_TRUE(second.start(other.write(QStringLiteral("second.txt"), "2\n")));
    EXPECT_EQ(fileText(addressFile), firstBus.address());
    EXPECT_TRUE(test::spinUntil([&] { return second.standardError().contains(QStringLiteral("引き継ぎません")); }, 10000))
        << second.standardError().toStdString();
    EXPECT_EQ(second.standardError().count(QStringLiteral("引き継ぎません")), 1);

    const QStringList askFront{QStringLiteral("core"), QStringLiteral("getd"), frontName};
    const QString runnerVariable = QStringLiteral("KORIMADO_BUS_ADDRESS");
    EXPECT_EQ(clientSays(home.path(), askFront), QStringLiteral("\"first.txt\""));
    EXPECT_EQ(clientSays(home.path(), askFront, {{runnerVariable, secondBus.address()}}), QStringLiteral("\"second.txt\""));
    // The runner's variable comes before the session's own.
    EXPECT_EQ(clientSays(home.path(), askFront,
                         {{runnerVariable, secondBus.address()}, {QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), firstBus.address()}}),
              QStringLiteral("\"second.txt\""));

    second.end();
    EXPECT_EQ(fileText(addressFile), firstBus.address());
    EXPECT_EQ(clientSays(home.path(), askFront), QStringLiteral("\"first.txt\""));
}
