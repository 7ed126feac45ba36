// Reading one ".cotsyntax" package: its JSON files and the language made from them.
#include "syntax/CotSyntaxCatalog.h"

#include "syntax/SyntaxRegex.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace korimado {

namespace {

std::optional<QJsonValue> readJson(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > CotSyntaxCatalog::maximumFileSize) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) return std::nullopt;
    if (document.isObject()) return QJsonValue(document.object());
    if (document.isArray()) return QJsonValue(document.array());
    return std::nullopt;
}

// Readers in the manner of a strict JSON decoder: a missing or null optional key is absent, a
// key of the wrong type fails the whole file.
class Reader {
public:
    bool ok = true;

    QString requiredString(const QJsonObject& object, const char* key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString()) ok = false;
        return value.toString();
    }
    std::optional<QString> optionalString(const QJsonObject& object, const char* key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull()) return std::nullopt;
        if (!value.isString()) ok = false;
        return value.toString();
    }
    bool optionalBool(const QJsonObject& object, const char* key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull()) return false;
        if (!value.isBool()) ok = false;
        return value.toBool();
    }
    QStringList optionalStrings(const QJsonObject& object, const char* key)
    {
        QStringList list;
        for (const QJsonValue& element : optionalArray(object, key)) {
            if (!element.isString()) ok = false;
            list.append(element.toString());
        }
        return list;
    }
    QJsonArray optionalArray(const QJsonObject& object, const char* key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull()) return {};
        if (!value.isArray()) ok = false;
        return value.toArray();
    }
    // Absent (empty object) when missing or null; fails on another type.
    std::optional<QJsonObject> optionalObject(const QJsonObject& object, const char* key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull()) return std::nullopt;
        if (!value.isObject()) ok = false;
        return value.toObject();
    }
    QJsonObject objectElement(const QJsonValue& value)
    {
        if (!value.isObject()) ok = false;
        return value.toObject();
    }
    std::vector<CotSyntaxCatalog::Delimiter> delimiters(const QJsonArray& array)
    {
        std::vector<CotSyntaxCatalog::Delimiter> list;
        for (const QJsonValue& element : array) {
            const QJsonObject object = objectElement(element);
            CotSyntaxCatalog::Delimiter d;
            d.begin = requiredString(object, "begin");
            d.end = optionalString(object, "end");
            d.isMultiline = optionalBool(object, "isMultiline");
            d.ignoreCase = optionalBool(object, "ignoreCase");
            list.push_back(std::move(d));
        }
        return list;
    }
};

QString wrapped(const QString& begin, const QString& end, bool multiline)
{
    return QStringLiteral("(?:") + begin + QLatin1Char(')') + (multiline ? QStringLiteral("(?s:.*?)") : QStringLiteral("[^\\r\\n]*?"))
           + QStringLiteral("(?:") + end + QLatin1Char(')');
}

std::optional<SyntaxTokenKind> groupKind(const QString& group)
{
    static const std::pair<const char*, SyntaxTokenKind> table[] = {
        {"comments", SyntaxTokenKind::comment}, {"strings", SyntaxTokenKind::string},   {"numbers", SyntaxTokenKind::number},
        {"characters", SyntaxTokenKind::number}, {"keywords", SyntaxTokenKind::keyword}, {"commands", SyntaxTokenKind::keyword},
        {"values", SyntaxTokenKind::keyword},    {"types", SyntaxTokenKind::type},       {"attributes", SyntaxTokenKind::attribute},
        {"variables", SyntaxTokenKind::variable},
    };
    for (const auto& [name, kind] : table) {
        if (group == QLatin1String(name)) return kind;
    }
    return std::nullopt;
}

QString fixedIdentifier(const QString& lowered)
{
    static const std::pair<const char*, const char*> table[] = {
        {"plain text", "plain"}, {"swift", "swift"}, {"javascript", "javascript"}, {"typescript", "typescript"},
        {"python", "python"},    {"json", "json"},   {"markdown", "markdown"},     {"html", "html"},
        {"css", "css"},          {"shell script", "shell"}, {"c", "c"},            {"c++", "c-plus-plus"},
        {"c#", "c-sharp"},       {"sql", "sql"},
    };
    for (const auto& [name, id] : table) {
        if (lowered == QLatin1String(name)) return QString::fromLatin1(id);
    }
    return {};
}

}  // namespace

