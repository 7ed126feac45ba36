#include "search/batch/BatchReplaceRule.h"

#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonKeyedContainer.h"

namespace korimado {

namespace {

// The 36-character form only: 8-4-4-4-12 hexadecimal digits, either case.
std::optional<QUuid> uuidFromString(const QString& text)
{
    if (text.size() != 36) return std::nullopt;
    for (qsizetype i = 0; i < 36; ++i) {
        const QChar c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-') return std::nullopt;
        } else if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return std::nullopt;
        }
    }
    return QUuid::fromString(text);
}

}  // namespace

SearchOptions BatchReplaceRule::standardRuleOptions()
{
    SearchOptions o;
    o.mode = SearchMode::text;
    o.caseSensitive = true;
    o.wholeWord = false;
    o.wraps = true;
    o.dotMatchesNewline = false;
    o.ignoresDiacriticMarks = false;
    o.ignoresWidth = false;
    o.isLiteralSearch = false;
    o.isMultiline = true;
    o.unescapesReplacementString = true;
    o.usesUnicodeBoundaries = false;
    o.preservedTextualOptionsRawValue = std::nullopt;
    o.preservedRegexOptionsRawValue = std::nullopt;
    return o;
}

JsonValue BatchReplaceRule::encode() const
{
    JsonValue o(JsonValue::Object{});
    o.insert(QStringLiteral("id"), JsonValue(id.toString(QUuid::WithoutBraces).toUpper()));
    o.insert(QStringLiteral("enabled"), JsonValue(enabled));
    o.insert(QStringLiteral("find"), JsonValue(find));
    o.insert(QStringLiteral("replacement"), JsonValue(replacement));
    if (description) o.insert(QStringLiteral("description"), JsonValue(*description));
    o.insert(QStringLiteral("options"), options.encode());
    return o;
}

BatchReplaceRule BatchReplaceRule::decode(const JsonValue& value, const QString& codingPath)
{
    const JsonKeyedContainer c(value, codingPath);
    BatchReplaceRule rule;
    const QString id = c.decodeString(QStringLiteral("id"));
    const std::optional<QUuid> uuid = uuidFromString(id);
    if (!uuid) {
        throw JsonDecodingError::dataCorrupted(c.pathFor(QStringLiteral("id")),
                                               QStringLiteral("「") + id + QStringLiteral("」はUUIDではありません。"));
    }
    rule.id = *uuid;
    rule.enabled = c.decodeBool(QStringLiteral("enabled"));
    rule.find = c.decodeString(QStringLiteral("find"));
    rule.replacement = c.decodeString(QStringLiteral("replacement"));
    rule.description = c.decodeStringIfPresent(QStringLiteral("description"));
    const QString optionsKey = QStringLiteral("options");
    rule.options = SearchOptions::decode(c.decodeValue(optionsKey), c.pathFor(optionsKey));
    return rule;
}

}  // namespace korimado
