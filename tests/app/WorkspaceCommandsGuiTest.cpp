#include "support/AppFixture.h"
#include "app/WorkspaceCommands.h"
#include "platform/foundation/NotificationCenter.h"
#include "window/SegmentedControl.h"
#include "platform/ui/WindowActions.h"
#include "platform/ui/WindowTabGroup.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>

using namespace korimado;

namespace {

class WorkspaceCommandsTest : public test::AppFixture {
protected:
    MenuItem* tail(MenuModel* menu, const QString& title) { return menu->itemWithTitle(title); }
};

TEST_F(WorkspaceCommandsTest, FileCommandsNeedASavedFile)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    WorkspaceCommands* commands = window->workspaceCommands();
    for (const char* title : {"ファイルマネージャで表示", "ファイルパスをコピー", "共有…", "ディスクから再読み込み…"}) {
        SCOPED_TRACE(title);
        EXPECT_FALSE(enabled(tail(delegate->fileMenu(), title)));
    }
    EXPECT_TRUE(enabled(tail(delegate->fileMenu(), "設定を書き出す…")));

    // Sent anyway, as a script might: the unsaved-file message, nothing else.
    QGuiApplication::clipboard()->setText("before");
    for (const char* action : {"showInFinder:", "copyPath:", "shareDocument:", "reloadFromDisk:"}) {
        alerts.clear();
        commands->perform(action, nullptr);
        ASSERT_EQ(alerts.shown().size(), 1) << action;
        EXPECT_EQ(alerts.shown().front().messageText, "先にファイルを保存してください。");
        EXPECT_EQ(alerts.shown().front().informativeText, "この操作にはディスク上のファイルが必要です。");
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
}

TEST_F(WorkspaceCommandsTest, CopyPathPutsTheFilePathOnTheClipboard)
{
    test::TempDir dir;
    const QString path = dir.write("a.txt", "text\n");
    launch({"korimado", path});
    delegate->openFiles({path});
    EditorWindowController* window = lastController();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    EXPECT_TRUE(enabled(tail(delegate->fileMenu(), "ファイルパスをコピー")));
    window->workspaceCommands()->copyPath(nullptr);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), path);
    EXPECT_TRUE(alerts.shown().isEmpty());
}

TEST_F(WorkspaceCommandsTest, TabCommandsFollowTheTabGroup)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    MenuModel* menu = delegate->windowMenu();
    EXPECT_FALSE(enabled(tail(menu, "すべてのウインドウを結合")));
    EXPECT_FALSE(enabled(tail(menu, "次のタブを選択")));
    EXPECT_FALSE(enabled(tail(menu, "タブを新しいウインドウへ移動")));
    EXPECT_EQ(tail(menu, "タブバーを表示")->state(), MenuItem::State::off);

    delegate->newTab(nullptr);
    WindowTracker::shared().makeKeyAndOrderFront(window->window());
    delegate->refreshCommandMenus(*window);
    EXPECT_TRUE(enabled(tail(menu, "すべてのウインドウを結合")));
    EXPECT_TRUE(enabled(tail(menu, "次のタブを選択")));
    EXPECT_TRUE(enabled(tail(menu, "前のタブを選択")));
    EXPECT_EQ(tail(menu, "タブバーを表示")->state(), MenuItem::State::on);

    window->workspaceCommands()->moveTabToNewWindow(nullptr);
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(window->window()).has_value());
}

TEST_F(WorkspaceCommandsTest, KeepOnTopTogglesTheLevelAndTheCheckMark)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    MenuItem* keep = tail(delegate->windowMenu(), "常に手前に表示");
    EXPECT_EQ(keep->state(), MenuItem::State::off);
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*keep));
    EXPECT_EQ(WindowActions::level(window->window()), WindowActions::floatingLevel);
    keep = tail(delegate->windowMenu(), "常に手前に表示");
    EXPECT_EQ(keep->state(), MenuItem::State::on);
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*keep));
    EXPECT_EQ(WindowActions::level(window->window()), WindowActions::normalLevel);
    EXPECT_EQ(tail(delegate->windowMenu(), "常に手前に表示")->state(), MenuItem::State::off);
    EXPECT_EQ(delegate->windowMenu()->numberOfItems(), 13);
}

TEST_F(WorkspaceCommandsTest, SettingTogglesWriteTheKeyNotifyAndFollowInTheMenu)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setBool(EditorSettingsKey::lineNumbers, true);
    defaults.setBool(EditorSettingsKey::invisibles, false);
    delegate->refreshCommandMenus(*window);

    int notified = 0;
    NotificationCenter::Registration observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(editorPreferencesChanged, nullptr,
                                                        [&notified](const Notification&) { ++notified; }));
    MenuItem* lines = tail(delegate->viewMenu(), "行番号を表示");
    EXPECT_EQ(lines->state(), MenuItem::State::on);
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*lines));
    EXPECT_FALSE(EditorSettingsSnapshot(defaults).lineNumbers);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(tail(delegate->viewMenu(), "行番号を表示")->state(), MenuItem::State::off);

    window->workspaceCommands()->toggleInvisibles(nullptr);
    EXPECT_TRUE(EditorSettingsSnapshot(defaults).invisibles);
    EXPECT_EQ(tail(delegate->viewMenu(), "不可視文字を表示")->state(), MenuItem::State::on);
    EXPECT_EQ(delegate->viewMenu()->numberOfItems(), 30);
    defaults.setBool(EditorSettingsKey::lineNumbers, true);
    defaults.setBool(EditorSettingsKey::invisibles, false);
}

TEST_F(WorkspaceCommandsTest, DocumentInfoAndWarningsOpenTheirDetailViews)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    window->setMode(EditorWindowController::Mode::edit);
    window->workspaceCommands()->showWarnings(nullptr);
    EXPECT_EQ(window->mode(), EditorWindowController::Mode::split);
    EXPECT_EQ(window->detailPicker()->selectedSegment(), 3);
    window->setMode(EditorWindowController::Mode::edit);
    window->workspaceCommands()->showDocumentInfo(nullptr);
    EXPECT_EQ(window->mode(), EditorWindowController::Mode::split);
    EXPECT_EQ(window->detailPicker()->selectedSegment(), 1);
}

TEST_F(WorkspaceCommandsTest, CommandsOutliveTheirWindowQuietly)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    std::shared_ptr<WorkspaceCommands> commands = std::make_shared<WorkspaceCommands>(*window);
    delegate.reset();  // closes every document and its window
    EXPECT_EQ(commands->controller(), nullptr);
    MenuItem probe(QStringLiteral("x"), QStringLiteral("toggleKeepOnTop:"));
    EXPECT_EQ(commands->validate(probe), std::optional<bool>(false));
    commands->toggleKeepOnTop(nullptr);
    commands->showDocumentInfo(nullptr);
    commands->showScriptConsole(nullptr);
    EXPECT_EQ(commands->scriptConsole(), nullptr);

    // Nor does a setting toggle of the gone window change the settings of every other one.
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setBool(EditorSettingsKey::lineNumbers, true);
    int notified = 0;
    NotificationCenter::Registration observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(editorPreferencesChanged, nullptr,
                                                        [&notified](const Notification&) { ++notified; }));
    commands->toggleLineNumbers(nullptr);
    EXPECT_TRUE(EditorSettingsSnapshot(defaults).lineNumbers);
    EXPECT_EQ(notified, 0);
}

}  // namespace
