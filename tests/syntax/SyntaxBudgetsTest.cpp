#include "SyntaxTestSupport.h"

#include "syntax/SyntaxParser.h"
#include "syntax/SyntaxRegex.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace korimado;
using namespace korimado::test;

namespace {

using K = SyntaxTokenKind;
using Clock = std::chrono::steady_clock;

// Case-insensitive property classes make ICU's compiler slow: this one takes seconds.
QString slowToCompile()
{
    return "(?:" + QString("\\p{L}").repeated(6000) + ")";
}

}  // namespace

TEST(SyntaxBudgets, AnExpressionThatCompilesTooSlowlyIsRefusedOnce)
{
    const SyntaxLanguage language = customLanguage({{slowToCompile(), K::string, true, false}, {"\\bok\\b", K::keyword, false, false}});
    auto started = Clock::now();
    const SyntaxParser::Result first = SyntaxParser::parse("ok then", language);
    EXPECT_LT(Clock::now() - started, SyntaxRegex::compileBudget + std::chrono::seconds(2)) << "the parse does not wait for the compiler";
    EXPECT_EQ(describe("ok then", first.tokens), QStringList({"keyword:ok"}));

    started = Clock::now();
    const SyntaxParser::Result second = SyntaxParser::parse("then ok", language);
    EXPECT_LT(Clock::now() - started, SyntaxRegex::compileBudget) << "the refusal is remembered";
    EXPECT_EQ(describe("then ok", second.tokens), QStringList({"keyword:ok"}));
}

TEST(SyntaxBudgets, OneBudgetForTheWholeParseNotOnePerRule)
{
    const QString text = QString(40, 'a') + "!";
    std::vector<SyntaxRegexRule> rules;
    for (int i = 0; i < 20; ++i) rules.push_back({QString("(a|aa)+$|x%1").arg(i), K::string, false, false});
    const auto started = Clock::now();
    const SyntaxParser::Result result = SyntaxParser::parse(text, customLanguage(rules));
    EXPECT_LT(Clock::now() - started, SyntaxRegex::untrustedBudget + std::chrono::seconds(3));
    EXPECT_TRUE(result.truncated);
}

TEST(SyntaxBudgets, OutlineSkipsEmptyMatchesAndStopsAtTheTokenLimit)
{
    const QString text = QString("word ").repeated(100);
    const SyntaxLanguage empty = customLanguage({}, {{"x*", "X", false, "value"}});
    EXPECT_TRUE(SyntaxParser::outline(text, empty).empty()) << "an expression matching nothing gives no entries";

    const SyntaxLanguage everyWord = customLanguage({{"\\bword\\b", K::keyword, false, false}}, {{"\\w+", "$0", false, "value"}});
    const SyntaxParser::Result capped = SyntaxParser::parse(text, everyWord, 20);
    EXPECT_EQ(capped.outline.size(), 20u);
    EXPECT_TRUE(capped.outlineTruncated);
    const SyntaxParser::Result whole = SyntaxParser::parse(text, everyWord, 1000);
    EXPECT_EQ(whole.outline.size(), 100u);
    EXPECT_FALSE(whole.outlineTruncated);
}
