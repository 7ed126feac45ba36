#include "commands/TextCommands.h"

#include "document/KoriDocument.h"
#include "editor/EditorView.h"
#include "platform/foundation/MainQueue.h"
#include "platform/ui/MenuModel.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxHighlighter.h"

#include <QFontDatabase>

#include <algorithm>
#include <cmath>

namespace korimado {

namespace {

std::optional<QString> documentPath(const KoriDocument* document)
{
    if (!document || document->fileURL().isEmpty()) {
        return std::nullopt;
    }
    return document->fileURL();
}

}  // namespace

TextCommands::TextCommands(EditorTextView* editor, KoriDocument* document) : editor_(editor), document_(document)
{
    const SyntaxLanguage language = SyntaxLanguage::detect(documentPath(document));
    syntaxHighlighter_ = std::make_unique<SyntaxHighlighter>(editor, language.id);

    if (editor) {
        storedPreferences.tabWidth = editor->editingTabWidth;
        storedPreferences.usesSpaces = editor->usesSpacesForIndentation;
        storedPreferences.showsInvisibles = editor->showsInvisibleCharacters();
        storedPreferences.showsIndentGuides = editor->showsIndentGuides;
        storedPreferences.pageGuideColumn = editor->pageGuideColumn;
        storedPreferences.automaticallyIndents = editor->automaticallyIndents;
        const qreal size = editor->font().pointSizeF();
        storedPreferences.fontSize = size > 0 ? size : 14;
        storedPreferences.editable = editor->isEditable();
    }

    syntaxHighlighter_->onOutlineChange = [this](const std::vector<SyntaxOutlineEntry>&) {
        if (publishedOutlineMenu) {
            populateOutlineMenu(*publishedOutlineMenu);
        }
    };
    if (editor) {
        editor->completionWords = language.keywords + language.completionWords;
    }
    syntaxHighlighter_->schedule();

    registerAction(QStringLiteral("changeSyntax:"), [this](MenuItem* sender) { changeSyntax(sender); });
    registerAction(QStringLiteral("resetSyntax:"), [this](MenuItem* sender) { resetSyntax(sender); });
    registerAction(QStringLiteral("goToOutline:"), [this](MenuItem* sender) { goToOutline(sender); });
    registerAction(QStringLiteral("selectEnclosingSymbols:"), [this](MenuItem* sender) { selectEnclosingSymbols(sender); });
    registerAction(QStringLiteral("selectColumnUp:"), [this](MenuItem* sender) { selectColumnUp(sender); });
    registerAction(QStringLiteral("selectColumnDown:"), [this](MenuItem* sender) { selectColumnDown(sender); });
    registerAction(QStringLiteral("splitSelectionByLines:"), [this](MenuItem* sender) { splitSelectionByLines(sender); });
}

TextCommands::~TextCommands()
{
    if (MainQueue::isMainThread()) {
        syntaxHighlighter_->invalidate();
    }
}

EditorTextView* TextCommands::editor() const
{
    return editor_;
}

KoriDocument* TextCommands::document() const
{
    return document_;
}

void TextCommands::apply(const EditorCommandPreferences& editorPreferences)
{
    storedPreferences = editorPreferences;
    EditorTextView* editor = editor_;
    if (!editor) {
        return;
    }
    const EditorCommandPreferences& p = storedPreferences;
    editor->editingTabWidth = std::clamp(p.tabWidth, 1, 16);
    editor->usesSpacesForIndentation = p.usesSpaces;
    editor->setShowsInvisibleCharacters(p.showsInvisibles);
    editor->showsIndentGuides = p.showsIndentGuides;
    editor->pageGuideColumn = p.pageGuideColumn;
    QFont font = QFontDatabase::systemFont(p.monospacedFont ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    if (std::isfinite(p.fontSize) && p.fontSize > 0) {
        font.setPointSizeF(p.fontSize);
    }
    editor->setFont(font);
    // Vertical layout and ligature control have no counterpart in this text system; the values
    // are kept so that they travel with the settings.
    editor->setLayoutDirection(p.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    editor->setEditable(p.editable);
    editor->automaticallyIndents = p.automaticallyIndents;
    editor->usesFontAntialiasing = p.antialias;
    editor->viewport()->update();
}

void TextCommands::reloadSyntaxFromDocument()
{
    syntaxHighlighter_->update(SyntaxLanguage::detect(documentPath(document_)).id);
}

void TextCommands::magnifyFont(double factor)
{
    if (!std::isfinite(factor) || factor <= 0) {
        return;
    }
    EditorTextView* editor = editor_;
    if (!editor) {
        return;
    }
    QFont font = editor->font();
    const qreal current = font.pointSizeF();
    if (current <= 0) {  // a pixel-sized font has no point size to scale
        return;
    }
    const double size = std::clamp(factor * current, minimumFontSize, maximumFontSize);
    storedPreferences.fontSize = size;
    font.setPointSizeF(size);
    editor->setFont(font);
    editor->viewport()->update();
    syntaxHighlighter_->applyVisibleTokens();
}

std::shared_ptr<MenuModel> TextCommands::menu()
{
    return std::make_shared<MenuModel>(QStringLiteral("テキスト"));
}

std::shared_ptr<MenuModel> TextCommands::syntaxMenu()
{
    auto languages = std::make_shared<MenuModel>(QStringLiteral("構文"));
    const QString current = syntaxHighlighter_->languageValue.id;
    for (const SyntaxLanguage& language : CotSyntaxCatalog::shared().languages()) {
        MenuItem* item = languages->addItem(language.displayName, QStringLiteral("changeSyntax:"));
        item->setKeyEquivalentModifierMask({});
        item->setTarget(this);
        item->setRepresentedObject(language.id);
        item->setState(language.id == current ? MenuItem::State::on : MenuItem::State::off);
    }
    languages->addSeparator();
    MenuItem* reparse = languages->addItem(QStringLiteral("構文を再解析"), QStringLiteral("resetSyntax:"), QStringLiteral("r"));
    reparse->setKeyEquivalentModifierMask(KeyModifier::Command | KeyModifier::Shift);
    reparse->setTarget(this);

    auto format = std::make_shared<MenuModel>(QStringLiteral("フォーマット"));
    format->addItem(QStringLiteral("構文"), QString())->setSubmenu(languages);
    return format;
}

std::shared_ptr<MenuModel> TextCommands::selectMenu()
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("選択"));
    // The editor's own selection actions go through the responder chain, which starts at the
    // focused editor.
    MenuItem* all = menu->addItem(QStringLiteral("すべてを選択"), QStringLiteral("selectAll:"), QStringLiteral("a"));
    all->setKeyEquivalentModifierMask(KeyModifier::Command);
    MenuItem* line = menu->addItem(QStringLiteral("行を選択"), QStringLiteral("selectParagraph:"), QStringLiteral("a"));
    line->setKeyEquivalentModifierMask(KeyModifier::Command | KeyModifier::Option);
    MenuItem* word = menu->addItem(QStringLiteral("単語を選択"), QStringLiteral("selectWord:"), QStringLiteral("d"));
    word->setKeyEquivalentModifierMask(KeyModifier::Command);

    auto own = [this, &menu](const QString& title, const QString& action) {
        MenuItem* item = menu->addItem(title, action);
        item->setKeyEquivalentModifierMask({});
        item->setTarget(this);
        return item;
    };
    own(QStringLiteral("囲み記号の内側を選択"), QStringLiteral("selectEnclosingSymbols:"));
    menu->addSeparator();
    own(QStringLiteral("上の行へ列選択を追加"), QStringLiteral("selectColumnUp:"));
    own(QStringLiteral("下の行へ列選択を追加"), QStringLiteral("selectColumnDown:"));
    MenuItem* split = own(QStringLiteral("選択範囲を行ごとに分割"), QStringLiteral("splitSelectionByLines:"));
    split->setKeyEquivalent(QStringLiteral("l"));
    split->setKeyEquivalentModifierMask(KeyModifier::Option | KeyModifier::Shift);
    return menu;
}

void TextCommands::populateOutlineMenu(MenuModel& menu)
{
    menu.removeAllItems();
    const std::vector<SyntaxOutlineEntry>& entries = syntaxHighlighter_->outlineEntries;
    for (size_t i = 0; i < entries.size(); ++i) {
        const SyntaxOutlineEntry& entry = entries[i];
        MenuItem* item = menu.addItem(QString::number(entry.line) + QStringLiteral("行  ") + entry.title,
                                      QStringLiteral("goToOutline:"));
        item->setKeyEquivalentModifierMask({});
        item->setTarget(this);
        item->setTag(static_cast<int>(i));
        item->setIndentationLevel(std::clamp(entry.level - 1, 0, 8));
    }
    if (entries.empty()) {
        MenuItem* none = menu.addItem(QStringLiteral("アウトライン項目はありません"), QString());
        none->setKeyEquivalentModifierMask({});
        none->setEnabled(false);
    }
    menu.addSeparator();
    MenuItem* goToLine = menu.addItem(QStringLiteral("指定行へ移動…"), QStringLiteral("goToLine:"), QStringLiteral("l"));
    goToLine->setKeyEquivalentModifierMask(KeyModifier::Command);
    goToLine->setTarget(this);
}

void TextCommands::changeSyntax(MenuItem* sender)
{
    std::optional<QString> id;
    if (sender && sender->representedObject().typeId() == QMetaType::QString) {
        id = sender->representedObject().toString();
    }
    syntaxHighlighter_->update(id);
}

void TextCommands::resetSyntax(MenuItem*)
{
    syntaxHighlighter_->schedule();
}

void TextCommands::goToOutline(MenuItem* sender)
{
    if (sender) {
        syntaxHighlighter_->goToOutlineEntry(sender->tag());
    }
}

void TextCommands::selectEnclosingSymbols(MenuItem*)
{
    if (editor_) {
        editor_->selectEnclosingSymbols();
    }
}

void TextCommands::selectColumnUp(MenuItem*)
{
    if (editor_) {
        editor_->extendColumnSelection(-1);
    }
}

void TextCommands::selectColumnDown(MenuItem*)
{
    if (editor_) {
        editor_->extendColumnSelection(+1);
    }
}

void TextCommands::splitSelectionByLines(MenuItem*)
{
    if (editor_) {
        editor_->splitSelectionByLines();
    }
}

}  // namespace korimado
