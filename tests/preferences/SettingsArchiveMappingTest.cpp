#include "ArchiveTestSupport.h"

#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

using Dict = PropertyList::Dictionary;

SettingsArchive archiveWith(const Dict& defaults, const SettingsArchive::Resources& resources = {})
{
    return SettingsArchive(test::validInfo(), defaults, resources);
}

Dict one(const char* key, const PropertyList& value)
{
    Dict d;
    d.insert(QString::fromLatin1(key), value);
    return d;
}

SettingsArchive::FontNameResolver sameName()
{
    return [](const QString& name) { return name.isEmpty() ? QStringLiteral("Fixed") : name; };
}

QByteArray fontRecord(const QString& name, double size)
{
    return KeyedArchive::encodeFont({name, size});
}

class ArchiveMapping : public ::testing::Test {
protected:
    SettingsArchiveImportSummary import(const Dict& defaults, const std::optional<QSet<QString>>& themes = std::nullopt)
    {
        return archiveWith(defaults).applyKnownSettings(userDefaults, themes);
    }
    EditorSettingsSnapshot settings() const { return EditorSettingsSnapshot(userDefaults); }

    UserDefaults userDefaults;
};

}  // namespace

TEST_F(ArchiveMapping, EmptyDefaultsApplyNothingAndKeepResources)
{
    userDefaults.setInteger(QString(EditorSettingsKey::tabWidth), 6);
    SettingsArchive::Resources resources;
    resources.insert(QStringLiteral("notes"), FileWrapper::directory({{QStringLiteral("a.txt"), FileWrapper::regularFile("a")}}));
    resources.insert(QStringLiteral("Themes"), FileWrapper::directory());
    const SettingsArchiveImportSummary summary = archiveWith({}, resources).applyKnownSettings(userDefaults, std::nullopt);
    EXPECT_TRUE(summary.appliedKeys.isEmpty());
    EXPECT_TRUE(summary.warnings.isEmpty());
    EXPECT_EQ(summary.archiveVersion, QStringLiteral("7.1.2"));
    EXPECT_EQ(summary.preservedResources, (QStringList{QStringLiteral("Themes/"), QStringLiteral("notes/a.txt")}));
    // Every setting is written back, unchanged.
    EXPECT_EQ(userDefaults.object(QString(EditorSettingsKey::tabWidth))->integerValue(), 6);
    EXPECT_TRUE(userDefaults.object(QString(EditorSettingsKey::wrap)).has_value());
    EXPECT_EQ(summary.displayText(), QStringLiteral("適用した設定：なし\n\n適用せず保持したファイル：Themes/、notes/a.txt"));
}

TEST_F(ArchiveMapping, NumbersBooleansAndTheirWarnings)
{
    EXPECT_EQ(import(one("tabWidth", 4.0)).appliedKeys, QStringList{QStringLiteral("タブ幅")});
    EXPECT_EQ(settings().tabWidth, 4);
    for (const PropertyList& bad : {PropertyList(13), PropertyList(true), PropertyList("4"), PropertyList(4.5),
                                    PropertyList(std::numeric_limits<double>::infinity())}) {
        EXPECT_EQ(import(one("tabWidth", bad)).warnings, QStringList{QStringLiteral("tabWidth（対応範囲外です）")});
    }
    EXPECT_EQ(settings().tabWidth, 4);
    EXPECT_EQ(import(one("showLineNumbers", 1)).warnings, QStringList{QStringLiteral("showLineNumbers（真偽値ではありません）")});
    for (qint64 bad : {-1, 3}) {
        EXPECT_EQ(import(one("appearance", bad)).warnings, QStringList{QStringLiteral("appearance（対応範囲外です）")});
    }
    EXPECT_EQ(import(one("pageGuideColumn", 241)).warnings, QStringList{QStringLiteral("pageGuideColumn（対応範囲外です）")});

    Dict many;
    many.insert(QStringLiteral("appearance"), 2);
    many.insert(QStringLiteral("showLineNumbers"), false);
    many.insert(QStringLiteral("showInvisibles"), true);
    many.insert(QStringLiteral("showPageGuide"), true);
    many.insert(QStringLiteral("pageGuideColumn"), 100.0);
    many.insert(QStringLiteral("wrapLines"), false);
    many.insert(QStringLiteral("autoExpandTab"), true);
    many.insert(QStringLiteral("defaultLineEndCharCode"), 2);
    many.insert(QStringLiteral("encodingInNew"), 8);
    const SettingsArchiveImportSummary summary = import(many);
    EXPECT_EQ(summary.appliedKeys.size(), 9);
    EXPECT_TRUE(summary.warnings.isEmpty());
    const EditorSettingsSnapshot s = settings();
    EXPECT_EQ(s.appearance, 2);
    EXPECT_FALSE(s.lineNumbers);
    EXPECT_TRUE(s.invisibles);
    EXPECT_TRUE(s.showPageGuide);
    EXPECT_EQ(s.pageGuideColumn, 100);
    EXPECT_FALSE(s.wrap);
    EXPECT_TRUE(s.useSpaces);
    EXPECT_EQ(s.defaultLineEnding, QStringLiteral("CRLF"));
    EXPECT_EQ(s.defaultEncoding, QStringLiteral("Shift JIS"));
}

