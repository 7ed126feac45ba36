#include "commands/TextCommands.h"

#include "commands/EditingTransforms.h"
#include "commands/SelectionEdits.h"
#include "commands/SnippetEditorWindow.h"
#include "commands/SnippetStore.h"
#include "commands/TextCommandRunner.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "editor/TextReader.h"
#include "platform/foundation/MainQueue.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/ColorPanel.h"
#include "platform/ui/MenuModel.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

#include <unicode/regex.h>

#include <algorithm>
#include <cmath>

namespace korimado {

namespace {

ResponderRef& colorOwnerSlot()
{
    static ResponderRef owner;
    return owner;
}

// The integer value of typed text, as a text field reads it: 0 when it is no number.
qint64 integerValue(const QString& text)
{
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    if (end < trimmed.size() && (trimmed[end] == u'-' || trimmed[end] == u'+')) ++end;
    while (end < trimmed.size() && trimmed[end].isDigit() && trimmed[end].unicode() < 128) ++end;
    bool ok = false;
    const qint64 value = trimmed.left(end).toLongLong(&ok);
    return ok ? value : 0;
}

// The user's face stays while it is of the kind asked for (fixed pitch or not); only a change of
// kind brings in the system font of that kind, at the same size.
QFont fontOfKind(const QFont& font, bool monospaced)
{
    if (QFontInfo(font).fixedPitch() == monospaced) return font;
    QFont other = QFontDatabase::systemFont(monospaced ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont);
    if (font.pointSizeF() > 0) other.setPointSizeF(font.pointSizeF());
    return other;
}

// A pixel-sized font counts as the standard size.
double pointSize(const QFont& font)
{
    return font.pointSizeF() > 0 ? font.pointSizeF() : 14;
}

QString regexErrorDescription(const QString& pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(pattern.utf16()),
                                    static_cast<int32_t>(pattern.size()));
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(source, 0, parseError, status));
    if (U_SUCCESS(status)) return {};
    return QStringLiteral("パターン “%1” は正規表現として無効です（%2文字目: %3）。")
        .arg(pattern)
        .arg(parseError.offset + 1)
        .arg(QString::fromLatin1(u_errorName(status)));
}

}  // namespace

TextCommands::TextCommands(EditorTextView* editor, KoriDocument& document)
    : editor_(editor), document_(&document), syntax_(&SyntaxModel::of(document))
{
    beep = [] { QApplication::beep(); };
    syntaxHighlighter_ = std::make_unique<SyntaxHighlighter>(editor, *syntax_);
    if (editor) {
        adoptLanguage(*editor, syntax_->language());
        editor->setCommandEntry([this](const QString& action, const QVariant& argument) {
            return runCommand(action, argument) == TextCommandRunner::Outcome::changed;
        });
    }
    // The context is the editor: these go with it, and with this object (below).
    syntaxConnections_.push_back(QObject::connect(syntax_, &SyntaxModel::languageChanged, editor, [this] {
        if (editor_ && syntax_) adoptLanguage(*editor_, syntax_->language());
    }));
    syntaxConnections_.push_back(QObject::connect(syntax_, &SyntaxModel::outlineChanged, editor, [this] {
        if (publishedOutlineMenu) publishOutlineMenu(*publishedOutlineMenu);
    }));

    // A view that comes later paints the document's tokens as they are; only a text never parsed
    // asks for a parse.
    syntax_->scheduleIfNeeded();
    syntaxHighlighter_->applyVisibleTokens();
    registerActions();
}

TextCommands::~TextCommands()
{
    if (editor_) editor_->setCommandEntry({});
    for (const QMetaObject::Connection& connection : syntaxConnections_) QObject::disconnect(connection);
    colorPanelObserver_.reset();
    if (colorOwnerSlot().get() == this) {
        ColorPanel& panel = ColorPanel::shared();
        panel.setTarget(nullptr);
        panel.setAction(QString());
        colorOwnerSlot() = ResponderRef();
    }
    if (MainQueue::isMainThread()) syntaxHighlighter_->invalidate();
}

void TextCommands::adoptLanguage(EditorTextView& editor, const SyntaxLanguage& language)
{
    editor.completionWords = language.keywords + language.completionWords;
    editor.indentationOpeners = language.indentationOpeners();
}

EditorTextView* TextCommands::editor() const
{
    return editor_;
}

KoriDocument* TextCommands::document() const
{
    return document_;
}

SnippetEditorWindow* TextCommands::snippetEditor() const
{
    return snippetEditor_;
}

TextCommands* TextCommands::activeColorOwner()
{
    return static_cast<TextCommands*>(colorOwnerSlot().get());
}

AlertPresenter* TextCommands::alerts() const
{
    return document_ ? document_->alertPresenter() : AlertPresenter::shared();
}

bool TextCommands::isEditable() const
{
    return editor_ && editor_->isEditable();
}

