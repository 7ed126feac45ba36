#include "support/AppFixture.h"

#include "app/WorkspaceCommands.h"
#include "search/ui/SearchController.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

using namespace korimado;

namespace {

// Everything a widget shows or says about itself.
QStringList textsOf(QWidget* widget)
{
    QStringList texts{widget->windowTitle(), widget->toolTip(), widget->statusTip(), widget->accessibleName()};
    if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
    if (auto* field = qobject_cast<QLineEdit*>(widget)) texts << field->placeholderText();
    if (auto* box = qobject_cast<QComboBox*>(widget))
        for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    for (QAction* action : widget->actions()) texts << action->text() << action->toolTip();
    return texts;
}

void collectTitles(MenuModel& menu, QStringList& titles)
{
    for (const auto& item : menu.items()) {
        titles << item->title();
        if (item->submenu()) collectTitles(*item->submenu(), titles);
    }
}

class ShownWordsTest : public test::AppFixture {};

// A Linux desktop has no Finder and no ⌘ key: no text of the program may send the user to them.
TEST_F(ShownWordsTest, NoShownTextNamesTheFinderOrTheCommandKey)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    window->showEdit();  // its status text names the mode keys
    for (const char* action : {"showFind:", "showBatchReplace:", "showFolderFind:"})
        window->search().perform(QString::fromLatin1(action), nullptr);
    delegate->refreshCommandMenus(*window);

    QStringList texts{WorkspaceCommands::helpText};
    collectTitles(*delegate->mainMenu(), texts);
    for (QWidget* widget : QApplication::allWidgets()) texts << textsOf(widget);
    ASSERT_GT(texts.size(), 300);
    const QRegularExpression macOnly(QStringLiteral("Finder|⌘"));
    for (const QString& text : texts)
        EXPECT_FALSE(text.contains(macOnly)) << text.toStdString();
    EXPECT_TRUE(WorkspaceCommands::helpText.contains(QStringLiteral("Ctrl+1で編集")));
}

}  // namespace
