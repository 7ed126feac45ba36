// Starting the program from a command line: what it answers before it starts, and what a second
// start does beside a running program.
#include "app/ApplicationEventService.h"
#include "app/ProgramProcess.h"
#include "platform/events/AppleEvent.h"
#include "platform/events/EventBusLocation.h"
#include "platform/events/EventWireFormat.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDir>
#include <QTimer>

#include <fstream>

using namespace korimado;

namespace {

struct Finished {
    int code = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
};

// The program run without a display and with a bus address that leads nowhere: anything that
// needed either would fail.
Finished runAlone(const test::TempDir& dir, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + dir.file(QStringLiteral("no-bus")));
    environment.insert(QStringLiteral("HOME"), dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KORIMADO_PROGRAM_PATH), arguments);
    EXPECT_TRUE(process.waitForStarted(10000));
    EXPECT_TRUE(test::finishes(process));
    return {process.exitCode(), process.exitStatus(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(ProgramStart, HelpVersionAndUnknownOptionsAreAnsweredBeforeAnythingStarts)
{
    test::TempDir dir;
    const Finished help = runAlone(dir, {QStringLiteral("notes.txt"), QStringLiteral("--help")});
    EXPECT_EQ(help.status, QProcess::NormalExit);
    EXPECT_EQ(help.code, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("使い方: korimado"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--version")));

    const Finished version = runAlone(dir, {QStringLiteral("--version")});
    EXPECT_EQ(version.code, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QStringLiteral("Korimado " KORIMADO_VERSION "\n"));

    const Finished unknown = runAlone(dir, {QStringLiteral("a.txt"), QStringLiteral("--bogus")});
    EXPECT_EQ(unknown.status, QProcess::NormalExit);
    EXPECT_EQ(unknown.code, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("知らないオプションです: --bogus"))) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("korimado --help")));
    EXPECT_TRUE(unknown.out.isEmpty());

    // One of Qt's options without the value it takes.
    const Finished missingValue = runAlone(dir, {QStringLiteral("--platform")});
    EXPECT_EQ(missingValue.code, 2);
    EXPECT_TRUE(missingValue.err.contains(QStringLiteral("--platform の後に値がありません"))) << missingValue.err.toStdString();

    // Nothing was written for any of them.
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST(ProgramStart, ASecondStartWhoseFileCannotOpenEndsAndTheRunningProgramAnswersOn)
{
    test::PrivateBus bus;
    test::TempDir dir;
    test::ProgramProcess program(bus, dir);
    QProcess& running = program.start({dir.write(QStringLiteral("first.txt"), "one\n")});
    ASSERT_TRUE(test::spinUntil([&] { return program.countDocuments() == QLatin1String("1"); }, 30000));

    // The running program shows the alert; the start ends at once and opens nothing itself.
    QProcess& missing = program.start({dir.file(QStringLiteral("missing.txt"))});
    ASSERT_TRUE(test::finishes(missing));
    EXPECT_EQ(missing.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(missing.exitCode(), 0);

    // Behind that alert it still answers, and takes the files of the next start (they open once
    // the alert is answered).
    EXPECT_EQ(program.countDocuments(), QStringLiteral("1"));
    QProcess& next = program.start({dir.write(QStringLiteral("second.txt"), "two\n")});
    ASSERT_TRUE(test::finishes(next));
    EXPECT_EQ(next.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(next.exitCode(), 0);
    EXPECT_EQ(running.state(), QProcess::Running);
}

TEST(ProgramStart, FileNamesThatAreNotUtf8OpenFromTheCommandLineAndFromASecondStart)
{
    test::PrivateBus bus;
    test::TempDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    std::ofstream(std::string(folder.constData()) + "/name-\377\376.txt") << "first\n";
    std::ofstream(std::string(folder.constData()) + "/other-\377.txt") << "second\n";
    test::ProgramProcess program(bus, dir);

    // Named relative to the working folder, as a shell user names them.
    program.startWithRawArguments({QStringLiteral("name-\\377\\376.txt")});
    ASSERT_TRUE(test::spinUntil([&] { return program.countDocuments() == QLatin1String("1"); }, 30000));

    QProcess& later = program.startWithRawArguments({QStringLiteral("other-\\377.txt")});
    ASSERT_TRUE(test::finishes(later));
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(test::spinUntil([&] { return program.countDocuments() == QLatin1String("2"); }, 30000));
    const QString contents = QStringLiteral(R"({"obj":{"want":"prop","form":"prop","seld":{"type":"PCnt"},)"
                                            R"("from":{"obj":{"want":"docu","form":"indx","seld":%1}}}})");
    QStringList texts{program.client({QStringLiteral("core"), QStringLiteral("getd"), contents.arg(1)}),
                      program.client({QStringLiteral("core"), QStringLiteral("getd"), contents.arg(2)})};
    texts.sort();
    EXPECT_EQ(texts, QStringList({QStringLiteral("\"first\\n\""), QStringLiteral("\"second\\n\"")}));
}

// Stands for a running program on the bus: takes the name and keeps each call's answer back.
class HeldProgram : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.korimado.Korimado.AppleEvents")

public:
    explicit HeldProgram(QDBusConnection connection) : connection_(std::move(connection))
    {
        serving_ = connection_.registerObject(EventBusLocation::objectPath(), this, QDBusConnection::ExportAllSlots)
                   && connection_.interface()->registerService(EventBusLocation::serviceName()).value()
                          == QDBusConnectionInterface::ServiceRegistered;
    }
    bool serving() const { return serving_; }
    int calls() const { return calls_; }
    void answer()
    {
        connection_.send(held_.createReply(QVariant(EventWireFormat::encode(AppleEvent::reply()))));
    }

public Q_SLOTS:
    QByteArray Send(const QByteArray&)
    {
        ++calls_;
        setDelayedReply(true);
        held_ = message();
        return {};
    }

private:
    QDBusConnection connection_;
    QDBusMessage held_;
    int calls_ = 0;
    bool serving_ = false;
};

// The start's own connection is the process's session bus: it must lead to the test's bus.
class BusyProgramTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8()); }
    void TearDown() override { qunsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    test::PrivateBus bus;
    test::TempDir dir;
};

// Longer than a start used to wait before running on as a second program.
TEST_F(BusyProgramTest, AStartWaitsForAProgramThatAnswersLate)
{
    HeldProgram held(bus.connect(QStringLiteral("held")));
    ASSERT_TRUE(held.serving());
    ApplicationEventService start(false);
    ASSERT_TRUE(start.isServing());
    ASSERT_FALSE(start.ownsFirstInstanceName());
    QTimer::singleShot(ApplicationEventService::handOverNoticeMs + 1500, [&] { held.answer(); });
    EXPECT_EQ(start.handOver({dir.write(QStringLiteral("a.txt"), "a\n")}), ApplicationEventService::HandOver::handedOver);
    EXPECT_EQ(held.calls(), 1);
    EXPECT_FALSE(start.ownsFirstInstanceName());
}

TEST_F(BusyProgramTest, AStartWhoseProgramEndsWithoutAnsweringTakesTheNameAndRunsOnItsOwn)
{
    auto held = std::make_unique<HeldProgram>(bus.connect(QStringLiteral("held")));
    ASSERT_TRUE(held->serving());
    ApplicationEventService start(false);
    ASSERT_FALSE(start.ownsFirstInstanceName());
    QTimer::singleShot(500, [&] {
        held.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("held"));
    });
    EXPECT_EQ(start.handOver({dir.write(QStringLiteral("a.txt"), "a\n")}), ApplicationEventService::HandOver::none);
    EXPECT_TRUE(start.ownsFirstInstanceName());
    EXPECT_TRUE(QFileInfo::exists(EventBusLocation::addressFilePath()));
}

}  // namespace

#include "ProgramStartGuiTest.moc"