TEST_F(ArchiveMapping, LineEndingsEncodingsAndThemes)
{
    for (qint64 bad : {6, -1}) {
        EXPECT_EQ(import(one("defaultLineEndCharCode", bad)).warnings,
                  QStringList{QStringLiteral("defaultLineEndCharCode（対応範囲外です）")});
    }
    import(one("encodingInNew", qint64(0x80000000LL | 1576)));
    EXPECT_EQ(settings().defaultEncoding, QStringLiteral("Shift JIS X0213"));
    import(one("encodingInNew", qint64(0x94000100LL)));
    EXPECT_EQ(settings().defaultEncoding, QStringLiteral("UTF-16 LE"));
    for (const PropertyList& bad : {PropertyList(99), PropertyList(-4), PropertyList("4")}) {
        EXPECT_EQ(import(one("encodingInNew", bad)).warnings,
                  QStringList{QStringLiteral("encodingInNew（対応する文字コードがありません）")});
    }

    const QSet<QString> themes{QStringLiteral("Classic"), QStringLiteral("Dusk")};
    EXPECT_EQ(import(one("defaultTheme", "Dusk"), themes).appliedKeys, QStringList{QStringLiteral("テーマ")});
    EXPECT_EQ(settings().themeName, QStringLiteral("Dusk"));
    for (const PropertyList& bad : {PropertyList("Missing"), PropertyList(""), PropertyList(3)}) {
        EXPECT_EQ(import(one("defaultTheme", bad), themes).warnings,
                  QStringList{QStringLiteral("defaultTheme（利用できるテーマではありません）")});
    }
    EXPECT_EQ(import(one("defaultTheme", "Anything")).appliedKeys, QStringList{QStringLiteral("テーマ")});
    // A name the settings could not hold is refused here, not by the whole import failing.
    EXPECT_EQ(import(one("defaultTheme", "   ")).warnings.size(), 1);
    EXPECT_EQ(settings().themeName, QStringLiteral("Anything"));
}

TEST_F(ArchiveMapping, StatusGroup)
{
    userDefaults.setBool(QString(EditorSettingsKey::statusBar), false);
    EXPECT_EQ(import(one("showStatusBarWords", true)).appliedKeys, QStringList{QStringLiteral("ステータス")});
    EXPECT_TRUE(settings().statusBar);
    import(one("showStatusBarLines", false));
    EXPECT_FALSE(settings().statusBar);
    Dict mixed;
    mixed.insert(QStringLiteral("showStatusBarLines"), true);
    mixed.insert(QStringLiteral("showStatusBarChars"), "yes");
    mixed.insert(QStringLiteral("showStatusBarColumn"), 1);
    EXPECT_EQ(import(mixed).warnings, QStringList{QStringLiteral("ステータス項目（真偽値ではありません）")});
    EXPECT_FALSE(settings().statusBar);
}

