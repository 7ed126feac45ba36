#include "scripting/console/ScriptOutputView.h"
#include "scripting/guide/ScriptingGuide.h"
#include "scripting/guide/ScriptingTerminology.h"
#include "support/TestSupport.h"

#include "EventCommandLine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QWidget>

using namespace korimado;

TEST(ScriptingGuide, ShowsTheGuideAndTheListingInOneWindow)
{
    ScriptingGuide& guide = ScriptingGuide::shared();
    guide.showGuide();
    EXPECT_EQ(guide.window()->windowTitle(), QStringLiteral("スクリプトについて"));
    EXPECT_EQ(guide.text()->text(), ScriptingGuide::guideText());
    EXPECT_TRUE(guide.text()->text().contains(QStringLiteral("正規表現のキャプチャ")));
    EXPECT_TRUE(guide.text()->text().startsWith(QStringLiteral("Korimadoをシェルから操作する\n\n")));
    EXPECT_FALSE(guide.text()->isEditable());
    EXPECT_TRUE(guide.window()->isVisible());

    guide.showDictionary();
    EXPECT_EQ(guide.window()->windowTitle(), QStringLiteral("用語辞書"));
    const QString listing = guide.text()->text();
    EXPECT_TRUE(listing.startsWith(QStringLiteral("Korimado 用語辞書\n"))) << listing.left(200).toStdString();
    // Every command, parameter, class, property and enumerator with its code.
    for (const char* expected : {"\n\nreplace [cEd1 RPlc]　対象：document\n  for [tRgt] : text（必須）\n  to [nWst] : text（必須）\n  RE [rEex] : boolean（省略可）",
                                 "\n  all [aLl ] : boolean（省略可）", "  戻り値：integer",
                                 "\n\nnormalize unicode [cEd1 UNml]　対象：text selection\n",
                                 "\n\nwrite to console [cEd1 cnsl]　対象：text\n", "\n\nquit [aevt quit]　対象：なし\n",
                                 "\n  in [rnGe] : integerのリスト（省略可）\n  戻り値：text", "\n\nクラスとプロパティ\n",
                                 "\ndocument [docu]\n", "\n  contents [PCnt] : text（読取・設定）\n",
                                 "\n  encoding [fenc] : text（読取専用）\n", "\ntext selection [cTxs]\n",
                                 "\n  range [cRng] : integerのリスト（読取・設定）", "\ncase type [cCtp]\n  upper [cCup]\n"}) {
        EXPECT_TRUE(listing.contains(QString::fromUtf8(expected))) << expected;
    }
    guide.window()->close();
}

// The guide speaks of this system only, and its examples run as written: a shell runs them with a
// stand-in client that hands each call to the client's own parser.
TEST(ScriptingGuide, ExamplesRunAsWrittenFromAShell)
{
    const QString guide = ScriptingGuide::guideText();
    for (const char* foreign : {"AppleScript", "Apple", "macOS", "tell application", "スクリプトエディタ", "osascript"})
        EXPECT_FALSE(guide.contains(QString::fromUtf8(foreign))) << foreign;

    QStringList script;
    for (const QString& line : guide.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("korimado-event ")) || line.startsWith(QStringLiteral("doc='"))
            || line.startsWith(QStringLiteral("sel='")))
            script.append(line);
    ASSERT_GE(script.size(), 8);
    test::TempDir dir;
    dir.write(QStringLiteral("本文.txt"), "新しい本文\n");
    // A stand-in client on the PATH: each call's arguments, NUL after each and an empty one after the call.
    const QString stub = dir.write(QStringLiteral("bin/korimado-event"),
                                   "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done\nprintf '\\0'\n");
    ASSERT_TRUE(QFile::setPermissions(stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString body = script.join(QLatin1Char('\n')) + QLatin1Char('\n');
    // The file the examples name is read where the shell ran them.
    struct Back {
        QString folder = QDir::currentPath();
        ~Back() { QDir::setCurrent(folder); }
    } back;
    QDir::setCurrent(dir.path());
    for (const QString& shell : {QStringLiteral("/bin/sh"), QStringLiteral("/bin/bash"), QStringLiteral("/usr/bin/zsh")}) {
        if (!QFileInfo(shell).isExecutable())
            continue;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), QFileInfo(stub).path() + QStringLiteral(":/usr/bin:/bin"));
        process.setProcessEnvironment(environment);
        process.start(shell, {QStringLiteral("-c"), body});
        ASSERT_TRUE(process.waitForFinished(10000)) << shell.toStdString();
        EXPECT_EQ(process.exitCode(), 0) << shell.toStdString() << process.readAllStandardError().toStdString();
        const QByteArray out = process.readAllStandardOutput();
        std::vector<std::string> arguments;
        int calls = 0;
        for (qsizetype from = 0; from < out.size();) {
            const qsizetype nul = out.indexOf('\0', from);
            ASSERT_GE(nul, 0);
            std::string argument = out.mid(from, nul - from).toStdString();
            from = nul + 1;
            if (!argument.empty()) {
                arguments.push_back(std::move(argument));
                continue;
            }
            const auto parsed = wire::EventCommandLine::parse(arguments);
            const std::string* error = std::get_if<std::string>(&parsed);
            EXPECT_FALSE(error) << shell.toStdString() << ": " << (error ? *error : std::string());
            arguments.clear();
            ++calls;
        }
        EXPECT_EQ(calls, script.size() - 2) << shell.toStdString();
    }
}

