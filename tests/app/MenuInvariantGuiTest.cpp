#include "support/AppFixture.h"

#include "editor/EditorTextView.h"
#include "platform/ui/MenuBinder.h"

#include <QApplication>
#include <QHash>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace korimado;

namespace {

struct Placed {
    MenuItem* item;
    QString path;  // "ファイル > 保存…", for the failure messages
};

// Every item of the menu tree, in menu order, each submenu validated first as opening it would.
void collect(MenuModel& menu, const QString& path, std::vector<Placed>& found)
{
    ActionDispatcher::shared().validateMenu(menu);
    for (const auto& item : menu.items()) {
        if (item->isSeparatorItem() || item->isHidden())
            continue;
        const QString here = path.isEmpty() ? item->title() : path + QStringLiteral(" > ") + item->title();
        found.push_back({item.get(), here});
        if (MenuModel* submenu = item->submenu())
            collect(*submenu, here, found);
    }
}

// Takes every action and says which item sent it.
class Recorder : public Responder {
public:
    bool respondsTo(const QString&) const override { return true; }
    void perform(const QString& action, MenuItem* sender) override { fired.push_back({action, sender}); }
    std::optional<bool> validate(MenuItem&) override { return true; }

    std::vector<std::pair<QString, MenuItem*>> fired;
};

class MenuInvariantTest : public test::AppFixture {};

// An enabled item that nobody answers does nothing when chosen: the menu would promise a command
// that is not there.
TEST_F(MenuInvariantTest, EveryEnabledItemReachesAResponder)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    std::vector<Placed> items;
    collect(*delegate->mainMenu(), QString(), items);
    ASSERT_GT(items.size(), 100u);

    int reached = 0;
    for (const Placed& placed : items) {
        MenuItem& item = *placed.item;
        if (!item.isEnabled() || item.action().isEmpty())
            continue;
        SCOPED_TRACE(placed.path.toStdString() + " (" + item.action().toStdString() + ")");
        EXPECT_FALSE(item.hasTarget() && !item.target()) << "enabled, but its target is gone";
        EXPECT_NE(ActionDispatcher::shared().targetForAction(item.action(), item.target()), nullptr)
            << "enabled, but nothing responds";
        ++reached;
    }
    EXPECT_GT(reached, 100);
}

// Each key equivalent, pressed where the user's keys go, also in the other forms the keyboard
// delivers it in, sends its own item's action once (or the first item's in menu order when two
// share it).
TEST_F(MenuInvariantTest, EveryKeyEquivalentFiresItsItem)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    std::vector<Placed> items;
    collect(*delegate->mainMenu(), QString(), items);

    // Every item answers to the recorder, so no command runs and every one stays enabled.
    Recorder recorder;
    QHash<QKeySequence, MenuItem*> owner;
    std::vector<Placed> keyed;
    for (const Placed& placed : items) {
        MenuItem& item = *placed.item;
        if (item.action().isEmpty() || item.hasSubmenu())
            continue;
        if (item.menu()->autoenablesItems())
            item.setTarget(&recorder);
        else if (!item.isEnabled())
            continue;  // its menu keeps it off
        if (item.keySequence().isEmpty())
            continue;
        if (!owner.contains(item.keySequence()))
            owner.insert(item.keySequence(), &item);
        keyed.push_back(placed);
    }
    ASSERT_GT(keyed.size(), 30u);

    int checked = 0;
    for (const Placed& placed : keyed) {
        MenuItem& item = *placed.item;
        SCOPED_TRACE(placed.path.toStdString() + " (" + item.keySequence().toString().toStdString() + ")");
        if (!item.menu()->autoenablesItems())
            continue;  // its own target would run the command
        MenuItem* expected = owner.value(item.keySequence());
        for (const QKeySequence& keys : QList<QKeySequence>{item.keySequence()} + item.alternateKeySequences()) {
            SCOPED_TRACE("pressed as " + keys.toString().toStdString());
            recorder.fired.clear();
            QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : window->window();
            QTest::keyClick(focus, keys[0].key(), keys[0].keyboardModifiers());
            ASSERT_EQ(recorder.fired.size(), 1u) << "the key fired " << recorder.fired.size() << " items";
            EXPECT_EQ(recorder.fired.front().second, expected);
            EXPECT_EQ(recorder.fired.front().first, expected->action());
            ++checked;
        }
    }
    EXPECT_GT(checked, 30);
}

// Two commands on one key would leave one of them unreachable from the keyboard, and a chord with
// the Super key never reaches a program on a Linux desktop, which keeps that key for itself.
TEST_F(MenuInvariantTest, NoTwoCommandsShareAKeyAndNoneNeedsTheSuperKey)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    window->openSplitTextView();
    delegate->refreshCommandMenus(*window);
    std::vector<Placed> items;
    collect(*delegate->mainMenu(), QString(), items);

    struct Holder {
        QString path;
        QString action;
        QVariant object;
    };
    QHash<QKeySequence, Holder> holders;
    int keys = 0;
    for (const Placed& placed : items) {
        MenuItem& item = *placed.item;
        if (item.action().isEmpty() || item.hasSubmenu() || item.keySequence().isEmpty())
            continue;
        for (const QKeySequence& key : QList<QKeySequence>{item.keySequence()} + item.alternateKeySequences()) {
            ++keys;
            const QString shown = key.toString(QKeySequence::PortableText);
            EXPECT_FALSE(key[0].keyboardModifiers() & Qt::MetaModifier) << placed.path.toStdString() << ": " << shown.toStdString();
            const auto held = holders.constFind(key);
            if (held == holders.constEnd()) {
                holders.insert(key, {placed.path, item.action(), item.representedObject()});
                continue;
            }
            // The same command listed twice (Edit and Select both select all) is one command.
            EXPECT_TRUE(held->action == item.action() && held->object == item.representedObject())
                << shown.toStdString() << " is held by " << held->path.toStdString() << " and "
                << placed.path.toStdString();
        }
    }
    EXPECT_GT(keys, 60);

    // The chords the Linux user expects.
    const auto keyOf = [&](const char* menu, const char* title) {
        for (const Placed& placed : items)
            if (placed.item->title() == QString::fromUtf8(title) && placed.path.startsWith(QString::fromUtf8(menu)))
                return placed.item->keySequence();
        return QKeySequence();
    };
    EXPECT_EQ(keyOf("テキスト", "上へ移動"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up));
    EXPECT_EQ(keyOf("テキスト", "下へ移動"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down));
    EXPECT_EQ(keyOf("テキスト", "入力を補完"), QKeySequence(Qt::CTRL | Qt::Key_Space));
    EXPECT_EQ(keyOf("表示", "全画面にする"), QKeySequence(Qt::Key_F11));
    EXPECT_EQ(keyOf("編集", "バックスラッシュを入力"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Backslash));
    EXPECT_EQ(holders.value(QKeySequence(Qt::CTRL | Qt::Key_Y)).action, "redo:");
    EXPECT_EQ(holders.value(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)).action, "redo:");
}

// Ctrl+Y redoes what Ctrl+Z undid, as in every Linux editor.
TEST_F(MenuInvariantTest, ControlYRedoes)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    EditorTextView* editor = window->textView();
    editor->insertText(QStringLiteral("abc"));
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor->string(), "");
    QTest::keyClick(editor, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(editor->string(), "abc");
}

}  // namespace
