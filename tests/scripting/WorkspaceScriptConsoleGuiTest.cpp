#include "platform/ui/FilePanels.h"
#include "platform/ui/MiddleTruncatingLabel.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "scripting/console/ScriptOutputView.h"
#include "scripting/console/WorkspaceScriptConsoleController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <csignal>

using namespace korimado;

namespace {

using Runner = WorkspaceScriptConsoleController;

class RunnerTest : public ::testing::Test {
protected:
    QString script(const QString& name, const QByteArray& body) { return dir.write(name, body); }

    // Runs the chosen script to its end and gives the output.
    QString run(Runner& runner)
    {
        runner.runScript();
        EXPECT_TRUE(test::spinUntil([&] { return runner.process() == nullptr; }, 30000));
        return runner.output()->text();
    }

    test::TempDir dir;
};

}  // namespace

TEST_F(RunnerTest, ChoosingNeverRunsAndEnablesRun)
{
    Runner runner(std::nullopt);
    EXPECT_EQ(runner.window()->windowTitle(), QStringLiteral("スクリプト実行コンソール"));
    EXPECT_EQ(runner.path()->text(), Runner::noScriptText);
    EXPECT_EQ(runner.output()->text(), Runner::initialOutput);
    EXPECT_FALSE(runner.runButton()->isEnabled());
    EXPECT_FALSE(runner.stopButton()->isEnabled());

    const QString marker = dir.file(QStringLiteral("ran"));
    const QString path = script(QStringLiteral("touch.sh"), ("touch '" + marker + "'\n").toUtf8());
    ScriptedFilePanels panels;
    panels.enqueueOpen({true, {path}, -1});
    FilePanels::setShared(&panels);
    runner.chooseScript();
    FilePanels::setShared(nullptr);
    ASSERT_EQ(panels.openPanels().size(), 1);
    EXPECT_EQ(panels.openPanels().front().message,
              QStringLiteral("シェルスクリプトか実行ファイルを選んでください。選択しただけでは実行しません。"));
    for (const QString& filter : panels.openPanels().front().nameFilters)
        EXPECT_FALSE(filter.contains(QStringLiteral("applescript")) || filter.contains(QStringLiteral("scpt"))) << filter.toStdString();
    EXPECT_EQ(runner.path()->text(), path);
    EXPECT_TRUE(runner.runButton()->isEnabled());
    test::spinFor(100);
    EXPECT_FALSE(QFileInfo::exists(marker));
    run(runner);
    EXPECT_TRUE(QFileInfo::exists(marker));
}

