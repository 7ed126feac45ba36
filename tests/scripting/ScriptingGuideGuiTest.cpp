#include "scripting/window/ScriptOutputView.h"
#include "scripting/window/ScriptingGuide.h"
#include "scripting/window/ScriptingTerminology.h"

#include <gtest/gtest.h>

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
    EXPECT_TRUE(guide.text()->text().startsWith(QStringLiteral("KorimadoをAppleScriptで操作する\n\n")));
    EXPECT_FALSE(guide.text()->isEditable());
    EXPECT_TRUE(guide.window()->isVisible());

    guide.showDictionary();
    EXPECT_EQ(guide.window()->windowTitle(), QStringLiteral("AppleScript用語辞書"));
    const QString listing = guide.text()->text();
    EXPECT_TRUE(listing.startsWith(QStringLiteral("Korimado AppleScript用語辞書\nこの一覧は同梱のKorimado.sdefから作成しています。\n"
                                                  "標準のopen、save、close、documentsなども利用できます。\n\nコマンド\n")));
    for (const char* expected : {"\n\nreplace　対象：document\n  for : text（必須）\n  to : text（必須）\n  RE : boolean（省略可）",
                                 "\n  all : boolean（省略可）", "  戻り値：integer", "\n\nnormalize unicode　対象：text selection\n",
                                 "\n\nwrite to console　対象：text\n", "\n\nquit　対象：なし\n",
                                 "\n  in : integerのリスト（省略可）\n  戻り値：text", "\n\n書類のプロパティ\n",
                                 "\ncontents（読取・設定）\n", "\nencoding（読取専用）\n", "\nrange（読取・設定）"}) {
        EXPECT_TRUE(listing.contains(QString::fromUtf8(expected))) << expected;
    }
    guide.window()->close();
}

TEST(ScriptingTerminology, ListsEveryTermWithItsDefaults)
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
    <class-extension extends="thing"><property name="beta" code="bEta" access="r"/><property name="gamma" code="gAmm"/></class-extension>
    <class name="other" code="oThr"><property name="delta" code="dElt" access="w"/></class>
  </suite>
</dictionary>)";
    const std::optional<QString> listing = ScriptingTerminology::listing(QByteArray(xml));
    ASSERT_TRUE(listing);
    EXPECT_EQ(*listing, QStringLiteral("Korimado AppleScript用語辞書\nこの一覧は同梱のKorimado.sdefから作成しています。\n"
                                       "標準のopen、save、close、documentsなども利用できます。\n\nコマンド\n"
                                       "\nplain　対象：text\n"
                                       "\nbare　対象：なし\n  untyped : integerのリスト（必須）\n  said no : boolean（必須）\n"
                                       "\n書類のプロパティ\nalpha（読取・設定）\nbeta（読取専用）\ngamma（読取・設定）\ndelta（読取・設定）"));
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
