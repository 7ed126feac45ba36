#include "support/AppFixture.h"
#include "app/MainMenu.h"
#include "app/WorkspaceCommands.h"
#include "commands/TextCommands.h"
#include "editor/EditorTextView.h"
#include "scripting/guide/ScriptingGuide.h"
#include "search/ui/SearchController.h"

#include <QKeySequence>
#include <QUrl>

using namespace korimado;

namespace {

class MainMenuTest : public test::AppFixture {};

QStringList titles(const MenuModel& menu)
{
    QStringList list;
    for (const auto& item : menu.items())
        list.append(item->isSeparatorItem() ? QStringLiteral("-") : item->title());
    return list;
}

QKeySequence keys(const char* text)
{
    return QKeySequence::fromString(QString::fromUtf8(text), QKeySequence::PortableText);
}

TEST_F(MainMenuTest, TopLevelMenusAndFixedCounts)
{
    launch();
    EXPECT_EQ(titles(*delegate->mainMenu()),
              QStringList({"Korimado", "ファイル", "編集", "テキスト", "書式", "検索", "表示", "ウインドウ", "ヘルプ"}));
    EXPECT_EQ(delegate->fileBaseCount(), 12);
    EXPECT_EQ(delegate->viewBaseCount(), 21);
    EXPECT_EQ(delegate->windowBaseCount(), 4);
    EXPECT_EQ(delegate->fileMenu(), topMenu("ファイル"));
    EXPECT_EQ(delegate->viewMenu(), topMenu("表示"));
    EXPECT_EQ(delegate->windowMenu(), topMenu("ウインドウ"));
    // Before any window was key the window-dependent parts stay empty.
    EXPECT_FALSE(delegate->textRoot()->hasSubmenu());
    EXPECT_FALSE(delegate->formatRoot()->hasSubmenu());
    ASSERT_TRUE(delegate->recentRoot()->submenu());
    EXPECT_EQ(delegate->recentRoot()->submenu()->numberOfItems(), 0);
    EXPECT_EQ(delegate->fileMenu()->itemAt(4), delegate->recentRoot());

    EXPECT_EQ(titles(*topMenu("ファイル")),
              QStringList({"新規", "新規ウインドウ", "新規タブ", "開く…", "最近使った項目", "文字コードを指定して開く…",
                           "フォルダを開く…", "-", "閉じる", "保存", "別名で保存…", "保存時の状態に戻す…"}));
    EXPECT_EQ(titles(*topMenu("ウインドウ")), QStringList({"最小化", "拡大／縮小", "すべてを手前に移動", "コンソール"}));
    MenuModel* edit = topMenu("編集");
    MenuItem* select = edit->itemWithTag(MainMenu::selectMenuTag);
    ASSERT_TRUE(select);
    EXPECT_EQ(select->title(), "選択");
    // The spelling, substitution and speech panels have nothing to open here.
    for (const char* gone : {"自動変換", "スペルと文法", "スピーチ"}) EXPECT_FALSE(edit->itemWithTitle(gone)) << gone;
}

// Every item with a key equivalent, as the shortcut it becomes, its action and its target.
TEST_F(MainMenuTest, ActionsKeysAndTargets)
{
    launch();
    Responder* self = delegate.get();
    Responder* documents = &delegate->documentControllerResponder();
    struct Row {
        const char* menu;
        const char* title;
        const char* action;
        const char* keys;
        Responder* target;
    };
    const Row rows[] = {
        {"Korimado", "設定…", "showSettings:", "Ctrl+,", self},
        {"Korimado", "Korimadoを隠す", "hide:", "", nullptr},
        {"Korimado", "Korimadoを終了", "terminate:", "Ctrl+Q", nullptr},
        {"Korimado", "Korimadoについて", "orderFrontStandardAboutPanel:", "", nullptr},
        {"ファイル", "新規", "newDocument:", "Ctrl+N", nullptr},
        {"ファイル", "新規ウインドウ", "newWindow:", "Ctrl+Shift+N", self},
        {"ファイル", "新規タブ", "newTab:", "Ctrl+T", self},
        {"ファイル", "開く…", "openDocument:", "Ctrl+O", nullptr},
        {"ファイル", "文字コードを指定して開く…", "openWithEncoding:", "Ctrl+Alt+O", documents},
        {"ファイル", "フォルダを開く…", "openFolder:", "Ctrl+Shift+O", nullptr},
        {"ファイル", "閉じる", "performClose:", "Ctrl+W", nullptr},
        {"ファイル", "別名で保存…", "saveDocumentAs:", "Ctrl+Shift+S", nullptr},
        {"ファイル", "保存時の状態に戻す…", "revertDocumentToSaved:", "", nullptr},
        {"編集", "取り消す", "undo:", "Ctrl+Z", self},
        {"編集", "やり直す", "redo:", "Ctrl+Shift+Z", self},
        {"編集", "書式付きでコピー", "copyWithStyle:", "Ctrl+Shift+C", nullptr},
        {"編集", "そのままペースト", "pasteAsPlainText:", "Ctrl+Alt+Shift+V", nullptr},
        {"編集", "円記号を入力", "inputYenMark:", "Ctrl+Alt+Y", nullptr},
        {"検索", "選択範囲へ移動", "centerSelectionInVisibleArea:", "Ctrl+J", nullptr},
        {"表示", "クイックアクション…", "showQuickActions:", "Ctrl+K", self},
        {"表示", "サイドバーを表示／隠す", "toggleFileTree:", "F9", nullptr},
        {"表示", "ファイルブラウザを表示", "showFileBrowser:", "Ctrl+Alt+1", nullptr},
        {"表示", "フォルダ内検索", "searchAction:", "Ctrl+Alt+2", self},
        {"表示", "プレビュー", "showPreview:", "Ctrl+3", nullptr},
        {"表示", "前のエディタへ移動", "focusNextEditor:", "Ctrl+Shift+`", nullptr},
        {"表示", "前のアウトライン項目", "previousOutline:", "Ctrl+Alt+Up", nullptr},
        {"表示", "次のアウトライン項目", "nextOutline:", "Ctrl+Alt+Down", nullptr},
        {"表示", "全画面にする", "toggleFullScreen:", "F11", nullptr},
        {"ウインドウ", "最小化", "performMiniaturize:", "Ctrl+M", nullptr},
        {"ウインドウ", "コンソール", "showConsole:", "", self},
        {"ヘルプ", "Korimadoヘルプ", "showHelp:", "Ctrl+?", self},
        {"ヘルプ", "コンソール", "showConsole:", "", self},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        MenuItem* found = item(row.menu, row.title);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->action(), row.action);
        EXPECT_EQ(found->keySequence(), keys(row.keys));
        EXPECT_EQ(found->target(), row.target);
    }
    // Keys that are no plain letters.
    EXPECT_EQ(item("編集", "バックスラッシュを入力")->keySequence(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Backslash));
    EXPECT_EQ(item("編集", "やり直す")->alternateKeySequences(), QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Y)});
    EXPECT_EQ(item("表示", "フォルダ内検索")->representedObject().toString(), "showFolderFind:");

    MenuModel* scripts = topMenu("ヘルプ")->itemWithTitle("スクリプト")->submenu();
    ASSERT_TRUE(scripts);
    EXPECT_EQ(scripts->itemWithTitle("用語辞書")->target(), &ScriptingGuide::shared());
    EXPECT_EQ(scripts->itemWithTitle("スクリプトについて")->action(), "showGuide:");
}

