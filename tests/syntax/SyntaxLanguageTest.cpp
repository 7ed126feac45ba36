#include "SyntaxTestSupport.h"

#include <gtest/gtest.h>

using namespace korimado;
using namespace korimado::test;

namespace {

class BuiltInCatalog : public ::testing::Test {
protected:
    TempDir empty;
    ScopedSyntaxRoot root{empty.path()};
};

}  // namespace

TEST(SyntaxLanguage, BuiltInListHasTheTwelveLanguagesWithTheirWordsAndSnippets)
{
    const std::vector<SyntaxLanguage>& list = SyntaxLanguage::builtIn();
    QStringList ids;
    for (const SyntaxLanguage& language : list) {
        ids.append(language.id);
        EXPECT_EQ(language.definitionPriority, 1000) << language.id.toStdString();
        EXPECT_FALSE(language.definitionSource) << language.id.toStdString();
        EXPECT_TRUE(language.importedHighlightRules.empty());
    }
    EXPECT_EQ(ids.join(' '), "plain swift javascript typescript python json markdown html css shell c sql");

    const auto counts = [](const char* id) {
        const SyntaxLanguage l = builtInLanguage(QString::fromLatin1(id));
        return std::make_pair(l.keywords.size(), l.completionWords.size());
    };
    EXPECT_EQ(counts("swift"), std::make_pair(qsizetype(72), qsizetype(14)));
    EXPECT_EQ(counts("javascript"), std::make_pair(qsizetype(45), qsizetype(19)));
    EXPECT_EQ(counts("typescript"), std::make_pair(qsizetype(74), qsizetype(13)));
    EXPECT_EQ(counts("python"), std::make_pair(qsizetype(37), qsizetype(25)));
    EXPECT_EQ(counts("json"), std::make_pair(qsizetype(3), qsizetype(3)));
    EXPECT_EQ(counts("html"), std::make_pair(qsizetype(0), qsizetype(39)));
    EXPECT_EQ(counts("css"), std::make_pair(qsizetype(10), qsizetype(22)));
    EXPECT_EQ(counts("shell"), std::make_pair(qsizetype(21), qsizetype(27)));
    EXPECT_EQ(counts("c"), std::make_pair(qsizetype(64), qsizetype(15)));
    EXPECT_EQ(counts("sql"), std::make_pair(qsizetype(64), qsizetype(11)));
    EXPECT_EQ(counts("markdown"), std::make_pair(qsizetype(0), qsizetype(0)));

    const SyntaxLanguage html = builtInLanguage("html");
    ASSERT_EQ(html.snippets.size(), 1u);
    EXPECT_TRUE(html.snippets[0].body.startsWith("<!doctype html>\n<html lang=\"ja\">"));
    EXPECT_TRUE(builtInLanguage("plain").snippets.empty());
    EXPECT_EQ(builtInLanguage("shell").snippets[0].body, "#!/usr/bin/env bash\nset -euo pipefail\n");
    const SyntaxLanguage python = builtInLanguage("python");
    EXPECT_EQ(python.lineComment, std::optional<QString>("#"));
    EXPECT_FALSE(python.blockComment);
    EXPECT_EQ(builtInLanguage("sql").lineComment, std::optional<QString>("--"));
    EXPECT_EQ(builtInLanguage("markdown").blockComment, std::make_optional(std::make_pair(QString("<!--"), QString("-->"))));
}

TEST(SyntaxLanguage, WordsSplitAtSingleSpacesDroppingEmptyPieces)
{
    EXPECT_TRUE(SyntaxLanguage::words("").isEmpty());
    EXPECT_EQ(SyntaxLanguage::words("a  b"), QStringList({"a", "b"}));
    EXPECT_EQ(SyntaxLanguage::words(" a b "), QStringList({"a", "b"}));
}

TEST(SyntaxLanguage, EqualityIsByIdentifierOnly)
{
    SyntaxLanguage a = builtInLanguage("swift");
    SyntaxLanguage b;
    b.id = "swift";
    EXPECT_EQ(a, b);
    b.id = "Swift";
    EXPECT_NE(a, b);
}

