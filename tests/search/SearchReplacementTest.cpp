#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

SearchOptions regexOptions(bool unescapes)
{
    SearchOptions o;
    o.mode = SearchMode::regularExpression;
    o.caseSensitive = true;
    o.unescapesReplacementString = unescapes;
    return o;
}

// Expands a template for the first match of pattern in text.
QString expand(const QString& text, const QString& pattern, const QString& replacement, bool unescapes = true)
{
    SearchRequest r;
    r.pattern = pattern;
    r.options = regexOptions(unescapes);
    const SearchResultSet found = SearchEngine::findAll(text, r, 0);
    if (found.matches.isEmpty()) return QStringLiteral("<no match>");
    return SearchEngine::expandedReplacement(replacement, found.matches.first(), text, r.options);
}

}  // namespace

TEST(SearchReplacementTemplate, PlainModeInsertsTheTemplateAsTyped)
{
    SearchOptions plain;
    plain.mode = SearchMode::text;
    plain.unescapesReplacementString = true;
    SearchMatch match;
    match.range = TextRange(0, 1);
    EXPECT_EQ(SearchEngine::expandedReplacement(QStringLiteral("\\n$1$&"), match, QStringLiteral("a"), plain),
              QStringLiteral("\\n$1$&"));
}

TEST(SearchReplacementTemplate, EscapesAndGroupReferences)
{
    const QString text = QStringLiteral("2024-05-17");
    const QString date = QStringLiteral("(\\d+)-(\\d+)-(\\d+)");
    EXPECT_EQ(expand(text, date, QStringLiteral("$3.$2.$1")), QStringLiteral("17.05.2024"));
    EXPECT_EQ(expand(text, date, QStringLiteral("\\t")), QStringLiteral("\t"));
    EXPECT_EQ(expand(text, date, QStringLiteral("\\t"), false), QStringLiteral("t"));
    EXPECT_EQ(expand(text, date, QStringLiteral("a\\nb\\r"), true), QStringLiteral("a\nb\r"));
    EXPECT_EQ(expand(text, date, QStringLiteral("\\\\"), true), QStringLiteral("\\"));
    EXPECT_EQ(expand(text, date, QStringLiteral("\\\\"), false), QStringLiteral("\\"));
    EXPECT_EQ(expand(text, date, QStringLiteral("\\$1")), QStringLiteral("$1"));
    EXPECT_EQ(expand(text, date, QStringLiteral("end\\")), QStringLiteral("end\\"));
    EXPECT_EQ(expand(text, date, QStringLiteral("$&|$0")), QStringLiteral("2024-05-17|2024-05-17"));
    EXPECT_EQ(expand(text, date, QStringLiteral("cost$")), QStringLiteral("cost$"));
    EXPECT_EQ(expand(text, date, QStringLiteral("${1}")), QStringLiteral("${1}"));
    EXPECT_EQ(expand(text, date, QStringLiteral("$x$")), QStringLiteral("$x$"));
    EXPECT_EQ(expand(text, date, QStringLiteral("😀$1")), QStringLiteral("😀2024"));
    EXPECT_EQ(expand(text, date, QStringLiteral("\\😀")), QStringLiteral("😀"));
}

TEST(SearchReplacementTemplate, DigitsAreReadGreedily)
{
    // One group: $10 is group 10 (missing), never group 1 and a zero.
    EXPECT_EQ(expand(QStringLiteral("ab"), QStringLiteral("(a)b"), QStringLiteral("[$10]")), QStringLiteral("[]"));
    EXPECT_EQ(expand(QStringLiteral("ab"), QStringLiteral("(a)b"), QStringLiteral("[$01]")), QStringLiteral("[a]"));
    // A number too large for 64 bits is empty text, and all its digits are used up.
    EXPECT_EQ(expand(QStringLiteral("ab"), QStringLiteral("(a)b"), QStringLiteral("[$99999999999999999999999]x")),
              QStringLiteral("[]x"));
    // A group that took no part is empty.
    EXPECT_EQ(expand(QStringLiteral("b"), QStringLiteral("(a)?b"), QStringLiteral("[$1]")), QStringLiteral("[]"));
}

TEST(SearchReplacementAll, BuildsTheNewTextOfTheSearchedRange)
{
    SearchRequest r;
    r.pattern = QStringLiteral("(\\w)x");
    r.replacement = QStringLiteral("$1\n");
    r.options = regexOptions(true);
    r.lineEnding = LineEnding::crlf;
    const SearchReplacementResult result = SearchEngine::replacingAll(QStringLiteral("ax bx c"), r);
    EXPECT_EQ(result.searchedRange, TextRange(0, 7));
    EXPECT_EQ(result.replacement, QStringLiteral("a\r\n b\r\n c"));
    ASSERT_EQ(result.matchCount, 2);
    EXPECT_EQ(result.edits[0], (SearchReplacement{TextRange(0, 2), QStringLiteral("a\r\n")}));
    EXPECT_EQ(result.edits[1], (SearchReplacement{TextRange(3, 2), QStringLiteral("b\r\n")}));

    // With a scope only the scope is rebuilt.
    r.scope = TextRange(3, 4);
    const SearchReplacementResult scoped = SearchEngine::replacingAll(QStringLiteral("ax bx c"), r);
    EXPECT_EQ(scoped.searchedRange, TextRange(3, 4));
    EXPECT_EQ(scoped.replacement, QStringLiteral("b\r\n c"));

    // No match: the searched text itself.
    SearchRequest none = r;
    none.pattern = QStringLiteral("zz");
    const SearchReplacementResult unchanged = SearchEngine::replacingAll(QStringLiteral("ax bx c"), none);
    EXPECT_EQ(unchanged.matchCount, 0);
    EXPECT_EQ(unchanged.replacement, QStringLiteral("bx c"));

    // Plain replacements get the document's breaks too.
    SearchRequest plain;
    plain.pattern = QStringLiteral("-");
    plain.replacement = QStringLiteral("\n");
    plain.lineEnding = LineEnding::cr;
    EXPECT_EQ(SearchEngine::replacingAll(QStringLiteral("a-b"), plain).replacement, QStringLiteral("a\rb"));
}

TEST(SearchReplacementAll, ErrorsPassThroughAndNothingPartialIsReturned)
{
    SearchRequest r;
    r.pattern = QStringLiteral("(");
    r.options = regexOptions(true);
    try {
        SearchEngine::replacingAll(QStringLiteral("a"), r);
        ADD_FAILURE();
    } catch (const SearchEngineError& e) {
        EXPECT_EQ(e.kind(), SearchEngineError::Kind::invalidRegularExpression);
    }
    auto token = SearchCancellationToken::make();
    token->cancel();
    r.pattern = QStringLiteral("a");
    EXPECT_THROW(SearchEngine::replacingAll(QStringLiteral("a"), r, token.get()), SearchEngineError);
}
