#pragma once

#include "commands/EditorCommandPreferences.h"
#include "platform/ui/Responder.h"

#include <QPointer>
#include <QString>

#include <memory>

namespace korimado {

class EditorTextView;
class KoriDocument;
class MenuItem;
class MenuModel;
class SyntaxHighlighter;

// The text commands of one editor: the source of its Text, Format, Select and outline menus, the
// keeper of its view settings and the owner of its highlighter. Actions are found by name.
// Stand-in: the Text menu is empty and the Format menu holds the language choice only; the
// selection, outline, language and font-magnification commands are real.
class TextCommands : public Responder {
public:
    TextCommands(EditorTextView* editor, KoriDocument* document);
    ~TextCommands() override;

    EditorTextView* editor() const;
    KoriDocument* document() const;
    SyntaxHighlighter& syntaxHighlighter() const { return *syntaxHighlighter_; }

    // The settings last applied through this object.
    EditorCommandPreferences storedPreferences;
    // The outline menu last handed out; refilled after every parse while it exists.
    QPointer<MenuModel> publishedOutlineMenu;

    // Stores the value and writes every field into the editor.
    void apply(const EditorCommandPreferences& editorPreferences);
    // Detects the language from the document's file and hands it to the highlighter.
    void reloadSyntaxFromDocument();
    // Scales the editor font by factor, kept within 8 to 96 points.
    void magnifyFont(double factor);

    // Fresh menus on every call: "テキスト", the Format menu with "構文", and "選択".
    std::shared_ptr<MenuModel> menu();
    std::shared_ptr<MenuModel> syntaxMenu();
    std::shared_ptr<MenuModel> selectMenu();
    // Replaces the items of menu with the highlighter's outline and "指定行へ移動…".
    void populateOutlineMenu(MenuModel& menu);

    // Actions, each taking the menu item that sent it (or nullptr).
    void changeSyntax(MenuItem* sender);
    void resetSyntax(MenuItem* sender);
    void goToOutline(MenuItem* sender);
    void selectEnclosingSymbols(MenuItem* sender);
    void selectColumnUp(MenuItem* sender);
    void selectColumnDown(MenuItem* sender);
    void splitSelectionByLines(MenuItem* sender);

    static constexpr double minimumFontSize = 8;
    static constexpr double maximumFontSize = 96;

private:
    QPointer<EditorTextView> editor_;
    QPointer<KoriDocument> document_;
    std::unique_ptr<SyntaxHighlighter> syntaxHighlighter_;
};

}  // namespace korimado
