#include "support/AppFixture.h"
#include "app/MainMenu.h"
#include "app/WorkspaceCommands.h"
#include "editor/EditorTextView.h"
#include "platform/ui/MenuBinder.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/WindowTabGroup.h"
#include "search/ui/FindPanel.h"
#include "search/ui/SearchController.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>

using namespace korimado;

namespace {

class ApplicationDelegateTest : public test::AppFixture {};

TEST_F(ApplicationDelegateTest, UntitledDocumentOnlyWithoutArgumentsOrSelfTest)
{
    launch({"korimado"});
    EXPECT_TRUE(delegate->applicationShouldOpenUntitledFile());
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(delegate->documents().documents().size(), 1u);
    EXPECT_EQ(delegate->documents().autosavingDelay(), 45);
    delegate.reset();

    // A file on the command line: that file alone, no untitled document.
    test::TempDir dir;
    const QString path = dir.write("notes.txt", "hello\n");
    const QStringList withFile{"korimado", path};
    launch(withFile);
    delegate->openFiles(ApplicationDelegate::fileArguments(withFile));
    delegate->applicationDidFinishLaunching();
    ASSERT_EQ(delegate->documents().documents().size(), 1u);
    EXPECT_EQ(delegate->documents().documents().front()->fileURL(), path);
    delegate.reset();

    // An argument that names nothing openable still counts: no untitled document, an error shown.
    const QStringList missing{"korimado", dir.file("missing.txt")};
    launch(missing);
    delegate->openFiles(ApplicationDelegate::fileArguments(missing));
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(delegate->documents().documents().empty());
    EXPECT_EQ(alerts.shown().size(), 1);
    delegate.reset();

    // Several files: the first at once, the others one per turn of the event loop, in order.
    QStringList several{"korimado"};
    for (int i = 0; i < 4; ++i) several << dir.write(QStringLiteral("f%1.txt").arg(i), "text\n");
    launch(several);
    delegate->openFiles(ApplicationDelegate::fileArguments(several));
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(delegate->documents().documents().size(), 1u);
    EXPECT_EQ(delegate->pendingFileCount(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->pendingFileCount() == 0; }, 5000));
    ASSERT_EQ(delegate->documents().documents().size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(delegate->documents().documents()[size_t(i)]->fileURL(), several[i + 1]);
    delegate.reset();

    launch({"korimado", "--ui-self-test", "--features-only"});
    EXPECT_FALSE(delegate->applicationShouldOpenUntitledFile());
    EXPECT_TRUE(delegate->hasFlag("--features-only"));
    EXPECT_FALSE(delegate->hasFlag("--features"));
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(delegate->documents().documents().empty());
}

TEST_F(ApplicationDelegateTest, AStartAfterAKillOffersWhatWasTypedInsteadOfAnUntitledDocument)
{
    QDir(Document::autosaveFolder()).removeRecursively();
    test::TempDir dir;
    const QString path = dir.write("notes.txt", "hello\n");
    launch();
    auto* typed = static_cast<KoriDocument*>(delegate->documents().openUntitledDocumentAndDisplay(false));
    typed->storage().replaceCharacters({0, 0}, "typed, never saved");
    ErrorInfo error;
    ASSERT_TRUE(typed->autosave(&error));
    // Killed: the process goes without closing anything.
    delegate.reset();

    // Under a self-test nothing is offered.
    launch({"korimado", "--ui-self-test", "--features-only"});
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(alerts.shown().isEmpty());
    delegate.reset();

    launch();
    alerts.enqueueAnswer(0);
    delegate->applicationDidFinishLaunching();
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown()[0].messageText, "書類“名称未設定”の保存されていない変更が残っています。");
    ASSERT_EQ(delegate->documents().documents().size(), 1u);
    auto* restored = static_cast<KoriDocument*>(delegate->documents().documents().front());
    EXPECT_EQ(restored->string(), "typed, never saved");
    EXPECT_TRUE(restored->isDocumentEdited());
    ASSERT_FALSE(restored->windowControllers().empty());
    restored->close();
    EXPECT_TRUE(QDir(Document::autosaveFolder()).isEmpty());
}