const QStringList& TextCommands::actionNames()
{
    static const QStringList names{
        QStringLiteral("selectEnclosingSymbols:"), QStringLiteral("selectColumnUp:"),
        QStringLiteral("selectColumnDown:"), QStringLiteral("splitSelectionByLines:"), QStringLiteral("shiftRight:"),
        QStringLiteral("shiftLeft:"), QStringLiteral("convertIndentationToSpaces:"),
        QStringLiteral("convertIndentationToTabs:"), QStringLiteral("toggleComment:"), QStringLiteral("inlineComment:"),
        QStringLiteral("blockComment:"), QStringLiteral("uncomment:"), QStringLiteral("surroundSelection:"),
        QStringLiteral("customSurround:"), QStringLiteral("insertSnippet:"), QStringLiteral("showSnippetEditor:"),
        QStringLiteral("complete:"), QStringLiteral("showUnicodeInputPanel:"), QStringLiteral("duplicateLine:"),
        QStringLiteral("deleteLine:"), QStringLiteral("sortLinesAscending:"), QStringLiteral("sortLinesDescending:"),
        QStringLiteral("reverseLines:"), QStringLiteral("deleteDuplicateLines:"), QStringLiteral("joinLines:"),
        QStringLiteral("shuffleLines:"), QStringLiteral("patternSort:"), QStringLiteral("moveLineUp:"),
        QStringLiteral("moveLineDown:"), QStringLiteral("trimTrailingWhitespace:"), QStringLiteral("uppercase:"),
        QStringLiteral("lowercase:"), QStringLiteral("capitalize:"), QStringLiteral("fullWidth:"),
        QStringLiteral("halfWidth:"), QStringLiteral("fullWidthRoman:"), QStringLiteral("halfWidthRoman:"),
        QStringLiteral("urlEncode:"), QStringLiteral("urlDecode:"), QStringLiteral("inspectCharacter:"),
        QStringLiteral("editColorCode:"), QStringLiteral("colorPanelChanged:"), QStringLiteral("changeSyntax:"),
        QStringLiteral("resetSyntax:"), QStringLiteral("changeTabWidth:"), QStringLiteral("customizeTabWidth:"),
        QStringLiteral("toggleUseSpaces:"), QStringLiteral("toggleAutomaticIndentation:"),
        QStringLiteral("toggleInvisibleCharacters:"), QStringLiteral("toggleIndentGuides:"),
        QStringLiteral("togglePageGuide:"), QStringLiteral("makeFontStandard:"), QStringLiteral("makeFontMonospaced:"),
        QStringLiteral("biggerFont:"), QStringLiteral("smallerFont:"), QStringLiteral("resetFont:"),
        QStringLiteral("toggleAntialias:"), QStringLiteral("toggleLigatures:"), QStringLiteral("makeHorizontal:"),
        QStringLiteral("makeVertical:"), QStringLiteral("makeLeftToRight:"), QStringLiteral("makeRightToLeft:"),
        QStringLiteral("toggleEditable:"), QStringLiteral("goToOutline:"), QStringLiteral("goToLine:")};
    return names;
}

