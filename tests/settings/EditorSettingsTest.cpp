#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsError.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"
#include "settings/EditorSettingsStore.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

using korimado::DefaultsValue;
using korimado::EditorSettingsError;
using korimado::EditorSettingsSnapshot;
using korimado::EditorSettingsStore;
using korimado::UserDefaults;
namespace Key = korimado::EditorSettingsKey;

namespace {

QJsonObject validFile()
{
    return QJsonDocument::fromJson(EditorSettingsSnapshot().encoded()).object();
}

QByteArray bytes(const QJsonObject& object)
{
    return QJsonDocument(object).toJson();
}

// Runs f and returns the settings error it throws; fails the test when it throws none.
EditorSettingsError errorFrom(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EditorSettingsError& e) {
        return e;
    }
    ADD_FAILURE() << "no EditorSettingsError thrown";
    return EditorSettingsError::invalidFile({});
}

QString invalidValueName(const EditorSettingsSnapshot& s)
{
    const EditorSettingsError e = errorFrom([&] { s.validated(); });
    EXPECT_EQ(e.kind(), EditorSettingsError::Kind::invalidValue);
    return e.settingName();
}

}  // namespace

TEST(EditorSettingsSnapshot, EmptyDefaultsReadAsTheDocumentedDefaults)
{
    UserDefaults d;
    const EditorSettingsSnapshot s(d);
    EXPECT_EQ(s.schemaVersion, 1);
    EXPECT_EQ(s.fontName, "");
    EXPECT_EQ(s.fontSize, 14.0);
    EXPECT_TRUE(s.wrap);
    EXPECT_TRUE(s.autoplay);
    EXPECT_FALSE(s.hiddenFiles);
    EXPECT_EQ(s.appearance, 0);
    EXPECT_EQ(s.tokenIndex, 1);
    EXPECT_EQ(s.tabWidth, 4);
    EXPECT_FALSE(s.useSpaces);
    EXPECT_TRUE(s.lineNumbers);
    EXPECT_TRUE(s.statusBar);
    EXPECT_FALSE(s.invisibles);
    EXPECT_FALSE(s.showPageGuide);
    EXPECT_EQ(s.pageGuideColumn, 80);
    EXPECT_FALSE(s.spelling);
    EXPECT_EQ(s.defaultEncoding, "UTF-8");
    EXPECT_EQ(s.defaultLineEnding, "LF");
    EXPECT_EQ(s.treeSortOrder, 0);
    EXPECT_EQ(s.themeName, QStringLiteral("Classic"));
    EXPECT_EQ(s, EditorSettingsSnapshot());
}

TEST(EditorSettingsSnapshot, IntegerKeysTakeOnlyIntegralNumbersInRange)
{
    UserDefaults d;
    d.setString(Key::tabWidth, "8");
    EXPECT_EQ(EditorSettingsSnapshot(d).tabWidth, 4);
    d.setInteger(Key::tabWidth, 13);
    EXPECT_EQ(EditorSettingsSnapshot(d).tabWidth, 4);
    d.setDouble(Key::tabWidth, 8.0);
    EXPECT_EQ(EditorSettingsSnapshot(d).tabWidth, 8);
    d.setDouble(Key::tabWidth, 8.5);
    EXPECT_EQ(EditorSettingsSnapshot(d).tabWidth, 4);

    d.setInteger(Key::tokenIndex, 0);
    d.setInteger(Key::pageGuideColumn, 19);
    d.setInteger(Key::treeSortOrder, 2);
    const EditorSettingsSnapshot s(d);
    EXPECT_EQ(s.tokenIndex, 0);
    EXPECT_EQ(s.pageGuideColumn, 80);
    EXPECT_EQ(s.treeSortOrder, 2);

    // The appearance uses the converting reading and is taken as read.
    d.setString(Key::appearance, "2");
    EXPECT_EQ(EditorSettingsSnapshot(d).appearance, 2);
    d.setInteger(Key::appearance, 5);
    EXPECT_EQ(EditorSettingsSnapshot(d).appearance, 5);
}

