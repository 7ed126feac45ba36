// The program ended by a signal, as at shutdown or when its terminal closes: the edits made since
// the last autosave tick are in the autosave folder, and the file itself is untouched.
#include "app/ProgramProcess.h"

#include <QDirIterator>
#include <QFileInfo>

#include <csignal>

#include <signal.h>

using namespace korimado;

namespace {

const QString firstContents = QStringLiteral(R"({"obj":{"want":"prop","form":"prop","seld":{"type":"PCnt"},)"
                                             R"("from":{"obj":{"want":"docu","form":"indx","seld":1}}}})");

// Every file under the autosave folder that holds text.
QStringList autosavesHolding(const test::TempDir& dir, const QByteArray& text)
{
    QStringList found;
    QDirIterator files(dir.file(QStringLiteral("data/Korimado/Autosave")), QDir::Files | QDir::Hidden,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.endsWith(QLatin1String(".json")) && test::readFile(path).contains(text))
            found.append(path);
    }
    return found;
}

TEST(SessionEnd, TermAndHangUpWriteTheEditsSinceTheLastTickAndEnd)
{
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        test::PrivateBus bus;
        test::TempDir dir;
        test::ProgramProcess program(bus, dir);
        const QString note = dir.write(QStringLiteral("note.txt"), "before\n");
        QProcess& running = program.start({note});
        ASSERT_TRUE(test::spinUntil([&] { return program.countDocuments() == QLatin1String("1"); }, 30000));
        program.client({QStringLiteral("core"), QStringLiteral("setd"), firstContents, QStringLiteral("data=typed after the tick\n")});
        ASSERT_EQ(program.client({QStringLiteral("core"), QStringLiteral("getd"), firstContents}),
                  QStringLiteral("\"typed after the tick\\n\""));

        ::kill(static_cast<pid_t>(running.processId()), signal);
        ASSERT_TRUE(test::finishes(running));
        EXPECT_EQ(running.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(running.exitCode(), 0);
        EXPECT_EQ(autosavesHolding(dir, "typed after the tick").size(), 1);
        EXPECT_EQ(test::readFile(note), QByteArray("before\n"));
    }
}

// With an alert's loop running the program cannot unwind (the alert would be answered with its
// first button); it ends on the spot, and still writes the edits and takes its bus address back.
TEST(SessionEnd, ATermUnderAnAlertWritesTheEditsAndEndsOnTheSpot)
{
    test::PrivateBus bus;
    test::TempDir dir;
    test::ProgramProcess program(bus, dir);
    const QString note = dir.write(QStringLiteral("note.txt"), "before\n");
    QProcess& running = program.start({note, dir.file(QStringLiteral("missing.txt"))});
    ASSERT_TRUE(test::spinUntil([&] { return program.countDocuments() == QLatin1String("1"); }, 30000));
    const QString address = dir.file(QStringLiteral(".local/share/Korimado/bus-address"));
    ASSERT_TRUE(QFileInfo::exists(address));
    // The missing file's alert is up by now: the events are served inside its loop.
    test::spinFor(500);
    program.client({QStringLiteral("core"), QStringLiteral("setd"), firstContents, QStringLiteral("data=typed under the alert\n")});

    ::kill(static_cast<pid_t>(running.processId()), SIGTERM);
    ASSERT_TRUE(test::finishes(running));
    EXPECT_EQ(running.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(running.exitCode(), 0);
    EXPECT_EQ(autosavesHolding(dir, "typed under the alert").size(), 1);
    EXPECT_EQ(test::readFile(note), QByteArray("before\n"));
    EXPECT_FALSE(QFileInfo::exists(address));
}

}  // namespace
