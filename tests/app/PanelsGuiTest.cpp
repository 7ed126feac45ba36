#include "support/AppFixture.h"

#include "app/QuickActions.h"
#include "preferences/SettingsWindowController.h"
#include "scripting/console/ScriptConsole.h"
#include "search/ui/BatchReplaceWindowController.h"
#include "search/ui/FindPanel.h"
#include "search/ui/FolderFindWindowController.h"
#include "search/ui/SearchController.h"

#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QWindow>

#include <functional>

using namespace korimado;

namespace {

class PanelsTest : public test::AppFixture {
protected:
    struct Panel {
        const char* name;
        std::function<QWidget*()> open;  // opens it, returns its window
    };

    // The panels a document window opens, and those the whole program shares.
    std::vector<Panel> panels(EditorWindowController* window)
    {
        const auto find = [window](const char* action) {
            window->search().perform(QString::fromLatin1(action), nullptr);
        };
        return {
            {"find panel", [=] { find("showFind:"); return static_cast<QWidget*>(window->search().panel()); }},
            {"multi-rule window",
             [=] { find("showBatchReplace:"); return static_cast<QWidget*>(window->search().batchController()); }},
            {"folder window",
             [=] { find("showFolderFind:"); return static_cast<QWidget*>(window->search().folderController()); }},
            {"palette", [this] { delegate->showQuickActions(nullptr); return delegate->quickActions()->window(); }},
            {"console", [this] { delegate->showConsole(nullptr); return ScriptConsole::shared().window(); }},
            {"settings window",
             [this] { delegate->showSettings(nullptr); return SettingsWindowController::shared().window(); }},
        };
    }
};

// Every panel stays above the window it works for, goes with it, opens over it and closes with
// Escape pressed wherever the user's keys are in it.
TEST_F(PanelsTest, EachPanelIsAToolWindowOfItsEditorWindowAndClosesWithEscape)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    QWidget* editorWindow = window->window();
    for (const Panel& panel : panels(window)) {
        SCOPED_TRACE(panel.name);
        WindowTracker::shared().makeKeyAndOrderFront(editorWindow);
        QWidget* shown = panel.open();
        ASSERT_TRUE(shown);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_EQ(shown->windowType(), Qt::Tool);
        EXPECT_EQ(shown->parentWidget(), editorWindow);
        ASSERT_TRUE(shown->windowHandle());
        EXPECT_EQ(shown->windowHandle()->transientParent(), editorWindow->windowHandle());
        EXPECT_TRUE(editorWindow->frameGeometry().contains(shown->frameGeometry().center()))
            << "opens over its window";

        QWidget* keys = shown->focusWidget() ? shown->focusWidget() : shown;
        QTest::keyClick(keys, Qt::Key_Escape);
        EXPECT_FALSE(shown->isVisible()) << "Escape closes it";
    }
}

// Closing the document window takes its own panels along; the shared ones stay for the next window.
TEST_F(PanelsTest, ClosingTheWindowTakesItsPanelsAndLeavesTheSharedOnes)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    std::vector<QPointer<QWidget>> shown;
    for (const Panel& panel : panels(window)) {
        WindowTracker::shared().makeKeyAndOrderFront(window->window());
        shown.emplace_back(panel.open());
    }
    QPointer<QWidget> editorWindow = window->window();
    window->document()->close();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(shown[i].isNull() || !shown[i]->isVisible()) << i;
    for (size_t i = 3; i < shown.size(); ++i) {
        ASSERT_FALSE(shown[i].isNull()) << i;
        EXPECT_FALSE(shown[i]->isVisible()) << i;
        if (editorWindow.isNull()) {
            EXPECT_EQ(shown[i]->parentWidget(), nullptr) << i;
        }
    }

    // The next window takes them.
    EditorWindowController* next = activeWindow();
    ASSERT_TRUE(next);
    delegate->showQuickActions(nullptr);
    EXPECT_EQ(delegate->quickActions()->window()->parentWidget(), next->window());
}

}  // namespace