TEST(EditorSettingsSnapshot, FontSizeBooleansAndStrings)
{
    UserDefaults d;
    d.setDouble(Key::fontSize, 9.5);
    EXPECT_EQ(EditorSettingsSnapshot(d).fontSize, 14.0);
    d.setString(Key::fontSize, "12.5");
    EXPECT_EQ(EditorSettingsSnapshot(d).fontSize, 12.5);
    d.setInteger(Key::fontSize, 32);
    EXPECT_EQ(EditorSettingsSnapshot(d).fontSize, 32.0);

    d.setBool(Key::wrap, false);
    d.setString(Key::statusBar, "NO");
    d.setString(Key::spelling, "YES");
    EditorSettingsSnapshot s(d);
    EXPECT_FALSE(s.wrap);
    EXPECT_FALSE(s.statusBar);
    EXPECT_TRUE(s.spelling);
    d.removeObject(Key::wrap);
    EXPECT_TRUE(EditorSettingsSnapshot(d).wrap);
    // A registered default counts as an object under the key.
    d.registerDefaults({{Key::lineNumbers, false}});
    EXPECT_FALSE(EditorSettingsSnapshot(d).lineNumbers);

    d.setString(Key::defaultEncoding, "Nonsense");
    d.setInteger(Key::fontName, 5);
    d.setData(Key::themeName, "x");
    s = EditorSettingsSnapshot(d);
    EXPECT_EQ(s.defaultEncoding, "Nonsense");
    EXPECT_EQ(s.fontName, "5");
    EXPECT_EQ(s.themeName, QStringLiteral("Classic"));
}

TEST(EditorSettingsSnapshot, ValidationNamesTheFirstBadSettingInOrder)
{
    EditorSettingsSnapshot s;
    EXPECT_NO_THROW(s.validated());

    s.fontName = QStringLiteral("Mono\u200B");  // a format character
    EXPECT_EQ(invalidValueName(s), "フォント");
    s.fontName = QString(201, 'a');
    EXPECT_EQ(invalidValueName(s), "フォント");
    // 200 characters of two UTF-16 units each still fit.
    s.fontName = QStringLiteral("e\u0301").repeated(200);
    EXPECT_NO_THROW(s.validated());

    s.fontSize = std::nan("");
    s.tabWidth = 1;
    EXPECT_EQ(invalidValueName(s), "文字サイズ");  // reported before the tab width
    s.fontSize = 10;
    EXPECT_EQ(invalidValueName(s), "タブ幅");
    s.tabWidth = 12;

    s.appearance = 3;
    EXPECT_EQ(invalidValueName(s), "外観");
    s.appearance = 2;
    s.tokenIndex = -1;
    EXPECT_EQ(invalidValueName(s), "トークン数");
    s.tokenIndex = 2;
    s.pageGuideColumn = 241;
    EXPECT_EQ(invalidValueName(s), "ページガイド");
    s.pageGuideColumn = 20;
    s.defaultEncoding = "utf-8";
    EXPECT_EQ(invalidValueName(s), "標準文字コード");
    s.defaultEncoding = "Shift JIS";
    s.defaultLineEnding = "lf";
    EXPECT_EQ(invalidValueName(s), "標準改行コード");
    s.defaultLineEnding = "CRLF";
    s.treeSortOrder = 3;
    EXPECT_EQ(invalidValueName(s), "並び順");
    s.treeSortOrder = 2;

    s.themeName = QStringLiteral("   ");
    EXPECT_EQ(invalidValueName(s), "テーマ");
    s.themeName = QStringLiteral("\u3000\n");
    EXPECT_EQ(invalidValueName(s), "テーマ");
    s.themeName = QStringLiteral("Dark\u0007");
    EXPECT_EQ(invalidValueName(s), "テーマ");
    // U+FEFF is no white space: "\uFEFFClassic" must not pass as "Classic" does.
    s.themeName = QStringLiteral("\uFEFFClassic");
    EXPECT_EQ(invalidValueName(s), "テーマ");
    s.themeName = QStringLiteral("Classic\uFEFF");
    EXPECT_EQ(invalidValueName(s), "テーマ");
    s.themeName = QStringLiteral("  Solarized\n");  // valid once trimmed, and kept as it is
    EXPECT_EQ(s.validated().themeName, QStringLiteral("  Solarized\n"));
    s.themeName.reset();
    EXPECT_NO_THROW(s.validated());

    s.schemaVersion = 0;
    const EditorSettingsError e = errorFrom([&] { s.validated(); });
    EXPECT_EQ(e.kind(), EditorSettingsError::Kind::unsupportedVersion);
    EXPECT_EQ(e.version(), 0);
}

