#include "SyntaxTestSupport.h"

#include "platform/foundation/Bundle.h"
#include "theme/EditorThemeStore.h"
#include "theme/ThemeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>

using namespace korimado;
using namespace korimado::test;

namespace {

const QByteArray swiftInfo = R"j({"fileMap": {"extensions": ["SWIFT", "swiftinterface"], "filenames": ["Package.resolved"]}})j";

std::optional<SyntaxLanguage> find(const std::vector<SyntaxLanguage>& list, const QString& id)
{
    const auto it = std::find_if(list.begin(), list.end(), [&](const SyntaxLanguage& l) { return l.id == id; });
    return it == list.end() ? std::nullopt : std::optional(*it);
}

QStringList displayNames(const std::vector<SyntaxLanguage>& list)
{
    QStringList names;
    for (const SyntaxLanguage& l : list) names.append(l.displayName);
    return names;
}

}  // namespace

TEST(CotSyntaxCatalog, PackageMergesIntoItsBuiltInLanguage)
{
    TempDir root;
    writePackage(root, "Swift", swiftInfo,
                 R"j({"comment": {"inlines": [{"begin": "///"}], "blocks": [{"begin": "/*"}]}})j",
                 R"j([{"text": "actor", "type": "keywords"}, {"text": "macro", "type": "keywords"}, {"text": "Codable"}, {"text": "URL"}])j");
    ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", root.path().toUtf8());
    const std::vector<SyntaxLanguage> list = CotSyntaxCatalog::buildLanguages();
    ASSERT_EQ(list.size(), 12u) << "merged, not appended";

    const SyntaxLanguage swift = *find(list, "swift");
    EXPECT_EQ(swift.displayName, "Swift");
    EXPECT_EQ(swift.fileExtensions, QStringList({"swift", "swiftinterface"})) << "lowercased, no repeats";
    EXPECT_EQ(swift.filenames, QStringList({"Package.resolved"}));
    EXPECT_EQ(swift.keywords.size(), 73) << "actor already there, macro appended";
    EXPECT_EQ(swift.keywords.last(), "macro");
    EXPECT_EQ(swift.completionWords.mid(14), QStringList({"actor", "macro", "URL"}));
    EXPECT_EQ(swift.lineComment, std::optional<QString>("///"));
    EXPECT_EQ(swift.blockComment, builtInLanguage("swift").blockComment) << "a block without end keeps the built-in pair";
    EXPECT_EQ(swift.snippets, builtInLanguage("swift").snippets);
    EXPECT_EQ(swift.definitionPriority, 0);
    EXPECT_EQ(swift.definitionSource, std::optional<QString>(root.file("Swift.cotsyntax")));
}

TEST(CotSyntaxCatalog, FixedNamesIdentifiersAndOrderOfAppendedLanguages)
{
    TempDir root;
    for (const char* name : {"C++", "Shell Script", "Plain Text", "Objective-C", "Objective-C++", "Lang10", "Lang2", "zeta", "Alpha"}) {
        writePackage(root, QString::fromUtf8(name), "{}");
    }
    writePackage(root, "Upper", "{}");
    QDir().rename(root.file("Upper.cotsyntax"), root.file("Upper.COTSYNTAX"));
    writePackage(root, ".Hidden", "{}");
    ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", root.path().toUtf8());
    const std::vector<SyntaxLanguage> list = CotSyntaxCatalog::buildLanguages();

    EXPECT_EQ(find(list, "shell")->definitionSource, std::optional<QString>(root.file("Shell Script.cotsyntax")));
    EXPECT_EQ(find(list, "plain")->definitionPriority, 0);
    ASSERT_TRUE(find(list, "c-plus-plus"));
    EXPECT_EQ(find(list, "c-plus-plus")->displayName, "C++");
    EXPECT_EQ(find(list, "c")->definitionPriority, 1000) << "C++ is not C";
    // Objective-C and Objective-C++ share one identifier: the second merges onto the first.
    const SyntaxLanguage objc = *find(list, "objective-c");
    EXPECT_EQ(objc.definitionSource, std::optional<QString>(root.file("Objective-C++.cotsyntax")));
    EXPECT_EQ(objc.displayName, "Objective-C");
    EXPECT_FALSE(find(list, "upper")) << "the extension is matched case-sensitively";
    EXPECT_FALSE(find(list, "hidden"));

    const QStringList appended = displayNames(std::vector<SyntaxLanguage>(list.begin() + 12, list.end()));
    EXPECT_EQ(appended, QStringList({"Alpha", "C++", "Lang2", "Lang10", "Objective-C", "zeta"}));

    EXPECT_EQ(CotSyntaxCatalog::identifier("Visual Basic"), "visual-basic");
    EXPECT_EQ(CotSyntaxCatalog::identifier("--Objective-C++--"), "objective-c");
    EXPECT_EQ(CotSyntaxCatalog::identifier("+++"), "");
    EXPECT_EQ(CotSyntaxCatalog::identifier("Ünïcode 日本語"), "ünïcode-日本語");
}

