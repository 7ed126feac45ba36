#include "search/engine/RegexLiterals.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"
#include "search/engine/SearchRegex.h"
#include "search/engine/UnitScanner.h"

#include <gtest/gtest.h>

#include <random>

using namespace korimado;

namespace {

SearchRequest expression(const QString& pattern, bool caseSensitive = true)
{
    SearchRequest r;
    r.pattern = pattern;
    r.options.mode = SearchMode::regularExpression;
    r.options.caseSensitive = caseSensitive;
    return r;
}

std::optional<RegexLiterals> analysed(const SearchRequest& request)
{
    QString compiled;
    uint32_t flags = 0;
    SearchRegex::compiled(request, &compiled, &flags);
    return RegexLiterals::analyse(compiled, flags);
}

std::vector<QString> literalsOf(const QString& pattern, bool caseSensitive = true)
{
    const std::optional<RegexLiterals> found = analysed(expression(pattern, caseSensitive));
    return found ? found->literals : std::vector<QString>{};
}

// The matches of the road that looks for literals first, and of the expression run over the
// whole range, for the same compiled expression.
std::pair<QList<SearchMatch>, QList<SearchMatch>> bothRoads(const QString& text, const SearchRequest& request)
{
    QString compiled;
    uint32_t flags = 0;
    const std::unique_ptr<icu::RegexPattern> pattern = SearchRegex::compiled(request, &compiled, &flags);
    const std::optional<RegexLiterals> literals = RegexLiterals::analyse(compiled, flags);
    const TextRange range(0, text.size());
    return {SearchRegex::matches(text, *pattern, request.pattern, range, literals ? &*literals : nullptr, nullptr),
            SearchRegex::matches(text, *pattern, request.pattern, range, nullptr, nullptr)};
}

QList<TextRange> rangesOf(const QList<SearchMatch>& matches)
{
    QList<TextRange> out;
    for (const SearchMatch& m : matches) out.push_back(m.range);
    return out;
}

}  // namespace

TEST(RegexLiterals, ProvesTheLiteralsEveryMatchHolds)
{
    EXPECT_EQ(literalsOf(QStringLiteral("(\\d{4})-(\\d{2})-(\\d{2})")), std::vector<QString>{QStringLiteral("-")});
    EXPECT_EQ(literalsOf(QStringLiteral("struct [a-z_]+ \\{")), std::vector<QString>{QStringLiteral("struct ")});
    EXPECT_EQ(literalsOf(QStringLiteral("foo|ba(r|z)")),
              (std::vector<QString>{QStringLiteral("foo"), QStringLiteral("ba")}));
    EXPECT_EQ(literalsOf(QStringLiteral("(?:ab){2}c+")), std::vector<QString>{QStringLiteral("abab")});
    EXPECT_EQ(literalsOf(QStringLiteral("\\Qa.b\\E|x\\.y")), (std::vector<QString>{QStringLiteral("a.b"), QStringLiteral("x.y")}));
    EXPECT_EQ(literalsOf(QStringLiteral("\\x{41}\\u0042\\n")), std::vector<QString>{QStringLiteral("AB\n")});
}

TEST(RegexLiterals, OfTwoRequiredLiteralsScansForTheRarer)
{
    EXPECT_EQ(literalsOf(QStringLiteral("(a+)+b")), std::vector<QString>{QStringLiteral("b")});
    EXPECT_EQ(literalsOf(QStringLiteral("e\\d+z")), std::vector<QString>{QStringLiteral("z")});
    // Length still comes first: a longer literal stops the scan less often than a rare letter.
    EXPECT_EQ(literalsOf(QStringLiteral("the\\s+q")), std::vector<QString>{QStringLiteral("the")});
}

TEST(RegexLiterals, ProvesNothingWhereAMatchMayLackEveryLiteral)
{
    for (const char* pattern : {"\\d+", "a|\\w", "x*", "(abc)?", "a{0,3}", "(?i)abc", "(?=abc)\\w", "(?<=abc)\\w",
                                "[abc]", "\\p{L}+", "(?x)a b", "ab|", "(\\w)\\1"}) {
        EXPECT_TRUE(literalsOf(QString::fromUtf8(pattern)).empty()) << pattern;
    }
}

