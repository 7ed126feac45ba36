#pragma once

#include "commands/CommandEdit.h"
#include "commands/EditorCommandPreferences.h"
#include "commands/SyntaxColorCode.h"
#include "commands/TextCommandRunner.h"
#include "syntax/SyntaxModel.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Responder.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace korimado {

class AlertPresenter;
class EditorTextView;
class KoriDocument;
class MenuItem;
class MenuModel;
class SnippetEditorWindow;
class SyntaxHighlighter;
struct SyntaxLanguage;

// The text commands of one editor: the source of its Text, Format, Select and outline menus, the
// keeper of its view settings and the owner of its highlighter. The commands that change text run
// through the headless TextCommandRunner with this editor as initiator, each one undo step with a
// Japanese name; here they find their arguments (a dialog, the item chosen) and are validated.
// Actions are found by name.
class TextCommands : public Responder {
public:
    TextCommands(EditorTextView* editor, KoriDocument& document);
    ~TextCommands() override;

    EditorTextView* editor() const;
    KoriDocument* document() const;
    SyntaxHighlighter& syntaxHighlighter() const { return *syntaxHighlighter_; }
    // The document's language, tokens and outline.
    SyntaxModel& syntax() const { return *syntax_; }

    // The settings last applied through this object.
    EditorCommandPreferences storedPreferences;
    // The outline menu last handed out; refilled after every parse while it exists.
    QPointer<MenuModel> publishedOutlineMenu;
    // Sounds the system beep; tests count it.
    std::function<void()> beep;

    // Stores the value and writes every field into the editor.
    void apply(const EditorCommandPreferences& editorPreferences);
    // Takes the editor's current settings into storedPreferences, after its owner set them from
    // the application settings, so that the next toggle does not bring back older values.
    void adoptEditorSettings();
    // Scales the editor font by factor, kept within 8 to 96 points.
    void magnifyFont(double factor);

    // Fresh menus on every call: "テキスト", "フォーマット" and "選択".
    std::shared_ptr<MenuModel> menu();
    std::shared_ptr<MenuModel> syntaxMenu();
    std::shared_ptr<MenuModel> selectMenu();
    // Replaces the items of menu with the highlighter's outline and "指定行へ移動…".
    void populateOutlineMenu(MenuModel& menu);
    // Makes menu the published outline menu, filled with populateOutlineMenu when it is first
    // read, from the outline as it is then.
    void publishOutlineMenu(MenuModel& menu);

    // The object whose colour edit the shared colour panel serves, or nullptr.
    static TextCommands* activeColorOwner();
    // The language's completion words and indentation openers, given to the editor.
    static void adoptLanguage(EditorTextView& editor, const SyntaxLanguage& language);
    bool isEditingColor() const { return colorEditSession_.has_value(); }
    // The snippet editor opened last from here, while its window is open.
    SnippetEditorWindow* snippetEditor() const;

    // Action names, as the menus and scripting send them.
    static const QStringList& actionNames();

    static constexpr double minimumFontSize = 8;
    static constexpr double maximumFontSize = 96;

private:
    struct ColorEditSession {
        TextRange range;
        QString expectedText;
        SyntaxColorFormat format;
        std::uint64_t expectedRevision = 0;
    };

    void registerActions();
    AlertPresenter* alerts() const;
    bool isEditable() const;

    // The road of a command.
    TextCommandRunner::Outcome runCommand(const QString& action, const QVariant& argument = {});
    bool commit(const CommandEdit& edit, const QString& actionName);

    void patternSort();
    // Comment, indentation, surround and character commands.
    void customSurround();
    void showUnicodeInputPanel();
    void inspectCharacter();
    void goToLine();
    // Format menu.
    void changePreferences(const std::function<void(EditorCommandPreferences&)>& change);
    void customizeTabWidth();
    void togglePageGuide();
    void toggleAntialias();
    // Colour codes.
    std::optional<SyntaxColorMatch> colorCodeAtSelection() const;
    void editColorCode();
    void colorPanelChanged();
    void finishColorEditing();
    // Snippets.
    void insertSnippet(MenuItem* sender);
    void showSnippetEditor();

    QPointer<EditorTextView> editor_;
    QPointer<KoriDocument> document_;
    QPointer<SyntaxModel> syntax_;
    std::unique_ptr<SyntaxHighlighter> syntaxHighlighter_;
    std::vector<QMetaObject::Connection> syntaxConnections_;
    QPointer<SnippetEditorWindow> snippetEditor_;
    std::optional<ColorEditSession> colorEditSession_;
    NotificationCenter::Registration colorPanelObserver_;
    bool observingColorPanel_ = false;
};

}  // namespace korimado