TEST(EditorSettingsSnapshot, ApplyingWritesTypedValuesAndNothingWhenInvalid)
{
    UserDefaults d;
    EditorSettingsSnapshot s;
    s.fontSize = 16;
    s.tabWidth = 8;
    s.wrap = false;
    s.themeName = QStringLiteral("Night");
    s.applying(d);
    EXPECT_TRUE(d.object(Key::fontSize)->isDouble());
    EXPECT_TRUE(d.object(Key::tabWidth)->isInteger());
    EXPECT_TRUE(d.object(Key::wrap)->isBool());
    EXPECT_TRUE(d.object(Key::defaultLineEnding)->isString());
    EXPECT_EQ(d.dictionaryRepresentation().size(), 19);
    EXPECT_EQ(EditorSettingsSnapshot(d), s);

    s.themeName.reset();
    s.tabWidth = 6;
    s.applying(d);
    EXPECT_EQ(d.string(Key::themeName), QStringLiteral("Night"));  // an absent name leaves the key alone

    const auto before = d.dictionaryRepresentation();
    s.fontSize = 40;
    EXPECT_THROW(s.applying(d), EditorSettingsError);
    EXPECT_EQ(d.dictionaryRepresentation(), before);
}

TEST(EditorSettingsStore, ImportRejectsBadFilesAndLeavesEveryKeyUnchanged)
{
    UserDefaults d;
    d.setString(Key::fontName, "Before");
    d.setBool(Key::wrap, false);
    d.setString(Key::themeName, "Kept");
    const auto before = d.dictionaryRepresentation();
    EditorSettingsStore store(d);

    QJsonObject version = validFile();
    version["schemaVersion"] = 2;
    EditorSettingsError e = errorFrom([&] { store.importData(bytes(version)); });
    EXPECT_EQ(e.localizedDescription(), "設定ファイルの形式（バージョン2）には対応していません。");

    QJsonObject tab = validFile();
    tab["fontName"] = "After";
    tab["tabWidth"] = 1;
    e = errorFrom([&] { store.importData(bytes(tab)); });
    EXPECT_EQ(e.settingName(), "タブ幅");
    EXPECT_EQ(e.localizedDescription(), "設定ファイルの「タブ幅」に使用できない値があります。設定は変更していません。");

    QJsonObject blankTheme = validFile();
    blankTheme["themeName"] = "   ";
    EXPECT_EQ(errorFrom([&] { store.importData(bytes(blankTheme)); }).settingName(), "テーマ");

    QJsonObject missing = validFile();
    missing.remove("spelling");
    e = errorFrom([&] { store.importData(bytes(missing)); });
    EXPECT_EQ(e.kind(), EditorSettingsError::Kind::invalidFile);
    EXPECT_TRUE(e.localizedDescription().contains("読み込めません"));
    EXPECT_TRUE(e.decoderMessage().contains("spelling"));
    EXPECT_STREQ(e.what(), e.localizedDescription().toUtf8().constData());

    EXPECT_EQ(d.dictionaryRepresentation(), before);
}

TEST(EditorSettingsStore, DecodingIsStrictAboutTypes)
{
    const auto rejected = [](const char* key, const QJsonValue& value) {
        QJsonObject file = validFile();
        file[key] = value;
        const EditorSettingsError e = errorFrom([&] { EditorSettingsSnapshot::decoded(bytes(file)); });
        return e.kind() == EditorSettingsError::Kind::invalidFile;
    };
    EXPECT_TRUE(rejected("tabWidth", 4.5));
    EXPECT_TRUE(rejected("tabWidth", "4"));
    EXPECT_TRUE(rejected("tabWidth", true));
    EXPECT_TRUE(rejected("tabWidth", 1e30));
    EXPECT_TRUE(rejected("wrap", 1));
    EXPECT_TRUE(rejected("fontSize", true));
    EXPECT_TRUE(rejected("fontName", QJsonValue::Null));
    EXPECT_TRUE(rejected("themeName", 3));
    EXPECT_TRUE(errorFrom([] { EditorSettingsSnapshot::decoded("[1]"); }).kind() ==
                EditorSettingsError::Kind::invalidFile);
    EXPECT_TRUE(errorFrom([] { EditorSettingsSnapshot::decoded("{"); }).kind() ==
                EditorSettingsError::Kind::invalidFile);

    QJsonObject file = validFile();
    file["fontSize"] = 12;  // a whole number is a valid Double
    file["themeName"] = QJsonValue::Null;
    file["extra"] = "ignored";
    const EditorSettingsSnapshot s = EditorSettingsSnapshot::decoded(bytes(file));
    EXPECT_EQ(s.fontSize, 12.0);
    EXPECT_FALSE(s.themeName);
}

