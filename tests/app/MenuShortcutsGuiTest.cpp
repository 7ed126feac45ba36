#include "support/AppFixture.h"
#include "app/MainMenu.h"
#include "editor/EditorTextView.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/WindowTabGroup.h"

#include <QAction>
#include <QKeySequence>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

using namespace korimado;

namespace {

class MenuShortcutsTest : public test::AppFixture {
protected:
    static void allActions(const QList<QAction*>& actions, QList<QAction*>& found)
    {
        for (QAction* action : actions) {
            if (QMenu* menu = action->menu())
                allActions(menu->actions(), found);
            else if (!action->shortcuts().isEmpty())
                found.append(action);
        }
    }

    static QList<QAction*> boundActions(QWidget* window)
    {
        QList<QAction*> found;
        allActions(MenuBinder::shared().menuBar(window)->actions(), found);
        return found;
    }
};

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

// Alt and Shift with a letter types that letter where nothing takes the key; a menu item that
// has it for its key equivalent comes first.
TEST_F(MenuShortcutsTest, MenuKeyEquivalentsWinOverTyping)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    EditorTextView* editor = window->textView();
    ASSERT_EQ(QApplication::focusWidget(), editor);
    editor->insertText(QStringLiteral("abc\ndef"));
    editor->setSelectedRange({0, editor->textLength()});
    QTest::keyClick(editor, Qt::Key_L, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor->string(), "abc\ndef") << "選択範囲を行ごとに分割, not the letter";
    EXPECT_EQ(editor->normalizedSelectedRanges(), (std::vector<TextRange>{{0, 3}, {4, 3}}));

    // Every key equivalent without Control that a text view could take for typing.
    for (QAction* action : boundActions(window->window())) {
        for (const QKeySequence& keys : action->shortcuts()) {
            const QKeyCombination combination = keys[0];
            const int key = static_cast<int>(combination.key());
            if (combination.keyboardModifiers() & (Qt::ControlModifier | Qt::MetaModifier) || key > 0xff)
                continue;
            QSignalSpy fired(action, &QAction::triggered);
            QTest::keyClick(editor, combination.key(), combination.keyboardModifiers());
            EXPECT_EQ(fired.count(), 1) << keys.toString().toStdString();
        }
    }
}

// X turns Ctrl+Shift+[ into Ctrl+Shift+[ and Ctrl+{ for the shortcut search (the key with every
// modifier, the symbol with Shift taken in); an item fires only when exactly one bound key matches.
TEST_F(MenuShortcutsTest, BraceKeysReachTheTabItemsAsTheKeyboardDeliversThem)
{
    launch();
    EditorWindowController* first = activeWindow();
    if (!first)
        GTEST_SKIP() << "this platform does not activate windows";
    delegate->newTab(nullptr);
    EditorWindowController* second = lastController();
    ASSERT_NE(second, first);
    ASSERT_EQ(WindowTabGroup::tabbedWindows(first->window())->size(), 2);
    delegate->refreshCommandMenus(*second);
    ASSERT_TRUE(QTest::qWaitForWindowActive(second->window()));

    struct Case {
        const char* title;
        Qt::Key symbol;
        Qt::Key base;
    };
    for (const Case& c : {Case{"前のタブを選択", Qt::Key_BraceLeft, Qt::Key_BracketLeft},
                          Case{"次のタブを選択", Qt::Key_BraceRight, Qt::Key_BracketRight}}) {
        QWidget* window = WindowTracker::shared().keyWindow();
        MenuItem* item = MenuBinder::shared().windowsMenu()->itemWithTitle(QString::fromUtf8(c.title));
        ASSERT_TRUE(item) << c.title;
        QAction* action = MenuBinder::shared().actionFor(window, item);
        ASSERT_TRUE(action);
        const QList<QKeySequence> fromX{QKeySequence(Qt::CTRL | Qt::SHIFT | c.base), QKeySequence(Qt::CTRL | c.symbol)};
        QStringList matching;
        for (QAction* bound : boundActions(window))
            for (const QKeySequence& keys : bound->shortcuts())
                if (fromX.contains(keys))
                    matching << bound->text() + " " + keys.toString();
        ASSERT_EQ(matching.size(), 1) << c.title << ": " << matching.join(", ").toStdString();
        EXPECT_TRUE(matching.front().startsWith(action->text())) << matching.front().toStdString();

        // Pressed as X reports it, and as a platform that keeps Shift does. Each tab has the item.
        for (const Qt::KeyboardModifiers modifiers :
             {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::ControlModifier | Qt::ShiftModifier}) {
            QWidget* key = WindowTracker::shared().keyWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(key));
            // The key window's menus are made anew for it.
            MenuItem* current = MenuBinder::shared().windowsMenu()->itemWithTitle(QString::fromUtf8(c.title));
            ASSERT_TRUE(current);
            QSignalSpy firedFirst(MenuBinder::shared().actionFor(first->window(), current), &QAction::triggered);
            QSignalSpy firedSecond(MenuBinder::shared().actionFor(second->window(), current), &QAction::triggered);
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : key, c.symbol, modifiers);
            EXPECT_EQ(firedFirst.count() + firedSecond.count(), 1) << c.title;
            EXPECT_NE(WindowTracker::shared().keyWindow(), key) << c.title << ": the other tab is selected";
        }
    }
}

// The Select submenu's own text-view items answer from the focused editor.
TEST_F(MenuShortcutsTest, TheFocusedEditorAnswersItsSelectionItems)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    EditorTextView* editor = window->textView();
    ASSERT_EQ(QApplication::focusWidget(), editor);
    editor->insertText(QStringLiteral("one two\nthree"));
    MenuModel* select = topMenu("編集")->itemWithTag(MainMenu::selectMenuTag)->submenu();
    ASSERT_TRUE(select);
    for (const auto& each : select->items()) {
        if (!each->isSeparatorItem()) {
            EXPECT_TRUE(enabled(each.get())) << each->title().toStdString();
        }
    }

    editor->setSelectedRange({5, 0});
    QTest::keyClick(editor, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(editor->selectedRange(), TextRange(4, 3)) << "単語を選択";
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(editor->selectedRange(), TextRange(0, 8)) << "行を選択";

    // Other actions of the text view reach it through the chain as well.
    for (const char* action : {"selectWord:", "selectParagraph:", "moveToEndOfDocument:", "deleteWordBackward:",
                               "centerSelectionInVisibleArea:", "splitSelectionByLines:", "copy:"})
        EXPECT_EQ(dynamic_cast<TextView*>(ActionDispatcher::shared().targetForAction(QString::fromLatin1(action))),
                  editor)
            << action;
}

}  // namespace
