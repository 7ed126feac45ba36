#include "commands/SnippetStore.h"
#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

SyntaxLanguage languageWithSnippets()
{
    SyntaxLanguage language;
    language.id = QStringLiteral("swift");
    language.displayName = QStringLiteral("Swift");
    language.snippets = {{QStringLiteral("関数"), QStringLiteral("func name() {\n    \n}")}};
    return language;
}

}  // namespace

TEST(SnippetStore, FallsBackToTheLanguageUnlessAWholeValidListIsStored)
{
    UserDefaults defaults;
    const SyntaxLanguage language = languageWithSnippets();
    const QString key = QStringLiteral("editor.snippets.swift");
    EXPECT_EQ(SnippetStore::key(language), key);

    EXPECT_EQ(SnippetStore::snippets(language, defaults), language.snippets) << "nothing stored";

    defaults.setData(key, QByteArrayLiteral("[{\"name\": \"a\", \"body\": \"1\"}, {\"name\": \"b\", \"body\": \"2\"}]"));
    const std::vector<SyntaxSnippet> stored{{QStringLiteral("a"), QStringLiteral("1")},
                                            {QStringLiteral("b"), QStringLiteral("2")}};
    EXPECT_EQ(SnippetStore::snippets(language, defaults), stored) << "array order kept";

    defaults.setData(key, QByteArrayLiteral("[]"));
    EXPECT_TRUE(SnippetStore::snippets(language, defaults).empty()) << "an empty list replaces the built-in one";

    defaults.setData(key, QByteArrayLiteral("[{\"name\": \"a\", \"body\": \"1\"}, {\"name\": \"b\"}]"));
    EXPECT_EQ(SnippetStore::snippets(language, defaults), language.snippets) << "one element without body";

    defaults.setData(key, QByteArrayLiteral("[{\"name\": \"a\", \"body\": 3}]"));
    EXPECT_EQ(SnippetStore::snippets(language, defaults), language.snippets) << "body not a string";

    defaults.setData(key, QByteArrayLiteral("{\"name\": \"a\", \"body\": \"1\"}"));
    EXPECT_EQ(SnippetStore::snippets(language, defaults), language.snippets) << "an object, not an array";

    defaults.setData(key, QByteArrayLiteral("[{"));
    EXPECT_EQ(SnippetStore::snippets(language, defaults), language.snippets) << "invalid JSON";

    defaults.setString(key, QStringLiteral("[]"));
    EXPECT_EQ(SnippetStore::snippets(language, defaults), language.snippets) << "a text, not data";
}

TEST(SnippetStore, SavedListReadsBackPerLanguage)
{
    UserDefaults defaults;
    const SyntaxLanguage swift = languageWithSnippets();
    const std::vector<SyntaxSnippet> list{{QStringLiteral("引用"), QStringLiteral("「${selection}」${cursor}")},
                                          {QStringLiteral("empty"), QString()}};
    SnippetStore::save(list, swift, defaults);
    EXPECT_EQ(SnippetStore::snippets(swift, defaults), list);
    EXPECT_TRUE(SnippetStore::snippets(SyntaxLanguage::plain(), defaults).empty()) << "other languages untouched";
}