void TextCommands::registerActions()
{
    auto on = [this](const char* name, std::function<void(MenuItem*)> handler, Validator validator = {}) {
        registerAction(QString::fromLatin1(name), std::move(handler), std::move(validator));
    };
    auto option = [this, &on](const char* name, std::function<void(EditorOptions&)> change) {
        on(name, [this, change](MenuItem*) { changeOptions(change); });
    };

    // The commands that change text, as the runner knows them; some take what the item carries.
    for (const QString& action : TextCommandRunner::actionNames())
        registerAction(action, [this, action](MenuItem*) { runCommand(action); });
    on("surroundSelection:", [this](MenuItem* sender) {
        if (sender && sender->representedObject().typeId() == QMetaType::QStringList)
            runCommand(QStringLiteral("surroundSelection:"), sender->representedObject());
    });
    on("insertSnippet:", [this](MenuItem* sender) { insertSnippet(sender); });
    on("patternSort:", [this](MenuItem*) { patternSort(); });

    // Selection commands.
    on("selectEnclosingSymbols:", [this](MenuItem*) { if (editor_) editor_->selectEnclosingSymbols(); });
    on("selectColumnUp:", [this](MenuItem*) { if (editor_) editor_->extendColumnSelection(-1); });
    on("selectColumnDown:", [this](MenuItem*) { if (editor_) editor_->extendColumnSelection(+1); });
    on("splitSelectionByLines:", [this](MenuItem*) { if (editor_) editor_->splitSelectionByLines(); });

    // Comments: enabled while the language has a marker of the kind the item needs.
    const Validator anyComment = [this](MenuItem&) {
        const SyntaxLanguage& language = syntax_->language();
        return editor_ && isEditable() && (language.lineComment || language.blockComment);
    };
    for (const char* name : {"toggleComment:", "inlineComment:", "uncomment:"})
        on(name, [this, name](MenuItem*) { runCommand(QString::fromLatin1(name)); }, anyComment);
    on("blockComment:", [this](MenuItem*) { runCommand(QStringLiteral("blockComment:")); }, [this](MenuItem&) {
        return editor_ && isEditable() && syntax_->language().blockComment.has_value();
    });

    on("customSurround:", [this](MenuItem*) { customSurround(); });
    on("showSnippetEditor:", [this](MenuItem*) { showSnippetEditor(); });
    on("complete:", [this](MenuItem*) { if (editor_) editor_->complete(); });
    on("showUnicodeInputPanel:", [this](MenuItem*) { showUnicodeInputPanel(); });

    on("inspectCharacter:", [this](MenuItem*) { inspectCharacter(); });
    on("editColorCode:", [this](MenuItem*) { editColorCode(); },
       [this](MenuItem&) { return isEditable() && colorCodeAtSelection().has_value(); });
    on("colorPanelChanged:", [this](MenuItem*) { colorPanelChanged(); });

    // Format menu.
    on("changeSyntax:", [this](MenuItem* sender) {
        if (sender && sender->representedObject().typeId() == QMetaType::QString)
            syntax_->setLanguage(sender->representedObject().toString());
        else
            syntax_->schedule();
    });
    on("resetSyntax:", [this](MenuItem*) { syntax_->schedule(); });
    on("changeTabWidth:", [this](MenuItem* sender) {
        if (sender) changeOptions([tag = sender->tag()](EditorOptions& o) { o.tabWidth = tag; });
    });
    on("customizeTabWidth:", [this](MenuItem*) { customizeTabWidth(); });
    option("toggleUseSpaces:", [](EditorOptions& o) { o.usesSpacesForIndentation = !o.usesSpacesForIndentation; });
    option("toggleAutomaticIndentation:", [](EditorOptions& o) { o.automaticallyIndents = !o.automaticallyIndents; });
    option("toggleInvisibleCharacters:",
           [](EditorOptions& o) { o.showsInvisibleCharacters = !o.showsInvisibleCharacters; });
    option("toggleIndentGuides:", [](EditorOptions& o) { o.showsIndentGuides = !o.showsIndentGuides; });
    on("togglePageGuide:", [this](MenuItem*) { togglePageGuide(); });
    option("makeFontStandard:", [](EditorOptions& o) { o.font = fontOfKind(o.font, false); });
    option("makeFontMonospaced:", [](EditorOptions& o) { o.font = fontOfKind(o.font, true); });
    option("biggerFont:", [](EditorOptions& o) { o.font.setPointSizeF(std::min(pointSize(o.font) + 1, maximumFontSize)); });
    option("smallerFont:", [](EditorOptions& o) { o.font.setPointSizeF(std::max(pointSize(o.font) - 1, minimumFontSize)); });
    option("resetFont:", [](EditorOptions& o) {
        o.font = fontOfKind(o.font, true);
        o.font.setPointSizeF(14);
    });
    option("toggleAntialias:", [](EditorOptions& o) { o.usesFontAntialiasing = !o.usesFontAntialiasing; });
    option("toggleLigatures:", [](EditorOptions& o) { o.usesLigatures = !o.usesLigatures; });
    option("makeHorizontal:", [](EditorOptions& o) { o.vertical = false; });
    option("makeVertical:", [](EditorOptions& o) { o.vertical = true; });
    option("makeLeftToRight:", [](EditorOptions& o) { o.rightToLeft = false; });
    option("makeRightToLeft:", [](EditorOptions& o) { o.rightToLeft = true; });
    option("toggleEditable:", [](EditorOptions& o) { o.editable = !o.editable; });

    on("goToOutline:", [this](MenuItem* sender) {
        if (sender) syntaxHighlighter_->goToOutlineEntry(sender->tag());
    });
    on("goToLine:", [this](MenuItem*) { goToLine(); });
}

// MARK: preferences

EditorOptions TextCommands::options() const
{
    return editor_ ? editor_->options() : EditorOptions{};
}

void TextCommands::changeOptions(const std::function<void(EditorOptions&)>& change)
{
    EditorTextView* editor = editor_;
    if (!editor) return;
    EditorOptions options = editor->options();
    change(options);
    editor->apply(options);
    syntaxHighlighter_->applyVisibleTokens();
}

void TextCommands::customizeTabWidth()
{
    AlertPresenter* presenter = alerts();
    if (!presenter) return;
    Alert alert{QStringLiteral("タブ幅"), QStringLiteral("1〜16の値を入力してください。"),
                {QStringLiteral("変更"), QStringLiteral("キャンセル")}, Alert::Style::informational};
    QList<AlertField> fields;
    fields.append({QString::number(options().tabWidth), QString(), QString(), 120});
    QStringList texts;
    if (presenter->runModal(alert, fields, texts) != 0 || texts.isEmpty()) return;
    const qint64 value = integerValue(texts.first());
    if (value < 1 || value > 16) return;
    changeOptions([value](EditorOptions& o) { o.tabWidth = static_cast<int>(value); });
}

void TextCommands::togglePageGuide()
{
    if (options().pageGuideColumn) {
        changeOptions([](EditorOptions& o) { o.pageGuideColumn.reset(); });
        return;
    }
    AlertPresenter* presenter = alerts();
    if (!presenter) return;
    Alert alert{QStringLiteral("ページガイド"), QStringLiteral("ガイドを表示する桁を入力してください。"),
                {QStringLiteral("表示"), QStringLiteral("キャンセル")}, Alert::Style::informational};
    QList<AlertField> fields;
    fields.append({QStringLiteral("80"), QString(), QString(), 120});
    QStringList texts;
    if (presenter->runModal(alert, fields, texts) != 0 || texts.isEmpty()) return;
    const qint64 value = integerValue(texts.first());
    if (value < 1 || value > 500) return;
    changeOptions([value](EditorOptions& o) { o.pageGuideColumn = static_cast<int>(value); });
}

void TextCommands::magnifyFont(double factor)
{
    if (!std::isfinite(factor) || factor <= 0 || !editor_) return;
    const qreal current = editor_->font().pointSizeF();
    if (current <= 0) return;  // a pixel-sized font has no point size to scale
    changeOptions([size = std::clamp(factor * current, minimumFontSize, maximumFontSize)](EditorOptions& o) {
        o.font.setPointSizeF(size);
    });
}