TEST_F(ApplicationDelegateTest, NewDocumentsTakeTheDefaultFormatFromTheSettings)
{
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString("document.defaultEncoding", "Shift JIS");
    defaults.setString("document.defaultLineEnding", "CRLF");
    launch();
    auto* document = static_cast<KoriDocument*>(delegate->documents().openUntitledDocumentAndDisplay(false));
    defaults.removeObject("document.defaultEncoding");
    defaults.removeObject("document.defaultLineEnding");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->format().encoding, TextEncoding::shiftJIS);
    EXPECT_EQ(document->format().lineEnding, LineEnding::crlf);
    EXPECT_EQ(document->displayName(), "名称未設定");
}

TEST_F(ApplicationDelegateTest, FileArgumentsSkipFlags)
{
    EXPECT_EQ(ApplicationDelegate::fileArguments({"korimado", "--ui-self-test", "a.txt", "--startup-only", "b.md"}),
              QStringList({"a.txt", "b.md"}));
    EXPECT_TRUE(ApplicationDelegate::fileArguments({"korimado"}).isEmpty());
}

TEST_F(ApplicationDelegateTest, FindHelpUndoAndRedoNeedADocumentWindow)
{
    launch();
    MenuItem* undo = item("編集", "取り消す");
    MenuItem* redo = item("編集", "やり直す");
    MenuItem* findItem = item("検索", "検索…");
    MenuItem* help = item("ヘルプ", "Korimadoヘルプ");
    EXPECT_FALSE(enabled(undo));
    EXPECT_FALSE(enabled(redo));
    EXPECT_FALSE(enabled(findItem));
    EXPECT_FALSE(enabled(help));
    // Disabled relays do nothing when sent anyway.
    delegate->searchAction(findItem);
    delegate->undo(undo);

    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(enabled(findItem));
    EXPECT_TRUE(enabled(help));
    EXPECT_FALSE(enabled(undo));

    window->makeFirstResponder(window->textView());
    window->textView()->insertText("abc");
    EXPECT_EQ(window->textView()->string(), "abc");
    EXPECT_TRUE(enabled(undo));
    EXPECT_FALSE(enabled(redo));
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*undo));
    EXPECT_EQ(window->textView()->string(), "");
    EXPECT_TRUE(enabled(redo));
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*redo));
    EXPECT_EQ(window->textView()->string(), "abc");

    // The Edit menu's clipboard commands reach the focused editor.
    MenuItem* copy = item("編集", "コピー");
    window->textView()->setSelectedRange({0, 0});
    EXPECT_FALSE(enabled(copy));
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*item("編集", "すべて選択")));
    EXPECT_EQ(window->textView()->selectedRange().length, 3);
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*copy));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "abc");

    // A first responder without an undo manager falls back to the document's.
    auto* field = new QLineEdit(window->window());
    field->show();
    field->setFocus();
    window->window()->setFocusProxy(nullptr);
    QApplication::processEvents();
    EXPECT_EQ(ApplicationDelegate::activeUndoManager(), window->document()->undoManager());
    EXPECT_TRUE(enabled(undo));
}

TEST_F(ApplicationDelegateTest, FindMenuReachesTheMainWindowBehindAPanel)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    MenuItem* findItem = item("検索", "検索…");

    QWidget panel(nullptr, Qt::Tool);
    panel.show();
    WindowTracker::shared().makeKeyWindow(&panel);
    ASSERT_EQ(WindowTracker::shared().mainWindow(), window->window());
    EXPECT_EQ(ApplicationDelegate::active(), window);
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*findItem));
    ASSERT_TRUE(window->search().panel());
    EXPECT_TRUE(window->search().panel()->isVisible()) << "the find panel opened";

    // A represented object that is not a name is ignored.
    MenuItem stray(QStringLiteral("x"), MainMenu::searchRelayAction);
    stray.setRepresentedObject(42);
    alerts.clear();
    delegate->searchAction(&stray);
    EXPECT_TRUE(alerts.shown().isEmpty());

    // A plain window that is key and main has no document window behind it.
    QWidget plain;
    plain.show();
    WindowTracker::shared().makeKeyWindow(&plain);
    EXPECT_EQ(WindowTracker::shared().mainWindow(), &plain);
    EXPECT_EQ(ApplicationDelegate::active(), nullptr);
    EXPECT_FALSE(enabled(findItem));
    EXPECT_FALSE(enabled(item("ヘルプ", "Korimadoヘルプ")));
}

