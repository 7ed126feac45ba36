#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/WindowTracker.h"
#include "RecordingResponder.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QVBoxLayout>

using namespace korimado;
using korimado::test::RecordingResponder;

namespace {

// A view that handles some actions itself, as an editor does.
class ResponderWidget : public QWidget, public Responder {
public:
    ResponderWidget(const QString& name, const QStringList& actions, QStringList* log, QWidget* parent = nullptr)
        : QWidget(parent), name_(name), actions_(actions), log_(log)
    {
        setFocusPolicy(Qt::StrongFocus);
    }
    bool respondsTo(const QString& action) const override { return actions_.contains(action); }
    void perform(const QString& action, MenuItem*) override { log_->append(name_ + ":" + action); }

private:
    QString name_;
    QStringList actions_;
    QStringList* log_;
};

class ActionDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        outer = new ResponderWidget("outer", {"copy:", "selectAll:"}, &log);
        layout->addWidget(outer);
        auto* innerLayout = new QVBoxLayout(outer);
        editor = new ResponderWidget("editor", {"copy:", "undo:"}, &log);
        innerLayout->addWidget(editor);
        window.setCentralWidget(content);
        window.show();
        editor->setFocus();

        dispatcher.setWindowController(&window, &controller);
        dispatcher.setWindowDocument(&window, &document);
        dispatcher.setApplicationDelegate(&delegate);
        dispatcher.setDocumentController(&documents);
        tracker.makeKeyWindow(&window);
    }

    QString handlerOf(const QString& action)
    {
        log.clear();
        if (!dispatcher.sendAction(action, nullptr, nullptr))
            return {};
        return log.value(0).section(':', 0, 0);
    }

    QStringList log;
    RecordingResponder controller{"controller", {"undo:", "saveDocument:", "showFind:"}, &log};
    RecordingResponder document{"document", {"saveDocument:", "revertDocumentToSaved:"}, &log};
    RecordingResponder delegate{"delegate", {"newTab:", "revertDocumentToSaved:", "undo:"}, &log};
    RecordingResponder documents{"documents", {"newDocument:", "newTab:"}, &log};
    WindowTracker tracker;
    ActionDispatcher dispatcher{tracker};
    QMainWindow window;
    ResponderWidget* outer = nullptr;
    ResponderWidget* editor = nullptr;
};

TEST_F(ActionDispatcherTest, TheFirstResponderOfTheChainThatRespondsGetsTheAction)
{
    EXPECT_EQ(handlerOf("copy:"), "editor");                 // the focused view
    EXPECT_EQ(handlerOf("selectAll:"), "outer");             // its parent
    EXPECT_EQ(handlerOf("showFind:"), "controller");         // the window's controller
    EXPECT_EQ(handlerOf("revertDocumentToSaved:"), "document");
    EXPECT_EQ(handlerOf("newTab:"), "delegate");             // before the document controller
    EXPECT_EQ(handlerOf("newDocument:"), "documents");
    EXPECT_EQ(handlerOf("nothing:"), "");

    // Focus moves to the outer view: the editor is no longer on the chain.
    outer->setFocus();
    EXPECT_EQ(handlerOf("copy:"), "outer");
    EXPECT_EQ(handlerOf("undo:"), "controller");

    // Without a key window only the application's responders are left.
    WindowTracker lonely;
    ActionDispatcher bare(lonely);
    bare.setApplicationDelegate(&delegate);
    log.clear();
    EXPECT_FALSE(bare.sendAction("saveDocument:", nullptr, nullptr));
    EXPECT_TRUE(bare.sendAction("undo:", nullptr, nullptr));
    EXPECT_EQ(log, QStringList{"delegate:undo:"});
}

TEST_F(ActionDispatcherTest, AnExplicitTargetGetsTheActionDirectly)
{
    log.clear();
    EXPECT_TRUE(dispatcher.sendAction("undo:", &delegate, nullptr));
    EXPECT_EQ(log, QStringList{"delegate:undo:"});
    // A target that does not respond is not replaced by the chain.
    EXPECT_FALSE(dispatcher.sendAction("copy:", &delegate, nullptr));

    MenuItem item("取り消す", "undo:", "z");
    item.setTarget(&delegate);
    log.clear();
    EXPECT_TRUE(dispatcher.performItem(item));
    EXPECT_EQ(log, QStringList{"delegate:undo:"});
    EXPECT_EQ(delegate.lastSender, &item);
}