TEST(RegexLiterals, FoldsCaseOnlyWhereNoOtherCharacterCanStandIn)
{
    // The Kelvin sign folds to k, the long s to s, "ﬀ" to ff: those letters are never scanned
    // for; r, o, m, d and digits are safe.
    EXPECT_FALSE(RegexLiterals::isCaseSafe(u'k'));
    EXPECT_FALSE(RegexLiterals::isCaseSafe(u'S'));
    EXPECT_FALSE(RegexLiterals::isCaseSafe(u'f'));
    EXPECT_TRUE(RegexLiterals::isCaseSafe(u'r'));
    EXPECT_TRUE(RegexLiterals::isCaseSafe(u'D'));
    EXPECT_TRUE(RegexLiterals::isCaseSafe(u'7'));
    const std::optional<RegexLiterals> folded = analysed(expression(QStringLiteral("Korimado"), false));
    ASSERT_TRUE(folded);
    EXPECT_TRUE(folded->asciiCaseInsensitive);
    ASSERT_EQ(folded->literals.size(), 1u);
    for (QChar c : folded->literals.front()) EXPECT_TRUE(RegexLiterals::isCaseSafe(c.unicode()));
    // A literal made only of unsafe letters proves nothing under folding.
    EXPECT_TRUE(literalsOf(QStringLiteral("ks"), false).empty());
}

TEST(RegexLiterals, TellsWhetherAMatchCanCrossALine)
{
    const auto singleLine = [](const char* pattern, bool dotAll = false) {
        SearchRequest r = expression(QString::fromUtf8(pattern));
        r.options.dotMatchesNewline = dotAll;
        return analysed(r)->singleLine;
    };
    EXPECT_TRUE(singleLine("foo.*bar"));
    EXPECT_TRUE(singleLine("foo[a-z\\d]+\\w\\S"));
    EXPECT_TRUE(singleLine("(?<=\\n)foo(?=\\s)"));  // lookaround reads beyond the match only
    EXPECT_FALSE(singleLine("foo.*bar", true));
    EXPECT_FALSE(singleLine("foo\\nbar"));
    EXPECT_FALSE(singleLine("foo[^x]"));
    EXPECT_FALSE(singleLine("foo\\s"));
    EXPECT_FALSE(singleLine("foo[\\x{0a}]"));
    EXPECT_EQ(analysed(expression(QStringLiteral("a\\r?\\nb")))->maximumLength, 4);
    EXPECT_FALSE(analysed(expression(QStringLiteral("a\\s+b")))->maximumLength);
}

TEST(RegexPrefilter, FindsWhatTheWholeRunFindsAtTheEdgesOfCandidates)
{
    const QString text = QStringLiteral("concat cat\ncat_ cat\r\nxcat\u2028cat\nab\nb\ncab ab");
    for (const char* pattern : {"\\bcat\\b", "(?<=x)cat", "(?<!x)cat", "^cat", "cat$", "(?<=a\\n)b", "b(?=\\nb)",
                                "(?<=\\bc)at", "\\Bcat", "t\\r?\\nc", "t\\s+c", "a.b", "(?m)^cat$"}) {
        for (bool multiline : {false, true}) {
            SearchRequest r = expression(QString::fromUtf8(pattern));
            r.options.isMultiline = multiline;
            if (QByteArray(pattern).startsWith("(?m)")) {
                r.pattern = r.pattern.mid(4);
                r.options.isMultiline = true;
            }
            std::pair<QList<SearchMatch>, QList<SearchMatch>> both;
            try {
                both = bothRoads(text, r);
            } catch (const SearchEngineError& e) {
                ADD_FAILURE() << pattern << " multiline " << multiline << ": " << e.errorDescription().toStdString();
                continue;
            }
            const auto& [prefiltered, plain] = both;
            EXPECT_EQ(rangesOf(prefiltered), rangesOf(plain)) << pattern << " multiline " << multiline;
            EXPECT_EQ(prefiltered, plain) << pattern;
        }
    }
}

TEST(RegexPrefilter, LiteralsAcrossLineBreaksAndFoldedCase)
{
    const QString text = QStringLiteral("foo\nbar foo\r\nbar FOO\nBAR fo\no\nbar \u212Aelvin kelvin KELVIN straße STRASSE");
    for (const char* pattern : {"foo\\nbar", "foo\\r?\\nbar", "o\\R", "kelvin", "strasse", "stra(ss|ß)e", "FOO\\nbar"}) {
        for (bool caseSensitive : {true, false}) {
            const SearchRequest r = expression(QString::fromUtf8(pattern), caseSensitive);
            const auto [prefiltered, plain] = bothRoads(text, r);
            EXPECT_EQ(prefiltered, plain) << pattern << " case-sensitive " << caseSensitive;
        }
    }
    // Under folding the Kelvin sign is a k: all three spellings are found.
    EXPECT_EQ(SearchEngine::findAll(text, expression(QStringLiteral("kelvin"), false), 0).matches.size(), 3);
}

