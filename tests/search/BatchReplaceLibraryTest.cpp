#include "search/batch/BatchReplaceLibrary.h"

#include "search/batch/BatchReplaceEngine.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

BatchReplaceRule rule(const QString& find, SearchMode mode = SearchMode::text)
{
    BatchReplaceRule r;
    r.id = QUuid::createUuid();
    r.find = find;
    r.options = BatchReplaceRule::standardRuleOptions();
    r.options.mode = mode;
    return r;
}

}  // namespace

TEST(BatchReplaceLibrary, ListsOnlyDirectDefinitionFilesSortedByNumberValue)
{
    test::TempDir dir;
    const QByteArray bytes = "[]";
    dir.write(QStringLiteral("規則10.cotrpl"), bytes);
    dir.write(QStringLiteral("規則2.COTRPL"), bytes);
    dir.write(QStringLiteral(".hidden.cotrpl"), bytes);
    dir.write(QStringLiteral("sub/inner.cotrpl"), bytes);
    dir.write(QStringLiteral("notes.json"), bytes);
    QDir(dir.path()).mkdir(QStringLiteral("folder.cotrpl"));
    QFile::link(dir.file(QStringLiteral("規則2.COTRPL")), dir.file(QStringLiteral("link.cotrpl")));

    const BatchReplaceLibrary::Listing listing = BatchReplaceLibrary::list(dir.path());
    EXPECT_EQ(listing.state, BatchReplaceLibrary::Listing::State::entries);
    ASSERT_EQ(listing.paths.size(), 2) << listing.paths.join(u' ').toStdString();
    EXPECT_TRUE(listing.paths[0].endsWith(QStringLiteral("規則2.COTRPL")));
    EXPECT_TRUE(listing.paths[1].endsWith(QStringLiteral("規則10.cotrpl")));

    EXPECT_EQ(BatchReplaceLibrary::list(dir.file(QStringLiteral("none"))).state,
              BatchReplaceLibrary::Listing::State::missing);
    EXPECT_EQ(BatchReplaceLibrary::list(dir.file(QStringLiteral("notes.json"))).state,
              BatchReplaceLibrary::Listing::State::unreadable);
    const std::optional<QString> library = BatchReplaceLibrary::directory();
    ASSERT_TRUE(library);
    EXPECT_TRUE(library->startsWith(test::testDataHome())) << library->toStdString();
    EXPECT_TRUE(library->endsWith(QStringLiteral("Korimado/Replacements")));
}

TEST(BatchReplaceLibrary, ValidationNamesTheFirstFailingRuleEnabledOrNot)
{
    BatchReplaceDocument document;
    document.rules = {rule(QStringLiteral("a")), rule(QStringLiteral("b")), rule(QString())};
    document.rules[2].enabled = false;
    try {
        BatchReplaceLibrary::validate(document);
        FAIL() << "an empty search text must be refused";
    } catch (const BatchReplaceLibraryError& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.errorDescription(), QStringLiteral("保存済みルールの条件3は検索文字列が空です。"));
    }
    document.rules[2] = rule(QStringLiteral("(unclosed"), SearchMode::regularExpression);
    try {
        BatchReplaceLibrary::validate(document);
        FAIL() << "a pattern that does not compile must be refused";
    } catch (const BatchReplaceLibraryError& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_TRUE(e.errorDescription().startsWith(QStringLiteral("保存済みルールの条件3に無効な正規表現があります。")));
        EXPECT_GT(e.errorDescription().size(), QStringLiteral("保存済みルールの条件3に無効な正規表現があります。").size())
            << "the compile error follows directly";
    }
    document.rules[2] = rule(QStringLiteral("(closed)"), SearchMode::regularExpression);
    EXPECT_NO_THROW(BatchReplaceLibrary::validate(document));
    document.rules[0].find = QStringLiteral("(");  // plain text: any text is fine
    EXPECT_NO_THROW(BatchReplaceLibrary::validate(document));
}