TEST(CotSyntaxCatalog, EarlierRootsClaimNamesEvenWithABrokenPackage)
{
    TempDir user;
    TempDir other;
    writePackage(user, "Broken", "not json");
    writePackage(other, "broken", "{}");
    writePackage(other, "Swift", swiftInfo);
    writePackage(other, "swift", "{}");  // same name in one root: the first in order wins
    // Only one root is read when the environment names one; the user folder stands for the
    // earlier root here through two builds with different roots.
    {
        ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", user.path().toUtf8());
        EXPECT_FALSE(find(CotSyntaxCatalog::buildLanguages(), "broken"));
    }
    ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", other.path().toUtf8());
    const std::vector<SyntaxLanguage> list = CotSyntaxCatalog::buildLanguages();
    ASSERT_TRUE(find(list, "broken"));
    const int swiftPackages = static_cast<int>(std::count_if(list.begin(), list.end(), [](const SyntaxLanguage& l) { return l.id == "swift"; }));
    EXPECT_EQ(swiftPackages, 1);
}

TEST(CotSyntaxCatalog, UserFolderComesBeforeResourcesAndHidesTheirPackages)
{
    ScopedEnvironment noRoot("KORIMADO_SYNTAX_ROOT", std::nullopt);
    const QString user = CotSyntaxCatalog::userSyntaxDirectory();
    EXPECT_TRUE(user.endsWith("/Korimado/Syntaxes"));
    EXPECT_TRUE(user.startsWith(testDataHome()));
    QDir(user).removeRecursively();
    QDir().mkpath(user + "/Broken Swift.cotsyntax");
    QFile info(user + "/Swift.cotsyntax/Info.json");
    QDir().mkpath(user + "/Swift.cotsyntax");
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write("{\"fileMap\": {\"extensions\": [\"swift\"]}}");
    info.close();

    const std::vector<SyntaxLanguage> list = CotSyntaxCatalog::buildLanguages();
    EXPECT_EQ(find(list, "swift")->definitionSource, std::optional<QString>(user + "/Swift.cotsyntax"));
    EXPECT_EQ(find(list, "swift")->definitionPriority, 0);
    QDir(user).removeRecursively();
}

TEST(CotSyntaxCatalog, DecodingIsAllOrNothingPerFile)
{
    TempDir root;
    const QString path = writePackage(root, "Lang", R"j({"fileMap": {"extensions": ["LNG"], "interpreters": ["lang"]}})j",
                                      R"j({"comment": {"inlines": [{"begin": "#"}, {"end": "x"}]}})j",
                                      R"j([{"text": "a", "type": "keywords"}, {"type": "keywords"}])j",
                                      R"j({"keywords": [{"begin": "if"}, {"end": "x"}]})j",
                                      R"j([{"pattern": "^fn (\\w+)", "template": "$1"}, {"pattern": "x"}])j");
    std::optional<SyntaxLanguage> language = CotSyntaxCatalog::loadPackage(path, 2);
    ASSERT_TRUE(language);
    EXPECT_EQ(language->fileExtensions, QStringList({"lng"}));
    EXPECT_FALSE(language->lineComment);
    EXPECT_TRUE(language->keywords.isEmpty());
    EXPECT_TRUE(language->completionWords.isEmpty());
    EXPECT_TRUE(language->importedHighlightRules.empty());
    EXPECT_TRUE(language->importedOutlineRules.empty());
    EXPECT_EQ(language->definitionPriority, 2);

    root.write("Lang.cotsyntax/Info.json", R"j({"fileMap": {"extensions": "lng"}})j");
    EXPECT_FALSE(CotSyntaxCatalog::loadPackage(path, 0)) << "a fileMap list of the wrong type";
    root.write("Lang.cotsyntax/Info.json", "[]");
    EXPECT_FALSE(CotSyntaxCatalog::loadPackage(path, 0)) << "not an object";
    root.write("Lang.cotsyntax/Info.json", R"j({"fileMap": null, "other": 1})j");
    EXPECT_TRUE(CotSyntaxCatalog::loadPackage(path, 0)) << "null and unknown keys are fine";
    root.write("Lang.cotsyntax/Info.json", QByteArray(4'000'001, ' ') + "{}");
    EXPECT_FALSE(CotSyntaxCatalog::loadPackage(path, 0)) << "too large";
}

