#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsKeys.h"
#include "support/TestSupport.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"
#include "theme/EditorTheme.h"
#include "theme/ThemeTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace korimado {
namespace {

using test::themeBytes;
using test::themeObject;

// The description of the error that parsing throws, or "" when it parses.
QString parseFailure(const QByteArray& bytes, const std::optional<QString>& fallback = std::nullopt)
{
    try {
        EditorTheme theme(bytes, fallback);
        return {};
    } catch (const EditorThemeError& error) {
        return error.localizedDescription();
    }
}

QString schema(const QString& detail)
{
    return QStringLiteral("テーマの形式が正しくありません。") + detail;
}

QString badColor(const QString& key, const QString& text)
{
    return QStringLiteral("テーマの「") + key + QStringLiteral("」にある色「") + text
        + QStringLiteral("」を読み取れません。#RRGGBBまたは#RRGGBBAAで指定してください。");
}

const QString kInvalidJSON = QStringLiteral("テーマを読み込めません。.cottheme形式のJSONファイルを選んでください。");
const QString kBadName = QStringLiteral("テーマの形式が正しくありません。nameに使用できない文字があります。");

TEST(EditorThemeTest, RefusesDocumentsThatAreNotThemeObjects)
{
    EXPECT_EQ(parseFailure("not json"), kInvalidJSON);
    EXPECT_EQ(parseFailure("42"), kInvalidJSON);
    EXPECT_EQ(parseFailure(""), kInvalidJSON);
    EXPECT_EQ(parseFailure("[1, 2]"), schema("nameがありません。"));
    EXPECT_EQ(parseFailure("[1, 2]", QStringLiteral("Fallback")), schema("nameがありません。"));
    EXPECT_EQ(parseFailure(themeBytes(QString())), schema("nameがありません。"));
}

TEST(EditorThemeTest, TakesTheFallbackNameOnlyWhenTheFileHasNoNameText)
{
    EXPECT_EQ(EditorTheme(themeBytes(QString()), QStringLiteral("Solarized")).name, "Solarized");
    EXPECT_EQ(EditorTheme(themeBytes(QStringLiteral("Inner")), QStringLiteral("Outer")).name, "Inner");
    QJsonObject numbered = themeObject();
    numbered.insert("name", 7);
    const EditorTheme theme(themeBytes(numbered), QStringLiteral("Outer"));
    EXPECT_EQ(theme.name, "Outer");
    EXPECT_FALSE(theme.additionalValues.contains("name"));
    // A UTF-8 byte-order mark some editors put in front does not make the file unreadable.
    EXPECT_EQ(EditorTheme("\xEF\xBB\xBF" + themeBytes()).name, "Sample");
}

TEST(EditorThemeTest, TrimsNamesAndRefusesOnesThatCannotBeFileNames)
{
    EXPECT_EQ(EditorTheme(themeBytes(QStringLiteral(" \t Night Owl \n"))).name, "Night Owl");
    const QStringList refused = {
        "   ", "", "a/b", "a:b", ".", "..", "a\tb", QStringLiteral("a\u200Db"), QStringLiteral("a\u0007b"),
        QString(201, QLatin1Char('x')),
    };
    for (const QString& name : refused) EXPECT_EQ(parseFailure(themeBytes(name)), kBadName) << name.toStdString();

    EXPECT_EQ(parseFailure(themeBytes(QString(200, QLatin1Char('x')))), "");
    // The limit counts what the user sees as characters, not code units.
    QString accented;
    for (int i = 0; i < 200; ++i) accented += QStringLiteral("e\u0301");
    EXPECT_EQ(parseFailure(themeBytes(accented)), "");
    EXPECT_EQ(parseFailure(themeBytes(QStringLiteral("日本語のテーマ (Dark)"))), "");

    // A leading U+FEFF is a format character, not white space: trimming must not drop it and let
    // the name pass as another theme's.
    EXPECT_EQ(parseFailure(themeBytes(QStringLiteral("\uFEFFClassic"))), kBadName);
    EXPECT_EQ(parseFailure(themeBytes(QStringLiteral(" \uFEFFClassic"))), kBadName);
    // A leading "." would install as a hidden file that no listing shows.
    for (const QString& hidden : {QStringLiteral(".hidden"), QStringLiteral(" .hidden")}) {
        EXPECT_EQ(parseFailure(themeBytes(hidden)), kBadName) << hidden.toStdString();
    }
    EXPECT_EQ(parseFailure(themeBytes(QStringLiteral("Dots.In.The.Middle."))), "");
}

TEST(EditorThemeTest, LeadingByteOrderMarksInNamesAndValuesSurviveTheFile)
{
    // Qt's reader drops a raw U+FEFF at the start of a string or key: written escaped, read
    // escaped, such text survives a file.
    QJsonObject object = themeObject();
    object.insert("metadata", QJsonObject{{QStringLiteral("\uFEFFkey"), QStringLiteral("\uFEFFvalue")}});
    object.insert(QStringLiteral("\uFEFFextra"), QStringLiteral("\uFEFF"));
    const QByteArray raw = QJsonDocument(object).toJson();
    ASSERT_TRUE(raw.contains("\xEF\xBB\xBF"));
    const EditorTheme theme(raw);
    EXPECT_EQ(theme.metadata.value(QStringLiteral("\uFEFFkey")), ThemeJSONValue(QStringLiteral("\uFEFFvalue")));
    EXPECT_EQ(theme.additionalValues.value(QStringLiteral("\uFEFFextra")), ThemeJSONValue(QStringLiteral("\uFEFF")));

    const QByteArray written = theme.encodedData();
    EXPECT_FALSE(written.contains("\xEF\xBB\xBF"));
    EXPECT_TRUE(written.contains("\\ufeffkey"));
    EXPECT_EQ(EditorTheme(written), theme);

    // A U+FEFF escaped after a backslash of its own is left to the reader, which refuses it.
    EXPECT_NE(parseFailure("{\"name\": \"a\\\xEF\xBB\xBF\"}"), "");
}

TEST(EditorThemeTest, ChecksMetadataAndEntries)
{
    QJsonObject object = themeObject();
    object.insert("metadata", "author");
    EXPECT_EQ(parseFailure(themeBytes(object)), schema("metadataはオブジェクトで指定してください。"));

    object = themeObject();
    object.insert("keywords", QJsonObject{{"color", 5}});
    EXPECT_EQ(parseFailure(themeBytes(object)), schema("「keywords」にcolorがありません。"));

    object = themeObject();
    object.insert("comments", QJsonObject{{"color", "#102030"}, {"usesSystemSetting", 1}});
    EXPECT_EQ(parseFailure(themeBytes(object)), schema("「comments」のusesSystemSettingは真偽値で指定してください。"));

    object = themeObject();
    object.remove("highlight");
    object.remove("variables");
    EXPECT_EQ(parseFailure(themeBytes(object)), schema("「highlight」がありません。"));

    // A required key in another form counts as missing.
    object = themeObject();
    object.insert("strings", "#102030");
    EXPECT_EQ(parseFailure(themeBytes(object)), schema("「strings」がありません。"));
    object.insert("strings", QJsonObject{{"colour", "#102030"}});
    EXPECT_EQ(parseFailure(themeBytes(object)), schema("「strings」がありません。"));
}

TEST(EditorThemeTest, AcceptsOnlyHashWithSixOrEightHexDigits)
{
    for (const QString& good : QStringList{"#A1B2C3", "#a1b2c3", "#a1B2c3D4"}) {
        QJsonObject object = themeObject();
        object.insert("numbers", QJsonObject{{"color", good}});
        const EditorTheme theme(themeBytes(object));
        EXPECT_EQ(theme.colorValues.value("numbers").hex, good);
        EXPECT_TRUE(EditorTheme(theme.encodedData()).colorValues.value("numbers").hex == good);
    }
    for (const QString& bad : QStringList{"#abc", "#abcde", "#abcdef1", "abcdef", "#abcdeg", "#abc def", "#ａｂｃｄｅｆ", ""}) {
        QJsonObject object = themeObject();
        object.insert("numbers", QJsonObject{{"color", bad}});
        EXPECT_EQ(parseFailure(themeBytes(object)), badColor("numbers", bad)) << bad.toStdString();
    }
    // Extra entries are validated like the required ones.
    QJsonObject object = themeObject();
    object.insert("diffAdded", QJsonObject{{"color", "green"}});
    EXPECT_EQ(parseFailure(themeBytes(object)), badColor("diffAdded", "green"));
}

TEST(EditorThemeTest, RoundTripKeepsEverythingTheFileHeld)
{
    QJsonObject object = themeObject(QStringLiteral("Round/Trip").replace('/', ' '));
    object.insert("metadata", QJsonObject{{"author", "someone"},
                                          {"distributionURL", "https://example.com/themes/round"},
                                          {"tags", QJsonArray{1, 2.5, true, QJsonValue::Null}}});
    object.insert("version", 3);
    object.insert("notes", QJsonObject{{"free", "form"}});
    object.insert("selection", QJsonObject{{"color", "#AbCdEf80"}, {"usesSystemSetting", false}, {"comment", "x"}});
    object.insert("diffAdded", QJsonObject{{"color", "#00ff00"}, {"nested", QJsonObject{{"a", 1}}}});

    const EditorTheme theme(themeBytes(object));
    EXPECT_EQ(theme.additionalValues.size(), 2);
    EXPECT_EQ(theme.colorValues.size(), 18);
    EXPECT_EQ(theme.colorValues.value("selection").usesSystemSetting, std::optional<bool>(false));
    EXPECT_EQ(theme.colorValues.value("background").usesSystemSetting, std::nullopt);

    const QByteArray encoded = theme.encodedData();
    EXPECT_EQ(EditorTheme(encoded), theme);
    EXPECT_TRUE(encoded.contains("https://example.com/themes/round")) << "slashes are not escaped";
    EXPECT_TRUE(encoded.contains("\"usesSystemSetting\": false"));
    EXPECT_TRUE(encoded.contains("#AbCdEf80"));
    EXPECT_TRUE(encoded.contains("\n    \"")) << "indented";
    // Keys sorted at every level.
    EXPECT_LT(encoded.indexOf("\"attributes\""), encoded.indexOf("\"background\""));
    EXPECT_LT(encoded.indexOf("\"metadata\""), encoded.indexOf("\"name\""));
    EXPECT_LT(encoded.indexOf("\"author\""), encoded.indexOf("\"distributionURL\""));

    // An empty metadata object is not written back.
    QJsonObject plain = themeObject();
    plain.insert("metadata", QJsonObject{});
    const EditorTheme empty(themeBytes(plain));
    EXPECT_TRUE(empty.metadata.isEmpty());
    EXPECT_FALSE(empty.encodedData().contains("metadata"));
}

TEST(EditorThemeTest, ColourEntriesWinOverExtraValuesOfTheSameKeyWhenWritten)
{
    EditorTheme theme(themeBytes());
    theme.additionalValues.insert("keywords", ThemeJSONValue(QJsonValue(QStringLiteral("shadowed"))));
    const EditorTheme reread(theme.encodedData());
    EXPECT_FALSE(reread.additionalValues.contains("keywords"));
    EXPECT_EQ(reread.colorValues.value("keywords"), theme.colorValues.value("keywords"));
}

TEST(EditorThemeTest, JsonValuesCompareByValue)
{
    EXPECT_EQ(ThemeJSONValue(QJsonValue(1)), ThemeJSONValue(QJsonValue(1.0)));
    EXPECT_FALSE(ThemeJSONValue(QJsonValue(true)) == ThemeJSONValue(QJsonValue(1)));
    EXPECT_FALSE(ThemeJSONValue(QJsonValue(QJsonArray{1, 2})) == ThemeJSONValue(QJsonValue(QJsonArray{2, 1})));
    EXPECT_EQ(ThemeJSONValue(QJsonValue(QJsonObject{{"a", 1}, {"b", QJsonArray{}}})),
              ThemeJSONValue(QJsonValue(QJsonObject{{"b", QJsonArray{}}, {"a", 1.0}})));
    EXPECT_FALSE(ThemeJSONValue(QJsonValue(QJsonObject{{"a", 1}})) == ThemeJSONValue(QJsonValue(QJsonObject{{"b", 1}})));
    EXPECT_EQ(ThemeJSONValue().kind(), ThemeJSONValue::Kind::null);
    EXPECT_THROW(ThemeJSONValue(QJsonValue(QJsonValue::Undefined)), EditorThemeError);
}

TEST(EditorThemeTest, TurnsEntriesIntoColours)
{
    EXPECT_EQ(ThemeColorValue::fromHex(u"#11223380"), ThemeColorValue::rgba(0x11, 0x22, 0x33, 0x80));
    EXPECT_DOUBLE_EQ(ThemeColorValue::fromHex(u"#11223380").alphaF(), 128.0 / 255.0);
    EXPECT_EQ(ThemeColorValue::fromHex(u"#A0b0C0"), ThemeColorValue::rgba(0xA0, 0xB0, 0xC0, 255));
    // Entries built by hand may hold anything: other digit counts take the low bytes, junk is black.
    EXPECT_EQ(ThemeColorValue::fromHex(u"#123"), ThemeColorValue::rgba(0, 0x01, 0x23));
    EXPECT_EQ(ThemeColorValue::fromHex(u"#zzzzzz"), ThemeColorValue::rgba(0, 0, 0));
    EXPECT_EQ(ThemeColorValue::fromHex(u"#11111111111111111111"), ThemeColorValue::rgba(0, 0, 0));
    EXPECT_EQ(ThemeColorValue::rgba(1, 2, 255).hexString(), "#0102ff");
    EXPECT_EQ(ThemeColorValue::rgba(1, 2, 255, 0x80).hexString(), "#0102ff80");
}

TEST(EditorThemeTest, ResolvesSystemColoursOnlyForKeysThatHaveOne)
{
    QJsonObject object = themeObject();
    const QStringList keys = EditorTheme::requiredColorKeys();
    for (const QString& key : keys) object.insert(key, QJsonObject{{"color", "#123456"}, {"usesSystemSetting", true}});
    object.insert("comments", QJsonObject{{"color", "#123456"}, {"usesSystemSetting", false}});
    const EditorTheme theme(themeBytes(object));

    EXPECT_EQ(theme.resolvedColor("background"), ThemeColorValue::systemColor(SystemColor::textBackground));
    EXPECT_EQ(theme.resolvedColor("text"), ThemeColorValue::systemColor(SystemColor::text));
    EXPECT_EQ(theme.resolvedColor("insertionPoint"), ThemeColorValue::systemColor(SystemColor::text));
    EXPECT_EQ(theme.resolvedColor("selection"), ThemeColorValue::systemColor(SystemColor::selectedTextBackground));
    EXPECT_EQ(theme.resolvedColor("invisibles"), ThemeColorValue::systemColor(SystemColor::secondaryLabel));
    EXPECT_EQ(theme.resolvedColor("highlight"), ThemeColorValue::systemColor(SystemColor::findHighlight));
    EXPECT_EQ(theme.resolvedColor("lineHighlight"), ThemeColorValue::rgba(0x12, 0x34, 0x56));
    EXPECT_EQ(theme.resolvedColor("keywords"), ThemeColorValue::rgba(0x12, 0x34, 0x56));
    EXPECT_EQ(theme.resolvedColor("comments"), ThemeColorValue::rgba(0x12, 0x34, 0x56));

    EXPECT_EQ(theme.resolvedColor("noSuchKey"), ThemeColorValue::systemColor(SystemColor::text));
    EXPECT_EQ(theme.syntaxColor("noSuchKey"), std::nullopt);
    EXPECT_EQ(theme.syntaxColor("keywords"), ThemeColorValue::rgba(0x12, 0x34, 0x56));
}

TEST(EditorThemeTest, FallbackIsTheBuiltInStandardTheme)
{
    const EditorTheme& theme = EditorTheme::fallback();
    EXPECT_EQ(theme.name, "Korimado Standard");
    EXPECT_EQ(theme.colorValues.size(), 17);
    for (const QString& key : EditorTheme::requiredColorKeys()) {
        EXPECT_EQ(theme.colorValues.value(key).additionalValues.size(), 0) << key.toStdString();
        EXPECT_EQ(theme.colorValues.value(key).usesSystemSetting, std::nullopt);
    }
    EXPECT_TRUE(theme.metadata.isEmpty());
    EXPECT_TRUE(theme.additionalValues.isEmpty());
    EXPECT_EQ(theme.colorValues.value("lineHighlight").hex, "#d1f0afb3");
    EXPECT_EQ(theme.colorValues.value("background").hex, "#ffffff");
    EXPECT_EQ(theme.colorValues.value("keywords").hex, "#000000");
    EXPECT_EQ(EditorTheme(theme.encodedData()), theme);
    EXPECT_EQ(EditorTheme::requiredColorKeys().size(), 17);
    EXPECT_EQ(EditorTheme::requiredColorKeys().first(), "background");
    EXPECT_EQ(EditorTheme::requiredColorKeys().last(), "variables");
}

TEST(EditorThemeTest, CurrentFallsBackFromTheChosenNameToClassicToTheBuiltIn)
{
    test::TempDir dir;
    const EditorThemeStore store(dir.file("bundled"), dir.file("user"));
    UserDefaults defaults;

    EXPECT_EQ(EditorTheme::current(defaults, store).name, "Korimado Standard");
    defaults.setString(EditorSettingsKey::themeName, "Missing");
    EXPECT_EQ(EditorTheme::current(defaults, store).name, "Korimado Standard");

    dir.write("bundled/Classic.cottheme", themeBytes(QStringLiteral("Classic")));
    dir.write("user/Mine.cottheme", themeBytes(QStringLiteral("Mine")));
    EXPECT_EQ(EditorTheme::current(defaults, store).name, "Classic");
    defaults.setString(EditorSettingsKey::themeName, "");
    EXPECT_EQ(EditorTheme::current(defaults, store).name, "Classic");
    defaults.setString(EditorSettingsKey::themeName, "Mine");
    EXPECT_EQ(EditorTheme::current(defaults, store).name, "Mine");
    defaults.removeObject(EditorSettingsKey::themeName);
    EXPECT_EQ(EditorTheme::current(defaults, store).name, "Classic");
}

}  // namespace
}  // namespace korimado
