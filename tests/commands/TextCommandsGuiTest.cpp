#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "support/TestSupport.h"
#include "syntax/SyntaxModel.h"
#include "editor/EditorTextView.h"
#include "platform/ui/MenuModel.h"
#include "platform/text/TextStorage.h"
#include "syntax/SyntaxHighlighter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korimado;

namespace {

class TextCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        document.storage().setString(QStringLiteral("# Intro\nbody\n## Part\nmore\n"));
        editor = std::make_unique<EditorTextView>(document.sharedStorage());
        QFont font = editor->font();
        font.setPointSizeF(10);
        editor->setFont(font);
        commands = std::make_unique<TextCommands>(editor.get(), document);
    }
    // The document's outline, as a parse of it as Markdown gives it.
    void parseAsMarkdown()
    {
        commands->syntax().setLanguage(QStringLiteral("markdown"));
        ASSERT_TRUE(test::spinUntil([&] { return commands->syntax().hasCurrentTokens(); }));
    }

    KoriDocument document;
    std::unique_ptr<EditorTextView> editor;
    std::unique_ptr<TextCommands> commands;
};

}  // namespace

TEST_F(TextCommandsTest, MagnifyFontScalesWithinLimitsAndIgnoresBadFactors)
{
    commands->magnifyFont(1.5);
    EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 15);
    EXPECT_DOUBLE_EQ(editor->options().font.pointSizeF(), 15);

    commands->magnifyFont(0.1);
    EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 8) << "clamped to the smallest size";
    commands->magnifyFont(100);
    EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 96) << "clamped to the largest size";

    for (double bad : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        commands->magnifyFont(bad);
        EXPECT_DOUBLE_EQ(editor->font().pointSizeF(), 96) << bad;
    }

    editor.reset();  // the editor is gone: nothing to scale
    commands->magnifyFont(0.5);
}

TEST_F(TextCommandsTest, OutlineMenuListsEntriesThenGoToLine)
{
    parseAsMarkdown();
    MenuModel menu(QStringLiteral("アウトライン"));
    menu.addItem(QStringLiteral("stale"), QStringLiteral("x:"));
    commands->populateOutlineMenu(menu);

    ASSERT_EQ(menu.numberOfItems(), 4);
    const QStringList titles{QStringLiteral("1行  Intro"), QStringLiteral("3行  Part")};
    const int levels[] = {0, 1};
    for (int i = 0; i < 2; ++i) {
        MenuItem* item = menu.itemAt(i);
        EXPECT_EQ(item->title(), titles[i]);
        EXPECT_EQ(item->action(), QStringLiteral("goToOutline:"));
        EXPECT_EQ(item->tag(), i);
        EXPECT_EQ(item->indentationLevel(), levels[i]);
        EXPECT_EQ(item->target(), commands.get());
        EXPECT_TRUE(item->keyEquivalent().isEmpty());
    }
    EXPECT_TRUE(menu.itemAt(2)->isSeparatorItem());
    MenuItem* goToLine = menu.itemAt(3);
    EXPECT_EQ(goToLine->title(), QStringLiteral("指定行へ移動…"));
    EXPECT_EQ(goToLine->action(), QStringLiteral("goToLine:"));
    EXPECT_EQ(goToLine->keyEquivalent(), QStringLiteral("l"));
    EXPECT_EQ(goToLine->keyEquivalentModifierMask(), KeyModifiers(KeyModifier::Command));

    // Choosing an entry puts a caret at the start of its match.
    commands->perform(QStringLiteral("goToOutline:"), menu.itemAt(1));
    EXPECT_EQ(editor->selectedRange(), TextRange(13, 0));
}

