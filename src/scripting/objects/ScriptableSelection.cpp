#include "scripting/objects/ScriptableSelection.h"

#include "commands/EditingTransforms.h"
#include "commands/TextCommandRunner.h"
#include "commands/TextConversions.h"
#include "document/KoriDocument.h"
#include "editor/DocumentEditor.h"
#include "platform/text/StorageCharacterCounts.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"
#include "scripting/text/ScriptCharacters.h"
#include "scripting/text/ScriptNormalization.h"
#include "scripting/text/ScriptTypography.h"
#include "syntax/SyntaxModel.h"

#include <algorithm>
#include <limits>

namespace korimado {

namespace {

const std::map<QString, QString>& textCommandActions()
{
    static const std::map<QString, QString> actions{
        {QStringLiteral("shift left"), QStringLiteral("shiftLeft:")},
        {QStringLiteral("shift right"), QStringLiteral("shiftRight:")},
        {QStringLiteral("move line up"), QStringLiteral("moveLineUp:")},
        {QStringLiteral("move line down"), QStringLiteral("moveLineDown:")},
        {QStringLiteral("sort lines"), QStringLiteral("sortLinesAscending:")},
        {QStringLiteral("reverse lines"), QStringLiteral("reverseLines:")},
        {QStringLiteral("delete duplicate line"), QStringLiteral("deleteDuplicateLines:")},
        {QStringLiteral("comment out"), QStringLiteral("toggleComment:")},
        {QStringLiteral("uncomment"), QStringLiteral("uncomment:")},
    };
    return actions;
}

EventDescriptor integerList(const std::vector<qint64>& values)
{
    std::vector<EventDescriptor> items;
    for (const qint64 value : values)
        items.push_back(EventDescriptor::integer(value));
    return EventDescriptor::list(std::move(items));
}

}  // namespace

std::optional<EventDescriptor> ScriptableSelection::value(const QString& key) const
{
    if (key == QLatin1String("contents"))
        return EventDescriptor::text(contents());
    if (key == QLatin1String("range"))
        return integerList(range());
    if (key == QLatin1String("lineRange"))
        return integerList(lineRange());
    return std::nullopt;
}

bool ScriptableSelection::setValue(const QString& key, const EventDescriptor& value)
{
    if (key == QLatin1String("contents")) {
        if (const std::optional<QString> text = value.toText())
            setContents(*text);
        return true;
    }
    if (key == QLatin1String("range") || key == QLatin1String("lineRange")) {
        if (const std::optional<std::vector<qint64>> values = ScriptCommand::integers(value))
            key == QLatin1String("range") ? setRange(*values) : setLineRange(*values);
        return true;
    }
    return false;
}

QString ScriptableSelection::contents() const
{
    const DocumentEditor* view = document_.editor();
    if (!view)
        return QString();
    return document_.document()->storage().substring(view->selectedRange());
}

void ScriptableSelection::setContents(const QString& text)
{
    DocumentEditor* view = document_.editor();
    if (!view || !view->isEditable())
        return;
    const TextRange selected = view->selectedRange();
    // The same text again is no edit: no undo step, and a clean document stays clean.
    if (document_.document()->storage().substring(selected) == text)
        return;
    const QVector<TextRange> after{TextRange{selected.location, text.size()}};
    TextEditing::replace(document_.document()->storage(), {selected}, {text}, QStringLiteral("スクリプト"), after,
                         view->editInitiator());
}

std::vector<qint64> ScriptableSelection::range() const
{
    const DocumentEditor* view = document_.editor();
    if (!view)
        return {0, 0};
    const StorageCharacterCounts& counts = StorageCharacterCounts::of(document_.document()->storage());
    const TextRange selected = view->selectedRange();
    const qsizetype start = counts.charactersBefore(selected.location);
    return {start, counts.charactersBefore(selected.end()) - start};
}

void ScriptableSelection::setRange(const std::vector<qint64>& values)
{
    DocumentEditor* view = document_.editor();
    if (!view || values.empty())
        return;
    const StorageCharacterCounts& counts = StorageCharacterCounts::of(document_.document()->storage());
    const qint64 characters = counts.count();
    const qint64 start = std::clamp<qint64>(values[0], 0, characters);
    const qint64 length = std::min(values.size() >= 2 ? std::max<qint64>(values[1], 0) : 0, characters - start);
    const qsizetype from = counts.offset(qsizetype(start));
    view->select({TextRange{from, counts.offset(qsizetype(start + length)) - from}});
}

std::vector<qint64> ScriptableSelection::lineRange() const
{
    const DocumentEditor* view = document_.editor();
    if (!view)
        return {1, 0};
    const LineIndex& lines = *document_.document()->lines();
    const TextRange selected = view->selectedRange();
    const qint64 first = lines.line(selected.location);
    if (selected.length == 0)
        return {first + 1, 1};
    const qsizetype end = selected.location + selected.length;
    const qint64 last = lines.line(end);
    qint64 count = last - first + (lines.start(qsizetype(last)) == end ? 0 : 1);
    return {first + 1, std::max<qint64>(count, 1)};
}

void ScriptableSelection::setLineRange(const std::vector<qint64>& values)
{
    DocumentEditor* view = document_.editor();
    if (!view || values.empty() || values[0] == std::numeric_limits<qint64>::min())
        return;
    const LineIndex& lines = *document_.document()->lines();
    const qint64 lineCount = std::max<qint64>(1, lines.lineCount());
    const qint64 count = values.size() >= 2 ? std::max<qint64>(values[1], 1) : 1;
    const qint64 first = std::clamp<qint64>(values[0] - 1, 0, lineCount - 1);
    const qint64 n = std::min(count, lineCount - first);
    const qsizetype from = lines.start(qsizetype(first));
    const qsizetype to = first + n >= lineCount ? document_.document()->storage().length() : lines.start(qsizetype(first + n));
    view->select({TextRange{from, to - from}});
}

void ScriptableSelection::perform(const QString& method, ScriptCommand& command)
{
    if (method == QLatin1String("handleTextCommand:"))
        textCommand(command);
    else if (method == QLatin1String("handleSelectionTransform:"))
        transform(command);
    else
        command.setScriptError(ScriptErrors::notSupported, ScriptErrors::notSupportedMessage);
}

void ScriptableSelection::textCommand(ScriptCommand& command)
{
    DocumentEditor* view = document_.editor();
    if (!view)
        return;
    const auto found = textCommandActions().find(command.name());
    if (found == textCommandActions().end() || !TextCommandRunner::handles(found->second)) {
        command.setScriptError(ScriptErrors::notSupported, ScriptErrors::notSupportedMessage);
        return;
    }
    TextCommandRunner runner(*document_.document(), {view->selectedRange()}, view->editInitiator());
    runner.setIndentation({view->options().tabWidth, view->options().usesSpacesForIndentation});
    runner.setLanguage(SyntaxModel::of(*document_.document()).language());
    if (runner.run(found->second) == TextCommandRunner::Outcome::unavailable)
        command.setScriptError(ScriptErrors::notSupported, ScriptErrors::notSupportedMessage);
}

void ScriptableSelection::transform(ScriptCommand& command)
{
    DocumentEditor* view = document_.editor();
    if (!view || !view->isEditable())
        return;
    const QString text = contents();
    const QString& name = command.name();
    QString result;
    if (name == QLatin1String("change case")) {
        const QString kind = command.text(QStringLiteral("caseType")).value_or(QString());
        result = kind == QLatin1String("upper")         ? TextConversions::uppercase(text)
                 : kind == QLatin1String("capitalized") ? TextConversions::capitalize(text)
                                                        : TextConversions::lowercase(text);
    } else if (name == QLatin1String("change roman width")) {
        result = EditingTransforms::convertWidth(text, command.text(QStringLiteral("widthType")) == QStringLiteral("full"));
    } else if (name == QLatin1String("normalize unicode")) {
        const std::optional<QString> normalized =
            ScriptNormalization::apply(text, command.text(QStringLiteral("unfType")).value_or(QStringLiteral("NFC")));
        if (!normalized) {
            command.setScriptError(ScriptErrors::unknownNormalizationForm, QStringLiteral("正規化形式が不明です。"));
            return;
        }
        result = *normalized;
    } else if (name == QLatin1String("smarten quotes") || name == QLatin1String("straighten quotes")
               || name == QLatin1String("smarten dashes")) {
        result = ScriptTypography::apply(text, name);
    } else {
        return;
    }
    setContents(result);
}

}  // namespace korimado