TEST_F(MainMenuTest, FindMenuRelaysEveryCommandByName)
{
    launch();
    MenuModel* find = topMenu("検索");
    ASSERT_EQ(find->numberOfItems(), 16);
    QStringList relayed;
    for (int i = 0; i < 15; ++i) {
        MenuItem* entry = find->itemAt(i);
        EXPECT_EQ(entry->action(), "searchAction:");
        EXPECT_EQ(entry->target(), delegate.get());
        relayed.append(entry->representedObject().toString());
    }
    // Each name must be one the find panel answers.
    QStringList expected = SearchController::actionNames();
    EXPECT_EQ(relayed, expected);
    EXPECT_EQ(find->itemWithTitle("フォルダ内を検索・置換…")->keySequence(), keys("Ctrl+Alt+Shift+F"));
    EXPECT_EQ(find->itemWithTitle("ハイライトを消去")->keySequence(), keys("Ctrl+Alt+Shift+H"));
    EXPECT_EQ(find->itemWithTitle("置換して次を検索")->keySequence(), keys("Ctrl+Alt+G"));
    EXPECT_TRUE(find->itemWithTitle("すべて置換")->keySequence().isEmpty());
}

TEST_F(MainMenuTest, RefreshFillsTheWindowPartsOnceHoweverOftenItRuns)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    delegate->refreshCommandMenus(*window);

    MenuModel* file = delegate->fileMenu();
    ASSERT_EQ(file->numberOfItems(), 12 + 1 + 11);
    EXPECT_TRUE(file->itemAt(12)->isSeparatorItem());
    EXPECT_EQ(file->itemAt(13)->title(), "ファイルマネージャで表示");
    EXPECT_EQ(file->itemAt(13)->target(), window->workspaceCommands());
    MenuItem* pageSetup = file->itemWithTitle("ページ設定…");
    EXPECT_EQ(pageSetup->keySequence(), keys("Ctrl+Shift+P"));
    EXPECT_EQ(file->itemWithTitle("プリント…")->keySequence(), keys("Ctrl+P"));

    MenuModel* view = delegate->viewMenu();
    ASSERT_EQ(view->numberOfItems(), 21 + 1 + 8);
    EXPECT_EQ(view->itemAt(22)->title(), "文書情報…");
    MenuModel* windows = delegate->windowMenu();
    ASSERT_EQ(windows->numberOfItems(), 4 + 1 + 8);
    EXPECT_EQ(windows->itemWithTitle("前のタブを選択")->keySequence(), keys("Ctrl+Shift+{"));

    // Text, Format and Select come from the focused editor's command object.
    MenuModel* text = delegate->textRoot()->submenu();
    ASSERT_TRUE(text);
    MenuItem* counter = text->itemAt(text->numberOfItems() - 1);
    EXPECT_EQ(counter->title(), "詳細文字数…");
    EXPECT_EQ(counter->action(), "showAdvancedCounter:");
    EXPECT_EQ(counter->target(), static_cast<Responder*>(window));
    MenuModel* format = delegate->formatRoot()->submenu();
    ASSERT_TRUE(format);
    EXPECT_EQ(titles(*format), QStringList({"フォントパネルを表示", "構文", "アウトライン"}));
    MenuModel* outline = format->itemWithTitle("アウトライン")->submenu();
    ASSERT_TRUE(outline);
    EXPECT_EQ(window->commands().publishedOutlineMenu.data(), outline);
    EXPECT_TRUE(outline->itemWithTitle("指定行へ移動…"));
    MenuItem* select = topMenu("編集")->itemWithTag(MainMenu::selectMenuTag);
    ASSERT_TRUE(select->submenu());
    EXPECT_GT(select->submenu()->numberOfItems(), 0);
}