TEST_F(TextCommandsTest, EmptyOutlineAndRefillOfThePublishedMenu)
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("アウトライン"));
    commands->publishedOutlineMenu = menu.get();
    commands->populateOutlineMenu(*menu);
    ASSERT_EQ(menu->numberOfItems(), 3);
    EXPECT_EQ(menu->itemAt(0)->title(), QStringLiteral("アウトライン項目はありません"));
    EXPECT_FALSE(menu->itemAt(0)->isEnabled());
    EXPECT_TRUE(menu->itemAt(0)->action().isEmpty());

    // Every outline change refills the published menu.
    parseAsMarkdown();
    EXPECT_EQ(menu->itemAt(0)->title(), QStringLiteral("1行  Intro"));
    document.storage().setString(QStringLiteral("plain\n"));
    commands->syntax().schedule();
    ASSERT_TRUE(test::spinUntil([&] { return commands->syntax().hasCurrentTokens(); }));
    EXPECT_EQ(menu->itemAt(0)->title(), QStringLiteral("アウトライン項目はありません"));

    menu.reset();  // a released menu is not refilled
    commands->syntax().schedule();
    ASSERT_TRUE(test::spinUntil([&] { return commands->syntax().hasCurrentTokens(); }));
    EXPECT_TRUE(commands->publishedOutlineMenu.isNull());
}

TEST_F(TextCommandsTest, SelectMenuReachesTheEditorsSelectionCommands)
{
    const std::shared_ptr<MenuModel> menu = commands->selectMenu();
    EXPECT_EQ(menu->title(), QStringLiteral("選択"));
    MenuItem* split = menu->itemWithTitle(QStringLiteral("選択範囲を行ごとに分割"));
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->action(), QStringLiteral("splitSelectionByLines:"));
    EXPECT_EQ(split->keyEquivalentModifierMask(), KeyModifier::Option | KeyModifier::Shift);
    for (const QString& action : {QStringLiteral("selectColumnUp:"), QStringLiteral("selectColumnDown:"),
                                  QStringLiteral("selectEnclosingSymbols:"), QStringLiteral("splitSelectionByLines:")}) {
        EXPECT_TRUE(commands->respondsTo(action)) << action.toStdString();
    }

    editor->setSelectedRange({2, 14});  // from "Intro" to inside "## Part"
    commands->perform(split->action(), split);
    EXPECT_EQ(editor->normalizedSelectedRanges().size(), 3u);
}

TEST_F(TextCommandsTest, TheEditorsOptionsAreTheOneHomeOfItsSettings)
{
    EditorOptions options = editor->options();
    options.tabWidth = 20;
    options.usesSpacesForIndentation = true;
    options.showsInvisibleCharacters = true;
    options.pageGuideColumn = 72;
    options.font.setPointSizeF(18);
    options.editable = false;
    options.automaticallyIndents = false;
    options.usesFontAntialiasing = false;
    options.usesLigatures = true;
    editor->apply(options);

    EditorOptions shown = editor->options();
    EXPECT_EQ(shown.tabWidth, 16) << "kept within 1…16";
    shown.tabWidth = 20;
    EXPECT_EQ(shown, options) << "every other value reads back as given";
    EXPECT_TRUE(editor->showsInvisibleCharacters());
    EXPECT_FALSE(editor->isEditable());
    EXPECT_DOUBLE_EQ(editor->tabWidth(), QFontMetricsF(editor->font()).horizontalAdvance(QLatin1Char('0')) * 16)
        << "the tab stops follow the font and the width";

    // The menu shows the editor's values, and a toggle starts from them: nothing stored beside.
    commands->perform(QStringLiteral("toggleIndentGuides:"), nullptr);
    EXPECT_TRUE(editor->options().showsIndentGuides);
    EXPECT_FALSE(editor->options().usesFontAntialiasing) << "a toggle brings back no older value";
    const std::shared_ptr<MenuModel> format = commands->syntaxMenu();
    MenuModel* fonts = format->itemWithTitle(QStringLiteral("フォント"))->submenu();
    EXPECT_EQ(format->itemWithTitle(QStringLiteral("インデントガイドを表示"))->state(), MenuItem::State::on);
    EXPECT_EQ(format->itemWithTitle(QStringLiteral("編集を禁止"))->state(), MenuItem::State::on);
    EXPECT_EQ(fonts->itemWithTitle(QStringLiteral("アンチエイリアス"))->state(), MenuItem::State::off);
    EXPECT_EQ(fonts->itemWithTitle(QStringLiteral("合字"))->state(), MenuItem::State::on);

    options.tabWidth = 0;
    editor->apply(options);
    EXPECT_EQ(editor->options().tabWidth, 1);
}