TEST(CotSyntaxCatalog, ImportedRulesAreBuiltFromCommentsStringsAndHighlightGroups)
{
    TempDir root;
    const QString path = writePackage(
        root, "Lang", "{}",
        R"j({"comment": {"inlines": [{"begin": "//", "end": "ignored", "ignoreCase": true}], "blocks": [{"begin": "(*", "end": "*)"}, {"begin": "{-"}]},
            "stringDelimiters": [{"begin": "\"", "end": "\""}, {"begin": "'''", "end": "'''", "isMultiline": true}, {"begin": "`"}]})j",
        {},
        R"j({"keywords": [{"begin": "a.b"}, {"begin": "a.b", "regularExpression": true}],
            "types": [{"begin": "<", "end": ">", "isMultiline": true}],
            "unknownGroup": [{"begin": "zzz"}]})j",
        R"j([{"pattern": "^fn (\\w+)", "template": "$1", "kind": "function"}, {"pattern": "x", "template": "y", "ignoreCase": true}])j");
    const SyntaxLanguage language = *CotSyntaxCatalog::loadPackage(path, 0);
    EXPECT_EQ(language.lineComment, std::optional<QString>("//"));
    EXPECT_EQ(language.blockComment, std::make_optional(std::make_pair(QString("(*"), QString("*)"))));

    using K = SyntaxTokenKind;
    const std::vector<SyntaxRegexRule> expected = {
        {R"j(\/\/.*$)j", K::comment, true, false},
        {R"j((?:\(\*)(?s:.*?)(?:\*\)))j", K::comment, false, true},
        {R"j((?:")[^\r\n]*?(?:"))j", K::string, false, false},
        {R"j((?:''')(?s:.*?)(?:'''))j", K::string, false, true},
        {R"j(a\.b)j", K::keyword, false, false},
        {R"j(a.b)j", K::keyword, false, false},
        {R"j((?:<)(?s:.*?)(?:>))j", K::type, false, true},
    };
    EXPECT_EQ(language.importedHighlightRules, expected);
    const std::vector<SyntaxOutlineRule> outlines = {{R"j(^fn (\w+))j", "$1", false, "function"}, {"x", "y", true, "value"}};
    EXPECT_EQ(language.importedOutlineRules, outlines);
}

TEST(CotSyntaxCatalog, RootFromTheEnvironmentAndTheFingerprint)
{
    TempDir root;
    const QString missing = root.file("absent");
    {
        ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", missing.toUtf8());
        EXPECT_EQ(CotSyntaxCatalog::buildLanguages().size(), 12u) << "nothing else is read, not even the resources";
        EXPECT_EQ(CotSyntaxCatalog::currentReloadFingerprint(), missing + "|missing");
    }
    {
        ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", "");
        EXPECT_EQ(CotSyntaxCatalog::currentReloadFingerprint().section('|', 0, 0), CotSyntaxCatalog::userSyntaxDirectory())
            << "an empty value counts as unset";
    }
    ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", root.path().toUtf8());
    EXPECT_EQ(CotSyntaxCatalog::currentReloadFingerprint(), root.path() + "|");
    root.write("B.cotsyntax/Info.json", "{}");
    root.write("A.cotsyntax/Regex/Outlines.json", "[]");
    root.write(".hidden/x.json", "{}");
    const QStringList lines = CotSyntaxCatalog::currentReloadFingerprint().mid(root.path().size() + 1).split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("A.cotsyntax/Regex/Outlines.json|2|"));
    EXPECT_TRUE(lines[1].startsWith("B.cotsyntax/Info.json|2|"));
    EXPECT_TRUE(lines[1].section('|', 2).contains('.')) << "seconds as a double";
}

