#include "commands/SnippetEditorWindow.h"
#include "commands/SnippetStore.h"
#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/ColorPanel.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "syntax/SyntaxHighlighter.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

struct Editor {
    Editor()
    {
        editor = std::make_unique<EditorTextView>(document.sharedStorage());
        editor->setUndoManager(document.undoManager());
        commands = std::make_unique<TextCommands>(editor.get(), document);
        commands->beep = [this] { ++beeps; };
    }
    void setText(const QString& text)
    {
        document.storage().setString(text);
        document.undoManager()->removeAllActions();
    }
    QString text() const { return editor->string(); }

    KoriDocument document;
    std::unique_ptr<EditorTextView> editor;
    std::unique_ptr<TextCommands> commands;
    int beeps = 0;
};

class ColorAndSnippets : public ::testing::Test {
protected:
    void SetUp() override { AlertPresenter::setShared(&alerts); }
    void TearDown() override
    {
        ColorPanel::shared().orderOut();
        AlertPresenter::setShared(nullptr);
        UserDefaults::standard().removeObject(QStringLiteral("editor.snippets.swift"));
        UserDefaults::standard().removeObject(QStringLiteral("editor.snippets.plain"));
    }
    // The user settles on a colour in the panel.
    static void pick(const QColor& color)
    {
        ColorPanel::shared().setColor(color);
        ColorPanel::shared().sendAction();
    }

    ScriptedAlertPresenter alerts;
};

}  // namespace

TEST_F(ColorAndSnippets, EachPickIsOneEditInTheCodesOwnNotation)
{
    Editor a;
    a.setText(QStringLiteral("color: #abc;\nrgb(0, 0, 0)\n"));
    a.editor->setSelectedRange({9, 0});
    a.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    EXPECT_EQ(TextCommands::activeColorOwner(), a.commands.get());
    EXPECT_TRUE(ColorPanel::shared().isVisible());
    EXPECT_EQ(ColorPanel::shared().color(), QColor(0xaa, 0xbb, 0xcc)) << "the panel starts at the code's colour";
    EXPECT_FALSE(a.document.undoManager()->canUndo()) << "setting the panel's colour edits nothing";

    pick(QColor(0x22, 0x44, 0x66));
    EXPECT_EQ(a.text(), QStringLiteral("color: #246;\nrgb(0, 0, 0)\n")) << "three digits stay three";
    EXPECT_EQ(a.document.undoManager()->undoActionName(), QStringLiteral("カラーコードを変更"));
    EXPECT_EQ(a.editor->selectedRange(), TextRange(7, 4)) << "the new code is selected";
    pick(QColor(0x22, 0x44, 0x66, 0x88));
    EXPECT_EQ(a.text(), QStringLiteral("color: #2468;\nrgb(0, 0, 0)\n"));
    pick(QColor(0x12, 0x34, 0x56, 0x80));
    EXPECT_EQ(a.text(), QStringLiteral("color: #12345680;\nrgb(0, 0, 0)\n")) << "the session follows the longer code";

    // The same colour again: no edit, no step.
    a.document.undoManager()->removeAllActions();
    pick(QColor(0x12, 0x34, 0x56, 0x80));
    EXPECT_FALSE(a.document.undoManager()->canUndo());

    // A function notation shows alpha once the colour is translucent.
    a.editor->setSelectedRange({20, 0});
    a.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    pick(QColor::fromRgbF(0, 0, 0, 0.5));
    EXPECT_EQ(a.text(), QStringLiteral("color: #12345680;\nrgba(0, 0, 0, 0.502)\n"));
}

TEST_F(ColorAndSnippets, AnEditSinceTheSessionOpenedStopsIt)
{
    Editor a;
    a.setText(QStringLiteral("#fff x"));
    a.editor->setSelectedRange({1, 0});
    a.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    a.editor->replace({{6, 0}}, {QStringLiteral("y")}, QStringLiteral("入力"), true);
    pick(QColor(Qt::red));
    EXPECT_EQ(a.text(), QStringLiteral("#fff xy")) << "the stale place is not written";
    EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("カラーコードの変更を中止しました。"));
    EXPECT_FALSE(ColorPanel::shared().isVisible());
    EXPECT_FALSE(a.commands->isEditingColor());
    EXPECT_EQ(TextCommands::activeColorOwner(), nullptr);

    // Undo advances the revision too.
    a.editor->setSelectedRange({1, 0});
    a.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    pick(QColor(Qt::red));
    EXPECT_EQ(a.text(), QStringLiteral("#f00 xy"));
    a.document.undoManager()->undo();
    pick(QColor(Qt::blue));
    EXPECT_EQ(a.text(), QStringLiteral("#fff xy"));
    EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("カラーコードの変更を中止しました。"));

    // No code: the informational alert, nothing else.
    a.editor->setSelectedRange({6, 0});
    a.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("カラーコードが見つかりません。"));
    EXPECT_FALSE(a.commands->isEditingColor());
}