TEST(EditorSettingsStore, ImportWithoutThemeNameKeepsTheStoredTheme)
{
    UserDefaults d;
    d.setString(Key::themeName, "Kept");
    QJsonObject file = validFile();
    file.remove("themeName");
    file["tabWidth"] = 2;
    file["defaultLineEnding"] = "CRLF";
    const EditorSettingsSnapshot applied = EditorSettingsStore(d).importData(bytes(file));
    EXPECT_FALSE(applied.themeName);
    EXPECT_EQ(d.string(Key::themeName), QStringLiteral("Kept"));
    EXPECT_EQ(d.integer(Key::tabWidth), 2);
    EXPECT_EQ(d.string(Key::defaultLineEnding), QStringLiteral("CRLF"));
}

TEST(EditorSettingsStore, ExportIsSortedIndentedAndRoundTrips)
{
    UserDefaults d;
    d.setString(Key::fontName, "Fonts/Mono");
    d.setDouble(Key::fontSize, 13.5);
    d.setInteger(Key::tabWidth, 2);
    d.setString(Key::themeName, "テーマ/夜");
    const QByteArray exported = EditorSettingsStore(d).exportData();
    const QString text = QString::fromUtf8(exported);

    EXPECT_TRUE(text.contains("\"Fonts/Mono\""));
    EXPECT_FALSE(text.contains("\\/"));
    EXPECT_TRUE(text.contains("テーマ/夜"));
    EXPECT_TRUE(text.contains("\n    \"appearance\""));  // indented, one key a line
    qsizetype last = -1;
    QString previous;
    for (const QString& key : validFile().keys()) {
        const qsizetype at = text.indexOf("\"" + key + "\"");
        ASSERT_GE(at, 0) << key.toStdString();
        EXPECT_GT(at, last) << previous.toStdString() << " before " << key.toStdString();
        last = at;
        previous = key;
    }

    UserDefaults other;
    EXPECT_EQ(EditorSettingsStore(other).importData(exported), EditorSettingsSnapshot(d));
    EXPECT_EQ(EditorSettingsSnapshot(other), EditorSettingsSnapshot(d));
}

TEST(EditorSettingsStore, ExportFailsOnInvalidStoredValues)
{
    UserDefaults d;
    d.setInteger(Key::appearance, 5);
    EXPECT_EQ(errorFrom([&] { EditorSettingsStore(d).exportData(); }).settingName(), "外観");
    d.removeObject(Key::appearance);
    d.setString(Key::defaultEncoding, "UTF8");
    EXPECT_EQ(errorFrom([&] { EditorSettingsStore(d).exportData(); }).settingName(), "標準文字コード");
    d.removeObject(Key::defaultEncoding);
    EXPECT_NO_THROW(EditorSettingsStore(d).exportData());
    EXPECT_EQ(korimado::editorPreferencesChanged, QLatin1String("Korimado.preferencesChanged"));
}

TEST(EditorSettingsStore, TextLedByAByteOrderMarkSurvivesTheFile)
{
    // Qt's reader drops a raw U+FEFF that begins a string: the file escapes it.
    EditorSettingsSnapshot s;
    s.fontName = QStringLiteral("\uFEFFMono");
    const QByteArray encoded = s.encoded();
    EXPECT_FALSE(encoded.contains("\xEF\xBB\xBF"));
    EXPECT_EQ(EditorSettingsSnapshot::decoded(encoded).fontName, s.fontName);

    QJsonObject file = validFile();
    file.insert("fontName", QStringLiteral("\uFEFFMono"));
    const QByteArray raw = QJsonDocument(file).toJson();
    ASSERT_TRUE(raw.contains("\xEF\xBB\xBF"));
    EXPECT_EQ(EditorSettingsSnapshot::decoded(raw).fontName, s.fontName);
    // Imported, such a name is refused rather than taken for "Mono".
    UserDefaults defaults;
    const EditorSettingsError e = errorFrom([&] { EditorSettingsStore(defaults).importData(raw); });
    EXPECT_EQ(e.settingName(), "フォント");
}
