#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "syntax/SyntaxHighlighter.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

// A document, one editor over its storage, its command object and alerts answered by script.
class CommandRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        AlertPresenter::setShared(&alerts);
        document = std::make_unique<KoriDocument>();
        editor = std::make_unique<EditorTextView>(document->sharedStorage());
        editor->setUndoManager(document->undoManager());
        editor->resize(600, 400);
        commands = std::make_unique<TextCommands>(editor.get(), *document);
        commands->beep = [this] { ++beeps; };
    }
    void TearDown() override
    {
        commands.reset();
        editor.reset();
        document.reset();
        AlertPresenter::setShared(nullptr);
    }

    void setText(const QString& text)
    {
        document->storage().setString(text);
        document->undoManager()->removeAllActions();
        editor->setSelectedRange({0, 0});
    }
    QString text() const { return editor->string(); }
    void run(const char* action, MenuItem* sender = nullptr) { commands->perform(QString::fromLatin1(action), sender); }
    void language(const char* id)
    {
        MenuItem item;
        item.setRepresentedObject(QString::fromLatin1(id));
        run("changeSyntax:", &item);
    }
    bool enabled(const char* action)
    {
        MenuItem item(QStringLiteral("x"), QString::fromLatin1(action));
        return commands->validate(item).value_or(true);
    }
    UndoManager& undo() { return *document->undoManager(); }

    ScriptedAlertPresenter alerts;
    std::unique_ptr<KoriDocument> document;
    std::unique_ptr<EditorTextView> editor;
    std::unique_ptr<TextCommands> commands;
    int beeps = 0;
};

}  // namespace

TEST_F(CommandRoad, DuplicatingThreeSeparateSelectionsIsOneNamedStep)
{
    setText(QStringLiteral("一\n二\n三\n四\n五"));
    editor->setEditingSelections({{0, 0}, {4, 1}, {8, 0}}, false);
    run("duplicateLine:");
    EXPECT_EQ(text(), QStringLiteral("一\n一\n二\n三\n三\n四\n五\n五"));
    EXPECT_EQ(editor->normalizedSelectedRanges(), std::vector<TextRange>({{4, 0}, {10, 0}, {15, 0}}))
        << "a caret after each second copy";
    ASSERT_TRUE(undo().canUndo());
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("行を複製"));
    undo().undo();
    EXPECT_EQ(text(), QStringLiteral("一\n二\n三\n四\n五"));
    EXPECT_FALSE(undo().canUndo()) << "all three blocks came back in one step";
}

TEST_F(CommandRoad, LineCommandsKeepCrlfAndMixedEndings)
{
    setText(QStringLiteral("b\r\na\nc"));
    TextFormat crlf = document->format();  // the document's ending goes between the copies
    crlf.lineEnding = LineEnding::crlf;
    document->setFormat(crlf);
    editor->setSelectedRange({0, 6});
    run("sortLinesAscending:");
    EXPECT_EQ(text(), QStringLiteral("a\nb\r\nc")) << "each line keeps its ending; the last stays without one";
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("行を並べ替え"));

    editor->setSelectedRange({text().size(), 0});  // caret at the end of the last line, no terminator
    run("duplicateLine:");
    EXPECT_EQ(text(), QStringLiteral("a\nb\r\nc\r\nc"));

    setText(QStringLiteral("x\r\n"));
    editor->setSelectedRange({3, 0});  // the empty line after the final terminator
    run("duplicateLine:");
    EXPECT_EQ(text(), QStringLiteral("x\r\n\r\n"));
}

