#include "support/AppFixture.h"

#include "commands/SnippetEditorWindow.h"
#include "commands/TextCommands.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/ColorPanel.h"
#include "platform/ui/MenuBinder.h"

#include <QColorDialog>
#include <QDir>
#include <QMenu>

using namespace korimado;
using korimado::test::AppFixture;

namespace {

// Runs the Text menu's commands the way a user does, from the main menu of a real document
// window, on a Japanese text with three carets and a column selection. With KORIMADO_GRAB_DIR
// set, it also saves pictures of the menus and of the colour and snippet windows there.
class TextMenusWalkthrough : public AppFixture {
protected:
    MenuItem* find(MenuModel* menu, const QStringList& path)
    {
        MenuItem* item = nullptr;
        for (const QString& title : path) {
            if (!menu) return nullptr;
            item = menu->itemWithTitle(title);
            menu = item ? item->submenu() : nullptr;
        }
        return item;
    }
    void grab(QWidget* widget, const QString& name)
    {
        const QString dir = qEnvironmentVariable("KORIMADO_GRAB_DIR");
        if (dir.isEmpty() || !widget) return;
        widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
    }
    void grabMenu(QWidget* window, MenuModel* menu, const QString& name)
    {
        QMenu* shown = MenuBinder::shared().menuFor(window, menu);
        if (!shown) return;
        Q_EMIT shown->aboutToShow();
        shown->adjustSize();
        grab(shown, name);
    }
};

}  // namespace

TEST_F(TextMenusWalkthrough, EveryCommandFromTheMenuIsOneUndoStep)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_NE(window, nullptr);
    window->window()->resize(1100, 700);
    EditorTextView* editor = window->textView();
    const QString original = QStringLiteral("  東京 tokyo ｶﾀｶﾅ\n  大阪 osaka ＡＢＣ\n  京都 kyoto #abc\n  札幌 sapporo rgb(1, 2, 3)\n");
    editor->replace({{0, 0}}, {original}, QStringLiteral("入力"), true);
    window->commands().perform(QStringLiteral("changeSyntax:"), [] {
        static MenuItem swift;
        swift.setRepresentedObject(QStringLiteral("swift"));
        return &swift;
    }());
    UndoManager& undo = *window->document()->undoManager();
    MenuModel* main = delegate->mainMenu().get();

    struct Step {
        QStringList path;
        QString undoName;
    };
    const std::vector<Step> steps{
        {{QStringLiteral("行"), QStringLiteral("行を複製")}, QStringLiteral("行を複製")},
        {{QStringLiteral("行"), QStringLiteral("降順で並べ替え")}, QStringLiteral("行を並べ替え")},
        {{QStringLiteral("行"), QStringLiteral("逆順")}, QStringLiteral("行を逆順にする")},
        {{QStringLiteral("行"), QStringLiteral("下へ移動")}, QStringLiteral("行を下へ移動")},
        {{QStringLiteral("行"), QStringLiteral("行を連結")}, QStringLiteral("行を連結")},
        {{QStringLiteral("コメント"), QStringLiteral("コメントを切り替え")}, QStringLiteral("コメントを切り替え")},
        {{QStringLiteral("コメント"), QStringLiteral("行コメント")}, QStringLiteral("行コメント")},
        {{QStringLiteral("インデント"), QStringLiteral("右へ移動")}, QStringLiteral("インデントを増やす")},
        {{QStringLiteral("インデント"), QStringLiteral("インデントを空白へ変換")}, QStringLiteral("インデントを空白へ変換")},
        {{QStringLiteral("変換"), QStringLiteral("大文字にする")}, QStringLiteral("大文字に変換")},
        {{QStringLiteral("変換"), QStringLiteral("全角にする")}, QStringLiteral("全角に変換")},
        {{QStringLiteral("変換"), QStringLiteral("半角にする")}, QStringLiteral("半角に変換")},
        {{QStringLiteral("変換"), QStringLiteral("URLエンコード")}, QStringLiteral("URLエンコード")},
        {{QStringLiteral("選択範囲を囲む"), QStringLiteral("丸括弧")}, QStringLiteral("選択範囲を囲む")},
    };
    // Three carets on the first three lines' words, then a column selection over lines 2 to 4.
    const std::vector<std::vector<TextRange>> selections{
        {{3, 0}, {21, 0}, {38, 0}},
        {{5, 3}, {21, 3}, {37, 3}, {53, 3}},
    };
    for (const auto& ranges : selections) {
        for (const Step& step : steps) {
            delegate->refreshCommandMenus(*window);
            MenuItem* item = find(main, QStringList{QStringLiteral("テキスト")} + step.path);
            ASSERT_NE(item, nullptr) << step.path.join(u'/').toStdString();
            editor->setEditingSelections(ranges, false);
            ASSERT_TRUE(ActionDispatcher::shared().performItem(*item, window->window())) << step.undoName.toStdString();
            // A command that leaves the text as it was (sorting one line) records no step.
            if (editor->string() == original) {
                EXPECT_EQ(undo.undoActionName(), QStringLiteral("入力")) << step.undoName.toStdString();
                continue;
            }
            EXPECT_EQ(undo.undoActionName(), step.undoName);
            undo.undo();
            EXPECT_EQ(editor->string(), original) << "undo of " << step.undoName.toStdString();
        }
    }

    delegate->refreshCommandMenus(*window);
    QWidget* shown = window->window();
    grab(shown, QStringLiteral("window"));
    grabMenu(shown, find(main, {QStringLiteral("テキスト")})->submenu(), QStringLiteral("menu-text"));
    grabMenu(shown, find(main, {QStringLiteral("テキスト"), QStringLiteral("行")})->submenu(), QStringLiteral("menu-lines"));
    grabMenu(shown, find(main, {QStringLiteral("テキスト"), QStringLiteral("変換")})->submenu(), QStringLiteral("menu-conversions"));
    grabMenu(shown, find(main, {QStringLiteral("書式"), QStringLiteral("構文")})->submenu(), QStringLiteral("menu-format"));
    grabMenu(shown, find(main, {QStringLiteral("書式"), QStringLiteral("構文"), QStringLiteral("タブ幅")})->submenu(),
             QStringLiteral("menu-tabs"));
    grabMenu(shown, find(main, {QStringLiteral("編集"), QStringLiteral("選択")})->submenu(), QStringLiteral("menu-select"));

    // The colour code at a caret, edited from the menu and picked once.
    editor->setSelectedRange({44, 0});
    delegate->refreshCommandMenus(*window);
    MenuItem* color = find(main, {QStringLiteral("テキスト"), QStringLiteral("カラーコードを編集…")});
    ASSERT_TRUE(ActionDispatcher::shared().performItem(*color, shown));
    ColorPanel::shared().setColor(QColor(0x33, 0x66, 0x99));
    ColorPanel::shared().sendAction();
    EXPECT_TRUE(editor->string().contains(QStringLiteral("#369")));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("カラーコードを変更"));
    grab(ColorPanel::shared().dialog(), QStringLiteral("color-panel"));
    ColorPanel::shared().orderOut();

    MenuItem* snippets = find(main, {QStringLiteral("テキスト"), QStringLiteral("スニペットを挿入"), QStringLiteral("スニペットを編集…")});
    ASSERT_TRUE(ActionDispatcher::shared().performItem(*snippets, shown));
    SnippetEditorWindow* snippetWindow = window->commands().snippetEditor();
    ASSERT_NE(snippetWindow, nullptr);
    snippetWindow->addSnippet();
    grab(snippetWindow, QStringLiteral("snippet-editor"));
    snippetWindow->close();
}
