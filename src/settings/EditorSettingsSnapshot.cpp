#include "settings/EditorSettingsSnapshot.h"

#include "document/LineEnding.h"
#include "document/TextEncoding.h"
#include "platform/foundation/JsonText.h"
#include "platform/text/StringChecks.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsError.h"
#include "settings/EditorSettingsKeys.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace korimado {

namespace {

namespace Key = EditorSettingsKey;
namespace FileKey = EditorSettingsFileKey;

constexpr qsizetype kMaxNameLength = 200;

qint64 integerInRange(const UserDefaults& defaults, const QString& key, qint64 low, qint64 high, qint64 fallback)
{
    const std::optional<qint64> stored = defaults.exactInteger(key);
    return stored && *stored >= low && *stored <= high ? *stored : fallback;
}

bool booleanDefaultingToTrue(const UserDefaults& defaults, const QString& key)
{
    return defaults.object(key) ? defaults.boolean(key) : true;
}

bool inRange(qint64 value, qint64 low, qint64 high)
{
    return value >= low && value <= high;
}

bool isValidName(const QString& name)
{
    return !exceedsCharacterCount(name, kMaxNameLength) && !containsControlCharacter(name);
}

// Strict JSON field readers; each throws the invalid-file error naming the key.
class StrictObject {
public:
    explicit StrictObject(const QJsonObject& object) : object_(object) {}

    QJsonValue require(QLatin1String key) const
    {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined()) fail(key, "is missing");
        return value;
    }
    qint64 integer(QLatin1String key) const
    {
        const QJsonValue value = require(key);
        const double d = value.toDouble();
        // A number with a fraction, or beyond 64 bits, is not an integer.
        if (!value.isDouble() || std::trunc(d) != d || d < -9223372036854775808.0 || d >= 9223372036854775808.0) {
            fail(key, "is not an integer");
        }
        return value.toInteger(static_cast<qint64>(d));
    }
    double number(QLatin1String key) const
    {
        const QJsonValue value = require(key);
        if (!value.isDouble()) fail(key, "is not a number");
        return value.toDouble();
    }
    bool boolean(QLatin1String key) const
    {
        const QJsonValue value = require(key);
        if (!value.isBool()) fail(key, "is not a Boolean");
        return value.toBool();
    }
    QString string(QLatin1String key) const
    {
        const QJsonValue value = require(key);
        if (!value.isString()) fail(key, "is not a string");
        return value.toString();
    }
    std::optional<QString> optionalString(QLatin1String key) const
    {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined() || value.isNull()) return std::nullopt;
        if (!value.isString()) fail(key, "is not a string");
        return value.toString();
    }

private:
    [[noreturn]] static void fail(QLatin1String key, const char* problem)
    {
        throw EditorSettingsError::invalidFile(QStringLiteral("\"%1\" %2").arg(key, QLatin1String(problem)));
    }

    QJsonObject object_;
};

}  // namespace

EditorSettingsSnapshot::EditorSettingsSnapshot(const UserDefaults& defaults)
{
    schemaVersion = 1;
    fontName = defaults.string(Key::fontName).value_or(QString());
    const double size = defaults.doubleValue(Key::fontSize);
    fontSize = size >= 10 && size <= 32 ? size : 14;
    wrap = booleanDefaultingToTrue(defaults, Key::wrap);
    autoplay = booleanDefaultingToTrue(defaults, Key::autoplay);
    hiddenFiles = defaults.boolean(Key::hiddenFiles);
    appearance = defaults.integer(Key::appearance);
    tokenIndex = integerInRange(defaults, Key::tokenIndex, 0, 2, 1);
    tabWidth = integerInRange(defaults, Key::tabWidth, 2, 12, 4);
    useSpaces = defaults.boolean(Key::useSpaces);
    lineNumbers = booleanDefaultingToTrue(defaults, Key::lineNumbers);
    statusBar = booleanDefaultingToTrue(defaults, Key::statusBar);
    invisibles = defaults.boolean(Key::invisibles);
    showPageGuide = defaults.boolean(Key::showPageGuide);
    pageGuideColumn = integerInRange(defaults, Key::pageGuideColumn, 20, 240, 80);
    spelling = defaults.boolean(Key::spelling);
    defaultEncoding = defaults.string(Key::defaultEncoding).value_or(QStringLiteral("UTF-8"));
    defaultLineEnding = defaults.string(Key::defaultLineEnding).value_or(QStringLiteral("LF"));
    treeSortOrder = integerInRange(defaults, Key::treeSortOrder, 0, 2, 0);
    themeName = defaults.string(Key::themeName).value_or(QStringLiteral("Classic"));
}