TEST_F(BuiltInCatalog, DetectsByLowercasedExtensionAndExactFileName)
{
    const auto detect = [](const char* path) { return SyntaxLanguage::detect(QString::fromUtf8(path)).id.toStdString(); };
    EXPECT_EQ(SyntaxLanguage::detect(std::nullopt).id, "plain");
    EXPECT_EQ(detect("/tmp/notes"), "plain");
    EXPECT_EQ(detect("/tmp/Makefile"), "shell");
    EXPECT_EQ(detect("/tmp/makefile"), "plain") << "file names are case-sensitive";
    EXPECT_EQ(detect("/tmp/README"), "markdown");
    EXPECT_EQ(detect("/tmp/README.txt"), "plain");
    EXPECT_EQ(detect("/tmp/X.SWIFT"), "swift");
    EXPECT_EQ(detect("/tmp/a.h"), "c");
    EXPECT_EQ(detect("/home/u/.zshrc"), "shell");
    EXPECT_EQ(detect("/tmp/data.GeoJSON"), "json");
    EXPECT_EQ(detect("/tmp/style.scss"), "css");
    EXPECT_EQ(detect("/tmp/archive.tar.sql"), "sql");
    EXPECT_EQ(detect("/tmp/.txt"), "plain") << "a leading dot is no extension";
    EXPECT_EQ(detect("/tmp/dir.py/"), "python") << "a trailing slash still names the item";
}

TEST_F(BuiltInCatalog, EveryBuiltInExtensionBelongsToExactlyOneLanguage)
{
    QStringList seen;
    for (const SyntaxLanguage& language : SyntaxLanguage::builtIn()) {
        for (const QString& extension : language.fileExtensions) {
            EXPECT_FALSE(seen.contains(extension)) << extension.toStdString();
            seen.append(extension);
            EXPECT_EQ(SyntaxLanguage::detect("/x/file." + extension.toUpper()).id, language.id);
        }
    }
}

TEST_F(BuiltInCatalog, NamedFindsIdentifiersLowercasedAndDisplayNamesExactly)
{
    const auto named = [](const char* name) { return SyntaxLanguage::named(QString::fromUtf8(name)).id.toStdString(); };
    EXPECT_EQ(named("Swift"), "swift");
    EXPECT_EQ(named("SWIFT"), "swift");
    EXPECT_EQ(named("シェルスクリプト"), "shell");
    EXPECT_EQ(named("C / C++ / Objective-C"), "c");
    EXPECT_EQ(named("c / c++ / objective-c"), "plain");
    EXPECT_EQ(named("py"), "plain") << "extensions are not names";
    EXPECT_EQ(SyntaxLanguage::named(std::nullopt).id, "plain");
}

TEST(SyntaxSnippet, ListDecodesInOrderAndRejectsAnyIncompleteElement)
{
    const auto list = SyntaxSnippet::decodeList(R"j([{"name":"a","body":"1"},{"name":"b","body":"2","x":3}])j");
    ASSERT_TRUE(list);
    EXPECT_EQ(*list, (std::vector<SyntaxSnippet>{{"a", "1"}, {"b", "2"}}));
    EXPECT_FALSE(SyntaxSnippet::decodeList(R"j([{"name":"a","body":"1"},{"name":"b"}])j"));
    EXPECT_FALSE(SyntaxSnippet::decodeList(R"j([{"name":"a","body":1}])j"));
    EXPECT_EQ(SyntaxSnippet::decodeList(SyntaxSnippet::encodeList(*list)), list);

    // A snippet that inserts a byte-order mark keeps it through the stored list.
    const std::vector<SyntaxSnippet> marked{{QStringLiteral("\uFEFFBOM"), QStringLiteral("\uFEFF")}};
    EXPECT_EQ(SyntaxSnippet::decodeList(SyntaxSnippet::encodeList(marked)), marked);
}
