#include "window/EditorWindowController.h"

#include "support/PageAnswers.h"
#include "support/TestSupport.h"
#include "support/WindowFixture.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UserDefaults.h"
#include "preview/PreviewWebView.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsKeys.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

using test::spinUntil;

using test::pageAnswers;

const QString bodyColours = QStringLiteral(
    "[getComputedStyle(document.body).backgroundColor, getComputedStyle(document.body).color].join(' ')");
const QString lightColours = QStringLiteral("rgb(255, 255, 255) rgb(32, 33, 36)");
const QString darkColours = QStringLiteral("rgb(32, 33, 36) rgb(232, 234, 237)");

class PreviewAppearanceTest : public ::testing::Test {
protected:
    void TearDown() override { appear(0); }

    static void appear(qint64 appearance)
    {
        UserDefaults defaults;
        defaults.setInteger(EditorSettingsKey::appearance, appearance);
        EditorPreferences::applyAppearance(defaults);
    }

    test::TempDir dir;
};

}  // namespace

TEST_F(PreviewAppearanceTest, AMarkdownPageFollowsTheAppearanceAndAnHTMLPageKeepsItsOwnColours)
{
    appear(2);
    auto markdown = test::readFileDocument(dir, QStringLiteral("notes.md"), "# 見出し\n\n本文\n");
    EditorWindowController& window = test::openDocumentWindow(*markdown);
    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }, 30000));
    EXPECT_TRUE(pageAnswers(window.web(), bodyColours, darkColours)) << "dark from the first page";

    // Switched while the window is open: the page is built again in the new colours.
    const qint64 shown = window.renderCount();
    appear(1);
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > shown; }, 30000));
    EXPECT_TRUE(pageAnswers(window.web(), bodyColours, lightColours));
    appear(2);
    EXPECT_TRUE(pageAnswers(window.web(), bodyColours, darkColours));

    // An HTML document's colours are the author's, whatever the appearance.
    auto html = test::readFileDocument(dir, QStringLiteral("page.html"),
                                       "<html><body style=\"background:#fafafa;color:#123456\"><p>x</p></body></html>");
    EditorWindowController& authored = test::openDocumentWindow(*html);
    authored.showWindow();
    ASSERT_TRUE(spinUntil([&] { return authored.renderCount() > 0; }, 30000));
    EXPECT_TRUE(pageAnswers(authored.web(), bodyColours, QStringLiteral("rgb(250, 250, 250) rgb(18, 52, 86)")));
}

TEST_F(PreviewAppearanceTest, TheStopNoticeOfAVeryLargeDocumentFollowsTheAppearance)
{
    appear(2);
    // A small document first, so that the engine runs and the notice is a page.
    auto document = test::readFileDocument(dir, QStringLiteral("grow.txt"), "a\n");
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }, 30000));
    window.textView()->setSelectedRange({0, 1});
    window.textView()->insertText(QString(2'000'001, QLatin1Char('a')));
    const QString colours = QStringLiteral(
        "[getComputedStyle(document.documentElement).backgroundColor, getComputedStyle(document.body).color,"
        " document.body.textContent].join(' ')");
    EXPECT_TRUE(pageAnswers(window.web(), colours,
                            QStringLiteral("rgb(32, 33, 36) rgb(232, 234, 237) 文書が大きいためプレビューを停止しました。")));
}