TEST_F(CommandRoad, ConversionsTakeWordsAtCaretsOnlyWhenNothingIsSelected)
{
    setText(QStringLiteral("alpha 日本 beta\ngamma delta\n"));
    editor->setEditingSelections({{2, 0}, {12, 0}, {16, 0}}, false);
    run("uppercase:");
    EXPECT_EQ(text(), QStringLiteral("ALPHA 日本 BETA\nGAMMA delta\n"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("大文字に変換"));
    undo().undo();
    EXPECT_EQ(text(), QStringLiteral("alpha 日本 beta\ngamma delta\n"));

    editor->setEditingSelections({{0, 5}, {12, 0}, {16, 0}}, false);
    run("uppercase:");
    EXPECT_EQ(text(), QStringLiteral("ALPHA 日本 beta\ngamma delta\n")) << "only the selected text";

    setText(QStringLiteral("ｶﾞｷﾞ ＡＢＣ"));
    editor->setSelectedRange({0, text().size()});
    run("fullWidth:");
    EXPECT_EQ(text(), QStringLiteral("ガギ　ＡＢＣ"));
    editor->setSelectedRange({0, text().size()});
    run("halfWidthRoman:");
    EXPECT_EQ(text(), QStringLiteral("ガギ ABC"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("英数字を半角に変換"));
}

TEST_F(CommandRoad, CommentsFollowTheLanguagesMarkers)
{
    setText(QStringLiteral("  a\n\n  b\n"));
    language("swift");
    EXPECT_TRUE(enabled("toggleComment:"));
    EXPECT_TRUE(enabled("blockComment:"));
    editor->setSelectedRange({0, 8});
    run("toggleComment:");
    EXPECT_EQ(text(), QStringLiteral("  // a\n\n  // b\n"));
    EXPECT_EQ(editor->selectedRange(), TextRange(15, 0)) << "a caret at the end of the block";
    editor->setSelectedRange({0, 14});
    run("toggleComment:");
    EXPECT_EQ(text(), QStringLiteral("  a\n\n  b\n"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("コメントを切り替え"));
    editor->setSelectedRange({2, 1});
    run("blockComment:");
    EXPECT_EQ(text(), QStringLiteral("  /*a*/\n\n  b\n"));
    EXPECT_EQ(editor->selectedRange(), TextRange(4, 1)) << "the commented text stays selected";
    editor->setSelectedRange({0, 7});
    run("uncomment:");
    EXPECT_EQ(text(), QStringLiteral("  a\n\n  b\n"));

    // Block comments only: toggling wraps the selection; a line comment beeps.
    language("css");
    EXPECT_TRUE(enabled("toggleComment:"));
    editor->setSelectedRange({2, 1});
    run("toggleComment:");
    EXPECT_EQ(text(), QStringLiteral("  /*a*/\n\n  b\n"));
    run("inlineComment:");
    EXPECT_EQ(beeps, 1);

    // Neither kind: every comment item is disabled, and the command only beeps.
    language("json");
    for (const char* action : {"toggleComment:", "inlineComment:", "blockComment:", "uncomment:"})
        EXPECT_FALSE(enabled(action)) << action;
    run("toggleComment:");
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(text(), QStringLiteral("  /*a*/\n\n  b\n"));
}

TEST_F(CommandRoad, ReadOnlyViewChangesNothingAndRecordsNoStep)
{
    setText(QStringLiteral("b\na\n#fff\n"));
    language("swift");
    EditorOptions options = editor->options();
    options.editable = false;
    editor->apply(options);
    editor->setSelectedRange({0, 4});
    for (const char* action : {"sortLinesAscending:", "duplicateLine:", "uppercase:", "shiftRight:", "toggleComment:"})
        run(action);
    EXPECT_EQ(text(), QStringLiteral("b\na\n#fff\n"));
    EXPECT_FALSE(undo().canUndo());
    EXPECT_TRUE(enabled("sortLinesAscending:"));
    EXPECT_FALSE(enabled("toggleComment:"));
    editor->setSelectedRange({5, 0});
    EXPECT_FALSE(enabled("editColorCode:"));
    run("editColorCode:");
    EXPECT_EQ(beeps, 1);
}

TEST_F(CommandRoad, MovesAtTheEdgesJoinsAndTrims)
{
    setText(QStringLiteral("a\nb\nc"));
    run("moveLineUp:");
    EXPECT_FALSE(undo().canUndo()) << "line 1 cannot go up";
    editor->setSelectedRange({4, 0});
    run("moveLineDown:");
    EXPECT_FALSE(undo().canUndo());
    run("moveLineUp:");
    EXPECT_EQ(text(), QStringLiteral("a\nc\nb"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("行を上へ移動"));

    setText(QStringLiteral("a\nb\nc"));
    run("joinLines:");
    EXPECT_EQ(text(), QStringLiteral("a b\nc"));
    editor->setSelectedRange({0, text().size()});
    run("joinLines:");
    EXPECT_EQ(text(), QStringLiteral("a b c"));

    setText(QStringLiteral("a \t\nb  "));
    editor->setSelectedRange({0, 6});
    run("trimTrailingWhitespace:");
    EXPECT_EQ(text(), QStringLiteral("a\nb"));
}

TEST_F(CommandRoad, IndentationUsesTheEditorsOwnSettings)
{
    setText(QStringLiteral("a\n\nb"));
    EditorOptions options = editor->options();
    options.usesSpacesForIndentation = true;
    options.tabWidth = 4;
    editor->apply(options);
    editor->setSelectedRange({0, 4});
    run("shiftRight:");
    EXPECT_EQ(text(), QStringLiteral("    a\n    \n    b"));
    editor->setSelectedRange({0, text().size()});
    run("shiftLeft:");
    EXPECT_EQ(text(), QStringLiteral("a\n\nb"));
    options.tabWidth = 0;
    editor->apply(options);
    EXPECT_EQ(editor->options().tabWidth, 1);
    editor->setSelectedRange({0, text().size()});
    run("shiftRight:");
    EXPECT_EQ(text(), QStringLiteral(" a\n \n b"));
}

TEST_F(CommandRoad, SurroundItemsCarryTheirPairs)
{
    setText(QStringLiteral("x yz"));
    editor->setEditingSelections({{0, 1}, {2, 2}}, false);
    const std::shared_ptr<MenuModel> menu = commands->menu();
    MenuModel* surround = menu->itemWithTitle(QStringLiteral("選択範囲を囲む"))->submenu();
    run("surroundSelection:", surround->itemWithTitle(QStringLiteral("シングルクォート")));
    EXPECT_EQ(text(), QStringLiteral("'x' 'yz'"));
    EXPECT_EQ(editor->normalizedSelectedRanges(), std::vector<TextRange>({{1, 1}, {5, 2}}));

    MenuItem wrong;
    wrong.setRepresentedObject(QStringList{QStringLiteral("(")});
    run("surroundSelection:", &wrong);
    EXPECT_EQ(text(), QStringLiteral("'x' 'yz'"));

    alerts.enqueueFieldTexts({QString(), QString()});
    run("customSurround:");
    EXPECT_EQ(text(), QStringLiteral("'x' 'yz'")) << "both fields empty";
    editor->setSelectedRange({0, 0});
    alerts.enqueueFieldTexts({QStringLiteral("<b>"), QString()});
    run("customSurround:");
    EXPECT_EQ(text(), QStringLiteral("<b>'x' 'yz'"));
    alerts.enqueueAnswer(1);
    run("customSurround:");
    EXPECT_EQ(text(), QStringLiteral("<b>'x' 'yz'")) << "cancelled";
}

TEST_F(CommandRoad, DialogCommandsReadTheirFields)
{
    setText(QStringLiteral("a\nb\nc"));
    const auto goTo = [this](const QString& typed) {
        alerts.enqueueFieldTexts({typed});
        run("goToLine:");
        return editor->selectedRange().location;
    };
    EXPECT_EQ(goTo(QStringLiteral("3")), 4);
    EXPECT_EQ(goTo(QStringLiteral("4")), 5);
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(goTo(QStringLiteral("5")), 5);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(goTo(QStringLiteral("abc")), 0);
    EXPECT_EQ(beeps, 1);

    // Pattern sort: cancel and an invalid expression leave the text; the latter says why.
    setText(QStringLiteral("b x10\na x9"));
    editor->setSelectedRange({0, text().size()});
    alerts.enqueueAnswer(1);
    run("patternSort:");
    alerts.enqueueFieldTexts({QStringLiteral("(")});
    run("patternSort:");
    EXPECT_EQ(text(), QStringLiteral("b x10\na x9"));
    EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("正規表現が正しくありません。"));
    alerts.enqueueFieldTexts({QStringLiteral("x(\\d+)")});
    run("patternSort:");
    EXPECT_EQ(text(), QStringLiteral("a x9\nb x10"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("パターンで並べ替え"));

    // Unicode input: an astral scalar replaces the selection; a surrogate is refused.
    setText(QStringLiteral("xy"));
    editor->setSelectedRange({0, 1});
    alerts.enqueueFieldTexts({QStringLiteral("U+1F338")});
    run("showUnicodeInputPanel:");
    EXPECT_EQ(text(), QString::fromUtf16(u"\U0001F338y"));
    alerts.enqueueFieldTexts({QStringLiteral("U+D800")});
    run("showUnicodeInputPanel:");
    EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("入力したコードポイントは使えません。"));
    EXPECT_EQ(text(), QString::fromUtf16(u"\U0001F338y"));

    // Inspecting a caret before a combining sequence reports both scalars.
    setText(QString::fromUtf16(u"e\u0301!"));
    editor->setSelectedRange({0, 0});
    run("inspectCharacter:");
    EXPECT_TRUE(alerts.shown().last().informativeText.startsWith(QStringLiteral("書記素: 1\nUnicodeスカラー: 2")));
}

TEST_F(CommandRoad, FormatMenuShowsAndChangesThePreferences)
{
    EditorOptions options = editor->options();
    options.tabWidth = 20;
    options.font.setPointSizeF(96);
    editor->apply(options);
    EXPECT_EQ(editor->options().tabWidth, 16);
    std::shared_ptr<MenuModel> format = commands->syntaxMenu();
    MenuModel* tabs = format->itemWithTitle(QStringLiteral("タブ幅"))->submenu();
    for (const char* width : {"2", "4", "8"})
        EXPECT_EQ(tabs->itemWithTitle(QString::fromLatin1(width))->state(), MenuItem::State::off);

    run("biggerFont:");
    EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 96);
    run("resetFont:");
    EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 14);
    for (int i = 0; i < 10; ++i) run("smallerFont:");
    EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 8);
    commands->magnifyFont(0.5);
    EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 8);

    // Page guide: on through the dialog, 501 refused, off without a dialog.
    alerts.enqueueFieldTexts({QStringLiteral("501")});
    run("togglePageGuide:");
    EXPECT_FALSE(editor->options().pageGuideColumn.has_value());
    run("togglePageGuide:");  // the dialog's own "80"
    EXPECT_EQ(editor->options().pageGuideColumn, 80);
    const qsizetype dialogs = alerts.shown().size();
    run("togglePageGuide:");
    EXPECT_FALSE(editor->options().pageGuideColumn.has_value());
    EXPECT_EQ(alerts.shown().size(), dialogs);

    run("toggleEditable:");
    EXPECT_FALSE(editor->isEditable());
    format = commands->syntaxMenu();
    EXPECT_EQ(format->itemWithTitle(QStringLiteral("編集を禁止"))->state(), MenuItem::State::on);
    run("toggleEditable:");
    EXPECT_TRUE(editor->isEditable());

    MenuItem tab;
    tab.setTag(2);
    run("changeTabWidth:", &tab);
    format = commands->syntaxMenu();
    EXPECT_EQ(format->itemWithTitle(QStringLiteral("タブ幅"))->submenu()->itemWithTitle(QStringLiteral("2"))->state(),
              MenuItem::State::on);
}