TEST_F(ColorAndSnippets, ThePanelServesOneEditorAtATime)
{
    Editor a;
    Editor b;
    a.setText(QStringLiteral("#000"));
    b.setText(QStringLiteral("#111111"));
    a.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    b.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    EXPECT_FALSE(a.commands->isEditingColor());
    EXPECT_EQ(TextCommands::activeColorOwner(), b.commands.get());
    pick(QColor(0x20, 0x20, 0x20));
    EXPECT_EQ(a.text(), QStringLiteral("#000"));
    EXPECT_EQ(b.text(), QStringLiteral("#202020"));

    // Closing the panel ends the edit: later picks reach nobody.
    ColorPanel::shared().dialog()->reject();
    EXPECT_FALSE(b.commands->isEditingColor());
    EXPECT_EQ(ColorPanel::shared().target(), nullptr);
    EXPECT_FALSE(ColorPanel::shared().sendAction());

    // Releasing the owner releases the panel.
    b.commands->perform(QStringLiteral("editColorCode:"), nullptr);
    b.commands.reset();
    EXPECT_EQ(TextCommands::activeColorOwner(), nullptr);
    EXPECT_EQ(ColorPanel::shared().target(), nullptr);
    EXPECT_TRUE(ColorPanel::shared().action().isEmpty());
}

TEST_F(ColorAndSnippets, SnippetsFillEverySelectionInOneStep)
{
    Editor a;
    a.setText(QStringLiteral("ab cd"));
    SyntaxLanguage language = a.commands->syntax().language();
    SnippetStore::save({{QStringLiteral("包む"), QStringLiteral("<${selection}>")},
                        {QStringLiteral("絵文字"), QString::fromUtf16(u"\U0001F338${cursor}!")}},
                       language);
    const std::shared_ptr<MenuModel> menu = a.commands->menu();
    MenuModel* snippets = menu->itemAt(0)->submenu();
    ASSERT_EQ(snippets->numberOfItems(), 4);
    EXPECT_EQ(snippets->itemAt(1)->title(), QStringLiteral("絵文字"));

    a.editor->setEditingSelections({{0, 2}, {3, 2}}, false);
    a.commands->perform(QStringLiteral("insertSnippet:"), snippets->itemAt(0));
    EXPECT_EQ(a.text(), QStringLiteral("<ab> <cd>"));
    EXPECT_EQ(a.document.undoManager()->undoActionName(), QStringLiteral("スニペットを挿入"));
    a.document.undoManager()->undo();
    EXPECT_EQ(a.text(), QStringLiteral("ab cd"));

    a.editor->setEditingSelections({{0, 0}, {5, 0}}, false);
    a.commands->perform(QStringLiteral("insertSnippet:"), snippets->itemAt(1));
    EXPECT_EQ(a.text(), QString::fromUtf16(u"\U0001F338!ab cd\U0001F338!"));
    EXPECT_EQ(a.editor->normalizedSelectedRanges(), std::vector<TextRange>({{2, 0}, {10, 0}}))
        << "each caret right after its emoji";

    MenuItem outOfRange;
    outOfRange.setTag(5);
    a.commands->perform(QStringLiteral("insertSnippet:"), &outOfRange);
    EXPECT_EQ(a.text(), QString::fromUtf16(u"\U0001F338!ab cd\U0001F338!"));

    // An empty saved list hides the built-in snippets.
    SnippetStore::save({}, language);
    EXPECT_EQ(a.commands->menu()->itemAt(0)->submenu()->itemAt(0)->title(), QStringLiteral("スニペットはありません"));
}