// An executable runs as itself, with the interpreter its first line names; anything else with sh.
TEST_F(RunnerTest, RunsAnExecutableItselfAndAnythingElseWithTheShell)
{
    const QString plain = script(QStringLiteral("plain.sh"), "echo plain\n");
    EXPECT_EQ(Runner::command(plain), QStringList({QStringLiteral("/bin/sh"), plain}));
    const QString own = script(QStringLiteral("own"), "#!/bin/sh\necho \"own $0\"\n");
    ASSERT_TRUE(QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(Runner::command(own), QStringList{own});
    Runner runner(std::nullopt);
    runner.selectScript(own);
    EXPECT_EQ(run(runner), QStringLiteral("実行中…\nown ") + own + QStringLiteral("\n\n終了コード：0\n"));
    runner.selectScript(plain);
    EXPECT_EQ(run(runner), QStringLiteral("実行中…\nplain\n\n終了コード：0\n"));
}

TEST_F(RunnerTest, MergesBothStreamsAndEndsWithTheExitStatus)
{
    Runner runner(std::nullopt);
    runner.selectScript(script(QStringLiteral("streams.sh"), "echo out1\necho err1 >&2\necho out2\nexit 3\n"));
    const QString output = run(runner);
    EXPECT_TRUE(output.startsWith(QStringLiteral("実行中…\n"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("out1\n")) && output.contains(QStringLiteral("err1\n"))
                && output.contains(QStringLiteral("out2\n")));
    EXPECT_LT(output.indexOf(QStringLiteral("out1")), output.indexOf(QStringLiteral("out2")));
    EXPECT_TRUE(output.endsWith(QStringLiteral("\n終了コード：3\n"))) << output.toStdString();
    EXPECT_TRUE(runner.runButton()->isEnabled());
    EXPECT_FALSE(runner.stopButton()->isEnabled());
}

TEST_F(RunnerTest, ShowsTheFirstMebibyteTheNoticeOnceAndTheExitLineLast)
{
    Runner runner(std::nullopt);
    // 2 MiB in one stream, the last bytes written just before the script ends.
    runner.selectScript(script(QStringLiteral("big.sh"), "head -c 2097152 /dev/zero | tr '\\0' a\nprintf tail\n"));
    const QString output = run(runner);
    EXPECT_EQ(runner.outputBytes(), Runner::maximumOutputBytes);
    const QString start = QStringLiteral("実行中…\n");
    const QString expected = start + QString(Runner::maximumOutputBytes, QLatin1Char('a')) + Runner::capNotice
                             + QStringLiteral("\n終了コード：0\n");
    EXPECT_EQ(output.size(), expected.size());
    EXPECT_TRUE(output == expected);
}

TEST_F(RunnerTest, JapaneseSplitBetweenReadsStaysWhole)
{
    Runner runner(std::nullopt);
    // "あい" with the first character's bytes written in two pieces, apart in time; then output
    // left in the pipe at the very end.
    runner.selectScript(script(QStringLiteral("split.sh"),
                               "printf '\\343\\201'\nsleep 0.3\nprintf '\\202\\343\\201\\204\\n'\nprintf '\\377\\n'\n"
                               "printf 最後\n"));
    const QString output = run(runner);
    EXPECT_TRUE(output.contains(QStringLiteral("あい\n"))) << output.toStdString();
    // Bytes that are really invalid still show as U+FFFD.
    EXPECT_TRUE(output.contains(QStringLiteral("\uFFFD\n")));
    EXPECT_TRUE(output.endsWith(QStringLiteral("最後\n終了コード：0\n"))) << output.toStdString();
}

TEST_F(RunnerTest, GivesTheScriptThreeVariablesTheProgramsBusAndItsFolder)
{
    qputenv("KORIMADO_RUNNER_LEAK", "leaked");
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const bool hadBus = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/korimado-test-bus");
    const QString folder = dir.file(QStringLiteral("docs"));
    QDir().mkpath(folder);
    const QString path = script(QStringLiteral("scripts/env.sh"),
                                "printf '%s\\n' \"PATH=$PATH\" \"HOME=$HOME\" \"LANG=$LANG\"\n"
                                "printf '%s\\n' \"LEAK=${KORIMADO_RUNNER_LEAK-none}\" \"PWD=$(pwd -P)\"\n"
                                "printf '%s\\n' \"BUS=${KORIMADO_BUS_ADDRESS-none} ${DBUS_SESSION_BUS_ADDRESS-none}\"\n"
                                "env | cut -d= -f1 | sort | tr '\\n' ' '\n");
    const QString lang = qEnvironmentVariable("LANG").isEmpty() ? QStringLiteral("ja_JP.UTF-8") : qEnvironmentVariable("LANG");

    Runner withFolder(folder);
    withFolder.selectScript(path);
    QString output = run(withFolder);
    EXPECT_TRUE(output.contains(QStringLiteral("PATH=/usr/bin:/bin:/usr/sbin:/sbin\n"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("HOME=") + QDir::homePath() + QLatin1Char('\n')));
    EXPECT_TRUE(output.contains(QStringLiteral("LANG=") + lang + QLatin1Char('\n')));
    EXPECT_TRUE(output.contains(QStringLiteral("LEAK=none\n")));
    EXPECT_TRUE(output.contains(QStringLiteral("PWD=") + QFileInfo(folder).canonicalFilePath() + QLatin1Char('\n')));
    // The program's bus for korimado-event, not as the session's own variable.
    EXPECT_TRUE(output.contains(QStringLiteral("BUS=unix:path=/run/korimado-test-bus none\n"))) << output.toStdString();
    // Only what the shell itself adds beside the three and the bus.
    const QString names = output.section(QLatin1Char('\n'), 7, 7);
    for (const QString& name : names.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        EXPECT_TRUE(QStringList({"PATH", "HOME", "LANG", "KORIMADO_BUS_ADDRESS", "LOGNAME", "PWD", "OLDPWD", "SHLVL", "_"})
                        .contains(name))
            << name.toStdString();
    if (hadBus)
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    else
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");

    Runner withoutFolder(std::nullopt);
    withoutFolder.selectScript(path);
    output = run(withoutFolder);
    EXPECT_TRUE(output.contains(QStringLiteral("PWD=") + QFileInfo(path).canonicalPath() + QLatin1Char('\n'))) << output.toStdString();
    qunsetenv("KORIMADO_RUNNER_LEAK");
}

// What keeps a script from starting is named, and a script a signal ends says which signal.
TEST_F(RunnerTest, SaysWhatIsMissingAndWhichSignalEndedTheScript)
{
    const QString gone = dir.file(QStringLiteral("gone"));
    Runner runner(gone);
    runner.selectScript(script(QStringLiteral("hello.sh"), "echo hello\n"));
    runner.runScript();
    EXPECT_EQ(runner.process(), nullptr);
    EXPECT_EQ(runner.output()->text(), QStringLiteral("実行できませんでした。作業フォルダがありません：") + gone);
    EXPECT_TRUE(runner.runButton()->isEnabled());
    EXPECT_FALSE(runner.stopButton()->isEnabled());

    Runner removed(std::nullopt);
    const QString vanished = script(QStringLiteral("vanished.sh"), "echo\n");
    removed.selectScript(vanished);
    QFile::remove(vanished);
    removed.runScript();
    EXPECT_EQ(removed.output()->text(), QStringLiteral("実行できませんでした。スクリプトがありません：") + vanished);

    Runner killed(std::nullopt);
    killed.selectScript(script(QStringLiteral("killed.sh"), "echo before\nkill -9 $$\n"));
    EXPECT_EQ(run(killed), QStringLiteral("実行中…\nbefore\n\nシグナル 9 で終了\n"));
    EXPECT_EQ(Runner::endLine(3, QProcess::NormalExit), QStringLiteral("\n終了コード：3\n"));
}

TEST_F(RunnerTest, ReturnRunsOnceAndStopEndsTheScriptWithWhatItStarted)
{
    Runner runner(std::nullopt);
    const QString pidFile = dir.file(QStringLiteral("child.pid"));
    runner.selectScript(script(QStringLiteral("long.sh"), ("sleep 60 &\necho $! > '" + pidFile + "'\nwait\n").toUtf8()));
    runner.showWindow();
    runner.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(runner.window()));
    QTest::keyClick(runner.window(), Qt::Key_Return);
    ASSERT_NE(runner.process(), nullptr);
    QProcess* first = runner.process();
    QTest::keyClick(runner.window(), Qt::Key_Return);
    EXPECT_EQ(runner.process(), first);
    EXPECT_FALSE(runner.runButton()->isEnabled());
    EXPECT_TRUE(runner.stopButton()->isEnabled());
    ASSERT_TRUE(test::spinUntil([&] { return QFileInfo(pidFile).size() > 0; }, 10000));
    const pid_t child = pid_t(test::readFile(pidFile).trimmed().toLongLong());

    runner.stopScript();
    ASSERT_TRUE(test::spinUntil([&] { return runner.process() == nullptr; }, 10000));
    EXPECT_TRUE(runner.output()->text().contains(QStringLiteral("\nシグナル 15 で終了\n")));
    EXPECT_TRUE(runner.runButton()->isEnabled());
    // The script's own child went with it.
    EXPECT_TRUE(test::spinUntil([&] { return ::kill(child, 0) != 0; }, 5000));
}

TEST_F(RunnerTest, AMebibyteOnOneLineIsShownWithoutStalling)
{
    Runner runner(std::nullopt);
    runner.selectScript(script(QStringLiteral("line.sh"), "head -c 1048000 /dev/zero | tr '\\0' x\necho\n"));
    runner.showWindow();
    runner.window()->resize(700, 460);
    const QString output = run(runner);
    EXPECT_TRUE(output.contains(QString(1048000, QLatin1Char('x'))));
    runner.output()->scrollToEnd();
    EXPECT_FALSE(runner.window()->grab().isNull());
}