TEST_F(ArchiveMapping, FontRecord)
{
    EXPECT_EQ(import(one("font", fontRecord(QStringLiteral("Menlo-Regular"), 13))).appliedKeys,
              QStringList{QStringLiteral("フォント")});
    EXPECT_EQ(settings().fontName, QStringLiteral("Menlo-Regular"));
    EXPECT_EQ(settings().fontSize, 13);
    EXPECT_EQ(import(one("font", "Menlo")).warnings, QStringList{QStringLiteral("font（Dataではありません）")});
    const QString unreadable = QStringLiteral("font（フォントを読み取れません）");
    EXPECT_EQ(import(one("font", QByteArray("junk"))).warnings, QStringList{unreadable});
    EXPECT_EQ(import(one("font", fontRecord(QStringLiteral("Big"), 40))).warnings, QStringList{unreadable});
    EXPECT_EQ(import(one("font", fontRecord(QStringLiteral("Small"), 9.5))).warnings, QStringList{unreadable});
    EXPECT_EQ(import(one("font", fontRecord(QString(201, u'x'), 12))).warnings, QStringList{unreadable});
    EXPECT_EQ(settings().fontName, QStringLiteral("Menlo-Regular"));
}

TEST_F(ArchiveMapping, KeysAreSortedIntoAppliedKeptAndUnknown)
{
    Dict d;
    d.insert(QStringLiteral("zzOwnKey"), "mine");
    d.insert(QStringLiteral("lineHeight"), 1.2);
    d.insert(QStringLiteral("highlightBraces"), true);
    d.insert(QStringLiteral("aaOwnKey"), 1);
    d.insert(QStringLiteral("wrapLines"), true);
    d.insert(QStringLiteral("tabWidth"), 99);
    const SettingsArchiveImportSummary summary = import(d);
    EXPECT_EQ(summary.unsupportedKeys, (QStringList{QStringLiteral("highlightBraces"), QStringLiteral("lineHeight")}));
    EXPECT_EQ(summary.unrecognizedKeys, (QStringList{QStringLiteral("aaOwnKey"), QStringLiteral("zzOwnKey")}));
    EXPECT_EQ(summary.appliedKeys, QStringList{QStringLiteral("行の折り返し")});
    // A refused mapped key is only a warning.
    EXPECT_EQ(summary.warnings, QStringList{QStringLiteral("tabWidth（対応範囲外です）")});
    EXPECT_EQ(SettingsArchive::mappedDefaultKeys().size(), 18);
    EXPECT_EQ(SettingsArchive::portableDefaultKeys().size(), 64);
    for (const QString& key : SettingsArchive::mappedDefaultKeys()) EXPECT_TRUE(SettingsArchive::portableDefaultKeys().contains(key));
}

