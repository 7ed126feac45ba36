#include "theme/EditorTheme.h"

#include "platform/foundation/JsonText.h"
#include "platform/text/StringChecks.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsKeys.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cstdio>
#include <cstdlib>

namespace korimado {

namespace {

constexpr qsizetype kMaxNameLength = 200;

QString missingMessage(const QString& key)
{
    return QStringLiteral("「") + key + QStringLiteral("」がありません。");
}

// The name becomes a file name on installation: nothing that could leave the folder or hide
// behind control characters.
bool isUsableName(const QString& name)
{
    // A leading "." would install as a hidden file, which no listing shows.
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char(':'))) return false;
    if (containsControlCharacter(name)) return false;
    return !exceedsCharacterCount(name, kMaxNameLength);
}

QJsonObject parseTopLevel(const QByteArray& data)
{
    QByteArray bytes = data;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QJsonParseError error{};
    const QJsonDocument document = jsonDocument(bytes, &error);
    if (error.error != QJsonParseError::NoError || document.isNull()) throw EditorThemeError::invalidJSON();
    if (!document.isObject()) throw EditorThemeError::invalidSchema(QStringLiteral("nameがありません。"));
    return document.object();
}

}  // namespace

EditorTheme::EditorTheme(const QByteArray& data, const std::optional<QString>& nameFallback)
{
    const QJsonObject top = parseTopLevel(data);

    const QJsonValue nameValue = top.value(QLatin1String("name"));
    std::optional<QString> rawName;
    if (nameValue.isString()) {
        rawName = nameValue.toString();
    } else if (nameFallback) {
        rawName = *nameFallback;
    }
    if (!rawName) throw EditorThemeError::invalidSchema(QStringLiteral("nameがありません。"));
    name = trimmedOfWhiteSpaceAndNewlines(*rawName);
    if (!isUsableName(name)) throw EditorThemeError::invalidSchema(QStringLiteral("nameに使用できない文字があります。"));

    const auto metadataMember = top.constFind(QLatin1String("metadata"));
    if (metadataMember != top.constEnd()) {
        if (!metadataMember->isObject()) {
            throw EditorThemeError::invalidSchema(QStringLiteral("metadataはオブジェクトで指定してください。"));
        }
        const QJsonObject members = metadataMember->toObject();
        for (auto it = members.begin(); it != members.end(); ++it) metadata.insert(it.key(), ThemeJSONValue(it.value()));
    }

    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.key() == QLatin1String("name") || it.key() == QLatin1String("metadata")) continue;
        const QJsonValue value = it.value();
        if (value.isObject() && value.toObject().contains(QLatin1String("color"))) {
            colorValues.insert(it.key(), EditorThemeColor(it.key(), value.toObject()));
        } else {
            additionalValues.insert(it.key(), ThemeJSONValue(value));
        }
    }

    for (const QString& key : requiredColorKeys()) {
        if (!colorValues.contains(key)) throw EditorThemeError::invalidSchema(missingMessage(key));
    }
}

QByteArray EditorTheme::encodedData() const
{
    // Later members replace earlier ones of the same key: a colour entry wins over an extra value.
    QJsonObject top;
    for (auto it = additionalValues.begin(); it != additionalValues.end(); ++it) {
        top.insert(it.key(), it.value().foundationValue());
    }
    top.insert(QLatin1String("name"), name);
    if (!metadata.isEmpty()) {
        QJsonObject members;
        for (auto it = metadata.begin(); it != metadata.end(); ++it) members.insert(it.key(), it.value().foundationValue());
        top.insert(QLatin1String("metadata"), members);
    }
    for (auto it = colorValues.begin(); it != colorValues.end(); ++it) top.insert(it.key(), it.value().foundationValue());
    // QJsonObject keeps its keys sorted and never escapes "/".
    return jsonBytes(QJsonDocument(top));
}

ThemeColorValue EditorTheme::resolvedColor(const QString& key) const
{
    const auto entry = colorValues.constFind(key);
    if (entry == colorValues.constEnd()) return ThemeColorValue::systemColor(SystemColor::text);
    if (entry->usesSystemSetting != true) return entry->color();
    if (key == QLatin1String("background")) return ThemeColorValue::systemColor(SystemColor::textBackground);
    if (key == QLatin1String("text") || key == QLatin1String("insertionPoint")) {
        return ThemeColorValue::systemColor(SystemColor::text);
    }
    if (key == QLatin1String("selection")) return ThemeColorValue::systemColor(SystemColor::selectedTextBackground);
    if (key == QLatin1String("invisibles")) return ThemeColorValue::systemColor(SystemColor::secondaryLabel);
    if (key == QLatin1String("highlight")) return ThemeColorValue::systemColor(SystemColor::findHighlight);
    return entry->color();
}

std::optional<ThemeColorValue> EditorTheme::syntaxColor(const QString& key) const
{
    if (!colorValues.contains(key)) return std::nullopt;
    return resolvedColor(key);
}

const QStringList& EditorTheme::interfaceKeys()
{
    static const QStringList keys = {
        QStringLiteral("background"), QStringLiteral("text"),          QStringLiteral("selection"),
        QStringLiteral("insertionPoint"), QStringLiteral("invisibles"), QStringLiteral("lineHighlight"),
        QStringLiteral("highlight"),
    };
    return keys;
}

const QStringList& EditorTheme::syntaxKeys()
{
    static const QStringList keys = {
        QStringLiteral("attributes"), QStringLiteral("characters"), QStringLiteral("commands"),
        QStringLiteral("comments"),   QStringLiteral("keywords"),   QStringLiteral("numbers"),
        QStringLiteral("strings"),    QStringLiteral("types"),      QStringLiteral("values"),
        QStringLiteral("variables"),
    };
    return keys;
}

const QStringList& EditorTheme::requiredColorKeys()
{
    static const QStringList keys = interfaceKeys() + syntaxKeys();
    return keys;
}

const EditorTheme& EditorTheme::fallback()
{
    static const EditorTheme theme = [] {
        const QMap<QString, QString> colors = {
            {QStringLiteral("background"), QStringLiteral("#ffffff")},
            {QStringLiteral("selection"), QStringLiteral("#a7caff")},
            {QStringLiteral("invisibles"), QStringLiteral("#808080")},
            {QStringLiteral("lineHighlight"), QStringLiteral("#d1f0afb3")},
            {QStringLiteral("highlight"), QStringLiteral("#5da810")},
        };
        QByteArray json = "{\"name\": \"Korimado Standard\"";
        for (const QString& key : requiredColorKeys()) {
            json += ", \"" + key.toUtf8() + "\": {\"color\": \""
                + colors.value(key, QStringLiteral("#000000")).toUtf8() + "\"}";
        }
        json += "}";
        try {
            return EditorTheme(json);
        } catch (const EditorThemeError& error) {
            std::fprintf(stderr, "built-in theme: %s\n", error.what());
            std::abort();
        }
    }();
    return theme;
}

EditorTheme EditorTheme::current()
{
    return current(UserDefaults::standard(), EditorThemeStore::shared());
}

EditorTheme EditorTheme::current(const UserDefaults& defaults, const EditorThemeStore& store)
{
    const QString classic = QStringLiteral("Classic");
    const QString chosen = defaults.string(EditorSettingsKey::themeName).value_or(classic);
    try {
        return store.theme(chosen);
    } catch (const EditorThemeError&) {
    }
    try {
        return store.theme(classic);
    } catch (const EditorThemeError&) {
    }
    return fallback();
}

}  // namespace korimado