// MARK: the road of a command

TextCommandRunner::Outcome TextCommands::runCommand(const QString& action, const QVariant& argument)
{
    EditorTextView* editor = editor_;
    if (!editor || !document_) return TextCommandRunner::Outcome::refused;
    TextCommandRunner runner(*document_, editor->normalizedSelectedRanges(), editor->editInitiator());
    const EditorOptions current = editor->options();
    runner.setIndentation({current.tabWidth, current.usesSpacesForIndentation});
    const TextCommandRunner::Outcome outcome = runner.run(action, argument);
    if (outcome == TextCommandRunner::Outcome::unavailable && beep) beep();
    if (outcome == TextCommandRunner::Outcome::changed && editor_) {
        editor->setEditingSelections(runner.selections(), false);
        editor->scrollRangeToVisible(runner.selections().back());
    }
    return outcome;
}

bool TextCommands::commit(const CommandEdit& edit, const QString& actionName)
{
    EditorTextView* editor = editor_;
    if (!editor) return false;
    return editor->replace(edit.ranges, edit.strings, actionName, true);
}

// MARK: line commands

void TextCommands::patternSort()
{
    AlertPresenter* presenter = alerts();
    if (!editor_ || !presenter) return;
    Alert alert{QStringLiteral("パターンで並べ替え"),
                QStringLiteral("正規表現を入力してください。第1キャプチャがある場合は、その文字列を比較します。"),
                {QStringLiteral("並べ替え"), QStringLiteral("キャンセル")}, Alert::Style::informational};
    QList<AlertField> fields;
    fields.append({QString(), QString(), QString(), 360});
    QStringList texts;
    if (presenter->runModal(alert, fields, texts) != 0 || texts.isEmpty()) return;
    const QString pattern = texts.first();
    const QString error = regexErrorDescription(pattern);
    if (!error.isEmpty()) {
        presenter->runModal(Alert{QStringLiteral("正規表現が正しくありません。"), error, {}, Alert::Style::warning});
        return;
    }
    runCommand(QStringLiteral("patternSort:"), pattern);
}

// MARK: surround and characters

void TextCommands::customSurround()
{
    AlertPresenter* presenter = alerts();
    if (!editor_ || !presenter) return;
    Alert alert{QStringLiteral("選択範囲を囲む文字"), QStringLiteral("開始文字と終了文字を入力してください。"),
                {QStringLiteral("囲む"), QStringLiteral("キャンセル")}, Alert::Style::informational};
    QList<AlertField> fields;
    fields.append({QString(), QStringLiteral("開始文字"), QString(), 320});
    fields.append({QString(), QStringLiteral("終了文字"), QString(), 320});
    QStringList texts;
    if (presenter->runModal(alert, fields, texts) != 0 || texts.size() < 2) return;
    if (texts[0].isEmpty() && texts[1].isEmpty()) return;
    runCommand(QStringLiteral("surroundSelection:"), QStringList{texts[0], texts[1]});
}

void TextCommands::showUnicodeInputPanel()
{
    AlertPresenter* presenter = alerts();
    if (!editor_ || !presenter) return;
    Alert alert{QStringLiteral("Unicode文字を挿入"),
                QStringLiteral("コードポイントを16進数で入力してください（例: U+1F338）。"),
                {QStringLiteral("挿入"), QStringLiteral("キャンセル")}, Alert::Style::informational};
    QList<AlertField> fields;
    fields.append({QStringLiteral("U+"), QString(), QStringLiteral("Unicodeコードポイント"), 260});
    QStringList texts;
    if (presenter->runModal(alert, fields, texts) != 0 || texts.isEmpty()) return;
    const std::optional<QString> scalar = EditingTransforms::scalar(texts.first());
    if (!scalar) {
        presenter->runModal(Alert{QStringLiteral("入力したコードポイントは使えません。"), QString(), {}, Alert::Style::warning});
        return;
    }
    if (editor_) editor_->insertText(*scalar, editor_->selectedRange());
}

void TextCommands::inspectCharacter()
{
    EditorTextView* editor = editor_;
    if (!editor) return;
    const TextRange selection = editor->selectedRange();
    QString subject;
    if (!selection.isEmpty()) {
        subject = editor->textStorage()->substring(selection);
    } else if (selection.location < editor->textLength()) {
        const TextReader reader(*editor->textStorage());
        subject = editor->textStorage()->substring(reader.composedCharacterRange(selection.location));
    }
    if (AlertPresenter* presenter = alerts())
        presenter->runModal(Alert{QStringLiteral("文字の情報"), EditingTransforms::characterDescription(subject),
                                  {QStringLiteral("閉じる")}, Alert::Style::informational});
}

void TextCommands::goToLine()
{
    AlertPresenter* presenter = alerts();
    if (!editor_ || !presenter) return;
    Alert alert{QStringLiteral("指定行へ移動"), QStringLiteral("行番号を入力してください。"),
                {QStringLiteral("移動"), QStringLiteral("キャンセル")}, Alert::Style::informational};
    QList<AlertField> fields;
    fields.append({QStringLiteral("1"), QString(), QStringLiteral("行番号"), 140});
    QStringList texts;
    if (presenter->runModal(alert, fields, texts) != 0 || texts.isEmpty()) return;
    EditorTextView* editor = editor_;
    if (!editor) return;
    const SelectionEdits::LineTarget target =
        SelectionEdits::lineTarget(TextReader(*editor->textStorage()), integerValue(texts.first()));
    editor->setSelectedRange(TextRange(target.offset, 0));
    editor->scrollRangeToVisible(TextRange(target.offset, 0));
    editor->setFocus(Qt::OtherFocusReason);
    if (target.beep) beep();
}

