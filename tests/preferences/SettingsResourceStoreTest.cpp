#include "ArchiveTestSupport.h"

#include "preferences/archive/SettingsArchiveImportSummary.h"
#include "preferences/archive/SettingsArchiveStore.h"
#include "preferences/archive/SettingsResourceStore.h"
#include "theme/EditorThemeStore.h"
#include "theme/ThemeTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace korimado;

namespace {

FileWrapper file(const QByteArray& bytes)
{
    return FileWrapper::regularFile(bytes);
}

FileWrapper folder(std::initializer_list<std::pair<const char*, FileWrapper>> children)
{
    FileWrapper result = FileWrapper::directory();
    for (const auto& [name, child] : children) result.addFileWrapper(QString::fromUtf8(name), child);
    return result;
}

QByteArray theme(const QString& name)
{
    return test::themeBytes(name);
}

const QByteArray kRules =
    "{\"replacements\":[{\"findString\":\"a\",\"replacementString\":\"b\"}],"
    "\"settings\":{\"textualOptions\":0,\"regexOptions\":0}}";

FileWrapper syntax(const QByteArray& info, std::initializer_list<std::pair<const char*, FileWrapper>> more = {})
{
    FileWrapper package = folder(more);
    package.addFileWrapper(QStringLiteral("Info.json"), file(info));
    return package;
}

class ResourceStoreTest : public ::testing::Test {
protected:
    SettingsResourceActivationSummary activate(const SettingsArchive::Resources& resources)
    {
        return store.activate(SettingsArchive(test::validInfo(), {}, resources));
    }
    // The reason a single syntax package is refused with, or empty when installed.
    QString syntaxReason(const FileWrapper& package, const char* name = "Go.cotsyntax")
    {
        const auto summary = activate({{QStringLiteral("Syntaxes"), folder({{name, package}})}});
        return summary.rejected.value(QStringLiteral("Syntaxes/") + QString::fromLatin1(name));
    }

    test::TempDir dir;
    EditorThemeStore themes{std::nullopt, dir.file(QStringLiteral("Themes"))};
    SettingsResourceStore store{dir.file(QStringLiteral("Syntaxes")), dir.file(QStringLiteral("Replacements")), themes};
};

QString unreadable(const QString& path)
{
    return QStringLiteral("設定アーカイブの「") + path + QStringLiteral("」を読み取れません。");
}

}  // namespace

TEST_F(ResourceStoreTest, FoldersAndThemes)
{
    EXPECT_EQ(activate({{QStringLiteral("notes"), folder({{"a.txt", file("a")}})}}), SettingsResourceActivationSummary());

    themes.installTheme(theme(QStringLiteral("Dark")), std::nullopt, false);
    const auto summary = activate({
        {QStringLiteral("Themes"), folder({{"readme.txt", file("x")}, {"Dark.COTTHEME", file(theme(QStringLiteral("Dark")))},
                                           {"Bad.cottheme", file("{")}, {"Folder.cottheme", folder({})},
                                           {"Unnamed.cottheme", file(theme(QString()))}})},
        {QStringLiteral("Replacements"), file("not a folder")},
    });
    EXPECT_EQ(summary.activated, (QStringList{QStringLiteral("Themes/Dark.COTTHEME"), QStringLiteral("Themes/Unnamed.cottheme")}));
    EXPECT_EQ(summary.rejected.value(QStringLiteral("Themes/readme.txt")), QStringLiteral(".cotthemeファイルではありません"));
    EXPECT_EQ(summary.rejected.value(QStringLiteral("Themes/Folder.cottheme")), QStringLiteral(".cotthemeファイルではありません"));
    EXPECT_FALSE(summary.rejected.value(QStringLiteral("Themes/Bad.cottheme")).isEmpty());
    EXPECT_EQ(summary.rejected.value(QStringLiteral("Replacements")), QStringLiteral("フォルダではありません"));
    EXPECT_TRUE(themes.availableThemeNames().contains(QStringLiteral("Unnamed")));

    // "Themes" as a file is one rejection; the other folders are still handled.
    const auto second = activate({{QStringLiteral("Themes"), file("x")},
                                  {QStringLiteral("Replacements"), folder({{"r.cotrpl", file(kRules)}})}});
    EXPECT_EQ(second.rejected.value(QStringLiteral("Themes")), QStringLiteral("フォルダではありません"));
    EXPECT_EQ(second.activated, QStringList{QStringLiteral("Replacements/r.cotrpl")});
}

