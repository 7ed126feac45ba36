#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "support/TestSupport.h"
#include "syntax/SyntaxModel.h"
#include "editor/EditorTextView.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/MenuItemList.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/WindowTracker.h"
#include "syntax/SyntaxHighlighter.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionEvent>
#include <QMainWindow>
#include <QMenu>
#include <QWidgetAction>

using namespace korimado;

namespace {

// Counts the actions a menu gains: every rebuild of a Qt menu adds its actions anew.
class ActionCounter : public QObject {
public:
    int added = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ActionAdded) ++added;
        return false;
    }
};

}  // namespace

TEST(OutlineMenu, FiftyThousandEntriesFillTheMenuWithOneRebuildWhenItOpens)
{
    QString text;
    for (int i = 0; i < 50000; ++i) text += QStringLiteral("# f%1\n").arg(i);
    KoriDocument document;
    document.storage().setString(text);
    EditorTextView editor(document.sharedStorage());
    TextCommands commands(&editor, document);
    SyntaxModel& syntax = commands.syntax();
    const auto parse = [&] {
        syntax.schedule();
        return test::spinUntil([&] { return syntax.hasCurrentTokens(); }, 30000);
    };
    syntax.setLanguage(QStringLiteral("markdown"));
    ASSERT_TRUE(parse());
    ASSERT_EQ(syntax.outline().size(), 50000u);

    WindowTracker tracker;
    ActionDispatcher dispatcher(tracker);
    MenuBinder binder(dispatcher);
    auto mainMenu = std::make_shared<MenuModel>("main");
    auto outline = std::make_shared<MenuModel>("アウトライン");
    mainMenu->addItem("アウトライン", {})->setSubmenu(outline);
    binder.setMainMenu(mainMenu);
    QMainWindow window;
    binder.attach(&window);
    QMenu* menu = binder.menuFor(&window, outline.get());
    ASSERT_NE(menu, nullptr);
    ActionCounter counter;
    menu->installEventFilter(&counter);
    int changes = 0;
    QObject::connect(outline.get(), &MenuModel::changed, [&changes](MenuItem*) { ++changes; });

    // Published, then refilled after three parses: nothing is made until the menu opens.
    commands.publishOutlineMenu(*outline);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(parse());
    EXPECT_TRUE(outline->needsFill());
    EXPECT_EQ(counter.added, 0);

    changes = 0;
    Q_EMIT menu->aboutToShow();
    EXPECT_FALSE(outline->needsFill());
    ASSERT_EQ(outline->numberOfItems(), 50002);
    EXPECT_EQ(changes, 1) << "the whole outline arrives in one change";
    // One rebuild: the entries as one scrolling list, the separator, "指定行へ移動…".
    EXPECT_EQ(counter.added, 3);
    ASSERT_EQ(menu->actions().size(), 3);
    auto* listAction = qobject_cast<QWidgetAction*>(menu->actions()[0]);
    ASSERT_NE(listAction, nullptr);
    auto* list = qobject_cast<MenuItemList*>(listAction->defaultWidget());
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->items().size(), 50000u);
    EXPECT_EQ(list->model()->index(49999, 0).data().toString(), QStringLiteral("50000行  f49999"));
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_TRUE(menu->actions()[2]->text().startsWith(QStringLiteral("指定行へ移動…")));

    // Choosing a row goes to its entry.
    Q_EMIT list->chosen(40000);
    EXPECT_EQ(editor.selectedRange(), TextRange(syntax.outline()[40000].range.location, 0));
    Q_EMIT menu->aboutToHide();

    // Opening it again without a new parse rebuilds nothing; a new parse refills it on the next opening.
    counter.added = 0;
    Q_EMIT menu->aboutToShow();
    Q_EMIT menu->aboutToHide();
    EXPECT_EQ(counter.added, 0);
    document.storage().setString(text.left(text.indexOf(QStringLiteral("# f10\n"))));
    ASSERT_TRUE(parse());
    Q_EMIT menu->aboutToShow();
    EXPECT_EQ(outline->numberOfItems(), 12);
    EXPECT_EQ(menu->actions().size(), 12) << "ten entries are ordinary menu items";
    Q_EMIT menu->aboutToHide();
}
