#include "scripting/objects/ScriptableDocument.h"

#include "document/KoriDocument.h"
#include "document/TextEncodingNames.h"
#include "editor/DocumentEditor.h"
#include "editor/EditorHost.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/StorageCharacterCounts.h"
#include "platform/text/TextEditing.h"
#include "platform/ui/WindowSheet.h"
#include "scripting/text/ScriptCharacters.h"
#include "search/engine/SearchDeadline.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"
#include "syntax/SyntaxModel.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <new>

namespace korimado {

namespace {

const QString scriptEditName = QStringLiteral("スクリプト");
const QString replaceName = QStringLiteral("置換");

}  // namespace

EditorHost* ScriptableDocument::window() const
{
    return document_ ? EditorHost::of(*document_) : nullptr;
}

DocumentEditor* ScriptableDocument::editor() const
{
    EditorHost* host = window();
    return host ? host->primaryEditor() : nullptr;
}

QString ScriptableDocument::contents() const
{
    return document_ ? document_->string() : QString();
}

bool ScriptableDocument::isEditable() const
{
    const DocumentEditor* view = editor();
    return !view || view->isEditable();
}

void ScriptableDocument::applyScriptText(const QString& text, const QString& actionName)
{
    if (!document_ || !isEditable())
        return;
    const QString current = document_->string();
    if (text == current)
        return;
    const TextRange range = TextEditing::changedRange(current, text);
    commitScriptEdit({range}, {text.mid(range.location, text.size() - (current.size() - range.length))}, text.size(),
                     actionName);
}

void ScriptableDocument::commitScriptEdit(const QVector<TextRange>& ranges, const QStringList& strings,
                                          qsizetype caretAfter, const QString& actionName)
{
    DocumentEditor* view = editor();
    const QVector<TextRange> caret{TextRange{caretAfter, 0}};
    TextEditing::replace(document_->storage(), ranges, strings, actionName,
                         view ? std::optional<QVector<TextRange>>(caret) : std::nullopt,
                         view ? view->editInitiator() : nullptr);
    if (view)
        view->breakUndoCoalescing();
}

void ScriptableDocument::setContents(const QString& text)
{
    if (document_)
        applyScriptText(document_->format().lineEnding.replacing(text), scriptEditName);
}

QString ScriptableDocument::lineEndingName() const
{
    return document_ ? document_->format().lineEnding.rawValue() : QStringLiteral("LF");
}

void ScriptableDocument::setLineEnding(const QString& name)
{
    const std::optional<LineEnding> ending = LineEnding::fromRawValue(name);
    // A read-only editor keeps its breaks, so its format must say what they are.
    if (!document_ || !ending || !isEditable())
        return;
    try {
        document_->changeLineEnding(*ending);
    } catch (const CodecError& error) {
        refusal_ = Refusal{ScriptErrors::failed, KoriDocument::errorInfo(error).description};
    }
}

int ScriptableDocument::tabWidth() const
{
    const DocumentEditor* view = editor();
    return view ? view->options().tabWidth : 4;
}

void ScriptableDocument::setTabWidth(qint64 width)
{
    if (DocumentEditor* view = editor()) {
        EditorOptions options = view->options();
        options.tabWidth = int(std::clamp<qint64>(width, 1, 16));
        view->apply(options);
    }
}

std::optional<EventDescriptor> ScriptableDocument::value(const QString& key) const
{
    using D = EventDescriptor;
    if (!document_)
        return std::nullopt;
    const DocumentEditor* view = editor();
    if (key == QLatin1String("scriptContents"))
        return D::text(document_->string());
    if (key == QLatin1String("scriptEncoding"))
        return D::text(TextEncodingNames::localizedName(document_->format().encoding));
    if (key == QLatin1String("scriptIANAEncoding"))
        return D::text(TextEncodingNames::ianaName(document_->format().encoding));
    if (key == QLatin1String("scriptBOM"))
        return D::boolean(document_->format().bom);
    if (key == QLatin1String("scriptLength"))
        return D::integer(StorageCharacterCounts::of(document_->storage()).count());
    if (key == QLatin1String("scriptSyntaxStyle")) {
        if (!window())
            return D::text(QStringLiteral("Plain Text"));
        const SyntaxLanguage& language = SyntaxModel::of(*document_).language();
        return D::text(language.id == QLatin1String("plain") ? QStringLiteral("Plain Text") : language.displayName);
    }
    if (key == QLatin1String("scriptTabWidth"))
        return D::integer(tabWidth());
    if (key == QLatin1String("scriptExpandsTab"))
        return D::boolean(view && view->options().usesSpacesForIndentation);
    if (key == QLatin1String("scriptLineEnding"))
        return D::text(lineEndingName());
    if (key == QLatin1String("scriptEditable"))
        return D::boolean(isEditable());
    if (key == QLatin1String("scriptWraps"))
        return D::boolean(view && view->wrapsLines());
    if (key == QLatin1String("displayName"))
        return D::text(document_->displayName());
    if (key == QLatin1String("isDocumentEdited"))
        return D::boolean(document_->isDocumentEdited());
    if (key == QLatin1String("path"))
        return D::text(document_->fileURL());
    return std::nullopt;
}

bool ScriptableDocument::setValue(const QString& key, const EventDescriptor& value)
{
    if (!document_)
        return true;
    DocumentEditor* view = editor();
    if (key == QLatin1String("scriptContents")) {
        if (const std::optional<QString> text = value.toText())
            setContents(*text);
    } else if (key == QLatin1String("scriptSyntaxStyle")) {
        const std::optional<QString> name = value.toText();
        if (EditorHost* controller = window(); controller && name)
            controller->changeDocumentSyntax(*name == QLatin1String("Plain Text") ? QStringLiteral("plain") : *name);
    } else if (key == QLatin1String("scriptTabWidth")) {
        if (const std::optional<qint64> width = value.toInteger())
            setTabWidth(*width);
    } else if (key == QLatin1String("scriptExpandsTab")) {
        if (const std::optional<bool> flag = value.toBoolean(); flag && view) {
            EditorOptions options = view->options();
            options.usesSpacesForIndentation = *flag;
            view->apply(options);
        }
    } else if (key == QLatin1String("scriptLineEnding")) {
        if (const std::optional<QString> name = value.toText())
            setLineEnding(*name);
    } else if (key == QLatin1String("scriptEditable")) {
        if (const std::optional<bool> flag = value.toBoolean(); flag && view)
            view->setEditable(*flag);
    } else if (key == QLatin1String("scriptWraps")) {
        if (const std::optional<bool> flag = value.toBoolean(); flag && window())
            window()->toggleWrap(*flag);
    } else {
        return false;
    }
    return true;
}

std::optional<EventDescriptor> ScriptableDocument::perform(const QString& method, ScriptCommand& command)
{
    using D = EventDescriptor;
    if (method == QLatin1String("handleScriptFind:"))
        return find(command);
    if (method == QLatin1String("handleScriptReplace:"))
        return D::integer(replace(command));
    if (method == QLatin1String("handleScriptConvert:"))
        return D::boolean(convert(command));
    if (method == QLatin1String("handleScriptReinterpret:"))
        return D::boolean(reinterpret(command));
    if (method == QLatin1String("handleScriptJump:")) {
        jump(command);
        return std::nullopt;
    }
    if (method == QLatin1String("handleScriptScroll:")) {
        scroll();
        return std::nullopt;
    }
    if (method == QLatin1String("handleScriptString:"))
        return D::text(string(command));
    if (method == QLatin1String("handleSaveScriptCommand:")) {
        save(command);
        return std::nullopt;
    }
    if (method == QLatin1String("handleCloseScriptCommand:")) {
        close(command);
        return std::nullopt;
    }
    command.setScriptError(ScriptErrors::notSupported, ScriptErrors::notSupportedMessage);
    return std::nullopt;
}

namespace {

struct Match {
    TextRange range;
    QString replacement;
};

// Every match of the command's search with its replacement in the document's line ending; none
// when the search itself failed, with what to tell the script in `failure`.
std::optional<std::vector<Match>> scriptMatches(const KoriDocument& document, const ScriptCommand& command,
                                                QString& failure)
{
    const QString target = command.text(QStringLiteral("targetString")).value_or(QString());
    if (target.isEmpty())
        return std::vector<Match>();
    SearchRequest request;
    request.pattern = target;
    request.replacement = command.text(QStringLiteral("newString")).value_or(QString());
    request.options.mode = command.boolean(QStringLiteral("regularExpression")).value_or(false) ? SearchMode::regularExpression
                                                                                               : SearchMode::text;
    request.options.caseSensitive = !command.boolean(QStringLiteral("ignoreCase")).value_or(false);
    request.options.isMultiline = true;
    request.options.usesUnicodeBoundaries = true;
    const LineEnding ending = document.format().lineEnding;
    request.lineEnding = ending;
    const QString text = document.string();
    // The script waits on the main thread: an expression that backtracks without end must not
    // freeze the program, nor land its replace after the script has given up.
    const SearchDeadline deadline(SearchDeadline::limitMilliseconds);
    try {
        const SearchResultSet found = SearchEngine::findAll(text, request, document.revision(), deadline.token());
        std::vector<Match> matches;
        matches.reserve(size_t(found.matches.size()));
        for (const SearchMatch& match : found.matches) {
            const QString expanded = SearchEngine::expandedReplacement(request.replacement, match, text, request.options);
            matches.push_back({match.range, ending.replacing(expanded)});
        }
        return matches;
    } catch (const SearchEngineError& error) {
        if (error.kind() == SearchEngineError::Kind::cancelled && deadline.expired())
            failure = deadline.expiredDescription();
        else if (error.kind() == SearchEngineError::Kind::expressionTooComplex)
            failure = error.errorDescription();
        else
            failure = ScriptableDocument::invalidExpressionMessage;
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        failure = SearchEngineError::textTooLarge().errorDescription();
        return std::nullopt;
    }
}

const Match* chooseMatch(const std::vector<Match>& matches, TextRange selection, const ScriptCommand& command)
{
    const bool backwards = command.boolean(QStringLiteral("backwardsSearch")).value_or(false);
    if (backwards) {
        for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
            if (it->range.location < selection.location)
                return &*it;
        }
    } else {
        for (const Match& match : matches) {
            if (match.range.location >= selection.location + selection.length)
                return &match;
        }
    }
    if (matches.empty() || !command.boolean(QStringLiteral("wrapSearch")).value_or(false))
        return nullptr;
    return backwards ? &matches.back() : &matches.front();
}

}  // namespace