TEST_F(ResourceStoreTest, SyntaxPackageChecks)
{
    const QByteArray info = "{\"fileMap\":{\"extensions\":[\"go\"]}}";
    EXPECT_EQ(syntaxReason(folder({{"Other.json", file("{}")}})), unreadable(QStringLiteral("Go.cotsyntax/Info.json")));
    EXPECT_EQ(syntaxReason(folder({})), unreadable(QStringLiteral("Go.cotsyntax/Info.json")));
    EXPECT_EQ(syntaxReason(file(info)), unreadable(QStringLiteral("Go.cotsyntax/Info.json")));
    EXPECT_EQ(syntaxReason(folder({{"Info.json", folder({})}})), unreadable(QStringLiteral("Go.cotsyntax/Info.json")));
    EXPECT_EQ(syntaxReason(syntax("[]")), unreadable(QStringLiteral("Go.cotsyntax/Info.json")));
    EXPECT_EQ(syntaxReason(syntax("{\"fileMap\":[]}")), unreadable(QStringLiteral("Go.cotsyntax/Info.json fileMap")));
    EXPECT_EQ(syntaxReason(syntax("{\"fileMap\":{\"extensions\":[1]}}")),
              unreadable(QStringLiteral("Go.cotsyntax/Info.json fileMap.extensions")));
    EXPECT_EQ(syntaxReason(syntax("{\"fileMap\":{\"interpreters\":\"go\"}}")),
              unreadable(QStringLiteral("Go.cotsyntax/Info.json fileMap.interpreters")));
    EXPECT_EQ(syntaxReason(syntax(info), "Go.syntax"), QStringLiteral(".cotsyntaxパッケージではありません"));

    // Expressions compile only where they are marked as such.
    const QByteArray unbalanced = "{\"keywords\":[{\"begin\":\"(a\",\"regularExpression\":%1}]}";
    EXPECT_EQ(syntaxReason(syntax(info, {{"Regex", folder({{"Highlights.json", file(QByteArray(unbalanced).replace("%1", "true"))}})}})),
              unreadable(QStringLiteral("Go.cotsyntax/Regex/Highlights.json")));
    EXPECT_EQ(syntaxReason(syntax(info, {{"Regex", folder({{"Highlights.json", file(QByteArray(unbalanced).replace("%1", "false"))}})}})),
              QString());
    EXPECT_EQ(syntaxReason(syntax(info, {{"Regex", folder({{"Highlights.json", file("{\"keywords\":[{}]}")}})}})),
              unreadable(QStringLiteral("Go.cotsyntax/Regex/Highlights.json")));
    EXPECT_EQ(syntaxReason(syntax(info, {{"Regex", folder({{"Highlights.json",
                                                            file("{\"k\":[{\"begin\":\"a\",\"end\":\"[\",\"regularExpression\":true}]}")}})}})),
              unreadable(QStringLiteral("Go.cotsyntax/Regex/Highlights.json")));
    EXPECT_EQ(syntaxReason(syntax(info, {{"Regex", folder({{"Outlines.json", file("[{\"pattern\":\"func\"}]")}})}})),
              unreadable(QStringLiteral("Go.cotsyntax/Regex/Outlines.json")));
    EXPECT_EQ(syntaxReason(syntax(info, {{"Regex", folder({{"Outlines.json", file("[{\"pattern\":\"(\",\"template\":\"$0\"}]")}})}})),
              unreadable(QStringLiteral("Go.cotsyntax/Regex/Outlines.json")));
    EXPECT_EQ(syntaxReason(syntax(info, {{"Completion.json", file("[{}]")}})), unreadable(QStringLiteral("Go.cotsyntax/Completion.json")));
    EXPECT_EQ(syntaxReason(syntax(info, {{"Completion.json", file("[]")}})), QString());
    // A stray JSON file anywhere in the package is read; other files are not.
    EXPECT_EQ(syntaxReason(syntax(info, {{"docs", folder({{"deep", folder({{"notes.JSON", file("{")}})}})}})),
              unreadable(QStringLiteral("Go.cotsyntax/docs/deep/notes.JSON")));
    EXPECT_EQ(syntaxReason(syntax(info, {{"docs", folder({{"notes.txt", file("{")}})}, {"Regex", file("x")}})), QString());
}

