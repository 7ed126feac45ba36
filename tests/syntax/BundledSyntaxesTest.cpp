#include "SyntaxTestSupport.h"

#include "platform/foundation/Bundle.h"
#include "syntax/SyntaxParser.h"
#include "syntax/SyntaxRegex.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace korimado;
using namespace korimado::test;

namespace {

QStringList bundledPackages()
{
    const QString folder = Bundle::main().resourcePath() + "/Syntaxes";
    QStringList paths;
    for (const QString& name : QDir(folder).entryList({"*.cotsyntax"}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        paths.append(folder + '/' + name);
    }
    return paths;
}

}  // namespace

TEST(BundledSyntaxes, EveryPackageLoadsWholeAndEveryExpressionCompiles)
{
    const QStringList packages = bundledPackages();
    if (packages.isEmpty()) GTEST_SKIP() << "no bundled syntax packages yet";

    for (const QString& path : packages) {
        SCOPED_TRACE(path.toStdString());
        const std::optional<SyntaxLanguage> language = CotSyntaxCatalog::loadPackage(path, 1);
        ASSERT_TRUE(language);
        EXPECT_FALSE(language->id.isEmpty());
        // A file that is present must decode: a broken one would silently drop its part.
        for (const char* file : {"/Edit.json", "/Completion.json", "/Regex/Highlights.json", "/Regex/Outlines.json"}) {
            const QString filePath = path + file;
            if (!QFileInfo::exists(filePath)) continue;
            const QString name = QString::fromLatin1(file);
            const bool decoded = name == "/Edit.json"         ? CotSyntaxCatalog::decodeEdit(filePath).has_value()
                                 : name == "/Completion.json" ? CotSyntaxCatalog::decodeCompletions(filePath).has_value()
                                 : name.contains("Highlights") ? CotSyntaxCatalog::decodeHighlights(filePath).has_value()
                                                               : CotSyntaxCatalog::decodeOutlines(filePath).has_value();
            EXPECT_TRUE(decoded) << file;
        }

        for (const SyntaxParser::Pattern& pattern : SyntaxParser::patterns(*language)) {
            EXPECT_TRUE(SyntaxRegex(pattern.pattern, pattern.options).isValid()) << pattern.pattern.toStdString();
        }
        for (const SyntaxOutlineRule& rule : language->importedOutlineRules) {
            EXPECT_TRUE(SyntaxRegex(rule.pattern, SyntaxRegex::anchorsMatchLines).isValid()) << rule.pattern.toStdString();
        }
        // Each package's rules run over a small text without trouble.
        const SyntaxParser::Result result = SyntaxParser::parse("x = 1 // a\n\"s\" # b\n<tag>", *language);
        EXPECT_FALSE(result.truncated);
    }
}

TEST(BundledSyntaxes, CatalogOfTheBundleHasSeventyLanguages)
{
    const QStringList packages = bundledPackages();
    if (packages.size() < 58) GTEST_SKIP() << "bundled syntax packages not complete yet";
    ScopedEnvironment environment("KORIMADO_SYNTAX_ROOT", (Bundle::main().resourcePath() + "/Syntaxes").toUtf8());
    EXPECT_GT(CotSyntaxCatalog::buildLanguages().size(), 69u);
}

TEST(BundledSyntaxes, FilesOpenInTheLanguageTheyAreWrittenIn)
{
    ScopedSyntaxRoot scoped(Bundle::main().resourcePath() + "/Syntaxes");
    const auto detected = [](const char* path) { return SyntaxLanguage::detect(QString::fromLatin1(path)).displayName; };
    EXPECT_EQ(detected("/etc/nginx/nginx.conf"), "nginx") << "its own name beats INI's conf";
    EXPECT_EQ(detected("/etc/apache2/apache2.conf"), "Apache");
    EXPECT_EQ(detected("/etc/other.conf"), "INI");
    EXPECT_EQ(detected("/src/app/Cargo.lock"), "TOML");
    EXPECT_EQ(detected("/src/app/stack.yaml.lock"), "YAML");
    EXPECT_EQ(detected("/src/app/main.rs"), "Rust");
    EXPECT_EQ(detected("/home/ann/matlab/startup.m"), "MATLAB");
    EXPECT_EQ(detected("/src/app/main.m"), "Objective-C");
}