std::optional<CotSyntaxCatalog::Info> CotSyntaxCatalog::decodeInfo(const QString& path)
{
    const std::optional<QJsonValue> json = readJson(path);
    if (!json || !json->isObject()) return std::nullopt;
    Reader r;
    Info info;
    if (const std::optional<QJsonObject> map = r.optionalObject(json->toObject(), "fileMap")) {
        info.fileMap.extensions = r.optionalStrings(*map, "extensions");
        info.fileMap.filenames = r.optionalStrings(*map, "filenames");
        info.fileMap.interpreters = r.optionalStrings(*map, "interpreters");
    }
    return r.ok ? std::optional(info) : std::nullopt;
}

std::optional<CotSyntaxCatalog::Edit> CotSyntaxCatalog::decodeEdit(const QString& path)
{
    const std::optional<QJsonValue> json = readJson(path);
    if (!json || !json->isObject()) return std::nullopt;
    Reader r;
    Edit edit;
    const QJsonObject object = json->toObject();
    if (const std::optional<QJsonObject> comment = r.optionalObject(object, "comment")) {
        edit.comment.blocks = r.delimiters(r.optionalArray(*comment, "blocks"));
        edit.comment.inlines = r.delimiters(r.optionalArray(*comment, "inlines"));
    }
    edit.stringDelimiters = r.delimiters(r.optionalArray(object, "stringDelimiters"));
    return r.ok ? std::optional(edit) : std::nullopt;
}

std::optional<std::vector<CotSyntaxCatalog::Completion>> CotSyntaxCatalog::decodeCompletions(const QString& path)
{
    const std::optional<QJsonValue> json = readJson(path);
    if (!json || !json->isArray()) return std::nullopt;
    Reader r;
    std::vector<Completion> list;
    for (const QJsonValue& element : json->toArray()) {
        const QJsonObject object = r.objectElement(element);
        list.push_back({r.requiredString(object, "text"), r.optionalString(object, "type")});
    }
    return r.ok ? std::optional(list) : std::nullopt;
}

std::optional<CotSyntaxCatalog::Highlights> CotSyntaxCatalog::decodeHighlights(const QString& path)
{
    const std::optional<QJsonValue> json = readJson(path);
    if (!json || !json->isObject()) return std::nullopt;
    Reader r;
    Highlights groups;
    const QJsonObject object = json->toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isArray()) return std::nullopt;
        std::vector<Highlight> entries;
        for (const QJsonValue& element : it.value().toArray()) {
            const QJsonObject entry = r.objectElement(element);
            Highlight h;
            h.begin = r.requiredString(entry, "begin");
            h.end = r.optionalString(entry, "end");
            h.ignoreCase = r.optionalBool(entry, "ignoreCase");
            h.isMultiline = r.optionalBool(entry, "isMultiline");
            h.regularExpression = r.optionalBool(entry, "regularExpression");
            entries.push_back(std::move(h));
        }
        groups.emplace_back(it.key(), std::move(entries));
    }
    return r.ok ? std::optional(groups) : std::nullopt;
}

std::optional<std::vector<CotSyntaxCatalog::Outline>> CotSyntaxCatalog::decodeOutlines(const QString& path)
{
    const std::optional<QJsonValue> json = readJson(path);
    if (!json || !json->isArray()) return std::nullopt;
    Reader r;
    std::vector<Outline> list;
    for (const QJsonValue& element : json->toArray()) {
        const QJsonObject object = r.objectElement(element);
        Outline o;
        o.pattern = r.requiredString(object, "pattern");
        o.templateText = r.requiredString(object, "template");
        o.ignoreCase = r.optionalBool(object, "ignoreCase");
        o.kind = r.optionalString(object, "kind");
        list.push_back(std::move(o));
    }
    return r.ok ? std::optional(list) : std::nullopt;
}