TEST_F(MainMenuTest, RecentDocumentsListTheFirstTwentyThenClear)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    MenuModel* recent = delegate->recentRoot()->submenu();
    ASSERT_EQ(recent->numberOfItems(), 1);
    EXPECT_EQ(recent->itemAt(0)->title(), "履歴を消去");

    for (int i = 0; i < 25; ++i)
        delegate->documents().noteNewRecentDocumentURL(QStringLiteral("/tmp/recent-%1.txt").arg(i));
    delegate->refreshCommandMenus(*window);
    recent = delegate->recentRoot()->submenu();
    ASSERT_EQ(recent->numberOfItems(), 20 + 2);
    EXPECT_EQ(recent->itemAt(0)->title(), "recent-24.txt");
    EXPECT_EQ(recent->itemAt(0)->action(), "openRecent:");
    EXPECT_EQ(recent->itemAt(0)->representedObject().toUrl(), QUrl::fromLocalFile("/tmp/recent-24.txt"));
    EXPECT_TRUE(recent->itemAt(20)->isSeparatorItem());

    // Clearing empties the menu at once, not only at the next refresh.
    MenuItem* clear = recent->itemAt(21);
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*clear));
    EXPECT_TRUE(delegate->documents().recentDocumentURLs().isEmpty());
    EXPECT_EQ(delegate->recentRoot()->submenu()->numberOfItems(), 1);
}

TEST_F(MainMenuTest, RefreshFollowsTheFocusedEditorOfASplitWindow)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    window->openSplitTextView();
    ASSERT_TRUE(window->secondaryEditor() && window->secondaryCommands());
    window->makeFirstResponder(window->secondaryEditor());
    delegate->refreshCommandMenus(*window);
    MenuModel* outline = delegate->formatRoot()->submenu()->itemWithTitle("アウトライン")->submenu();
    EXPECT_EQ(window->secondaryCommands()->publishedOutlineMenu.data(), outline);

    window->makeFirstResponder(window->textView());
    delegate->refreshCommandMenus(*window);
    MenuModel* primaryOutline = delegate->formatRoot()->submenu()->itemWithTitle("アウトライン")->submenu();
    EXPECT_NE(primaryOutline, outline);
    EXPECT_EQ(window->commands().publishedOutlineMenu.data(), primaryOutline);
    EXPECT_NE(&window->commands(), window->secondaryCommands());
}

TEST_F(MainMenuTest, MissingSelectItemIsSkipped)
{
    launch();
    MenuModel* edit = topMenu("編集");
    edit->removeItem(edit->itemWithTag(MainMenu::selectMenuTag));
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    EXPECT_FALSE(edit->itemWithTag(MainMenu::selectMenuTag));
    EXPECT_TRUE(delegate->textRoot()->submenu());
    EXPECT_EQ(delegate->fileMenu()->numberOfItems(), 24);
}

}  // namespace
