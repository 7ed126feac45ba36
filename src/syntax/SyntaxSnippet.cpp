#include "syntax/SyntaxSnippet.h"

#include "platform/foundation/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace korimado {

std::optional<std::vector<SyntaxSnippet>> SyntaxSnippet::decodeList(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = jsonDocument(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    std::vector<SyntaxSnippet> snippets;
    const QJsonArray array = document.array();
    snippets.reserve(static_cast<size_t>(array.size()));
    for (const QJsonValue& element : array) {
        if (!element.isObject()) {
            return std::nullopt;
        }
        const QJsonObject object = element.toObject();
        const QJsonValue name = object.value(QLatin1String("name"));
        const QJsonValue body = object.value(QLatin1String("body"));
        if (!name.isString() || !body.isString()) {
            return std::nullopt;
        }
        snippets.push_back({name.toString(), body.toString()});
    }
    return snippets;
}

QByteArray SyntaxSnippet::encodeList(const std::vector<SyntaxSnippet>& snippets)
{
    QJsonArray array;
    for (const SyntaxSnippet& snippet : snippets) {
        array.append(QJsonObject{{QLatin1String("name"), snippet.name}, {QLatin1String("body"), snippet.body}});
    }
    return jsonBytes(QJsonDocument(array), QJsonDocument::Compact);
}

}  // namespace korimado