// MARK: colour codes

std::optional<SyntaxColorMatch> TextCommands::colorCodeAtSelection() const
{
    EditorTextView* editor = editor_;
    if (!editor || !editor->textStorage()) return std::nullopt;
    const TextStorage& storage = *editor->textStorage();
    const TextRange selection = editor->selectedRange();
    const qsizetype length = storage.length();
    if (selection.isNotFound() || selection.location > length || selection.end() > length) return std::nullopt;
    // Only the selected text, or the caret's line, can hold the code: read just that much.
    TextRange window = selection;
    if (selection.isEmpty() && length > 0) {
        const TextReader reader(storage);
        const TextReader::Line line = reader.lineAt(std::min(selection.location, length - 1));
        window = TextRange::fromBounds(line.start, line.end);
    }
    std::optional<SyntaxColorMatch> match = SyntaxColorCode::find(
        storage.substring(window), TextRange(selection.location - window.location, selection.length));
    if (match) match->range.location += window.location;
    return match;
}

void TextCommands::editColorCode()
{
    EditorTextView* editor = editor_;
    if (!editor || !document_) return;
    if (!editor->isEditable()) {
        beep();
        return;
    }
    const std::optional<SyntaxColorMatch> match = colorCodeAtSelection();
    if (!match) {
        if (AlertPresenter* presenter = alerts())
            presenter->runModal(Alert{QStringLiteral("カラーコードが見つかりません。"),
                                      QStringLiteral("HEX、RGB、HSL形式のカラーコードを選択するか、コード内へカーソルを置いてください。"),
                                      {QStringLiteral("閉じる")}, Alert::Style::informational});
        return;
    }
    colorEditSession_ = ColorEditSession{match->range, editor->textStorage()->substring(match->range), match->format,
                                         document_->revision()};
    TextCommands* previous = activeColorOwner();
    if (previous && previous != this) previous->finishColorEditing();
    colorOwnerSlot() = this;

    ColorPanel& panel = ColorPanel::shared();
    panel.setTarget(nullptr);
    panel.setAction(QString());
    panel.setShowsAlpha(true);
    panel.setContinuous(false);
    panel.setColor(QColor::fromRgbF(static_cast<float>(match->color.red), static_cast<float>(match->color.green),
                                    static_cast<float>(match->color.blue), static_cast<float>(match->color.alpha)));
    panel.setTarget(this);
    panel.setAction(QStringLiteral("colorPanelChanged:"));
    if (!observingColorPanel_) {
        ResponderRef self(this);
        const NotificationCenter::Token token = NotificationCenter::defaultCenter().addObserver(
            ColorPanel::willCloseNotification, &panel, [self](const Notification&) {
                if (auto* commands = static_cast<TextCommands*>(self.get())) commands->finishColorEditing();
            });
        colorPanelObserver_ = NotificationCenter::Registration(NotificationCenter::defaultCenter(), token);
        observingColorPanel_ = true;
    }
    panel.makeKeyAndOrderFront();
}