TEST(CotSyntaxCatalog, ReloadRebuildsOnlyWhenTheFingerprintMoves)
{
    TempDir root;
    ScopedSyntaxRoot scoped(root.path());
    CotSyntaxCatalog& catalog = CotSyntaxCatalog::shared();
    EXPECT_EQ(catalog.languages().size(), 12u);
    EXPECT_EQ(SyntaxLanguage::detect(QString("/x/a.lng")).id, "plain");

    writePackage(root, "Lang", R"j({"fileMap": {"extensions": ["lng", "swift"]}})j");
    catalog.reloadIfNeeded();
    EXPECT_EQ(catalog.languages().size(), 13u);
    EXPECT_EQ(SyntaxLanguage::detect(QString("/x/a.lng")).id, "lang");
    EXPECT_EQ(SyntaxLanguage::detect(QString("/x/a.swift")).id, "lang") << "a package's priority beats a built-in one";
    EXPECT_EQ(SyntaxLanguage::named(QString("LANG")).id, "lang");

    {
        std::lock_guard guard(catalog.lock);
        catalog.cachedLanguages.pop_back();  // a rebuild would put it back
    }
    catalog.reloadIfNeeded();
    EXPECT_EQ(catalog.languages().size(), 12u) << "same fingerprint: nothing rebuilt";
    std::lock_guard guard(catalog.lock);
    catalog.reloadFingerprint.clear();
}

TEST(CotSyntaxCatalog, TiesInDetectionGoToTheEarlierLanguage)
{
    TempDir root;
    writePackage(root, "Beta", R"j({"fileMap": {"extensions": ["dup"]}})j");
    writePackage(root, "Alpha", R"j({"fileMap": {"extensions": ["dup"], "filenames": ["Dupfile"]}})j");
    ScopedSyntaxRoot scoped(root.path());
    EXPECT_EQ(SyntaxLanguage::detect(QString("/x/y.dup")).id, "alpha");
    EXPECT_EQ(SyntaxLanguage::detect(QString("/x/Dupfile")).id, "alpha");
}

TEST(CotSyntaxCatalog, AWholeFileNameBeatsAnExtensionOfTheSamePriority)
{
    TempDir root;
    writePackage(root, "Alpha", R"j({"fileMap": {"extensions": ["conf"]}})j");
    writePackage(root, "Web", R"j({"fileMap": {"filenames": ["web.conf"]}})j");
    ScopedSyntaxRoot scoped(root.path());
    EXPECT_EQ(SyntaxLanguage::detect(QString("/etc/web.conf")).id, "web");
    EXPECT_EQ(SyntaxLanguage::detect(QString("/etc/other.conf")).id, "alpha");
}

// Looking for packages and themes leaves the user's data folder as it was; only installing a
// theme creates the folders it needs.
TEST(CotSyntaxCatalog, LookingCreatesNoDataFolderInstallingDoes)
{
    TempDir home;
    const QString data = home.path() + "/data";
    ScopedEnvironment dataHome("XDG_DATA_HOME", data.toUtf8());
    ScopedEnvironment noRoot("KORIMADO_SYNTAX_ROOT", std::nullopt);

    EXPECT_EQ(CotSyntaxCatalog::userSyntaxDirectory(), data + "/Korimado/Syntaxes");
    EXPECT_GT(CotSyntaxCatalog::buildLanguages().size(), 11u);
    EXPECT_TRUE(CotSyntaxCatalog::currentReloadFingerprint().endsWith("|missing"));
    EditorThemeStore store(Bundle::main());
    EXPECT_FALSE(store.availableThemeNames().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(data + "/Korimado")) << "nothing was installed";

    store.installTheme(test::themeBytes(QString("Mine")), std::nullopt, false);
    EXPECT_TRUE(QFileInfo::exists(data + "/Korimado/Themes/Mine.cottheme"));
}
