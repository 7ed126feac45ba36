#include "search/batch/BatchReplaceEngine.h"
#include "search/batch/BatchReplaceError.h"
#include "search/engine/SearchEngineError.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

BatchReplaceRule rule(const QString& find, const QString& replacement, bool enabled = true)
{
    BatchReplaceRule r;
    r.id = QUuid::createUuid();
    r.enabled = enabled;
    r.find = find;
    r.replacement = replacement;
    r.options = BatchReplaceRule::standardRuleOptions();
    return r;
}

BatchReplaceDocument document(QList<BatchReplaceRule> rules)
{
    BatchReplaceDocument d;
    d.name = QStringLiteral("規則");
    d.rules = std::move(rules);
    return d;
}

}  // namespace

TEST(BatchReplaceApply, RulesActCumulativelyAndCountOnTheTextTheySaw)
{
    const BatchReplaceResult result = BatchReplaceEngine::apply(
        document({rule(QStringLiteral("a"), QStringLiteral("b")), rule(QStringLiteral("b"), QStringLiteral("c"))}),
        QStringLiteral("ab"), std::nullopt, nullptr);
    EXPECT_EQ(result.text, QStringLiteral("cc"));
    ASSERT_EQ(result.ruleResults.size(), 2);
    EXPECT_EQ(result.ruleResults[0].replacements, 1);
    EXPECT_EQ(result.ruleResults[1].replacements, 2);
}

TEST(BatchReplaceApply, TheEditsOfEveryRuleBecomeOneListOverTheTextBefore)
{
    // "one two one": "one" becomes "1", then "1 " becomes "", then "two" goes back to "two".
    const QString text = QStringLiteral("one two one three");
    const BatchReplaceResult result = BatchReplaceEngine::apply(
        document({rule(QStringLiteral("one"), QStringLiteral("1")), rule(QStringLiteral("1 "), QString()),
                  rule(QStringLiteral("two"), QStringLiteral("TWO")), rule(QStringLiteral("TWO"), QStringLiteral("two"))}),
        text, std::nullopt, nullptr);
    EXPECT_EQ(result.text, QStringLiteral("two three"));
    const QList<SearchReplacement> expected{{TextRange(0, 4), QString()}, {TextRange(8, 4), QString()}};
    EXPECT_EQ(result.edits, expected) << "a word that came back as it was is no edit";
    QString applied = text;
    for (auto it = result.edits.rbegin(); it != result.edits.rend(); ++it)
        applied.replace(it->originalRange.location, it->originalRange.length, it->replacement);
    EXPECT_EQ(applied, result.text);
}

TEST(BatchReplaceApply, DisabledRulesArePassedOverUnseen)
{
    BatchReplaceRule broken = rule(QStringLiteral("("), QString(), false);
    broken.options.mode = SearchMode::regularExpression;
    const BatchReplaceRule first = rule(QStringLiteral("x"), QStringLiteral("y"));
    const BatchReplaceRule third = rule(QString(), QStringLiteral("z"));
    const BatchReplaceResult result =
        BatchReplaceEngine::apply(document({first, broken, third}), QStringLiteral("xx"), std::nullopt, nullptr);
    EXPECT_EQ(result.text, QStringLiteral("yy"));
    ASSERT_EQ(result.ruleResults.size(), 2);
    EXPECT_EQ(result.ruleResults[0], (BatchRuleResult{first.id, 2}));
    EXPECT_EQ(result.ruleResults[1], (BatchRuleResult{third.id, 0}));  // an empty find counts 0

    // Only disabled rules, even with a cancelled token: text unchanged, nothing reported.
    auto token = SearchCancellationToken::make();
    token->cancel();
    const BatchReplaceResult idle = BatchReplaceEngine::apply(document({broken}), QStringLiteral("t"), std::nullopt, token.get());
    EXPECT_EQ(idle.text, QStringLiteral("t"));
    EXPECT_TRUE(idle.ruleResults.isEmpty());
    EXPECT_TRUE(BatchReplaceEngine::apply(document({}), QStringLiteral("t"), std::nullopt, token.get()).ruleResults.isEmpty());
}

TEST(BatchReplaceApply, FailuresEndTheRunWithTheSearchError)
{
    BatchReplaceRule broken = rule(QStringLiteral("("), QString());
    broken.options.mode = SearchMode::regularExpression;
    try {
        BatchReplaceEngine::apply(document({rule(QStringLiteral("a"), QStringLiteral("b")), broken}), QStringLiteral("a"),
                                  std::nullopt, nullptr);
        ADD_FAILURE();
    } catch (const SearchEngineError& e) {
        EXPECT_EQ(e.kind(), SearchEngineError::Kind::invalidRegularExpression);
    }
    auto token = SearchCancellationToken::make();
    token->cancel();
    try {
        BatchReplaceEngine::apply(document({rule(QStringLiteral("a"), QStringLiteral("b"))}), QStringLiteral("a"),
                                  std::nullopt, token.get());
        ADD_FAILURE();
    } catch (const SearchEngineError& e) {
        EXPECT_EQ(e.kind(), SearchEngineError::Kind::cancelled);
    }
}

TEST(BatchReplaceApply, ReplacementsTakeTheDocumentsLineEnding)
{
    const BatchReplaceResult result = BatchReplaceEngine::apply(
        document({rule(QStringLiteral(";"), QStringLiteral("\n"))}), QStringLiteral("a;b"), LineEnding::crlf, nullptr);
    EXPECT_EQ(result.text, QStringLiteral("a\r\nb"));
}

TEST(BatchReplaceError, Messages)
{
    EXPECT_EQ(BatchReplaceError::unsupportedVersion(2).errorDescription(),
              QStringLiteral("この一括置換ファイルの版（2）には対応していません。"));
    EXPECT_EQ(BatchReplaceError::incompatibleCotSettings({2, 4}).errorDescription(),
              QStringLiteral(".cotrpl置換定義では詳細オプションを全条件で共有します。条件2、4の設定をそろえてください。"));
    EXPECT_EQ(BatchReplaceError::invalidCotDefinition(QStringLiteral("理由")).errorDescription(),
              QStringLiteral(".cotrpl置換定義を読み込めません。理由"));
    EXPECT_EQ(BatchReplaceError::invalidTSVLine(3).errorDescription(),
              QStringLiteral("TSVの3行目は「検索文字列、タブ、置換文字列」の形式ではありません。"));
    EXPECT_EQ(BatchReplaceError::lossyTSVExport(1, BatchReplaceError::emptyFindReason).errorDescription(),
              QStringLiteral("条件1はTSVへ情報を失わずに保存できません。検索文字列が空です。"));
}