std::optional<EventDescriptor> ScriptableDocument::find(ScriptCommand& command)
{
    if (!document_)
        return EventDescriptor::boolean(false);
    QString failure;
    const std::optional<std::vector<Match>> matches = scriptMatches(*document_, command, failure);
    if (!matches) {
        command.setScriptError(ScriptErrors::failed, failure);
        return EventDescriptor::boolean(false);
    }
    DocumentEditor* view = editor();
    const Match* match = chooseMatch(*matches, view ? view->selectedRange() : TextRange{}, command);
    if (!match)
        return EventDescriptor::boolean(false);
    if (view) {
        view->select({match->range});
        view->scrollRangeToVisible(match->range);
    }
    return EventDescriptor::boolean(true);
}

qint64 ScriptableDocument::replace(ScriptCommand& command)
{
    if (!document_)
        return 0;
    if (!isEditable()) {
        command.setScriptError(ScriptErrors::notEditable, notEditableMessage);
        return 0;
    }
    QString failure;
    const std::optional<std::vector<Match>> matches = scriptMatches(*document_, command, failure);
    if (!matches) {
        command.setScriptError(ScriptErrors::failed, failure);
        return 0;
    }
    std::vector<Match> chosen;
    if (command.boolean(QStringLiteral("all")).value_or(false)) {
        chosen = *matches;
    } else {
        const DocumentEditor* view = editor();
        if (const Match* match = chooseMatch(*matches, view ? view->selectedRange() : TextRange{}, command))
            chosen.push_back(*match);
    }
    if (chosen.empty())
        return 0;
    // Each match is replaced where it stands, all in one step: a rebuilt copy of a large text
    // would be compared, stored for undo and laid out again whole for a few changes. A match
    // that stays as it is changes nothing.
    const QString current = document_->string();
    QVector<TextRange> ranges;
    QStringList strings;
    qsizetype length = current.size();
    for (const Match& match : chosen) {
        length += match.replacement.size() - match.range.length;
        if (QStringView(current).sliced(match.range.location, match.range.length) == match.replacement)
            continue;
        ranges.append(match.range);
        strings.append(match.replacement);
    }
    if (!ranges.isEmpty())
        commitScriptEdit(ranges, strings, length, replaceName);
    return qint64(chosen.size());
}