TEST_F(ApplicationDelegateTest, NewTabJoinsTheKeyWindowAndNewWindowStaysAlone)
{
    launch();
    // No window: a plain window of its own.
    delegate->newTab(nullptr);
    EditorWindowController* first = lastController();
    ASSERT_TRUE(first);
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(first->window()).has_value());

    WindowTracker::shared().makeKeyAndOrderFront(first->window());
    delegate->newTab(nullptr);
    EditorWindowController* second = lastController();
    ASSERT_NE(second, first);
    const auto tabs = WindowTabGroup::tabbedWindows(first->window());
    ASSERT_TRUE(tabs.has_value());
    EXPECT_EQ(*tabs, QList<QWidget*>({first->window(), second->window()}));
    EXPECT_EQ(WindowTracker::shared().keyWindow(), second->window());

    delegate->newWindow(nullptr);
    EditorWindowController* third = lastController();
    ASSERT_NE(third, second);
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(third->window()).has_value());
    EXPECT_EQ(WindowTabGroup::tabbingMode(third->window()), WindowTabGroup::TabbingMode::disallowed);
    EXPECT_EQ(WindowTabGroup::tabbedWindows(first->window())->size(), 2);
}

TEST_F(ApplicationDelegateTest, NewTabMergesNothingWhenNoWindowWasMade)
{
    launch();
    EditorWindowController* first = openWindow();
    ASSERT_TRUE(first);
    // Documents made from here on get no window.
    KoriDocument::setWindowControllerFactory([](KoriDocument&) { return std::unique_ptr<WindowController>(); });
    delegate->newTab(nullptr);
    EditorWindowController::install();
    EXPECT_EQ(delegate->documents().documents().size(), 2u);
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(first->window()).has_value());
    EXPECT_EQ(WindowTracker::shared().keyWindow(), first->window());
}

TEST_F(ApplicationDelegateTest, WorkspaceNewTabAndHelpGoThroughTheDelegate)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    WorkspaceCommands* commands = window->workspaceCommands();
    ASSERT_TRUE(commands);
    commands->newTab(nullptr);
    EXPECT_EQ(delegate->documents().documents().size(), 2u);
    EXPECT_EQ(WindowTabGroup::tabbedWindows(window->window())->size(), 2);

    WindowTracker::shared().makeKeyAndOrderFront(window->window());
    delegate->showHelp(nullptr);
    ASSERT_TRUE(commands->helpDialog());
    EXPECT_TRUE(commands->helpDialog()->isVisible());
    commands->helpDialog()->close();
}

TEST_F(ApplicationDelegateTest, DocumentWindowsShowTheMenuAndSaveThroughIt)
{
    test::TempDir dir;
    const QString path = dir.write("notes.txt", "one\n");
    launch({"korimado", path});
    delegate->openFiles({path});
    delegate->applicationDidFinishLaunching();
    EditorWindowController* window = lastController();
    ASSERT_TRUE(window);
    WindowTracker::shared().makeKeyAndOrderFront(window->window());

    QMenuBar* bar = MenuBinder::shared().menuBar(window->window());
    ASSERT_TRUE(bar);
    ASSERT_EQ(bar->actions().size(), 9);
    EXPECT_EQ(bar->actions().at(1)->text(), "ファイル(&F)");

    window->makeFirstResponder(window->textView());
    window->textView()->setSelectedRange({4, 0});
    window->textView()->insertText("two\n");
    MenuItem* save = item("ファイル", "保存");
    ASSERT_TRUE(enabled(save));
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*save));
    EXPECT_EQ(test::readFile(path), "one\ntwo\n");
    EXPECT_FALSE(window->document()->isDocumentEdited());
    EXPECT_TRUE(enabled(item("ファイル", "保存時の状態に戻す…")));
}

