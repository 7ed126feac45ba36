#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/WindowTracker.h"
#include "RecordingResponder.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

using namespace korimado;
using korimado::test::RecordingResponder;

namespace {

QKeySequence keys(const QString& key, KeyModifiers modifiers = KeyModifier::Command)
{
    return MenuItem::keySequence(key, modifiers);
}

TEST(MenuItemKeys, KeyEquivalentsMapToShortcuts)
{
    EXPECT_EQ(keys("n"), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(keys("n", KeyModifier::Command | KeyModifier::Shift), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    // An upper-case letter means Shift, with or without it in the mask.
    EXPECT_EQ(keys("P"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    EXPECT_EQ(keys("P", KeyModifier::Command | KeyModifier::Shift), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    EXPECT_EQ(keys("o", KeyModifier::Command | KeyModifier::Option), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_O));
    EXPECT_EQ(keys("h", KeyModifier::Command | KeyModifier::Control | KeyModifier::Shift),
              QKeySequence(Qt::CTRL | Qt::META | Qt::SHIFT | Qt::Key_H));
    EXPECT_EQ(keys("s", KeyModifier::Command | KeyModifier::Control), QKeySequence(Qt::CTRL | Qt::META | Qt::Key_S));
    EXPECT_EQ(keys(","), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(keys("`"), QKeySequence(Qt::CTRL | Qt::Key_QuoteLeft));
    EXPECT_EQ(keys("?"), QKeySequence(Qt::CTRL | Qt::Key_Question));
    EXPECT_EQ(keys("{", KeyModifier::Command | KeyModifier::Shift), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_BraceLeft));
    EXPECT_EQ(keys(QString(QChar(0xA5))), QKeySequence(Qt::CTRL | Qt::Key_yen));
    EXPECT_EQ(keys("1"), QKeySequence(Qt::CTRL | Qt::Key_1));
    EXPECT_EQ(keys(QString(QChar(0xF700)), KeyModifier::Command | KeyModifier::Option),
              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Up));
    EXPECT_EQ(keys(QString(QChar(0xF701)), KeyModifier::Command | KeyModifier::Option),
              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Down));
    EXPECT_EQ(keys("\r", {}), QKeySequence(Qt::Key_Return));
    EXPECT_TRUE(keys("").isEmpty());
    EXPECT_TRUE(keys("ab").isEmpty());
    // A new item's mask is Command.
    MenuItem item("保存", "saveDocument:", "s");
    EXPECT_EQ(item.keySequence(), QKeySequence(Qt::CTRL | Qt::Key_S));
}

TEST(MenuModel, ItemsAreFoundMovedReplacedAndRemoved)
{
    MenuModel edit("編集");
    MenuItem* undo = edit.addItem("取り消す", "undo:", "z");
    edit.addSeparator();
    auto select = std::make_shared<MenuItem>("選択");
    select->setTag(7401);
    select->setSubmenu(std::make_shared<MenuModel>("選択"));
    edit.addItem(select);

    EXPECT_EQ(edit.numberOfItems(), 3);
    EXPECT_EQ(edit.itemWithTag(7401), select.get());
    EXPECT_EQ(edit.itemWithTag(1), nullptr);
    EXPECT_EQ(edit.itemWithTitle("取り消す"), undo);
    EXPECT_EQ(edit.indexOfItem(select.get()), 2);
    EXPECT_EQ(select->menu(), &edit);
    EXPECT_TRUE(edit.itemAt(1)->isSeparatorItem());
    EXPECT_EQ(edit.itemAt(3), nullptr);
    EXPECT_EQ(edit.itemAt(-1), nullptr);

    // An item lives in one menu at a time.
    MenuModel other("other");
    other.addItem(select);
    EXPECT_EQ(edit.numberOfItems(), 2);
    EXPECT_EQ(edit.indexOfItem(select.get()), -1);
    EXPECT_EQ(select->menu(), &other);

    // Replacing within the same menu accounts for the item leaving its old place.
    auto first = edit.sharedItemAt(0);
    auto redo = std::make_shared<MenuItem>("やり直す", "redo:", "z");
    edit.insertItem(redo, 0);
    edit.replaceItem(2, first);  // the separator's place, once first has moved up
    ASSERT_EQ(edit.numberOfItems(), 2);
    EXPECT_EQ(edit.itemAt(0), redo.get());
    EXPECT_EQ(edit.itemAt(1), first.get());

    edit.removeItem(redo.get());
    EXPECT_EQ(redo->menu(), nullptr);
    edit.removeItemAt(5);  // out of range: nothing
    EXPECT_EQ(edit.numberOfItems(), 1);
    edit.removeAllItems();
    EXPECT_EQ(edit.numberOfItems(), 0);
    EXPECT_EQ(first->menu(), nullptr);
}

TEST(MenuModel, RefreshedTailEndsWithOneSeparatorAndOneCopy)
{
    MenuModel file("ファイル");
    file.addItem("新規", "newDocument:", "n");
    file.addItem("開く…", "openDocument:", "o");
    const int baseCount = file.numberOfItems();
    const auto refresh = [&](const QStringList& titles) {
        while (file.numberOfItems() > baseCount)
            file.removeItemAt(file.numberOfItems() - 1);
        if (titles.isEmpty())
            return;
        file.addSeparator();
        for (const QString& title : titles)
            file.addItem(title, "copyPath:");
    };
    refresh({"ファイルパスをコピー", "プリント…"});
    refresh({"ファイルパスをコピー", "プリント…"});
    ASSERT_EQ(file.numberOfItems(), baseCount + 3);
    EXPECT_TRUE(file.itemAt(baseCount)->isSeparatorItem());
    EXPECT_EQ(file.itemAt(baseCount + 2)->title(), "プリント…");
    refresh({});
    EXPECT_EQ(file.numberOfItems(), baseCount);
}

TEST(MenuModel, ChangesAreSignalledOnlyWhenSomethingChanged)
{
    MenuModel menu("表示");
    MenuItem* item = menu.addItem("行番号を表示", "toggleLineNumbers:");
    QList<MenuItem*> seen;
    QObject::connect(&menu, &MenuModel::changed, [&seen](MenuItem* changed) { seen.append(changed); });
    item->setState(MenuItem::State::on);
    item->setState(MenuItem::State::on);
    item->setTitle("行番号を表示");
    menu.addSeparator();
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0], item);
    EXPECT_EQ(seen[1], nullptr);
}

class MenuBinderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mainMenu = std::make_shared<MenuModel>("main");
        file = std::make_shared<MenuModel>("ファイル");
        auto fileRoot = std::make_shared<MenuItem>("ファイル");
        fileRoot->setSubmenu(file);
        mainMenu->addItem(fileRoot);
        newItem = file->addItem("新規", "newDocument:", "n");
        file->addItem("保存時の状態に戻す…", "revertDocumentToSaved:");
        saveAs = file->addItem("別名で保存…", "saveDocumentAs:", "s");
        saveAs->setKeyEquivalentModifierMask(KeyModifier::Command | KeyModifier::Shift);
        binder.setMainMenu(mainMenu);
        dispatcher.setApplicationDelegate(&delegate);
        for (auto* window : {&first, &second}) {
            window->resize(300, 200);
            binder.attach(window);
        }
    }

    QAction* action(QWidget& window, const MenuItem* item) { return binder.actionFor(&window, item); }

    QStringList log;
    RecordingResponder delegate{"delegate", {"newDocument:", "saveDocumentAs:", "copyPath:"}, &log};
    WindowTracker tracker;
    ActionDispatcher dispatcher{tracker};
    MenuBinder binder{dispatcher};
    std::shared_ptr<MenuModel> mainMenu;
    std::shared_ptr<MenuModel> file;
    MenuItem* newItem = nullptr;
    MenuItem* saveAs = nullptr;
    QMainWindow first;
    QMainWindow second;
};