bool ScriptableDocument::convert(ScriptCommand& command)
{
    const std::optional<QString> name = command.text(QStringLiteral("newEncoding"));
    const std::optional<TextEncoding> encoding = name ? TextEncoding::named(*name) : std::nullopt;
    if (!document_ || !encoding)
        return false;
    TextFormat format = document_->format();
    format.encoding = *encoding;
    if (!encoding->supportsBOM())
        format.bom = false;
    else
        format.bom = command.boolean(QStringLiteral("BOM"))
                         .value_or(*encoding != TextEncoding::utf8);
    try {
        document_->changeFormat(format);
    } catch (const CodecError& error) {
        command.setScriptError(ScriptErrors::failed, KoriDocument::errorInfo(error).description);
        return false;
    }
    return true;
}

bool ScriptableDocument::reinterpret(ScriptCommand& command)
{
    const std::optional<QString> name = command.text(QStringLiteral("newEncoding"));
    const std::optional<TextEncoding> encoding = name ? TextEncoding::named(*name) : std::nullopt;
    if (!document_ || !encoding || document_->fileURL().isEmpty() || document_->isDocumentEdited())
        return false;
    document_->setForcedEncoding(*encoding);
    ErrorInfo error;
    const bool read = document_->readFromURL(document_->fileURL(), KoriDocument::plainTextType, &error);
    document_->setForcedEncoding(std::nullopt);
    if (!read) {
        command.setScriptError(ScriptErrors::failed, error.description);
        return false;
    }
    // The old steps point into the old text.
    if (UndoManager* undo = document_->undoManager())
        undo->removeAllActions();
    return true;
}