EditorSettingsSnapshot EditorSettingsSnapshot::validated() const
{
    if (schemaVersion != 1) throw EditorSettingsError::unsupportedVersion(schemaVersion);
    if (!isValidName(fontName)) throw EditorSettingsError::invalidValue(QStringLiteral("フォント"));
    if (!(fontSize >= 10 && fontSize <= 32)) throw EditorSettingsError::invalidValue(QStringLiteral("文字サイズ"));
    if (!inRange(appearance, 0, 2)) throw EditorSettingsError::invalidValue(QStringLiteral("外観"));
    if (!inRange(tokenIndex, 0, 2)) throw EditorSettingsError::invalidValue(QStringLiteral("トークン数"));
    if (!inRange(tabWidth, 2, 12)) throw EditorSettingsError::invalidValue(QStringLiteral("タブ幅"));
    if (!inRange(pageGuideColumn, 20, 240)) throw EditorSettingsError::invalidValue(QStringLiteral("ページガイド"));
    if (!TextEncoding::fromRawValue(defaultEncoding)) {
        throw EditorSettingsError::invalidValue(QStringLiteral("標準文字コード"));
    }
    if (!LineEnding::fromRawValue(defaultLineEnding)) {
        throw EditorSettingsError::invalidValue(QStringLiteral("標準改行コード"));
    }
    if (!inRange(treeSortOrder, 0, 2)) throw EditorSettingsError::invalidValue(QStringLiteral("並び順"));
    if (themeName) {
        const QString trimmed = trimmedOfWhiteSpaceAndNewlines(*themeName);
        if (trimmed.isEmpty() || !isValidName(trimmed)) throw EditorSettingsError::invalidValue(QStringLiteral("テーマ"));
    }
    return *this;
}

void EditorSettingsSnapshot::applying(UserDefaults& defaults) const
{
    validated();
    defaults.setString(Key::fontName, fontName);
    defaults.setDouble(Key::fontSize, fontSize);
    defaults.setBool(Key::wrap, wrap);
    defaults.setBool(Key::autoplay, autoplay);
    defaults.setBool(Key::hiddenFiles, hiddenFiles);
    defaults.setInteger(Key::appearance, appearance);
    defaults.setInteger(Key::tokenIndex, tokenIndex);
    defaults.setInteger(Key::tabWidth, tabWidth);
    defaults.setBool(Key::useSpaces, useSpaces);
    defaults.setBool(Key::lineNumbers, lineNumbers);
    defaults.setBool(Key::statusBar, statusBar);
    defaults.setBool(Key::invisibles, invisibles);
    defaults.setBool(Key::showPageGuide, showPageGuide);
    defaults.setInteger(Key::pageGuideColumn, pageGuideColumn);
    defaults.setBool(Key::spelling, spelling);
    defaults.setString(Key::defaultEncoding, defaultEncoding);
    defaults.setString(Key::defaultLineEnding, defaultLineEnding);
    defaults.setInteger(Key::treeSortOrder, treeSortOrder);
    if (themeName) defaults.setString(Key::themeName, *themeName);
}

QByteArray EditorSettingsSnapshot::encoded() const
{
    // QJsonObject keeps its keys sorted, and Qt's writer leaves "/" unescaped.
    QJsonObject object{
        {FileKey::schemaVersion, schemaVersion},
        {FileKey::fontName, fontName},
        {FileKey::fontSize, fontSize},
        {FileKey::wrap, wrap},
        {FileKey::autoplay, autoplay},
        {FileKey::hiddenFiles, hiddenFiles},
        {FileKey::appearance, appearance},
        {FileKey::tokenIndex, tokenIndex},
        {FileKey::tabWidth, tabWidth},
        {FileKey::useSpaces, useSpaces},
        {FileKey::lineNumbers, lineNumbers},
        {FileKey::statusBar, statusBar},
        {FileKey::invisibles, invisibles},
        {FileKey::showPageGuide, showPageGuide},
        {FileKey::pageGuideColumn, pageGuideColumn},
        {FileKey::spelling, spelling},
        {FileKey::defaultEncoding, defaultEncoding},
        {FileKey::defaultLineEnding, defaultLineEnding},
        {FileKey::treeSortOrder, treeSortOrder},
    };
    if (themeName) object.insert(FileKey::themeName, *themeName);
    return jsonBytes(QJsonDocument(object));
}

EditorSettingsSnapshot EditorSettingsSnapshot::decoded(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = jsonDocument(json, &error);
    if (error.error != QJsonParseError::NoError) throw EditorSettingsError::invalidFile(error.errorString());
    if (!document.isObject()) throw EditorSettingsError::invalidFile(QStringLiteral("the top level is not an object"));

    const StrictObject o(document.object());
    EditorSettingsSnapshot s;
    s.schemaVersion = o.integer(FileKey::schemaVersion);
    s.fontName = o.string(FileKey::fontName);
    s.fontSize = o.number(FileKey::fontSize);
    s.wrap = o.boolean(FileKey::wrap);
    s.autoplay = o.boolean(FileKey::autoplay);
    s.hiddenFiles = o.boolean(FileKey::hiddenFiles);
    s.appearance = o.integer(FileKey::appearance);
    s.tokenIndex = o.integer(FileKey::tokenIndex);
    s.tabWidth = o.integer(FileKey::tabWidth);
    s.useSpaces = o.boolean(FileKey::useSpaces);
    s.lineNumbers = o.boolean(FileKey::lineNumbers);
    s.statusBar = o.boolean(FileKey::statusBar);
    s.invisibles = o.boolean(FileKey::invisibles);
    s.showPageGuide = o.boolean(FileKey::showPageGuide);
    s.pageGuideColumn = o.integer(FileKey::pageGuideColumn);
    s.spelling = o.boolean(FileKey::spelling);
    s.defaultEncoding = o.string(FileKey::defaultEncoding);
    s.defaultLineEnding = o.string(FileKey::defaultLineEnding);
    s.treeSortOrder = o.integer(FileKey::treeSortOrder);
    s.themeName = o.optionalString(FileKey::themeName);
    return s;
}

}  // namespace korimado
