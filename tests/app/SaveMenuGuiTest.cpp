// Saving through the File menu's own items, on the roads by which a file document comes to carry
// a sidebar root: its window state restored at a second start, and a click in a sidebar.
#include "support/AppFixture.h"
#include "support/TestSupport.h"

#include "editor/EditorTextView.h"
#include "filetree/FileTreeModel.h"
#include "filetree/FileTreeView.h"
#include "platform/ui/MenuBinder.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QTimer>
#include <QTreeView>

namespace korimado::test {
namespace {

class SaveMenuTest : public AppFixture {
protected:
    EditorWindowController* windowOf(const QString& path) const
    {
        Document* document = delegate->documents().documentForURL(path);
        if (!document || document->windowControllers().empty()) return nullptr;
        return dynamic_cast<EditorWindowController*>(document->windowControllers().front().get());
    }

    // The File menu item as its window's menu bar shows it: validated as the menu opens, then
    // chosen. False when the item is greyed.
    bool chooseFileMenuItem(EditorWindowController& window, const QString& title)
    {
        delegate->refreshCommandMenus(window);
        MenuItem* menuItem = item(QStringLiteral("ファイル"), title);
        if (!menuItem) return false;
        QMenu* menu = MenuBinder::shared().menuFor(window.window(), topMenu(QStringLiteral("ファイル")));
        QAction* action = MenuBinder::shared().actionFor(window.window(), menuItem);
        if (!menu || !action) return false;
        Q_EMIT menu->aboutToShow();
        const bool enabled = action->isEnabled();
        Q_EMIT menu->aboutToHide();
        if (enabled) action->trigger();
        return enabled;
    }

    bool saveMenuItemsEnabled(EditorWindowController& window)
    {
        delegate->refreshCommandMenus(window);
        QMenu* menu = MenuBinder::shared().menuFor(window.window(), topMenu(QStringLiteral("ファイル")));
        if (!menu) return false;
        Q_EMIT menu->aboutToShow();
        bool enabled = true;
        for (const char* title : {"保存", "別名で保存…"})
            enabled = enabled && MenuBinder::shared().actionFor(window.window(), item(QStringLiteral("ファイル"), title))->isEnabled();
        Q_EMIT menu->aboutToHide();
        return enabled;
    }

    // Quits as the menu does, running the program's loop until it ends.
    void quit()
    {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        guard.start(20000);
        QTimer::singleShot(0, qApp, [] { ActionDispatcher::shared().sendAction(QStringLiteral("terminate:"), nullptr, nullptr); });
        EXPECT_EQ(QApplication::exec(), 0);
        delegate.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    TempDir dir;
};

TEST_F(SaveMenuTest, AFileOpenedAgainAtTheNextStartSavesThroughTheFileMenu)
{
    const QString path = dir.write(QStringLiteral("f.txt"), "一行目\n");
    launch();
    delegate->openFiles({path});
    ASSERT_TRUE(spinUntil([&] { return windowOf(path) != nullptr; }));
    EditorWindowController* first = windowOf(path);
    first->textView()->setSelectedRange({first->textView()->textLength(), 0});
    first->textView()->insertText(QStringLiteral("二行目\n"));
    ASSERT_TRUE(chooseFileMenuItem(*first, QStringLiteral("保存")));
    EXPECT_EQ(readFile(path), "一行目\n二行目\n");
    quit();

    // The second start restores the window state written at quitting, the sidebar's root with it.
    launch();
    delegate->openFiles({path});
    ASSERT_TRUE(spinUntil([&] { return windowOf(path) != nullptr; }));
    EditorWindowController* second = windowOf(path);
    auto* document = qobject_cast<KoriDocument*>(second->document());
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(QDir::cleanPath(document->rootDirectory()), QDir::cleanPath(dir.path()))
        << "the restored state gave the file document its folder as the sidebar's root";
    EXPECT_FALSE(document->isFolderDocument());
    EXPECT_TRUE(saveMenuItemsEnabled(*second));

    second->textView()->setSelectedRange({second->textView()->textLength(), 0});
    second->textView()->insertText(QStringLiteral("三行目\n"));
    ASSERT_TRUE(document->isDocumentEdited());
    ASSERT_TRUE(chooseFileMenuItem(*second, QStringLiteral("保存")));
    EXPECT_EQ(readFile(path), "一行目\n二行目\n三行目\n");
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_TRUE(alerts.shown().isEmpty());
}

TEST_F(SaveMenuTest, AFileOpenedByAClickInAFoldersSidebarSavesThroughTheFileMenu)
{
    const QString project = FileTreeView::standardized(dir.file(QStringLiteral("project")));
    const QString notes = dir.write(QStringLiteral("project/notes.txt"), "メモ\n");
    launch();
    delegate->openFiles({project});
    ASSERT_TRUE(spinUntil([&] { return !delegate->documents().documents().empty(); }));
    auto* folder = dynamic_cast<EditorWindowController*>(
        delegate->documents().documents().front()->windowControllers().front().get());
    ASSERT_NE(folder, nullptr);
    folder->window()->show();
    EXPECT_TRUE(qobject_cast<KoriDocument*>(folder->document())->isFolderDocument());
    EXPECT_FALSE(saveMenuItemsEnabled(*folder)) << "a folder has no text to save";

    // The click on the file's row in the folder window's sidebar.
    FileTreeView* tree = folder->fileTree();
    ASSERT_FALSE(tree->isHidden());
    QModelIndex row;
    ASSERT_TRUE(spinUntil([&] {
        FileTreeModel* model = tree->model();
        for (int i = 0; i < model->rowCount(); ++i) {
            const QModelIndex index = model->index(i, 0);
            if (const FileTreeNode* node = model->node(index); node && FileTreeView::standardized(node->url) == notes) {
                row = index;
                return true;
            }
        }
        return false;
    }));
    QTreeView* outline = tree->outline();
    outline->scrollTo(row);
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, outline->visualRect(row).center());
    ASSERT_TRUE(spinUntil([&] { return windowOf(notes) != nullptr; }));

    EditorWindowController* opened = windowOf(notes);
    auto* document = qobject_cast<KoriDocument*>(opened->document());
    EXPECT_EQ(document->rootDirectory(), project) << "the file carries the sidebar's root";
    EXPECT_FALSE(document->isFolderDocument());
    EXPECT_TRUE(saveMenuItemsEnabled(*opened));
    opened->textView()->setSelectedRange({opened->textView()->textLength(), 0});
    opened->textView()->insertText(QStringLiteral("追記\n"));
    ASSERT_TRUE(chooseFileMenuItem(*opened, QStringLiteral("保存")));
    EXPECT_EQ(readFile(notes), "メモ\n追記\n");
    EXPECT_FALSE(document->isDocumentEdited());

    // With the folder's own window closed, opening the folder again makes a folder window
    // rather than bringing up the file's, which shares its root.
    folder->document()->close();
    Document* found = nullptr;
    bool alreadyOpen = true;
    delegate->documents().openDocument(project, false, [&](Document* d, bool open, auto) {
        found = d;
        alreadyOpen = open;
    });
    EXPECT_FALSE(alreadyOpen);
    ASSERT_NE(qobject_cast<KoriDocument*>(found), nullptr);
    EXPECT_TRUE(qobject_cast<KoriDocument*>(found)->isFolderDocument());
}

}  // namespace
}  // namespace korimado::test