TEST_F(ResourceStoreTest, PackagesReplaceWholeInAscendingOrderAndLinksAreNotFollowed)
{
    const QByteArray info = "{}";
    const QString installed = dir.file(QStringLiteral("Syntaxes/Go.cotsyntax"));
    dir.write(QStringLiteral("Syntaxes/Go.cotsyntax/Old.json"), "{}");
    // A link where a package goes is replaced, and what it leads to is left alone.
    dir.write(QStringLiteral("outside/keep.txt"), "keep");
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("outside")), dir.file(QStringLiteral("Syntaxes/Rust.cotsyntax"))));
    const auto summary = activate({{QStringLiteral("Syntaxes"),
                                    folder({{"Rust.cotsyntax", syntax(info)}, {"Go.cotsyntax", syntax(info, {{"New.json", file("[]")}})}})}});
    EXPECT_EQ(summary.activated, (QStringList{QStringLiteral("Syntaxes/Go.cotsyntax"), QStringLiteral("Syntaxes/Rust.cotsyntax")}));
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral("/Old.json")));
    EXPECT_TRUE(QFileInfo::exists(installed + QStringLiteral("/New.json")));
    EXPECT_FALSE(QFileInfo(dir.file(QStringLiteral("Syntaxes/Rust.cotsyntax"))).isSymLink());
    EXPECT_EQ(QDir(dir.file(QStringLiteral("outside"))).entryList(QDir::Files), QStringList{QStringLiteral("keep.txt")});
}

TEST_F(ResourceStoreTest, ReplacementDefinitions)
{
    const auto summary = activate({{QStringLiteral("Replacements"),
                                    folder({{"good.cotrpl", file(kRules)}, {"bad.cotrpl", file("{}")},
                                            {"dir.cotrpl", folder({})}, {"notes.txt", file("x")}})}});
    EXPECT_EQ(summary.activated, QStringList{QStringLiteral("Replacements/good.cotrpl")});
    EXPECT_EQ(test::readFile(dir.file(QStringLiteral("Replacements/good.cotrpl"))), kRules);
    EXPECT_TRUE(summary.rejected.value(QStringLiteral("Replacements/bad.cotrpl")).startsWith(QStringLiteral(".cotrpl置換定義を読み込めません。")));
    EXPECT_EQ(summary.rejected.value(QStringLiteral("Replacements/dir.cotrpl")), QStringLiteral(".cotrplファイルではありません"));
    EXPECT_EQ(summary.rejected.value(QStringLiteral("Replacements/notes.txt")), QStringLiteral(".cotrplファイルではありません"));

    // A folder that cannot be made is a reason, not a stop.
    dir.write(QStringLiteral("blocked"), "a file");
    SettingsResourceStore blocked(dir.file(QStringLiteral("Syntaxes")), dir.file(QStringLiteral("blocked/Replacements")), themes);
    const auto failed = blocked.activate(SettingsArchive(test::validInfo(), {},
                                                         {{QStringLiteral("Replacements"), folder({{"good.cotrpl", file(kRules)}})}}));
    EXPECT_TRUE(failed.activated.isEmpty());
    EXPECT_FALSE(failed.rejected.value(QStringLiteral("Replacements/good.cotrpl")).isEmpty());
}