TEST_F(MenuBinderTest, EveryWindowShowsTheMenuWithItsShortcuts)
{
    for (QMainWindow* window : {&first, &second}) {
        QMenuBar* bar = binder.menuBar(window);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(window->menuBar(), bar);
        EXPECT_FALSE(bar->isNativeMenuBar());
        ASSERT_EQ(bar->actions().size(), 1);
        EXPECT_EQ(bar->actions()[0]->text(), "ファイル");
        QMenu* menu = binder.menuFor(window, file.get());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 3);
        EXPECT_EQ(menu->actions()[0]->text(), "新規");
        EXPECT_EQ(menu->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
        EXPECT_EQ(menu->actions()[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    }
    // Each window has its own actions, so each window's shortcuts act on that window.
    EXPECT_NE(action(first, newItem), action(second, newItem));
}

TEST_F(MenuBinderTest, ChangesToTheModelReachEveryWindow)
{
    newItem->setTitle("新規 & 空");
    newItem->setState(MenuItem::State::on);
    saveAs->setHidden(true);
    auto copy = std::make_shared<MenuItem>("ファイルパスをコピー", "copyPath:");
    file->addSeparator();
    file->addItem(copy);
    for (QMainWindow* window : {&first, &second}) {
        QMenu* menu = binder.menuFor(window, file.get());
        ASSERT_EQ(menu->actions().size(), 5);
        EXPECT_EQ(menu->actions()[0]->text(), "新規 && 空");  // not a mnemonic
        EXPECT_TRUE(menu->actions()[0]->isChecked());
        EXPECT_FALSE(menu->actions()[2]->isVisible());
        EXPECT_TRUE(menu->actions()[3]->isSeparator());
        EXPECT_EQ(menu->actions()[4]->text(), "ファイルパスをコピー");
    }
    file->removeItem(copy.get());
    file->removeItemAt(file->numberOfItems() - 1);
    EXPECT_EQ(binder.menuFor(&second, file.get())->actions().size(), 3);

    // A new submenu replaces the old one under the same item.
    auto replacement = std::make_shared<MenuModel>("ファイル2");
    replacement->addItem("開く…", "openDocument:", "o");
    mainMenu->itemAt(0)->setSubmenu(replacement);
    for (QMainWindow* window : {&first, &second}) {
        EXPECT_EQ(binder.menuFor(window, file.get()), nullptr);
        QMenu* menu = binder.menuFor(window, replacement.get());
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->actions().size(), 1);
        // The menu bar names a menu by the submenu's title.
        EXPECT_EQ(binder.menuBar(window)->actions()[0]->text(), "ファイル2");
    }
}

TEST_F(MenuBinderTest, OpeningAMenuValidatesAndClosingReArmsShortcuts)
{
    QMenu* menu = binder.menuFor(&first, file.get());
    delegate.disabled.insert("saveDocumentAs:");
    Q_EMIT menu->aboutToShow();
    EXPECT_TRUE(action(first, newItem)->isEnabled());
    // Nobody handles revertDocumentToSaved: here: greyed.
    EXPECT_FALSE(menu->actions()[1]->isEnabled());
    EXPECT_FALSE(action(first, saveAs)->isEnabled());
    Q_EMIT menu->aboutToHide();
    // Closed menus keep their actions armed; validation runs again on trigger.
    EXPECT_TRUE(action(first, saveAs)->isEnabled());
    action(first, saveAs)->trigger();
    EXPECT_TRUE(log.isEmpty());
    delegate.disabled.clear();
    action(first, saveAs)->trigger();
    EXPECT_EQ(log, QStringList{"delegate:saveDocumentAs:"});
    EXPECT_EQ(delegate.lastSender, saveAs);
}

TEST_F(MenuBinderTest, AnActionMayReplaceTheItemThatSentIt)
{
    // A refresh during dispatch removes and rebuilds the tail the item belongs to.
    class Refresher : public Responder {
    public:
        explicit Refresher(MenuModel& menu) : menu_(menu)
        {
            registerAction("copyPath:", [this](MenuItem*) {
                menu_.removeItemAt(menu_.numberOfItems() - 1);
                menu_.addItem("ファイルパスをコピー", "copyPath:")->setTarget(this);
                ++count;
            });
        }
        int count = 0;

    private:
        MenuModel& menu_;
    };
    Refresher refresher(*file);
    MenuItem* tail = file->addItem("ファイルパスをコピー", "copyPath:");
    tail->setTarget(&refresher);
    action(first, tail)->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(refresher.count, 1);
    EXPECT_EQ(file->numberOfItems(), 4);
    action(first, file->itemAt(3))->trigger();
    EXPECT_EQ(refresher.count, 2);
    EXPECT_TRUE(log.isEmpty());  // the explicit target, not the delegate
}

TEST_F(MenuBinderTest, ShortcutsReachTheResponders)
{
    first.show();
    first.activateWindow();
    if (!QTest::qWaitForWindowActive(&first))
        GTEST_SKIP() << "this platform does not activate windows";
    QTest::keyClick(&first, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(&first, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(log, (QStringList{"delegate:newDocument:", "delegate:saveDocumentAs:"}));
}

TEST_F(MenuBinderTest, AKeyOfferedToTheMainMenuIsPerformedOnlyByAnEnabledItemThatHoldsIt)
{
    file->addItem("書き出す", "exportDocument:", "w");  // nobody responds: disabled
    const auto offer = [this](QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        const QKeyEvent event(type, key, modifiers);
        return binder.performKeyEquivalent(event, &first);
    };
    EXPECT_TRUE(offer(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_FALSE(offer(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier)) << "Shift is part of the key";
    EXPECT_FALSE(offer(QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier)) << "a disabled item takes no key";
    EXPECT_FALSE(offer(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier));
    EXPECT_FALSE(offer(QEvent::KeyRelease, Qt::Key_N, Qt::ControlModifier));
    EXPECT_TRUE(offer(QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier));
    EXPECT_EQ(log, (QStringList{"delegate:saveDocumentAs:", "delegate:newDocument:"}));
}

TEST_F(MenuBinderTest, TheWindowsMenuListsTheWindowsWhileOpen)
{
    auto windowMenu = std::make_shared<MenuModel>("ウインドウ");
    windowMenu->addItem("最小化", "performMiniaturize:", "m");
    auto root = std::make_shared<MenuItem>("ウインドウ");
    root->setSubmenu(windowMenu);
    mainMenu->addItem(root);
    binder.setWindowsMenu(windowMenu);
    first.setWindowTitle("一つ目 & 二つ目[*]");
    second.setWindowTitle("二");
    first.show();
    second.show();
    tracker.makeKeyAndOrderFront(&second);
    tracker.makeKeyAndOrderFront(&first);

    QMenu* menu = binder.menuFor(&first, windowMenu.get());
    ASSERT_NE(menu, nullptr);
    Q_EMIT menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_EQ(menu->actions()[2]->text(), "一つ目 && 二つ目");
    EXPECT_TRUE(menu->actions()[2]->isChecked());
    EXPECT_FALSE(menu->actions()[3]->isChecked());
    menu->actions()[3]->trigger();
    EXPECT_EQ(tracker.keyWindow(), &second);
    // Opening again lists them afresh, not twice.
    Q_EMIT menu->aboutToShow();
    EXPECT_EQ(menu->actions().size(), 4);
    // A change to the model keeps the list out of the items.
    windowMenu->addItem("拡大／縮小", "performZoom:");
    EXPECT_EQ(menu->actions().size(), 2);
}

TEST_F(MenuBinderTest, WindowsAreDetachedWhenDestroyed)
{
    auto third = std::make_unique<QMainWindow>();
    binder.attach(third.get());
    EXPECT_NE(binder.menuBar(third.get()), nullptr);
    const QWidget* gone = third.get();
    third.reset();
    EXPECT_EQ(binder.menuBar(gone), nullptr);
    // Changes after a window is gone touch only the live ones.
    file->addItem("開く…", "openDocument:", "o");
    EXPECT_EQ(binder.menuFor(&first, file.get())->actions().size(), 4);
}

}  // namespace

TEST(MenuModel, AFillWaitsUntilTheItemsAreRead)
{
    MenuModel menu("アウトライン");
    menu.addItem("古い項目", "x:");
    int fills = 0;
    int changes = 0;
    QObject::connect(&menu, &MenuModel::changed, [&changes](MenuItem*) { ++changes; });
    const auto fillWith = [&fills](const QString& title) {
        return [&fills, title](MenuModel& m) {
            ++fills;
            m.setItems({std::make_shared<MenuItem>(title, "y:")});
        };
    };
    menu.setNeedsFill(fillWith("一"));
    menu.setNeedsFill(fillWith("二"));  // replaces the first one
    EXPECT_TRUE(menu.needsFill());
    EXPECT_EQ(fills, 0);
    EXPECT_EQ(menu.numberOfItems(), 1);
    EXPECT_EQ(fills, 1);
    EXPECT_EQ(menu.itemAt(0)->title(), "二");
    EXPECT_FALSE(menu.needsFill());
    menu.items();
    EXPECT_EQ(fills, 1) << "filled once";
    EXPECT_EQ(changes, 3);

    // Adding to a menu whose fill is pending comes after the fill; replacing everything drops it.
    menu.setNeedsFill(fillWith("三"));
    menu.addItem("末尾", "z:");
    EXPECT_EQ(fills, 2);
    EXPECT_EQ(menu.itemAt(0)->title(), "三");
    EXPECT_EQ(menu.itemAt(1)->title(), "末尾");
    menu.setNeedsFill(fillWith("四"));
    menu.setItems({std::make_shared<MenuItem>("直接", "w:")});
    EXPECT_EQ(menu.itemAt(0)->title(), "直接");
    EXPECT_EQ(fills, 2);
}

TEST_F(MenuBinderTest, AMenuFilledOnDemandIsBuiltWhenItOpens)
{
    auto outline = std::make_shared<MenuModel>("アウトライン");
    auto root = std::make_shared<MenuItem>("アウトライン");
    root->setSubmenu(outline);
    file->addItem(root);
    int fills = 0;
    outline->setNeedsFill([&fills, this](MenuModel& m) {
        ++fills;
        std::vector<std::shared_ptr<MenuItem>> items;
        for (int i = 0; i < 3; ++i) items.push_back(std::make_shared<MenuItem>(QString::number(i), "newDocument:"));
        m.setItems(std::move(items));
    });
    QMenu* shown = binder.menuFor(&first, outline.get());
    QMenu* other = binder.menuFor(&second, outline.get());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(fills, 0) << "nobody opened it";
    EXPECT_TRUE(shown->actions().isEmpty());

    Q_EMIT shown->aboutToShow();
    EXPECT_EQ(fills, 1);
    ASSERT_EQ(shown->actions().size(), 3);
    EXPECT_EQ(shown->actions()[2]->text(), "2");
    EXPECT_EQ(other->actions().size(), 3) << "the other window follows the filled menu";
    Q_EMIT shown->aboutToHide();
    shown->actions()[1]->trigger();
    EXPECT_EQ(log, QStringList{"delegate:newDocument:"});
}