TEST_F(CommandRoad, TextMenuLayoutAndKeys)
{
    const std::shared_ptr<MenuModel> menu = commands->menu();
    EXPECT_EQ(menu->title(), QStringLiteral("テキスト"));
    QStringList titles;
    for (const auto& item : menu->items()) titles << (item->isSeparatorItem() ? QStringLiteral("-") : item->title());
    EXPECT_EQ(titles, QStringList({QStringLiteral("スニペットを挿入"), QStringLiteral("Unicodeコードポイントで挿入…"),
                                   QStringLiteral("入力を補完"), QStringLiteral("-"), QStringLiteral("コメント"),
                                   QStringLiteral("インデント"), QStringLiteral("選択範囲を囲む"),
                                   QStringLiteral("行末の空白を削除"), QStringLiteral("-"), QStringLiteral("行"),
                                   QStringLiteral("変換"), QStringLiteral("-"), QStringLiteral("文字を調べる…"),
                                   QStringLiteral("カラーコードを編集…")}));
    MenuModel* lines = menu->itemWithTitle(QStringLiteral("行"))->submenu();
    EXPECT_EQ(lines->itemWithTitle(QStringLiteral("上へ移動"))->keySequence(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up));
    EXPECT_EQ(lines->itemWithTitle(QStringLiteral("行を複製"))->keySequence(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    EXPECT_EQ(menu->itemWithTitle(QStringLiteral("入力を補完"))->keySequence(), QKeySequence(Qt::CTRL | Qt::Key_Space));
    EXPECT_EQ(menu->itemWithTitle(QStringLiteral("コメント"))->submenu()->itemAt(0)->keySequence(),
              QKeySequence(Qt::CTRL | Qt::Key_Slash));

    // A language without snippets offers none, then the editor.
    MenuModel* snippets = menu->itemAt(0)->submenu();
    ASSERT_EQ(snippets->numberOfItems(), 3);
    EXPECT_EQ(snippets->itemAt(0)->title(), QStringLiteral("スニペットはありません"));
    EXPECT_FALSE(snippets->itemAt(0)->isEnabled());
    EXPECT_EQ(snippets->itemAt(2)->action(), QStringLiteral("showSnippetEditor:"));
}
