// A zsh script changes a document with korimado-event over a session bus of its own, as a user's
// script would: the events go through the transport, the dispatcher and the edit door.
#include "editor/EditorTextView.h"
#include "platform/events/AppleEventManager.h"
#include "platform/events/DBusEventTransport.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UndoManager.h"
#include "scripting/PrivateBus.h"
#include "scripting/dictionary/ScriptEventDispatcher.h"
#include "support/WindowFixture.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

using namespace korimado;

TEST(ScriptedDocumentBus, AZshScriptReplacesTextAndChangesCaseAndAnotherUserIsRefused)
{
    test::PrivateBus bus;
    test::TempDir dir;
    std::unique_ptr<KoriDocument> document = test::readFileDocument(dir, QStringLiteral("note.txt"), "the dog and the dog\n");
    test::openDocumentWindow(*document);
    AppleEventManager manager;
    const auto dictionary = ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")));
    ASSERT_TRUE(dictionary);
    ScriptEventDispatcher dispatcher(*dictionary, [&] { return std::vector<KoriDocument*>{document.get()}; });
    dispatcher.install(manager);
    QDBusConnection server = bus.connect(QStringLiteral("server"));
    DBusEventTransport transport(server, manager);
    ASSERT_TRUE(transport.start(true));

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

TEST(ScriptedDocumentBus, ASecondStartHandsItsFileToTheRunningProgramAndEnds)
{
    test::PrivateBus bus;
    test::TempDir dir;
    const QString first = dir.write(QStringLiteral("first.txt"), "one\n");
    const QString second = dir.write(QStringLiteral("second.txt"), "two\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    environment.insert(QStringLiteral("HOME"), dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess running;
    running.setProcessEnvironment(environment);
    running.start(QStringLiteral(KORIMADO_PROGRAM_PATH), {first});
    ASSERT_TRUE(running.waitForStarted(10000));
    const auto countDocuments = [&] {
        QProcess client;
        client.setProcessEnvironment(environment);
        client.start(QStringLiteral(KORIMADO_EVENT_PATH), {QStringLiteral("core"), QStringLiteral("cnte"), QStringLiteral("kocl={\"type\":\"docu\"}")});
        client.waitForFinished(10000);
        return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
    };
    ASSERT_TRUE(test::spinUntil([&] { return countDocuments() == QLatin1String("1"); }, 30000));

    QProcess later;
    later.setProcessEnvironment(environment);
    later.start(QStringLiteral(KORIMADO_PROGRAM_PATH), {second});
    ASSERT_TRUE(later.waitForStarted(10000));
    EXPECT_TRUE(test::spinUntil([&] { return later.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(test::spinUntil([&] { return countDocuments() == QLatin1String("2"); }, 30000));

    running.terminate();
    if (!running.waitForFinished(10000))
        running.kill();
    running.waitForFinished(5000);
}