TEST_F(ColorAndSnippets, SnippetEditorWorksOnItsOwnCopyUntilSaved)
{
    Editor a;
    MenuItem swift;
    swift.setRepresentedObject(QStringLiteral("swift"));
    a.commands->perform(QStringLiteral("changeSyntax:"), &swift);
    const SyntaxLanguage language = a.commands->syntax().language();
    SnippetStore::save({{QStringLiteral("one"), QStringLiteral("1")}, {QStringLiteral("two"), QStringLiteral("2")},
                        {QStringLiteral("three"), QStringLiteral("3")}},
                       language);
    a.commands->perform(QStringLiteral("showSnippetEditor:"), nullptr);
    QPointer<SnippetEditorWindow> window = a.commands->snippetEditor();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("スニペットを編集 — Swift"));
    EXPECT_EQ(window->table()->currentRow(), 0);
    EXPECT_EQ(window->nameField()->text(), QStringLiteral("one"));

    // A cleared name shows as "名称未設定" in the list while the field stays empty.
    window->nameField()->clear();
    Q_EMIT window->nameField()->textEdited(QString());
    EXPECT_EQ(window->table()->item(0)->text(), QStringLiteral("名称未設定"));
    EXPECT_TRUE(window->nameField()->text().isEmpty());

    window->table()->setCurrentRow(2);
    window->removeSnippet();
    EXPECT_EQ(window->table()->currentRow(), 1) << "the new last row";
    window->addSnippet();
    window->addSnippet();
    EXPECT_EQ(window->snippets().size(), 4u);
    EXPECT_EQ(window->table()->currentRow(), 3);
    EXPECT_EQ(window->snippets()[3].name, QStringLiteral("新しいスニペット"));
    EXPECT_EQ(SnippetStore::snippets(language).size(), 3u) << "nothing stored before saving";

    window->bodyField()->setPlainText(QStringLiteral("body ${cursor}"));
    // A second editor is stored before the first lets go; closing the first keeps it.
    a.commands->perform(QStringLiteral("showSnippetEditor:"), nullptr);
    QPointer<SnippetEditorWindow> second = a.commands->snippetEditor();
    ASSERT_NE(second.data(), window.data());
    window->saveSnippets();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()) << "closed and released";
    EXPECT_EQ(a.commands->snippetEditor(), second.data());
    const std::vector<SyntaxSnippet> saved = SnippetStore::snippets(language);
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved[0].name, QStringLiteral("名称未設定"));
    EXPECT_EQ(saved[3].body, QStringLiteral("body ${cursor}")) << "the body's last edit is kept";

    // Removing every snippet and saving stores an empty list.
    while (!second->snippets().empty()) second->removeSnippet();
    EXPECT_EQ(second->table()->currentRow(), -1);
    second->saveSnippets();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(SnippetStore::snippets(language).empty());
    EXPECT_EQ(a.commands->snippetEditor(), nullptr);
}

// The panel has OK and キャンセル: OK keeps the colour picked, キャンセル and Escape put back the
// colour it was brought up with; its window's close button keeps the colour.
TEST_F(ColorAndSnippets, CancelPutsBackTheColourThePanelStartedFrom)
{
    QColorDialog* dialog = ColorPanel::shared().dialog();
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_TRUE(buttons);
    ASSERT_TRUE(buttons->button(QDialogButtonBox::Ok));
    ASSERT_TRUE(buttons->button(QDialogButtonBox::Cancel));

    Editor a;
    a.setText(QStringLiteral("color: #abc;\n"));
    auto session = [&] {
        a.editor->setSelectedRange({9, 0});
        a.commands->perform(QStringLiteral("editColorCode:"), nullptr);
        ASSERT_TRUE(ColorPanel::shared().isVisible());
    };
    auto userPicks = [&](const QColor& color) {
        dialog->setCurrentColor(color);  // as the colour field does
        ColorPanel::shared().sendAction();
    };

    session();
    userPicks(QColor(0x22, 0x44, 0x66));
    EXPECT_EQ(a.text(), QStringLiteral("color: #246;\n"));
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_FALSE(ColorPanel::shared().isVisible());
    EXPECT_EQ(a.text(), QStringLiteral("color: #abc;\n"));
    EXPECT_EQ(TextCommands::activeColorOwner(), nullptr) << "the session ended";

    session();
    userPicks(QColor(0x22, 0x44, 0x66));
    buttons->button(QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(a.text(), QStringLiteral("color: #abc;\n"));

    // OK keeps it, even one not yet settled on.
    session();
    dialog->setCurrentColor(QColor(0x11, 0x22, 0x33));
    buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_FALSE(ColorPanel::shared().isVisible());
    EXPECT_EQ(a.text(), QStringLiteral("color: #123;\n"));

    // Closing the window keeps what was picked.
    session();
    userPicks(QColor(0x44, 0x55, 0x66));
    dialog->close();
    EXPECT_EQ(a.text(), QStringLiteral("color: #456;\n"));
}
