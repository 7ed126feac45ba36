#include "support/AppFixture.h"

#include "app/QuickActions.h"
#include "commands/TextCommands.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"

#include <QLineEdit>
#include <QListWidget>

using namespace korimado;
using korimado::test::AppFixture;

namespace {

class QuickActionsTest : public AppFixture {
protected:
    QuickActions& palette()
    {
        delegate->perform(QStringLiteral("showQuickActions:"), nullptr);
        return *delegate->quickActions();
    }
    static void type(QuickActions& quick, const QString& query) { quick.field()->setText(query); }
    static QString path(std::initializer_list<const char16_t*> titles)
    {
        QStringList parts;
        for (const char16_t* t : titles) parts << QString::fromUtf16(t);
        return parts.join(QuickActions::separator);
    }
};

}  // namespace

TEST_F(QuickActionsTest, WithoutAWindowOnlyFixedEnabledItems)
{
    launch();
    QuickActions& quick = palette();
    const QStringList titles = quick.filteredTitles();
    EXPECT_TRUE(titles.contains(path({u"ファイル", u"新規"})));
    EXPECT_FALSE(titles.contains(path({u"検索", u"検索…"}))) << "disabled without a window";
    for (const QString& title : titles) EXPECT_FALSE(title.startsWith(QStringLiteral("テキスト"))) << title.toStdString();
    quick.window()->hide();
}

TEST_F(QuickActionsTest, FiltersByPlainSubstringAndRunsInTheDocumentWindow)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_NE(window, nullptr);
    EditorTextView* editor = window->textView();
    editor->replace({{0, 0}}, {QStringLiteral("b\na\n")}, QStringLiteral("入力"), true);
    editor->setSelectedRange({0, 4});

    QuickActions& quick = palette();
    EXPECT_TRUE(quick.filteredTitles().contains(path({u"テキスト", u"行", u"昇順で並べ替え"})));
    type(quick, QStringLiteral("保存"));
    const QStringList saves = quick.filteredTitles();
    EXPECT_TRUE(saves.contains(path({u"ファイル", u"保存"})));
    EXPECT_TRUE(saves.contains(path({u"ファイル", u"別名で保存…"})));
    type(quick, QStringLiteral("korimado"));
    ASSERT_FALSE(quick.filteredTitles().isEmpty()) << "case-insensitive";
    EXPECT_TRUE(quick.filteredTitles().first().startsWith(QStringLiteral("Korimado")));
    type(quick, QStringLiteral("ほぞん"));
    EXPECT_TRUE(quick.filteredTitles().isEmpty()) << "no reading conversion";
    quick.runSelection();  // nothing to run
    EXPECT_EQ(editor->string(), QStringLiteral("b\na\n"));

    type(quick, QStringLiteral("昇順"));
    ASSERT_EQ(quick.filteredTitles().size(), 1);
    EXPECT_EQ(quick.table()->currentRow(), 0);
    quick.runSelection();
    EXPECT_FALSE(quick.window()->isVisible());
    EXPECT_EQ(editor->string(), QStringLiteral("a\nb\n"));
    EXPECT_EQ(window->document()->undoManager()->undoActionName(), QStringLiteral("行を並べ替え"));
    EXPECT_EQ(WindowTracker::shared().keyWindow(), window->window());

    QuickActions& again = palette();
    EXPECT_TRUE(again.field()->text().isEmpty()) << "each opening starts over";
    EXPECT_EQ(again.table()->currentRow(), 0);
    again.window()->hide();
}

TEST_F(QuickActionsTest, ArrowKeysInTheFieldMoveTheSelectionAndEscapeCloses)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_NE(window, nullptr);
    QuickActions& quick = palette();
    ASSERT_GT(quick.filteredTitles().size(), 3);
    QLineEdit* field = quick.field();
    EXPECT_EQ(quick.table()->currentRow(), 0);
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(quick.table()->currentRow(), 2);
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(quick.table()->currentRow(), 1);
    QTest::keyClick(field, Qt::Key_Up);
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(quick.table()->currentRow(), 0) << "stops at the first row";
    QTest::keyClick(field, Qt::Key_PageDown);
    EXPECT_GT(quick.table()->currentRow(), 1);
    type(quick, QStringLiteral("昇順"));
    ASSERT_EQ(quick.filteredTitles().size(), 1);
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(quick.table()->currentRow(), 0) << "stops at the last row";
    EXPECT_TRUE(field->hasFocus() || !quick.window()->isActiveWindow()) << "the field keeps the focus";

    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(quick.window()->isVisible());
    EXPECT_EQ(window->document()->undoManager()->undoActionName(), QString()) << "Escape runs nothing";

    QuickActions& again = palette();
    QTest::keyClick(again.table(), Qt::Key_Escape);
    EXPECT_FALSE(again.window()->isVisible()) << "Escape closes it from the list too";
}