TEST_F(ActionDispatcherTest, ValidationFollowsTheChain)
{
    MenuModel menu;
    MenuItem* copy = menu.addItem("コピー", "copy:", "c");
    MenuItem* unknown = menu.addItem("読み上げを開始", "startSpeaking:");
    MenuItem* save = menu.addItem("保存", "saveDocument:", "s");
    MenuItem* holder = menu.addItem("選択", "");
    holder->setSubmenu(std::make_shared<MenuModel>("選択"));
    MenuItem* label = menu.addItem("スニペットはありません", "");
    MenuItem* separator = menu.addSeparator();

    dispatcher.validateMenu(menu);
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_FALSE(unknown->isEnabled());  // nobody handles it
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(holder->isEnabled());    // submenus open even without an action
    EXPECT_FALSE(label->isEnabled());
    EXPECT_FALSE(separator->isEnabled());

    // The first responder that handles the action decides, even if a later one would say yes.
    controller.disabled.insert("saveDocument:");
    EXPECT_FALSE(dispatcher.validateItem(*save));
    log.clear();
    EXPECT_FALSE(dispatcher.performItem(*save));
    EXPECT_TRUE(log.isEmpty());

    // Without auto-enabling, the item's own flag stands.
    menu.setAutoenablesItems(false);
    unknown->setEnabled(true);
    EXPECT_TRUE(dispatcher.validateItem(*unknown));
}

TEST_F(ActionDispatcherTest, ValidatorsMaySetTitleAndState)
{
    class Toggler : public Responder {
    public:
        Toggler()
        {
            registerAction(
                "toggleKeepOnTop:", [this](MenuItem*) { on = !on; },
                [this](MenuItem& item) -> std::optional<bool> {
                    item.setState(on ? MenuItem::State::on : MenuItem::State::off);
                    item.setTitle(on ? "常に手前に表示 (オン)" : "常に手前に表示");
                    return true;
                });
        }
        bool on = false;
    } toggler;
    MenuItem item("常に手前に表示", "toggleKeepOnTop:");
    item.setTarget(&toggler);
    EXPECT_TRUE(dispatcher.performItem(item));
    EXPECT_TRUE(toggler.on);
    dispatcher.validateItem(item);
    EXPECT_EQ(item.state(), MenuItem::State::on);
    EXPECT_EQ(item.title(), "常に手前に表示 (オン)");
}

TEST_F(ActionDispatcherTest, GoneRespondersAreNeverCalled)
{
    MenuItem item("ファイルパスをコピー", "saveDocument:");
    {
        RecordingResponder shortLived("short", {"saveDocument:"}, &log);
        item.setTarget(&shortLived);
        dispatcher.setWindowController(&window, &shortLived);
        EXPECT_EQ(handlerOf("saveDocument:"), "short");
    }
    // The item's target is gone: disabled, and the chain is not asked in its place.
    EXPECT_EQ(item.target(), nullptr);
    EXPECT_FALSE(dispatcher.validateItem(item));
    log.clear();
    EXPECT_FALSE(dispatcher.performItem(item));
    EXPECT_TRUE(log.isEmpty());
    // The window's controller is gone too: the document is next.
    EXPECT_EQ(dispatcher.windowController(&window), nullptr);
    EXPECT_EQ(handlerOf("saveDocument:"), "document");
}

TEST_F(ActionDispatcherTest, APanelThatIsKeyPassesActionsToTheMainWindow)
{
    QWidget panel(nullptr, Qt::Tool);
    auto* field = new ResponderWidget("field", {"paste:"}, &log, &panel);
    panel.show();
    field->setFocus();
    tracker.makeKeyWindow(&panel);
    EXPECT_EQ(tracker.keyWindow(), &panel);
    EXPECT_EQ(tracker.mainWindow(), &window);
    EXPECT_EQ(handlerOf("paste:"), "field");
    EXPECT_EQ(handlerOf("showFind:"), "controller");
    EXPECT_EQ(handlerOf("copy:"), "editor");
}

TEST_F(ActionDispatcherTest, StandardWindowCommandsComeFromTheWindow)
{
    MenuItem next("次のタブを選択", "selectNextTab:", "}");
    MenuItem merge("すべてのウインドウを結合", "mergeAllWindows:");
    MenuItem close("閉じる", "performClose:", "w");
    // One window alone: no tab to switch to, nothing to merge with; closing is possible.
    EXPECT_FALSE(dispatcher.validateItem(next));
    EXPECT_FALSE(dispatcher.validateItem(merge));
    EXPECT_TRUE(dispatcher.validateItem(close));
    QMainWindow other;
    other.show();
    EXPECT_TRUE(dispatcher.validateItem(merge));
    EXPECT_TRUE(dispatcher.performItem(close));
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
