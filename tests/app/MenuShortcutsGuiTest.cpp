#include "app/AppFixture.h"
#include "app/MainMenu.h"
#include "platform/ui/MenuBinder.h"

#include <QAction>
#include <QKeySequence>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

using namespace korimado;

namespace {

class MenuShortcutsTest : public test::AppFixture {};

void collect(const QList<QAction*>& actions, QMap<QString, QStringList>& found)
{
    for (QAction* action : actions) {
        if (QMenu* menu = action->menu())
            collect(menu->actions(), found);
        else if (!action->shortcut().isEmpty())
            found[action->shortcut().toString(QKeySequence::PortableText)].append(action->text());
    }
}

// The Edit menu's "すべて選択" and the Select submenu's "すべてを選択" share Command-A. Two Qt
// actions with one shortcut fire neither; the first item in menu order must get the key.
TEST_F(MenuShortcutsTest, ASharedKeyGoesToTheFirstItemInMenuOrder)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    delegate->refreshCommandMenus(*window);
    QWidget* shown = window->window();
    MenuItem* first = item("編集", "すべて選択");
    MenuModel* select = topMenu("編集")->itemWithTag(MainMenu::selectMenuTag)->submenu();
    ASSERT_TRUE(select);
    MenuItem* second = select->itemWithTitle("すべてを選択");
    ASSERT_TRUE(second);
    ASSERT_EQ(first->keySequence(), second->keySequence());

    QAction* firstAction = MenuBinder::shared().actionFor(shown, first);
    QAction* secondAction = MenuBinder::shared().actionFor(shown, second);
    ASSERT_TRUE(firstAction && secondAction);
    EXPECT_EQ(firstAction->shortcut(), first->keySequence());
    EXPECT_TRUE(secondAction->shortcut().isEmpty());
    // The later item still shows its key.
    EXPECT_EQ(secondAction->text(), "すべてを選択\t" + first->keySequence().toString(QKeySequence::NativeText));

    QMap<QString, QStringList> found;
    collect(MenuBinder::shared().menuBar(shown)->actions(), found);
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        EXPECT_EQ(it.value().size(), 1) << it.key().toStdString() << ": " << it.value().join(", ").toStdString();

    // The key reaches the menus from a part of the window that does not take it for itself.
    shown->activateWindow();
    if (!QTest::qWaitForWindowActive(shown))
        GTEST_SKIP() << "this platform does not activate windows";
    auto* plain = new QWidget(shown);
    plain->setFocusPolicy(Qt::StrongFocus);
    plain->show();
    plain->setFocus();
    QSignalSpy fired(firstAction, &QAction::triggered);
    QTest::keyClick(plain, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(fired.count(), 1);

    // Without the first holder the next one takes the key over.
    topMenu("編集")->removeItem(first);
    EXPECT_EQ(secondAction->shortcut(), second->keySequence());
    EXPECT_EQ(secondAction->text(), "すべてを選択");
}

}  // namespace