void TextCommands::colorPanelChanged()
{
    EditorTextView* editor = editor_;
    if (!editor || !document_ || !colorEditSession_) return;
    const ColorEditSession session = *colorEditSession_;
    const TextStorage& storage = *editor->textStorage();
    const bool valid = document_->revision() == session.expectedRevision && !session.range.isNotFound()
        && session.range.end() <= storage.length() && storage.substring(session.range) == session.expectedText;
    if (!valid) {
        finishColorEditing();
        ColorPanel::shared().orderOut();
        if (AlertPresenter* presenter = alerts())
            presenter->runModal(Alert{QStringLiteral("カラーコードの変更を中止しました。"),
                                      QStringLiteral("カラーパネルを開いた後に本文が変わったため、古い位置へは上書きしていません。"),
                                      {QStringLiteral("閉じる")}, Alert::Style::warning});
        return;
    }
    const QColor picked = ColorPanel::shared().color();
    if (!picked.isValid()) {
        beep();
        return;
    }
    const QColor rgb = picked.toRgb();
    const SyntaxRGBA color{rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
    const QString code = SyntaxColorCode::render(color, session.format);
    if (code == session.expectedText) return;
    CommandEdit edit;
    edit.add(session.range, code);
    if (!commit(edit, QStringLiteral("カラーコードを変更"))) return;
    const TextRange written(session.range.location, code.size());
    colorEditSession_ = ColorEditSession{written, code, session.format, document_->revision()};
    editor->setSelectedRange(written);
    editor->scrollRangeToVisible(written);
}

void TextCommands::finishColorEditing()
{
    colorEditSession_.reset();
    if (activeColorOwner() == this) {
        ColorPanel& panel = ColorPanel::shared();
        panel.setTarget(nullptr);
        panel.setAction(QString());
        colorOwnerSlot() = ResponderRef();
    }
}

// MARK: snippets

void TextCommands::insertSnippet(MenuItem* sender)
{
    const std::vector<SyntaxSnippet> snippets = SnippetStore::snippets(syntax_->language());
    if (!sender || sender->tag() < 0 || static_cast<size_t>(sender->tag()) >= snippets.size()) return;
    runCommand(QStringLiteral("insertSnippet:"), snippets[static_cast<size_t>(sender->tag())].body);
}

void TextCommands::showSnippetEditor()
{
    ResponderRef self(this);
    auto* window = new SnippetEditorWindow(syntax_->language(), [self](SnippetEditorWindow* closed) {
        auto* commands = static_cast<TextCommands*>(self.get());
        if (commands && commands->snippetEditor_ == closed) commands->snippetEditor_ = nullptr;
    });
    snippetEditor_ = window;
    window->show();
    window->raise();
    window->activateWindow();
}

// MARK: menus

namespace {

MenuItem* addCommand(MenuModel& menu, Responder* target, const QString& title, const QString& action,
                     const QString& key = {}, KeyModifiers modifiers = {})
{
    MenuItem* item = menu.addItem(title, action, key);
    item->setKeyEquivalentModifierMask(key.isEmpty() ? KeyModifiers() : modifiers);
    item->setTarget(target);
    return item;
}

MenuItem* addSubmenu(MenuModel& menu, const std::shared_ptr<MenuModel>& submenu)
{
    MenuItem* item = menu.addItem(submenu->title(), QString());
    item->setKeyEquivalentModifierMask({});
    item->setSubmenu(submenu);
    return item;
}

MenuItem::State state(bool on)
{
    return on ? MenuItem::State::on : MenuItem::State::off;
}

}  // namespace

std::shared_ptr<MenuModel> TextCommands::menu()
{
    const KeyModifiers command = KeyModifier::Command;
    auto menu = std::make_shared<MenuModel>(QStringLiteral("テキスト"));

    auto snippets = std::make_shared<MenuModel>(QStringLiteral("スニペットを挿入"));
    const std::vector<SyntaxSnippet> list = SnippetStore::snippets(syntax_->language());
    for (size_t i = 0; i < list.size(); ++i)
        addCommand(*snippets, this, list[i].name, QStringLiteral("insertSnippet:"))->setTag(static_cast<int>(i));
    if (list.empty()) {
        MenuItem* none = snippets->addItem(QStringLiteral("スニペットはありません"), QString());
        none->setKeyEquivalentModifierMask({});
        none->setEnabled(false);
    }
    snippets->addSeparator();
    addCommand(*snippets, this, QStringLiteral("スニペットを編集…"), QStringLiteral("showSnippetEditor:"));
    addSubmenu(*menu, snippets);
    addCommand(*menu, this, QStringLiteral("Unicodeコードポイントで挿入…"), QStringLiteral("showUnicodeInputPanel:"));
    // Input methods take Ctrl+Space to switch themselves on; Alt+/ is never theirs.
    addCommand(*menu, this, QStringLiteral("入力を補完"), QStringLiteral("complete:"), QStringLiteral(" "), command)
        ->setAlternateKeyEquivalent(QStringLiteral("/"), KeyModifier::Option);
    menu->addSeparator();

    auto comments = std::make_shared<MenuModel>(QStringLiteral("コメント"));
    addCommand(*comments, this, QStringLiteral("コメントを切り替え"), QStringLiteral("toggleComment:"), QStringLiteral("/"), command);
    addCommand(*comments, this, QStringLiteral("行コメント"), QStringLiteral("inlineComment:"));
    addCommand(*comments, this, QStringLiteral("ブロックコメント"), QStringLiteral("blockComment:"));
    addCommand(*comments, this, QStringLiteral("コメントを解除"), QStringLiteral("uncomment:"));
    addSubmenu(*menu, comments);

    auto indentation = std::make_shared<MenuModel>(QStringLiteral("インデント"));
    addCommand(*indentation, this, QStringLiteral("右へ移動"), QStringLiteral("shiftRight:"), QStringLiteral("]"), command);
    addCommand(*indentation, this, QStringLiteral("左へ移動"), QStringLiteral("shiftLeft:"), QStringLiteral("["), command);
    indentation->addSeparator();
    addCommand(*indentation, this, QStringLiteral("インデントを空白へ変換"), QStringLiteral("convertIndentationToSpaces:"));
    addCommand(*indentation, this, QStringLiteral("インデントをタブへ変換"), QStringLiteral("convertIndentationToTabs:"));
    addSubmenu(*menu, indentation);

    auto surrounds = std::make_shared<MenuModel>(QStringLiteral("選択範囲を囲む"));
    const std::pair<const char16_t*, QStringList> pairs[] = {
        {u"シングルクォート", {QStringLiteral("'"), QStringLiteral("'")}},
        {u"ダブルクォート", {QStringLiteral("\""), QStringLiteral("\"")}},
        {u"丸括弧", {QStringLiteral("("), QStringLiteral(")")}},
        {u"波括弧", {QStringLiteral("{"), QStringLiteral("}")}},
        {u"角括弧", {QStringLiteral("["), QStringLiteral("]")}}};
    for (const auto& [title, pair] : pairs)
        addCommand(*surrounds, this, QString::fromUtf16(title), QStringLiteral("surroundSelection:"))
            ->setRepresentedObject(pair);
    addCommand(*surrounds, this, QStringLiteral("指定した文字…"), QStringLiteral("customSurround:"));
    addSubmenu(*menu, surrounds);
    addCommand(*menu, this, QStringLiteral("行末の空白を削除"), QStringLiteral("trimTrailingWhitespace:"));
    menu->addSeparator();

    auto lines = std::make_shared<MenuModel>(QStringLiteral("行"));
    addCommand(*lines, this, QStringLiteral("上へ移動"), QStringLiteral("moveLineUp:"), QString(QChar(0xF700)),
               KeyModifier::Command | KeyModifier::Shift);
    addCommand(*lines, this, QStringLiteral("下へ移動"), QStringLiteral("moveLineDown:"), QString(QChar(0xF701)),
               KeyModifier::Command | KeyModifier::Shift);
    addCommand(*lines, this, QStringLiteral("行を複製"), QStringLiteral("duplicateLine:"), QStringLiteral("d"),
               KeyModifier::Command | KeyModifier::Shift);
    addCommand(*lines, this, QStringLiteral("行を削除"), QStringLiteral("deleteLine:"));
    lines->addSeparator();
    addCommand(*lines, this, QStringLiteral("昇順で並べ替え"), QStringLiteral("sortLinesAscending:"));
    addCommand(*lines, this, QStringLiteral("降順で並べ替え"), QStringLiteral("sortLinesDescending:"));
    addCommand(*lines, this, QStringLiteral("パターンで並べ替え…"), QStringLiteral("patternSort:"));
    addCommand(*lines, this, QStringLiteral("逆順"), QStringLiteral("reverseLines:"));
    addCommand(*lines, this, QStringLiteral("シャッフル"), QStringLiteral("shuffleLines:"));
    addCommand(*lines, this, QStringLiteral("重複行を削除"), QStringLiteral("deleteDuplicateLines:"));
    addCommand(*lines, this, QStringLiteral("行を連結"), QStringLiteral("joinLines:"), QStringLiteral("j"),
               KeyModifier::Command | KeyModifier::Shift);
    addSubmenu(*menu, lines);

    auto conversions = std::make_shared<MenuModel>(QStringLiteral("変換"));
    addCommand(*conversions, this, QStringLiteral("大文字にする"), QStringLiteral("uppercase:"));
    addCommand(*conversions, this, QStringLiteral("小文字にする"), QStringLiteral("lowercase:"));
    addCommand(*conversions, this, QStringLiteral("単語の先頭を大文字にする"), QStringLiteral("capitalize:"));
    conversions->addSeparator();
    addCommand(*conversions, this, QStringLiteral("全角にする"), QStringLiteral("fullWidth:"));
    addCommand(*conversions, this, QStringLiteral("半角にする"), QStringLiteral("halfWidth:"));
    addCommand(*conversions, this, QStringLiteral("英数字を全角にする"), QStringLiteral("fullWidthRoman:"));
    addCommand(*conversions, this, QStringLiteral("英数字を半角にする"), QStringLiteral("halfWidthRoman:"));
    conversions->addSeparator();
    addCommand(*conversions, this, QStringLiteral("URLエンコード"), QStringLiteral("urlEncode:"));
    addCommand(*conversions, this, QStringLiteral("URLデコード"), QStringLiteral("urlDecode:"));
    addSubmenu(*menu, conversions);
    menu->addSeparator();

    addCommand(*menu, this, QStringLiteral("文字を調べる…"), QStringLiteral("inspectCharacter:"));
    addCommand(*menu, this, QStringLiteral("カラーコードを編集…"), QStringLiteral("editColorCode:"), QStringLiteral("h"),
               KeyModifier::Command | KeyModifier::Option);
    return menu;
}

std::shared_ptr<MenuModel> TextCommands::syntaxMenu()
{
    const EditorOptions p = options();
    auto format = std::make_shared<MenuModel>(QStringLiteral("フォーマット"));

    auto languages = std::make_shared<MenuModel>(QStringLiteral("構文"));
    const QString current = syntax_->language().id;
    for (const SyntaxLanguage& language : CotSyntaxCatalog::shared().languages()) {
        MenuItem* item = addCommand(*languages, this, language.displayName, QStringLiteral("changeSyntax:"));
        item->setRepresentedObject(language.id);
        item->setState(state(language.id == current));
    }
    languages->addSeparator();
    addCommand(*languages, this, QStringLiteral("構文を再解析"), QStringLiteral("resetSyntax:"), QStringLiteral("r"),
               KeyModifier::Command | KeyModifier::Shift);
    addSubmenu(*format, languages);

    auto tabs = std::make_shared<MenuModel>(QStringLiteral("タブ幅"));
    for (int width : {2, 4, 8}) {
        MenuItem* item = addCommand(*tabs, this, QString::number(width), QStringLiteral("changeTabWidth:"));
        item->setTag(width);
        item->setState(state(p.tabWidth == width));
    }
    addCommand(*tabs, this, QStringLiteral("指定…"), QStringLiteral("customizeTabWidth:"));
    tabs->addSeparator();
    addCommand(*tabs, this, QStringLiteral("インデントに空白を使う"), QStringLiteral("toggleUseSpaces:"))->setState(state(p.usesSpacesForIndentation));
    addCommand(*tabs, this, QStringLiteral("自動インデント"), QStringLiteral("toggleAutomaticIndentation:"))
        ->setState(state(p.automaticallyIndents));
    addSubmenu(*format, tabs);

    addCommand(*format, this, QStringLiteral("不可視文字を表示"), QStringLiteral("toggleInvisibleCharacters:"))
        ->setState(state(p.showsInvisibleCharacters));
    addCommand(*format, this, QStringLiteral("インデントガイドを表示"), QStringLiteral("toggleIndentGuides:"))
        ->setState(state(p.showsIndentGuides));
    addCommand(*format, this, QStringLiteral("ページガイドを表示"), QStringLiteral("togglePageGuide:"))
        ->setState(state(p.pageGuideColumn.has_value()));

    auto fonts = std::make_shared<MenuModel>(QStringLiteral("フォント"));
    const KeyModifiers command = KeyModifier::Command;
    addCommand(*fonts, this, QStringLiteral("標準"), QStringLiteral("makeFontStandard:"));
    addCommand(*fonts, this, QStringLiteral("等幅"), QStringLiteral("makeFontMonospaced:"));
    fonts->addSeparator();
    addCommand(*fonts, this, QStringLiteral("大きく"), QStringLiteral("biggerFont:"), QStringLiteral("+"), command);
    addCommand(*fonts, this, QStringLiteral("小さく"), QStringLiteral("smallerFont:"), QStringLiteral("-"), command);
    addCommand(*fonts, this, QStringLiteral("初期値に戻す"), QStringLiteral("resetFont:"), QStringLiteral("0"), command);
    addCommand(*fonts, this, QStringLiteral("アンチエイリアス"), QStringLiteral("toggleAntialias:"))->setState(state(p.usesFontAntialiasing));
    addCommand(*fonts, this, QStringLiteral("合字"), QStringLiteral("toggleLigatures:"))->setState(state(p.usesLigatures));
    addSubmenu(*format, fonts);

    auto direction = std::make_shared<MenuModel>(QStringLiteral("書字方向"));
    addCommand(*direction, this, QStringLiteral("横書き"), QStringLiteral("makeHorizontal:"));
    addCommand(*direction, this, QStringLiteral("縦書き"), QStringLiteral("makeVertical:"));
    direction->addSeparator();
    addCommand(*direction, this, QStringLiteral("左から右"), QStringLiteral("makeLeftToRight:"));
    addCommand(*direction, this, QStringLiteral("右から左"), QStringLiteral("makeRightToLeft:"));
    addSubmenu(*format, direction);

    addCommand(*format, this, QStringLiteral("編集を禁止"), QStringLiteral("toggleEditable:"))->setState(state(!p.editable));
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

    addCommand(*menu, this, QStringLiteral("囲み記号の内側を選択"), QStringLiteral("selectEnclosingSymbols:"));
    menu->addSeparator();
    addCommand(*menu, this, QStringLiteral("上の行へ列選択を追加"), QStringLiteral("selectColumnUp:"));
    addCommand(*menu, this, QStringLiteral("下の行へ列選択を追加"), QStringLiteral("selectColumnDown:"));
    addCommand(*menu, this, QStringLiteral("選択範囲を行ごとに分割"), QStringLiteral("splitSelectionByLines:"),
               QStringLiteral("l"), KeyModifier::Option | KeyModifier::Shift);
    return menu;
}

void TextCommands::publishOutlineMenu(MenuModel& menu)
{
    publishedOutlineMenu = &menu;
    // Tens of thousands of entries, refilled after every parse: made only when someone looks.
    const ResponderRef self(this);
    menu.setNeedsFill([self](MenuModel& filled) {
        if (Responder* commands = self.get()) static_cast<TextCommands*>(commands)->populateOutlineMenu(filled);
    });
}

void TextCommands::populateOutlineMenu(MenuModel& menu)
{
    // Items are made complete before the menu takes them, in one batch: an outline can hold tens
    // of thousands of entries.
    const std::vector<SyntaxOutlineEntry>& entries = syntax_->outline();
    std::vector<std::shared_ptr<MenuItem>> items;
    items.reserve(entries.size() + 3);
    const QString suffix = QStringLiteral("行  ");
    const QString action = QStringLiteral("goToOutline:");
    for (size_t i = 0; i < entries.size(); ++i) {
        const SyntaxOutlineEntry& entry = entries[i];
        auto item = std::make_shared<MenuItem>(QString::number(entry.line) + suffix + entry.title, action);
        item->setKeyEquivalentModifierMask({});
        item->setTarget(this);
        item->setTag(static_cast<int>(i));
        item->setIndentationLevel(std::clamp(entry.level - 1, 0, 8));
        items.push_back(std::move(item));
    }
    if (entries.empty()) {
        auto none = std::make_shared<MenuItem>(QStringLiteral("アウトライン項目はありません"), QString());
        none->setKeyEquivalentModifierMask({});
        none->setEnabled(false);
        items.push_back(std::move(none));
    }
    if (syntax_->outlineWasTruncated()) {
        auto note = std::make_shared<MenuItem>(SyntaxModel::truncatedOutlineNote(), QString());
        note->setKeyEquivalentModifierMask({});
        note->setEnabled(false);
        items.push_back(std::move(note));
    }
    items.push_back(MenuItem::separator());
    auto goToLine = std::make_shared<MenuItem>(QStringLiteral("指定行へ移動…"), QStringLiteral("goToLine:"), QStringLiteral("l"));
    goToLine->setKeyEquivalentModifierMask(KeyModifier::Command);
    goToLine->setTarget(this);
    items.push_back(std::move(goToLine));
    menu.setItems(std::move(items));
}

}  // namespace korimado
