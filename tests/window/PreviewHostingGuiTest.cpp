// The preview's web view joins a window that is already on screen: the window must keep its native
// window (a replaced one loses the keys in flight and the input method's hold on it).
#include "support/AppFixture.h"
#include "support/TestSupport.h"
#include "editor/EditorTextView.h"
#include "preview/PreviewWebView.h"

#include <QPointer>
#include <QTest>
#include <QWindow>

using namespace korimado;
using Mode = EditorWindowController::Mode;

namespace {

class PreviewHostingTest : public test::AppFixture {};

}  // namespace

TEST_F(PreviewHostingTest, TheWindowKeepsItsNativeWindowAndEveryKeyWhileThePreviewStarts)
{
    EditorWindowController* window = activeWindow();
    if (!window) GTEST_SKIP() << "this platform does not activate windows";
    QMainWindow* top = window->window();
    const WId id = top->winId();
    const QPointer<QWindow> handle = top->windowHandle();
    ASSERT_TRUE(handle);
    bool loaded = false;
    QObject::connect(window->web(), &PreviewWebView::loadFinished, top, [&loaded](bool) { loaded = true; });

    // One key per turn of the event loop, from before the engine starts until its first page is in.
    const QString typed = QStringLiteral("hello world typed quickly");
    qsizetype sent = 0;
    ASSERT_TRUE(test::spinUntil(
        [&] {
            if (sent < typed.size() && handle) QTest::keyClick(handle.data(), typed[sent++].toLatin1());
            return loaded && sent == typed.size();
        },
        60000));
    EXPECT_TRUE(window->web()->hasEngine());
    EXPECT_EQ(top->winId(), id) << "the native window was replaced";
    EXPECT_EQ(top->windowHandle(), handle.data());
    EXPECT_EQ(window->textView()->string(), typed) << "keys were lost";

    // 原案 and back to 2カラム: the preview goes and comes back, the window stays.
    QTest::keyClick(handle.data(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(window->mode(), Mode::edit);
    const qint64 shown = window->renderCount();
    loaded = false;
    QTest::keyClick(handle.data(), Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(window->mode(), Mode::split);
    ASSERT_TRUE(test::spinUntil([&] { return window->renderCount() > shown && loaded; }, 30000));
    EXPECT_EQ(top->winId(), id);
    QTest::keyClick(handle.data(), '!');
    EXPECT_EQ(window->textView()->string(), typed + QLatin1Char('!'));
}