TEST(RegexPrefilter, RandomExpressionsAgreeWithTheWholeRun)
{
    static const char* const pieces[] = {"a", "b", "ab", "k", "s", "ß", "é", "-", " ", "\\b", "(?<=a)", "(?<!b)", "(?=c)",
                                         "^", "$", ".", "\\n", "\\r?\\n", "[a-c]", "[^a]", "\\w", "\\s", "\\d", "*",
                                         "+", "?", "{2}", "{1,3}", "(", "(?:", ")", "|", "\\Q.a\\E", "\\1", "x"};
    static const char16_t* const texts[] = {u"a", u"b", u"c", u"A", u"k", u"\u212A", u"s", u"\u017F", u"\u00DF",
                                            u"\u00E9", u"e\u0301", u"1", u"-", u" ", u"_", u".", u"\n", u"\r\n",
                                            u"\u2028", u"\U0001F600", u"x", u"ab", u"abc"};
    std::mt19937 random(20240517);
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        SearchRequest r = expression(QString());
        for (int k = int(random() % 8) + 1; k > 0; --k) r.pattern += QString::fromUtf8(pieces[random() % std::size(pieces)]);
        r.options.caseSensitive = random() % 2;
        r.options.dotMatchesNewline = random() % 2;
        r.options.isMultiline = random() % 2;
        r.options.wholeWord = random() % 4 == 0;
        QString text;
        for (int k = int(random() % 40); k > 0; --k) text += QString::fromUtf16(texts[random() % std::size(texts)]);
        try {
            const auto [prefiltered, plain] = bothRoads(text, r);
            ASSERT_EQ(prefiltered, plain) << r.pattern.toStdString() << " in " << text.toStdString();
            ++compared;
        } catch (const SearchEngineError&) {
        }
    }
    EXPECT_GT(compared, 1000);
}

TEST(RegexPrefilter, AScopeKeepsItsEdgesAsTheTextsEdges)
{
    const QString text = QStringLiteral("xcat cat catx");
    SearchRequest r = expression(QStringLiteral("\\bcat\\b|(?<=x)cat"));
    r.scope = TextRange(1, 11);  // "cat cat cat"
    const QList<SearchMatch> found = SearchEngine::findAll(text, r, 0).matches;
    ASSERT_EQ(found.size(), 3);
    EXPECT_EQ(found[0].range, TextRange(1, 3));  // the x before the scope is not seen
    EXPECT_EQ(found[2].range, TextRange(9, 3));
}

TEST(RegexPrefilter, ARunTimeFailureSaysTheExpressionIsTooComplex)
{
    const QString text(4 << 20, u'a');
    try {
        SearchEngine::findAll(text, expression(QStringLiteral("(.|\\n)*")), 0);
        GTEST_SKIP() << "ICU matched without running out of room";
    } catch (const SearchEngineError& e) {
        EXPECT_EQ(e.kind(), SearchEngineError::Kind::expressionTooComplex);
        EXPECT_EQ(e.errorDescription(), QStringLiteral("この正規表現は処理が複雑すぎます。"));
    }
}

TEST(RegexPrefilter, BothRoadsAnswerNoMatchWhereNoLiteralOccurs)
{
    // On its own the expression exhausts ICU's stack on this text; a required literal that is
    // absent proves there is no match, whether the matches may cross lines or not.
    const QString text(4 << 20, u'a');
    EXPECT_TRUE(SearchEngine::findAll(text, expression(QStringLiteral("(.|\\n)*zq")), 0).matches.isEmpty());
    SearchRequest fenced = expression(QStringLiteral("ss(?<n>|)*?abstb"));
    fenced.options.wholeWord = true;
    fenced.options.isMultiline = true;
    EXPECT_TRUE(SearchEngine::findAll(QStringLiteral("sssaabs_"), fenced, 0).matches.isEmpty());
}

TEST(UnitScanner, FindsLiteralsAtEveryAlignment)
{
    for (const char* needle : {"x", "xy", "abcdefghij"}) {
        const QString literal = QString::fromLatin1(needle);
        const UnitScanner scanner(literal, false);
        for (int at = 0; at < 40; ++at) {
            QString text(50, u'.');
            text.replace(at, literal.size(), literal);
            text.truncate(std::max<qsizetype>(at + literal.size(), 0));
            const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
            EXPECT_EQ(scanner.find(units, text.size(), 0), at) << needle << " at " << at;
            EXPECT_EQ(scanner.find(units, text.size(), at + 1), -1);
            EXPECT_EQ(UnitScanner::findUnit(units, text.size(), 0, literal[0].unicode(), literal[0].unicode()), at);
        }
    }
    const QString mixed = QStringLiteral("........KoRiMaDo");
    EXPECT_EQ(UnitScanner(QStringLiteral("korimado"), true).find(reinterpret_cast<const char16_t*>(mixed.utf16()), mixed.size(), 0), 8);
    EXPECT_EQ(UnitScanner(QStringLiteral("korimado"), false).find(reinterpret_cast<const char16_t*>(mixed.utf16()), mixed.size(), 0), -1);
    const QString lines = QStringLiteral("0123456789abc\u2029d");
    EXPECT_EQ(UnitScanner::findLineTerminator(reinterpret_cast<const char16_t*>(lines.utf16()), lines.size(), 0), 13);
}