TEST_F(ArchiveMapping, ExportOverlaysTheSettingsOnTheBase)
{
    EditorSettingsSnapshot s;
    s.statusBar = true;
    s.defaultLineEnding = QStringLiteral("CR");
    s.defaultEncoding = QStringLiteral("EUC-KR");
    s.themeName = std::nullopt;
    s.fontName.clear();
    s.fontSize = 15;
    const SettingsArchive fresh = SettingsArchive::exporting(s, nullptr, sameName());
    const Dict& d = fresh.defaults();
    EXPECT_EQ(d.size(), 18);
    for (const char* on : {"showStatusBarLines", "showStatusBarChars", "showStatusBarLocation", "showStatusBarLine"}) {
        EXPECT_EQ(*d.value(QString::fromLatin1(on)), PropertyList(true)) << on;
    }
    EXPECT_EQ(*d.value(QStringLiteral("showStatusBarWords")), PropertyList(false));
    EXPECT_EQ(*d.value(QStringLiteral("showStatusBarColumn")), PropertyList(false));
    EXPECT_EQ(*d.value(QStringLiteral("defaultLineEndCharCode")), PropertyList(1));
    EXPECT_EQ(*d.value(QStringLiteral("encodingInNew")), PropertyList(qint64(0x80000000LL | 2368)));
    EXPECT_EQ(*d.value(QStringLiteral("defaultTheme")), PropertyList("Classic"));
    EXPECT_EQ(KeyedArchive::decodeFont(d.value(QStringLiteral("font"))->dataValue()),
              (ArchivedFont{QStringLiteral("Fixed"), 15}));
    EXPECT_EQ(fresh.info().value(QStringLiteral("version"))->stringValue(), QStringLiteral("7.1.2"));
    s.defaultLineEnding = QStringLiteral("CRLF");
    EXPECT_EQ(*SettingsArchive::exporting(s, nullptr, sameName()).defaults().value(QStringLiteral("defaultLineEndCharCode")),
              PropertyList(2));

    // The exported status bar comes back on import.
    userDefaults.setBool(QString(EditorSettingsKey::statusBar), false);
    fresh.applyKnownSettings(userDefaults, std::nullopt);
    EXPECT_TRUE(settings().statusBar);
    EXPECT_EQ(settings().defaultLineEnding, QStringLiteral("CR"));
    EXPECT_EQ(settings().defaultEncoding, QStringLiteral("EUC-KR"));
}

TEST_F(ArchiveMapping, UnknownKeysKindsAndFilesSurviveImportThenExport)
{
    test::TempDir dir;
    const QString path = test::writePackage(
        dir, QStringLiteral("in.cotsettings"),
        test::defaultsPlist("\t<key>lineHeight</key>\n\t<real>1</real>\n"
                            "\t<key>windowWidth</key>\n\t<integer>600</integer>\n"
                            "\t<key>shouldAntialias</key>\n\t<true/>\n"
                            "\t<key>myOwnKey</key>\n\t<dict><key>n</key><real>4</real></dict>\n"
                            "\t<key>tabWidth</key>\n\t<integer>2</integer>\n"),
        test::infoPlist());
    const QByteArray themeBytes("{\"name\":\"X\"}\n\x00\xff", 15);
    dir.write(QStringLiteral("in.cotsettings/Themes/X.cottheme"), themeBytes);
    const SettingsArchive base = SettingsArchive::read(path);
    base.applyKnownSettings(userDefaults, std::nullopt);
    EXPECT_EQ(settings().tabWidth, 2);
    userDefaults.setInteger(QString(EditorSettingsKey::tabWidth), 8);

    const QString out = dir.file(QStringLiteral("out.cotsettings"));
    SettingsArchive::exporting(settings(), &base, sameName()).write(out);
    const SettingsArchive exported = SettingsArchive::read(out);
    const Dict& d = exported.defaults();
    EXPECT_EQ(*d.value(QStringLiteral("lineHeight")), PropertyList(1.0));
    EXPECT_TRUE(d.value(QStringLiteral("lineHeight"))->isReal());
    EXPECT_EQ(*d.value(QStringLiteral("windowWidth")), PropertyList(600));
    EXPECT_EQ(*d.value(QStringLiteral("shouldAntialias")), PropertyList(true));
    EXPECT_TRUE(d.value(QStringLiteral("myOwnKey"))->dictionaryValue().value(QStringLiteral("n"))->isReal());
    EXPECT_EQ(*d.value(QStringLiteral("tabWidth")), PropertyList(8));
    EXPECT_EQ(exported.resources(), base.resources());
    EXPECT_EQ(test::readFile(out + QStringLiteral("/Themes/X.cottheme")), themeBytes);
    // Info keeps its other keys; date and version are new.
    EXPECT_EQ(exported.info().value(QStringLiteral("build"))->stringValue(), QStringLiteral("712"));
    EXPECT_NE(*exported.info().value(QStringLiteral("date")), *base.info().value(QStringLiteral("date")));
    EXPECT_EQ(exported.info().keys(), base.info().keys());
}