void ScriptableDocument::jump(ScriptCommand& command)
{
    if (!document_)
        return;
    const LineIndex& lines = *document_->lines();
    const qint64 count = std::max<qint64>(1, lines.lineCount());
    const qint64 line = command.integer(QStringLiteral("line")).value_or(1);
    const qint64 index = line < 0 ? std::max<qint64>(0, count + line) : std::min(std::max<qint64>(line - 1, 0), count - 1);
    qsizetype position = lines.start(qsizetype(index));
    if (const std::optional<qint64> column = command.integer(QStringLiteral("column"))) {
        const QString text = document_->string();
        const qsizetype end = index + 1 < count ? lines.start(qsizetype(index + 1)) : text.size();
        const QStringView lineText = QStringView(text).mid(position, end - position);
        const qint64 length = ScriptCharacters::count(lineText);
        qint64 n = 0;
        if (*column < 0)
            n = std::min(length, std::max<qint64>(0, *column + length));
        else if (*column > 0)
            n = std::min(*column - 1, length);
        position += ScriptCharacters::offset(lineText, qsizetype(n));
    }
    if (DocumentEditor* view = editor()) {
        view->select({TextRange{position, 0}});
        view->scrollRangeToVisible({position, 0});
    }
}

void ScriptableDocument::scroll()
{
    if (DocumentEditor* view = editor())
        view->scrollRangeToVisible(view->selectedRange());
}

QString ScriptableDocument::string(ScriptCommand& command) const
{
    const EventDescriptor* range = command.argument(QStringLiteral("range"));
    const std::optional<std::vector<qint64>> values = range ? ScriptCommand::integers(*range) : std::nullopt;
    if (!values || !document_)
        return contents();
    // Positions from the storage's counts: a large text is neither copied nor counted whole.
    const TextStorage& storage = document_->storage();
    const StorageCharacterCounts& counts = StorageCharacterCounts::of(document_->storage());
    const qint64 characters = counts.count();
    const qint64 start = values->empty() ? 0 : std::clamp<qint64>((*values)[0], 0, characters);
    const qint64 length = std::min(values->size() >= 2 ? std::max<qint64>(0, (*values)[1]) : 1, characters - start);
    const qsizetype from = counts.offset(qsizetype(start));
    const qsizetype to = counts.offset(qsizetype(start + length));
    return storage.substring(TextRange(from, to - from));
}

bool ScriptableDocument::save(ScriptCommand& command)
{
    if (!document_)
        return false;
    const std::optional<QString> given = command.text(QStringLiteral("file"));
    const QString path = given ? QDir::cleanPath(*given) : document_->fileURL();
    if (path.isEmpty()) {
        command.setScriptError(ScriptErrors::failed, QStringLiteral("この書類にはまだファイルがありません。保存先のパスを指定してください。"));
        return false;
    }
    if (QFileInfo(path).isRelative()) {
        command.setScriptError(ScriptErrors::failed, QStringLiteral("保存先は絶対パスで指定してください。"));
        return false;
    }
    const QString type = document_->fileType().isEmpty() ? KoriDocument::plainTextType : document_->fileType();
    const auto operation = path == document_->fileURL() ? Document::SaveOperation::save : Document::SaveOperation::saveAs;
    ErrorInfo error;
    if (!document_->saveToURL(path, type, operation, &error)) {
        command.setScriptError(ScriptErrors::failed, error.description.isEmpty() ? QStringLiteral("保存できませんでした。") : error.description);
        return false;
    }
    return true;
}

void ScriptableDocument::close(ScriptCommand& command)
{
    if (!document_)
        return;
    // Events are served inside a dialog's own loop, whose opener may hold this document's window.
    if (WindowSheet::isAnyOpen()) {
        command.setScriptError(ScriptErrors::dialogOpen, dialogOpenCloseMessage);
        return;
    }
    const QString saving = command.text(QStringLiteral("saveOptions")).value_or(QStringLiteral("ask"));
    if (document_->isDocumentEdited() && saving == QLatin1String("yes") && !save(command))
        return;
    if (!document_)
        return;
    if (document_->isDocumentEdited() && saving == QLatin1String("ask")) {
        // The question waits for the user: asked once the reply has gone, never inside the event
        // nor inside another dialog.
        WindowSheet::afterAllClosed([document = document_] {
            // The question's own loop may see the document closed another way.
            if (document && document->canClose() && document)
                document->close();
        });
        return;
    }
    document_->close();
}

}  // namespace korimado
