#include "support/AppFixture.h"
#include "editor/EditorTextView.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/WindowTabGroup.h"

#include <QTest>

using namespace korimado;

namespace {

class TabKeysTest : public test::AppFixture {};

}  // namespace

// Ctrl+Tab / Ctrl+Shift+Tab and Ctrl+PageDown / Ctrl+PageUp go round the tabs of a window's
// group, as the Window menu's next and previous tab items do; the menu keeps its own keys.
TEST_F(TabKeysTest, LinuxTabKeysGoToTheNextAndPreviousTab)
{
    launch();
    EditorWindowController* first = activeWindow();
    if (!first)
        GTEST_SKIP() << "this platform does not activate windows";
    delegate->newTab(nullptr);
    delegate->newTab(nullptr);
    const QList<QWidget*> tabs = *WindowTabGroup::tabbedWindows(first->window());
    ASSERT_EQ(tabs.size(), 3);

    auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QWidget* window = WindowTracker::shared().keyWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, key, modifiers);
        QWidget* now = WindowTracker::shared().keyWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(now));
        EXPECT_EQ(WindowTabGroup::groupOf(now)->selectedWindow(), now);
        return static_cast<int>(tabs.indexOf(now));
    };
    WindowTabGroup::groupOf(tabs[0])->selectWindow(tabs[0]);
    WindowTracker::shared().makeKeyAndOrderFront(tabs[0]);
    ASSERT_TRUE(QTest::qWaitForWindowActive(tabs[0]));

    EXPECT_EQ(press(Qt::Key_Tab, Qt::ControlModifier), 1);
    EXPECT_EQ(press(Qt::Key_PageDown, Qt::ControlModifier), 2);
    EXPECT_EQ(press(Qt::Key_Tab, Qt::ControlModifier), 0) << "round to the first";
    // X delivers Ctrl+Shift+Tab as Backtab with Shift still held.
    EXPECT_EQ(press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier), 2);
    EXPECT_EQ(press(Qt::Key_PageUp, Qt::ControlModifier), 1);
    EXPECT_EQ(press(Qt::Key_BraceLeft, Qt::ControlModifier | Qt::ShiftModifier), 0) << "the menu's own key";
}

// A window alone has no tab to go to: the keys do nothing to it and type nothing.
TEST_F(TabKeysTest, TabKeysInAWindowAloneLeaveTheText)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    EditorTextView* editor = window->textView();
    ASSERT_EQ(QApplication::focusWidget(), editor);
    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(editor->string(), QString());
    EXPECT_EQ(WindowTracker::shared().keyWindow(), window->window());
}
