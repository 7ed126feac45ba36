// The checks a syntax package passes before it is installed: the files the syntax catalog reads
// must decode, and every expression they hold must compile under the syntax engine's guards.
#include "preferences/archive/SettingsResourceStore.h"

#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonReader.h"
#include "preferences/archive/SettingsArchiveError.h"
#include "syntax/SyntaxRegex.h"

#include <algorithm>

namespace korimado {

namespace {

[[noreturn]] void refuse(const QString& path)
{
    throw SettingsArchiveError::invalidPropertyList(path);
}

JsonValue parsed(const QByteArray& data, const QString& path)
{
    try {
        return JsonReader::parse(data);
    } catch (const JsonDecodingError&) {
        refuse(path);
    }
}

const QByteArray* fileIn(const SettingsArchiveEntry& folder, const char* name)
{
    const SettingsArchiveEntry* child = folder.child(QString::fromLatin1(name));
    return child && child->isRegularFile() ? &child->regularFileContents() : nullptr;
}

bool compiles(const QString& pattern)
{
    return SyntaxRegex::cached(pattern, 0, true).isValid();
}

const JsonValue* stringMember(const JsonValue& object, const char* key)
{
    const JsonValue* value = object.member(QString::fromLatin1(key));
    return value && value->type() == JsonValue::Type::string ? value : nullptr;
}

}  // namespace

void SettingsResourceStore::validateSyntax(const SettingsArchiveEntry& package, const QString& name)
{
    const QString infoPath = name + QStringLiteral("/Info.json");
    if (!package.isDirectory() || package.fileWrappers().isEmpty()) refuse(infoPath);
    const QByteArray* infoData = fileIn(package, "Info.json");
    if (!infoData) refuse(infoPath);
    const JsonValue info = parsed(*infoData, infoPath);
    if (info.type() != JsonValue::Type::object) refuse(infoPath);

    if (const JsonValue* fileMap = info.member(u"fileMap")) {
        if (fileMap->type() != JsonValue::Type::object) refuse(infoPath + QStringLiteral(" fileMap"));
        for (const char* key : {"extensions", "filenames", "interpreters"}) {
            const JsonValue* list = fileMap->member(QString::fromLatin1(key));
            if (!list) continue;
            const bool valid = list->type() == JsonValue::Type::array
                && std::ranges::all_of(list->toArray(),
                                       [](const JsonValue& item) { return item.type() == JsonValue::Type::string; });
            if (!valid) refuse(infoPath + QStringLiteral(" fileMap.") + QString::fromLatin1(key));
        }
    }

    validateJSONFiles(package, name);

    if (const SettingsArchiveEntry* regex = package.child(QStringLiteral("Regex")); regex && regex->isDirectory()) {
        if (const QByteArray* highlights = fileIn(*regex, "Highlights.json")) {
            validateHighlights(*highlights, name + QStringLiteral("/Regex/Highlights.json"));
        }
        if (const QByteArray* outlines = fileIn(*regex, "Outlines.json")) {
            validateOutlines(*outlines, name + QStringLiteral("/Regex/Outlines.json"));
        }
    }

    if (const QByteArray* completion = fileIn(package, "Completion.json")) {
        const QString path = name + QStringLiteral("/Completion.json");
        const JsonValue list = parsed(*completion, path);
        if (list.type() != JsonValue::Type::array) refuse(path);
        for (const JsonValue& item : list.toArray()) {
            if (item.type() != JsonValue::Type::object || !stringMember(item, "text")) refuse(path);
        }
    }
}

void SettingsResourceStore::validateJSONFiles(const SettingsArchiveEntry& entry, const QString& path)
{
    if (entry.isRegularFile()) {
        if (!path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) return;
        // Like the platform's reader without fragments: the top level is an object or an array.
        const JsonValue value = parsed(entry.regularFileContents(), path);
        if (value.type() != JsonValue::Type::object && value.type() != JsonValue::Type::array) refuse(path);
        return;
    }
    for (auto it = entry.fileWrappers().cbegin(); it != entry.fileWrappers().cend(); ++it) {
        validateJSONFiles(it.value(), path + QLatin1Char('/') + it.key());
    }
}

void SettingsResourceStore::validateHighlights(const QByteArray& data, const QString& path)
{
    const JsonValue top = parsed(data, path);
    if (top.type() != JsonValue::Type::object) refuse(path);
    for (const JsonMember& member : top.toObject()) {
        if (member.value.type() != JsonValue::Type::array) refuse(path);
        for (const JsonValue& rule : member.value.toArray()) {
            if (rule.type() != JsonValue::Type::object || rule.toObject().empty()) refuse(path);
            const JsonValue* begin = stringMember(rule, "begin");
            if (!begin) refuse(path);
            const JsonValue* isExpression = rule.member(u"regularExpression");
            if (!isExpression || isExpression->type() != JsonValue::Type::boolean || !isExpression->toBool()) continue;
            if (!compiles(begin->toString())) refuse(path);
            if (const JsonValue* end = stringMember(rule, "end"); end && !compiles(end->toString())) refuse(path);
        }
    }
}

void SettingsResourceStore::validateOutlines(const QByteArray& data, const QString& path)
{
    const JsonValue top = parsed(data, path);
    if (top.type() != JsonValue::Type::array) refuse(path);
    for (const JsonValue& rule : top.toArray()) {
        if (rule.type() != JsonValue::Type::object || rule.toObject().empty()) refuse(path);
        const JsonValue* pattern = stringMember(rule, "pattern");
        if (!pattern || !stringMember(rule, "template") || !compiles(pattern->toString())) refuse(path);
    }
}

}  // namespace korimado
