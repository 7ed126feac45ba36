#include "search/batch/BatchReplaceDocument.h"

#include "platform/foundation/JsonKeyedContainer.h"

namespace korimado {

JsonValue BatchReplaceDocument::encode() const
{
    JsonValue::Array items;
    items.reserve(size_t(rules.size()));
    for (const BatchReplaceRule& rule : rules) items.push_back(rule.encode());
    JsonValue o(JsonValue::Object{});
    o.insert(QStringLiteral("version"), JsonValue::integer(version));
    o.insert(QStringLiteral("name"), JsonValue(name));
    o.insert(QStringLiteral("rules"), JsonValue(std::move(items)));
    return o;
}

BatchReplaceDocument BatchReplaceDocument::decode(const JsonValue& value)
{
    const JsonKeyedContainer c(value, QString());
    BatchReplaceDocument document;
    document.version = c.decodeInteger(QStringLiteral("version"));
    document.name = c.decodeString(QStringLiteral("name"));
    const JsonValue::Array& items = c.decodeArray(QStringLiteral("rules"));
    document.rules.reserve(qsizetype(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        document.rules.push_back(
            BatchReplaceRule::decode(items[i], QStringLiteral("rules[%1]").arg(i)));
    }
    return document;
}

}  // namespace korimado