TEST(ImportSummary, IncludingByWholeComponentsAndDisplayText)
{
    SettingsArchiveImportSummary summary;
    EXPECT_EQ(summary.displayText(), QStringLiteral("適用した設定：なし"));

    summary.preservedResources = {QStringLiteral("Syntaxes/Go.cotsyntax/Info.json"),
                                  QStringLiteral("Syntaxes/Go.cotsyntax/Regex/Highlights.json"),
                                  QStringLiteral("Themes/Dark.cottheme"), QStringLiteral("notes/a.txt"),
                                  QStringLiteral("Syntaxes/Go2.cotsyntax/Info.json")};
    SettingsResourceActivationSummary activation;
    activation.activated = {QStringLiteral("Syntaxes/Go.cotsyntax")};
    activation.rejected.insert(QStringLiteral("Themes/Dark.cottheme"), QStringLiteral("壊れています"));
    activation.rejected.insert(QStringLiteral("Syntaxes/Go"), QStringLiteral("名前"));
    const SettingsArchiveImportSummary merged = summary.including(activation);
    EXPECT_EQ(merged.preservedResources,
              (QStringList{QStringLiteral("notes/a.txt"), QStringLiteral("Syntaxes/Go2.cotsyntax/Info.json")}));
    EXPECT_EQ(merged.activatedResources, QStringList{QStringLiteral("Syntaxes/Go.cotsyntax")});
    EXPECT_EQ(merged.rejectedResources,
              (QStringList{QStringLiteral("Syntaxes/Go（名前）"), QStringLiteral("Themes/Dark.cottheme（壊れています）")}));

    SettingsArchiveImportSummary full = merged;
    full.appliedKeys = {QStringLiteral("タブ幅"), QStringLiteral("テーマ")};
    full.unsupportedKeys = {QStringLiteral("lineHeight")};
    full.unrecognizedKeys = {QStringLiteral("mine")};
    full.warnings = {QStringLiteral("tabWidth（対応範囲外です）")};
    EXPECT_EQ(full.displayText(),
              QStringLiteral("適用した設定：タブ幅、テーマ\n\n"
                             "Korimadoに対応項目がない設定（保持のみ）：lineHeight\n\n"
                             "形式に未登録の設定（保持のみ）：mine\n\n"
                             "有効化したファイル：Syntaxes/Go.cotsyntax\n\n"
                             "不正なため有効化しなかったファイル（アーカイブには保持）：Syntaxes/Go（名前）、Themes/Dark.cottheme（壊れています）\n\n"
                             "適用せず保持したファイル：notes/a.txt、Syntaxes/Go2.cotsyntax/Info.json\n\n"
                             "読み込まなかった値：tabWidth（対応範囲外です）"));
}

TEST(ImportSummary, BaseStoreReplacesTheBaseWhole)
{
    test::TempDir dir;
    const SettingsArchiveStore store(dir.file(QStringLiteral("Korimado/Settings/ImportedBase.cotsettings")));
    SettingsArchive::Resources first{{QStringLiteral("first.txt"), FileWrapper::regularFile("1")}};
    store.saveBase(SettingsArchive(test::validInfo(), {}, first));
    store.saveBase(SettingsArchive(test::validInfo(), {}, {{QStringLiteral("second.txt"), FileWrapper::regularFile("2")}}));
    const SettingsArchive base = SettingsArchive::read(store.baseArchivePath());
    EXPECT_EQ(base.resources().keys(), QStringList{QStringLiteral("second.txt")});

    dir.write(QStringLiteral("blocked"), "file");
    const SettingsArchiveStore blocked(dir.file(QStringLiteral("blocked/Settings/ImportedBase.cotsettings")));
    const auto error = test::archiveError([&] { blocked.saveBase(base); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->localizedDescription().startsWith(QStringLiteral("設定アーカイブを保存できませんでした。")));
    EXPECT_TRUE(SettingsArchiveStore().baseArchivePath().endsWith(QStringLiteral("/Korimado/Settings/ImportedBase.cotsettings")));
}

// A binary list carries dates that the XML the base is stored in cannot: such an archive is
// refused when its base is stored, and the base before it stays readable for the next export.
TEST(ImportSummary, BaseStoreRefusesDatesItCouldNotReadBack)
{
    test::TempDir dir;
    const SettingsArchiveStore store(dir.file(QStringLiteral("Settings/ImportedBase.cotsettings")));
    store.saveBase(SettingsArchive(test::validInfo(), {}, {{QStringLiteral("kept.txt"), FileWrapper::regularFile("1")}}));

    int n = 0;
    for (const double seconds : {3e11, -7e10, std::nan("")}) {
        PropertyList::Dictionary info = test::validInfo();
        PropertyList::Dictionary defaults;
        (n % 2 ? defaults : info).insert(QString::fromLatin1(n % 2 ? "lastUsed" : "date"), PropertyList::Date{seconds});
        const QString name = QStringLiteral("odd%1.cotsettings").arg(n++);
        test::writePackage(dir, name, PropertyList::binaryData(defaults), PropertyList::binaryData(info));
        const SettingsArchive odd = SettingsArchive::read(dir.file(name));
        const auto error = test::archiveError([&] { store.saveBase(odd); });
        ASSERT_TRUE(error) << seconds;
        EXPECT_EQ(error->kind(), SettingsArchiveError::Kind::invalidPropertyList) << seconds;
        EXPECT_EQ(SettingsArchive::read(store.baseArchivePath()).resources().keys(), QStringList{QStringLiteral("kept.txt")});
    }
}