QString CotSyntaxCatalog::identifier(const QString& packageName)
{
    const QString lowered = packageName.toLower();
    QStringList pieces;
    QString piece;
    for (const char32_t scalar : lowered.toUcs4()) {
        const QChar::Category category = QChar::category(scalar);
        const bool alphanumeric = QChar::isLetterOrNumber(scalar) || category == QChar::Mark_NonSpacing
                                  || category == QChar::Mark_SpacingCombining || category == QChar::Mark_Enclosing;
        if (alphanumeric) {
            piece += QString::fromUcs4(&scalar, 1);
        } else if (!piece.isEmpty()) {
            pieces.append(piece);
            piece.clear();
        }
    }
    if (!piece.isEmpty()) pieces.append(piece);
    return pieces.join(QLatin1Char('-'));
}

std::optional<SyntaxLanguage> CotSyntaxCatalog::loadPackage(const QString& packagePath, int priority)
{
    const QString packageName = QFileInfo(packagePath).completeBaseName();
    const std::optional<Info> info = decodeInfo(packagePath + QStringLiteral("/Info.json"));
    if (!info) return std::nullopt;
    const Edit edit = decodeEdit(packagePath + QStringLiteral("/Edit.json")).value_or(Edit{});
    const std::vector<Completion> completions = decodeCompletions(packagePath + QStringLiteral("/Completion.json")).value_or(std::vector<Completion>{});
    const Highlights highlights = decodeHighlights(packagePath + QStringLiteral("/Regex/Highlights.json")).value_or(Highlights{});
    const std::vector<Outline> outlines = decodeOutlines(packagePath + QStringLiteral("/Regex/Outlines.json")).value_or(std::vector<Outline>{});

    SyntaxLanguage language;
    const QString fixed = fixedIdentifier(packageName.toLower());
    language.id = fixed.isEmpty() ? identifier(packageName) : fixed;
    language.displayName = packageName;
    for (const QString& extension : info->fileMap.extensions) language.fileExtensions.append(extension.toLower());
    language.filenames = info->fileMap.filenames;
    if (!edit.comment.inlines.empty()) language.lineComment = edit.comment.inlines.front().begin;
    if (!edit.comment.blocks.empty() && edit.comment.blocks.front().end) {
        language.blockComment = std::make_pair(edit.comment.blocks.front().begin, *edit.comment.blocks.front().end);
    }
    for (const Completion& completion : completions) {
        if (completion.type == QLatin1String("keywords")) language.keywords.append(completion.text);
        language.completionWords.append(completion.text);
    }

    std::vector<SyntaxRegexRule>& rules = language.importedHighlightRules;
    for (const Delimiter& d : edit.comment.inlines) {
        rules.push_back({SyntaxRegex::escapedPattern(d.begin) + QStringLiteral(".*$"), SyntaxTokenKind::comment, d.ignoreCase, false});
    }
    for (const Delimiter& d : edit.comment.blocks) {
        if (!d.end) continue;
        rules.push_back({wrapped(SyntaxRegex::escapedPattern(d.begin), SyntaxRegex::escapedPattern(*d.end), true),
                         SyntaxTokenKind::comment, d.ignoreCase, true});
    }
    for (const Delimiter& d : edit.stringDelimiters) {
        if (!d.end) continue;
        rules.push_back({wrapped(SyntaxRegex::escapedPattern(d.begin), SyntaxRegex::escapedPattern(*d.end), d.isMultiline),
                         SyntaxTokenKind::string, d.ignoreCase, d.isMultiline});
    }
    for (const auto& [group, entries] : highlights) {
        const std::optional<SyntaxTokenKind> kind = groupKind(group);
        if (!kind) continue;
        for (const Highlight& h : entries) {
            const QString begin = h.regularExpression ? h.begin : SyntaxRegex::escapedPattern(h.begin);
            QString pattern = begin;
            if (h.end) {
                const QString end = h.regularExpression ? *h.end : SyntaxRegex::escapedPattern(*h.end);
                pattern = wrapped(begin, end, h.isMultiline);
            }
            rules.push_back({pattern, *kind, h.ignoreCase, h.isMultiline});
        }
    }
    for (const Outline& o : outlines) {
        language.importedOutlineRules.push_back({o.pattern, o.templateText, o.ignoreCase, o.kind.value_or(QStringLiteral("value"))});
    }
    language.definitionSource = packagePath;
    language.definitionPriority = priority;
    return language;
}

}  // namespace korimado