// "選択範囲へ移動" and the toolbar toggle answer for the key window, not only its own responders.
TEST_F(ApplicationDelegateTest, CenterSelectionAndToolbarToggleReachTheKeyWindow)
{
    launch();
    MenuItem* center = item("検索", "選択範囲へ移動");
    MenuItem* toolbar = item("表示", "ツールバーを表示／隠す");
    EXPECT_FALSE(enabled(center));
    EXPECT_FALSE(enabled(toolbar));

    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    window->window()->resize(1000, 600);
    QApplication::processEvents();
    EditorTextView* view = window->textView();
    window->makeFirstResponder(view);
    QString text;
    for (int i = 0; i < 400; ++i)
        text += QStringLiteral("line %1\n").arg(i);
    view->insertText(text);
    const qsizetype target = text.indexOf(QStringLiteral("line 200\n"));
    view->setSelectedRange({target, 8});
    view->verticalScrollBar()->setValue(0);
    ASSERT_TRUE(enabled(center));
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*center));
    const QRectF selection = view->insertionPointRect(target);
    const QRectF visible = view->visibleRect();
    EXPECT_NEAR(selection.center().y(), visible.center().y(), selection.height());

    QToolBar* bar = window->toolbar();
    ASSERT_TRUE(bar);
    ASSERT_TRUE(enabled(toolbar));
    EXPECT_FALSE(bar->isHidden());
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*toolbar));
    EXPECT_TRUE(bar->isHidden());
    EXPECT_TRUE(ActionDispatcher::shared().performItem(*toolbar));
    EXPECT_FALSE(bar->isHidden());
}

}  // namespace

TEST_F(ApplicationDelegateTest, ClosingTheLastWindowQuitsAndClosingAnotherDoesNot)
{
    launch();
    EditorWindowController* first = openWindow();
    EditorWindowController* second = openWindow();
    ASSERT_TRUE(first && second);
    // Ends the event loop with 7 unless something else ends it first.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });

    // As Ctrl+W does: the window asks its document, which closes and hides it.
    QTimer::singleShot(0, second->window(), [second] { second->window()->close(); });
    guard.start(800);
    EXPECT_EQ(QApplication::exec(), 7) << "a window is still open";
    EXPECT_EQ(delegate->documents().documents().size(), 1u);

    QTimer::singleShot(0, first->window(), [first] { first->window()->close(); });
    guard.start(10000);
    EXPECT_EQ(QApplication::exec(), 0) << "the last window closed: the application quits";
    EXPECT_TRUE(delegate->documents().documents().empty());
    guard.stop();
}

TEST_F(ApplicationDelegateTest, AFileArgumentThatOpensNothingEndsTheProcessAfterItsAlert)
{
    test::TempDir dir;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });

    // One file opens: the process stays with its window.
    const QStringList withFile{"korimado", dir.write("notes.txt", "hello\n")};
    launch(withFile);
    delegate->openFiles(ApplicationDelegate::fileArguments(withFile));
    delegate->applicationDidFinishLaunching();
    guard.start(500);
    EXPECT_EQ(QApplication::exec(), 7) << "a window is open";
    delegate.reset();

    const QStringList missing{"korimado", dir.file("missing.txt"), dir.file("gone.txt")};
    launch(missing);
    delegate->openFiles(ApplicationDelegate::fileArguments(missing));
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(alerts.shown().size(), 1) << "the second file opens on the next turn";
    guard.start(10000);
    EXPECT_EQ(QApplication::exec(), 0) << "no window is left: the application quits";
    guard.stop();
    EXPECT_EQ(alerts.shown().size(), 2);
}