TEST(ScriptingTerminology, ListsEveryTermWithItsCodesAndDefaults)
{
    const char* xml = R"(<?xml version="1.0"?>
<dictionary>
  <suite name="A" code="aaaa">
    <class name="thing" code="tHng"><property name="alpha" code="aLph" access="rw"/></class>
    <command name="plain" code="aaaaPlan"><direct-parameter type="text"/></command>
    <command name="bare" code="aaaaBare">
      <parameter name="untyped" code="unTp"/>
      <parameter name="said no" code="sdNo" type="boolean" optional="no"/>
      <result/>
    </command>
  </suite>
  <suite name="B" code="bbbb">
    <class-extension extends="thing"><property name="beta" code="bEta" type="text" access="r"/><property name="gamma" code="gAmm"/></class-extension>
    <class name="other" code="oThr"><property name="delta" code="dElt" access="w"/></class>
    <enumeration name="kinds" code="kNds"><enumerator name="one" code="oNe "/></enumeration>
  </suite>
</dictionary>)";
    const std::optional<QString> listing = ScriptingTerminology::listing(QByteArray(xml));
    ASSERT_TRUE(listing);
    const QString afterHeader = listing->mid(listing->indexOf(QStringLiteral("\nコマンド\n")));
    EXPECT_EQ(afterHeader, QStringLiteral("\nコマンド\n"
                                          "\nplain [aaaa Plan]　対象：text\n"
                                          "\nbare [aaaa Bare]　対象：なし\n  untyped [unTp] : integerのリスト（必須）\n  said no [sdNo] : boolean（必須）\n"
                                          "\nクラスとプロパティ\n"
                                          "\nthing [tHng]\n  alpha [aLph] : integerのリスト（読取・設定）\n"
                                          "\nthing [tHng]\n  beta [bEta] : text（読取専用）\n  gamma [gAmm] : integerのリスト（読取・設定）\n"
                                          "\nother [oThr]\n  delta [dElt] : integerのリスト（読取・設定）\n"
                                          "\n列挙\n\nkinds [kNds]\n  one [oNe ]"));
    EXPECT_FALSE(ScriptingTerminology::listing(QByteArray("<dictionary><suite>")));
    // An entity is never expanded from outside.
    const std::optional<QString> guarded = ScriptingTerminology::listing(QByteArray(
        R"(<!DOCTYPE d [<!ENTITY x SYSTEM "file:///etc/passwd">]><dictionary><suite><command name="&x;" code="aaaaBbbb"/></suite></dictionary>)"));
    if (guarded) {
        EXPECT_FALSE(guarded->contains(QStringLiteral("root:")));
    }
}

// Like the other tool windows it closes with Escape and with Ctrl+W, wherever its focus is.
TEST(ScriptingGuide, ClosesWithEscapeAndControlW)
{
    ScriptingGuide& guide = ScriptingGuide::shared();
    guide.showGuide();
    ASSERT_TRUE(guide.window()->isVisible());
    QTest::keyClick(guide.text(), Qt::Key_Escape);
    EXPECT_FALSE(guide.window()->isVisible());

    guide.showDictionary();
    guide.window()->activateWindow();
    if (!QTest::qWaitForWindowActive(guide.window())) {
        guide.window()->close();
        GTEST_SKIP() << "this platform does not activate windows";
    }
    QTest::keyClick(guide.text(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(guide.window()->isVisible());
}
