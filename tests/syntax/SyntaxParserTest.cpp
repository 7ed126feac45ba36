#include "SyntaxTestSupport.h"

#include "syntax/SyntaxParser.h"
#include "syntax/SyntaxRegex.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace korimado;
using namespace korimado::test;

namespace {

using K = SyntaxTokenKind;

QStringList tokens(const QString& text, const QString& id)
{
    return describe(text, SyntaxParser::parse(text, builtInLanguage(id)).tokens);
}

}  // namespace

TEST(SyntaxParser, TokenLimitFromTheEnvironment)
{
    const auto limitFor = [](const std::optional<QByteArray>& value) {
        ScopedEnvironment environment("KORIMADO_SYNTAX_TOKEN_LIMIT", value);
        return SyntaxParser::maximumTokens();
    };
    EXPECT_EQ(limitFor(std::nullopt), 120000);
    EXPECT_EQ(limitFor(""), 120000);
    EXPECT_EQ(limitFor("9"), 120000);
    EXPECT_EQ(limitFor("ten"), 120000);
    EXPECT_EQ(limitFor(" 50"), 120000);
    EXPECT_EQ(limitFor("-50"), 120000);
    EXPECT_EQ(limitFor("99999999999"), 99999999999) << "a limit beyond 32 bits is taken as given";
    EXPECT_EQ(limitFor("9223372036854775808"), 120000) << "beyond 64 bits it is no integer";
    EXPECT_EQ(limitFor("10"), 10);
    EXPECT_EQ(limitFor("+500"), 500);
}

TEST(SyntaxParser, LimitsTruncateTheSweepAndTheCandidates)
{
    const SyntaxLanguage c = builtInLanguage("c");
    QString text;
    for (int i = 0; i < 30; ++i) text += "int x; ";
    const SyntaxParser::Result limited = SyntaxParser::parse(text, c, 3);
    EXPECT_EQ(limited.tokens.size(), 10u) << "a limit below 10 counts as 10";
    EXPECT_TRUE(limited.truncated);

    const SyntaxParser::Result whole = SyntaxParser::parse(text, c, 100);
    EXPECT_EQ(whole.tokens.size(), 30u);
    EXPECT_FALSE(whole.truncated);

    {
        ScopedEnvironment environment("KORIMADO_SYNTAX_TOKEN_LIMIT", "12");
        EXPECT_EQ(SyntaxParser::parse(text, c).tokens.size(), 12u) << "no limit given: the environment's";
    }

    // Three rules agree on every "x": each token costs three candidates, so seven tokens overrun
    // twice the limit of 10 although fewer than 10 tokens are accepted.
    const SyntaxLanguage agreeing = customLanguage({{"x", K::keyword, false, false}, {"x", K::type, false, false}, {"x", K::variable, false, false}});
    const SyntaxParser::Result overrun = SyntaxParser::parse("x x x x x x x", agreeing, 10);
    EXPECT_TRUE(overrun.truncated);
    EXPECT_LT(overrun.tokens.size(), 10u);

    // Matches inside an accepted token are searched past, not collected: 25 line comments
    // inside a block comment cost no candidates.
    QString nested = "/*";
    for (int i = 0; i < 25; ++i) nested += " // x\n";
    nested += "*/";
    const SyntaxParser::Result inside = SyntaxParser::parse(nested, c, 10);
    EXPECT_FALSE(inside.truncated);
    EXPECT_EQ(describe(nested, inside.tokens), QStringList({"comment:" + nested}));
}

TEST(SyntaxParser, PriorityLengthAndOverlapDecideBetweenCandidates)
{
    EXPECT_EQ(tokens("x = 1; // say \"hi\"\n", "c"), QStringList({"number:1", "comment:// say \"hi\""}))
        << "a string inside a comment is dropped, not shortened";
    EXPECT_EQ(tokens("if Foo", "swift"), QStringList({"keyword:if", "type:Foo"}));
    EXPECT_EQ(tokens("Self.init", "swift"), QStringList({"keyword:Self", "keyword:init"})) << "keyword beats the type";
    EXPECT_EQ(tokens("\"a\"\"b\"", "c"), QStringList({"string:\"a\"", "string:\"b\""})) << "touching tokens both stay";
    EXPECT_EQ(tokens("0x1F 2.5e3 0b101 7", "c"), QStringList({"number:0x1F", "number:2.5e3", "number:0b101", "number:7"}));

    // Imported rules go first in collection order: equal in every key, the imported one wins.
    SyntaxLanguage swift = builtInLanguage("swift");
    swift.importedHighlightRules = {{"Foo", K::variable, false, false}};
    const QString text = "Foo";
    EXPECT_EQ(describe(text, SyntaxParser::parse(text, swift).tokens), QStringList({"variable:Foo"}))
        << "same location and length: priority 3 beats the built-in type's 4";
    swift.importedHighlightRules = {{"Fo", K::keyword, false, false}};
    EXPECT_EQ(describe(text, SyntaxParser::parse(text, swift).tokens), QStringList({"keyword:Fo"}));
    swift.importedHighlightRules = {{"F", K::type, false, false}, {"Foo", K::keyword, false, false}};
    EXPECT_EQ(describe(text, SyntaxParser::parse(text, swift).tokens), QStringList({"keyword:Foo"}))
        << "same priority: the longer wins";
}

TEST(SyntaxParser, SqlKeywordsIgnoreCaseOthersDoNot)
{
    EXPECT_EQ(tokens("select x FROM t", "sql"), QStringList({"keyword:select", "keyword:FROM"}));
    EXPECT_EQ(tokens("IF x", "c"), QStringList({"type:IF"})) << "not a keyword in upper case";
}

TEST(SyntaxParser, WholeWordKeywordScanMatchesTheAlternation)
{
    // Word characters of every sort around keywords: the scan must agree with ICU's own \b.
    const QString text = QString::fromUtf8(
        "int intx x_int _int int_ 3int int3 ínt intí int\u0301 int\u200bint \u200dint "
        "SELECT ſelect \u212Aey key KEY sElEcT select_ 日本int int日本 for(int;;) while\nreturn");
    for (const char* id : {"c", "sql"}) {
        const SyntaxLanguage language = builtInLanguage(QString::fromLatin1(id));
        QStringList escaped;
        for (const QString& k : language.keywords) escaped.append(SyntaxRegex::escapedPattern(k));
        QString pattern = "\\b(?:" + escaped.join('|') + ")\\b";
        if (language.id == "sql") pattern.prepend("(?i)");
        QStringList expected;
        const SyntaxRegex regex(pattern, 0);
        SyntaxRegex::Matcher matcher(regex, text, nullptr, false);
        while (matcher.find()) expected.append(text.mid(matcher.start(), matcher.end() - matcher.start()));

        SyntaxLanguage keywordsOnly = language;
        keywordsOnly.id = language.id == "sql" ? "sql" : "keywords-only";
        QStringList found;
        for (const SyntaxTokenSpan& t : SyntaxParser::parse(text, keywordsOnly, 100000).tokens) {
            if (t.kind == K::keyword) found.append(text.mid(t.range.location, t.range.length));
        }
        // Other patterns may take a keyword's place; compare only where nothing else won.
        QStringList expectedNotShadowed;
        for (const QString& k : expected) {
            if (found.contains(k)) expectedNotShadowed.append(k);
        }
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(found, expectedNotShadowed) << id;
        EXPECT_GE(found.size(), expected.size() - 2) << id;
    }
}

TEST(SyntaxParser, PlainAndEmptyTextsGiveNoTokensButAnOutline)
{
    SyntaxLanguage plain = SyntaxLanguage::plain();
    plain.importedOutlineRules = {{"^== (.+) ==$", "$1", false, "value"}};
    const SyntaxParser::Result result = SyntaxParser::parse("== Title ==\n\"x\" 12", plain);
    EXPECT_TRUE(result.tokens.empty());
    EXPECT_FALSE(result.truncated);
    ASSERT_EQ(result.outline.size(), 1u);
    EXPECT_EQ(result.outline[0].title, "Title");
    EXPECT_TRUE(SyntaxParser::parse("", builtInLanguage("c")).tokens.empty());
    // Only plain text without outline rules may be left unparsed.
    EXPECT_FALSE(SyntaxParser::findsNothingIn(plain));
    EXPECT_TRUE(SyntaxParser::findsNothingIn(SyntaxLanguage::plain()));
    EXPECT_FALSE(SyntaxParser::findsNothingIn(builtInLanguage("markdown")));
    EXPECT_FALSE(SyntaxParser::findsNothingIn(builtInLanguage("c")));
}

TEST(SyntaxParser, BadImportedPatternIsSkipped)
{
    SyntaxLanguage c = builtInLanguage("c");
    c.importedHighlightRules = {{"(unclosed", K::keyword, false, false}, {"TODO", K::attribute, true, false}};
    EXPECT_EQ(describe("int todo;", SyntaxParser::parse("int todo;", c).tokens), QStringList({"keyword:int", "attribute:todo"}));
}

TEST(SyntaxParser, EachBuiltInLanguageTokenizesASample)
{
    EXPECT_EQ(tokens("func f() -> Int { return 42 } // done", "swift"),
              QStringList({"keyword:func", "type:Int", "keyword:return", "number:42", "comment:// done"}));
    EXPECT_EQ(tokens("const s = `a\nb`; /* c */", "javascript"), QStringList({"keyword:const", "string:`a\nb`", "comment:/* c */"}));
    EXPECT_EQ(tokens("let n: number = 'x' as Foo", "typescript"),
              QStringList({"keyword:let", "keyword:number", "string:'x'", "keyword:as", "type:Foo"}));
    EXPECT_EQ(tokens("@dataclass\ndef f(): return rb'x'  # note\ns = \"\"\"a\nb\"\"\"", "python"),
              QStringList({"attribute:@dataclass", "keyword:def", "keyword:return", "string:rb'x'", "comment:# note",
                           "string:\"\"\"a\nb\"\"\""}));
    EXPECT_EQ(tokens("{\"a\": [1.5, true, null]}", "json"),
              QStringList({"string:\"a\"", "number:1.5", "keyword:true", "keyword:null"}));
    EXPECT_EQ(tokens("# Title\n\n- item with `code` and [a](b)\n\nSub\n===\n```\n# no\n```\n<!-- c -->", "markdown"),
              QStringList({"heading:# Title", "keyword:- ", "string:`code`", "attribute:[a](b)", "heading:===",
                           "string:```\n# no\n```", "comment:<!-- c -->"}));
    EXPECT_EQ(tokens("<a href=\"x\">&amp;</a><!-- c -->", "html"),
              QStringList({"tag:<a", "attribute:href", "string:\"x\"", "tag:>", "number:&amp;", "tag:</a", "tag:>",
                           "comment:<!-- c -->"}));
    EXPECT_EQ(tokens("a { color: #fff; --gap: 2px; } @media", "css"),
              QStringList({"property: color", "number:#fff", "property: --gap", "number:2px", "keyword:@media"}));
    EXPECT_EQ(tokens("if [ \"$x\" ]; then echo ${HOME} 'a$b'; fi # c", "shell"),
              QStringList({"keyword:if", "string:\"$x\"", "keyword:then", "variable:${HOME}", "string:'a$b'", "keyword:fi",
                           "comment:# c"}));
    EXPECT_EQ(tokens("SELECT 'it''s' FROM t -- c\n/* b */", "sql"),
              QStringList({"keyword:SELECT", "string:'it''s'", "keyword:FROM", "comment:-- c", "comment:/* b */"}));
}

TEST(SyntaxParser, OutlineTitlesLinesAndLevels)
{
    const auto outline = [](const QString& text, const char* id) { return SyntaxParser::outline(text, builtInLanguage(QString::fromLatin1(id))); };

    const auto md = outline("intro\n### Third ###\nSetext\n======\n# One\r\n", "markdown");
    ASSERT_EQ(md.size(), 2u) << "setext headings give no entry";
    EXPECT_EQ(md[0], (SyntaxOutlineEntry{"Third", 2, TextRange(6, 13), 3}));
    EXPECT_EQ(md[1].title, "One");
    EXPECT_EQ(md[1].line, 5);

    const auto html = outline("<body>\n<H2 class=\"x\"> Intro </H2>", "html");
    ASSERT_EQ(html.size(), 1u);
    EXPECT_EQ(html[0].title, "Intro");
    EXPECT_EQ(html[0].level, 2);
    EXPECT_EQ(html[0].line, 2);

    const auto swift = outline("struct A {\n  private static func run(x: Int) -> Int {\n", "swift");
    ASSERT_EQ(swift.size(), 2u);
    EXPECT_EQ(swift[1].title, "run(x: Int)");

    EXPECT_EQ(outline("int main(void) {\n}\nstatic const char * name(int a) const {", "c").size(), 2u);
    EXPECT_EQ(outline("export default async function go() {}\nclass B {}", "javascript").size(), 2u);
    EXPECT_EQ(outline("async def f():\nclass K:", "python")[1].title, "K");
    EXPECT_EQ(outline("deploy() {\nfunction build {", "shell").size(), 2u);
    EXPECT_EQ(outline(".a, .b {\n@media x {", "css")[0].title, ".a, .b");
    EXPECT_EQ(outline("create table app.users (\nALTER TABLE t", "sql")[0].title, "app.users");
    EXPECT_TRUE(outline("anything\u2028# not a heading", "json").empty());

    const QString longTitle = "# " + QString(150, 'x');
    EXPECT_EQ(outline(longTitle, "markdown")[0].title, QString(100, 'x') + QChar(0x2026));
    const QString graphemes = "# " + QString::fromUtf8("e\u0301").repeated(101);
    EXPECT_EQ(outline(graphemes, "markdown")[0].title, QString::fromUtf8("e\u0301").repeated(100) + QChar(0x2026))
        << "counted in user-perceived characters";
}

TEST(SyntaxParser, ImportedOutlineRulesMergeWithTheBuiltInExpression)
{
    SyntaxLanguage md = builtInLanguage("markdown");
    md.importedOutlineRules = {{R"j(^#+\s+(\w+))j", "$1", false, "value"}, {"(?<x>z)?^## (\\w+)", "[$2] \\$1 $9", false, "value"},
                               {"^(blank)$", "  ", false, "value"}};
    const auto entries = SyntaxParser::outline("# One\n## Two Two\nblank\n", md);
    QStringList titles;
    for (const auto& e : entries) titles.append(e.title);
    EXPECT_EQ(titles, QStringList({"One", "Two", "[Two] $1", "Two Two"}))
        << "same place and title once; other titles stay; empty titles dropped";

    SyntaxLanguage custom = customLanguage({}, {{"x", "X", true, "value"}, {"x", "X", false, "value"}});
    EXPECT_EQ(SyntaxParser::outline("x", custom).size(), 2u) << "no built-in expression: duplicates stay";
    EXPECT_EQ(SyntaxParser::expandTemplate("$12$1\\$$", "ab", {0, 2, 0, 1, 1, 2}), "a2a$$");
}

TEST(SyntaxParser, PathologicalImportedPatternEndsInTimeAndOthersStillColour)
{
    const QString text = QString(40, 'a') + "!\nint x;";
    SyntaxLanguage c = builtInLanguage("c");
    c.importedHighlightRules = {{"(a+)+$", K::string, false, false}};
    const auto start = std::chrono::steady_clock::now();
    const SyntaxParser::Result result = SyntaxParser::parse(text, c);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, SyntaxRegex::untrustedBudget + std::chrono::seconds(3));
    EXPECT_EQ(describe(text, result.tokens), QStringList({"keyword:int"}));
    EXPECT_TRUE(result.truncated) << "a pass ended by its budget leaves the result incomplete";
}

TEST(SyntaxParser, CancellationStopsARunningPatternPromptly)
{
    const QString text = QString(40, 'a') + "!";
    const SyntaxLanguage custom = customLanguage({{"(a|aa)+$", K::string, false, false}, {"a", K::keyword, false, false}});
    std::atomic<bool> cancelled = false;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cancelled = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const SyntaxParser::Result result = SyntaxParser::parse(text, custom, std::nullopt, [&] { return cancelled.load(); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000)) << "well before the time budget";
    EXPECT_TRUE(result.tokens.empty());
    EXPECT_TRUE(result.outline.empty());
    EXPECT_FALSE(result.truncated);
}

TEST(SyntaxParser, BuiltInOutlineExpressionMeetingProseEndsWithinItsBudget)
{
    // Lines of bare words make the C outline expression backtrack across the rest of the text
    // from every line start; unguarded this takes minutes.
    const QString text = QString("alpha beta gamma delta\n").repeated(6000);
    const auto start = std::chrono::steady_clock::now();
    const auto entries = SyntaxParser::outline(text, builtInLanguage("c"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, SyntaxRegex::builtInBudget + std::chrono::seconds(2));
    EXPECT_TRUE(entries.empty());
}

// A very large text gets more time per pass, so its outline and colours are not cut short, while a
// small one keeps the short budget that stops a pathological pattern quickly.
TEST(SyntaxParser, TimeBudgetGrowsWithTheText)
{
    using std::chrono::milliseconds;
    EXPECT_EQ(SyntaxRegex::budget(true, 1000), SyntaxRegex::untrustedBudget);
    EXPECT_EQ(SyntaxRegex::budget(false, 1000), SyntaxRegex::builtInBudget);
    EXPECT_EQ(SyntaxRegex::budget(false, qsizetype(64) << 20), SyntaxRegex::builtInBudget + milliseconds(6400));
    EXPECT_GT(SyntaxRegex::budget(true, qsizetype(32) << 20), SyntaxRegex::untrustedBudget + milliseconds(3000));
}

// A delimiter inside an accepted token must not pair with one after it: the pattern is searched
// again from the token's end.
TEST(SyntaxParser, DelimitersInsideTokensDoNotPairWithLaterOnes)
{
    EXPECT_EQ(tokens("# don't stop\necho 'a' \"b\"\n", "shell"), QStringList({"comment:# don't stop", "string:'a'", "string:\"b\""}));
    EXPECT_EQ(tokens("-- don't\nSELECT 'x' FROM t; -- it's\nSELECT 'y'", "sql"),
              QStringList({"comment:-- don't", "keyword:SELECT", "string:'x'", "keyword:FROM", "comment:-- it's", "keyword:SELECT",
                           "string:'y'"}));
    EXPECT_EQ(tokens("s = \"/*\"; /* real */ int x;", "c"),
              QStringList({"string:\"/*\"", "comment:/* real */", "keyword:int"}));
    EXPECT_EQ(tokens("const s = '/*'; /* note */ let t = 1;", "javascript"),
              QStringList({"keyword:const", "string:'/*'", "comment:/* note */", "keyword:let", "number:1"}));
    EXPECT_EQ(tokens("# a \"\"\" quote\ndef f():\n    \"\"\"doc\"\"\"\n    return 1\n", "python"),
              QStringList({"comment:# a \"\"\" quote", "keyword:def", "string:\"\"\"doc\"\"\"", "keyword:return", "number:1"}));

    // Searched again from the cursor, an expression still sees the text before it.
    const SyntaxLanguage lookBehind = customLanguage({{"a+", K::comment, false, false}, {"(?<!\\w)\\w+", K::keyword, false, false}});
    EXPECT_EQ(describe("aabb c", SyntaxParser::parse("aabb c", lookBehind).tokens), QStringList({"comment:aa", "keyword:c"}));
}

TEST(SyntaxParser, GuessedQuotesOnlyForLanguagesWithoutStringRules)
{
    // A package that says what its strings are: lifetimes are not strings.
    const SyntaxLanguage rust = customLanguage({{R"("(?:\\.|[^"\\\n])*")", K::string, false, false},
                                                {R"('[a-z_]\w*\b(?!'))", K::variable, false, false}});
    const QString text = "fn f<'a>(x: &'a str) -> &'a str { \"s\" }";
    EXPECT_EQ(describe(text, SyntaxParser::parse(text, rust).tokens),
              QStringList({"variable:'a", "variable:'a", "variable:'a", "string:\"s\""}));

    // One that does not still gets both quotes.
    const SyntaxLanguage bare = customLanguage({{"\\bfn\\b", K::keyword, false, false}});
    EXPECT_EQ(describe("fn 'q' \"r\"", SyntaxParser::parse("fn 'q' \"r\"", bare).tokens),
              QStringList({"keyword:fn", "string:'q'", "string:\"r\""}));
}

TEST(SyntaxParser, HtmlQuotesOnlyAroundAttributeValues)
{
    const QString page = "<p>It's John's book.</p>\n<p class = 'note' id=\"a\nb\">Don't</p>";
    const QStringList found = tokens(page, "html");
    EXPECT_EQ(found.filter(QRegularExpression("^string:")), QStringList({"string:'note'", "string:\"a\nb\""}));
    EXPECT_TRUE(found.contains("tag:</p")) << "tags after an apostrophe are still tags";
}

TEST(SyntaxParser, ShellSpecialParametersAndWhereCommentsStart)
{
    EXPECT_EQ(tokens("echo $# $? $$ $! $@ $* $- $0 $9 ${#list[@]}", "shell"),
              QStringList({"variable:$#", "variable:$?", "variable:$$", "variable:$!", "variable:$@", "variable:$*", "variable:$-",
                           "variable:$0", "variable:$9", "variable:${#list[@]}"}));
    EXPECT_EQ(tokens("url=a#b;#c\nx=1 # d\n(#e)", "shell"), QStringList({"comment:#c", "number:1", "comment:# d", "comment:#e)"}));
}

TEST(SyntaxParser, KeywordsAfterAWordOfAMillionCharacters)
{
    const QString text = QString(1'000'000, 'a') + " int x; return x;";
    const QStringList found = describe(text, SyntaxParser::parse(text, builtInLanguage("c")).tokens);
    EXPECT_EQ(found, QStringList({"keyword:int", "keyword:return"}));
}

// An entry lands on its definition, not on the blank lines the expression's leading blanks
// reached back over.
TEST(SyntaxParser, OutlineEntriesStartAtTheirFirstNonBlankCharacter)
{
    const auto outline = [](const QString& text, const char* id) { return SyntaxParser::outline(text, builtInLanguage(QString::fromLatin1(id))); };

    const QString python = "import os\n\n\n    def run():\n        pass\n\nclass K:\n";
    const auto py = outline(python, "python");
    ASSERT_EQ(py.size(), 2u);
    EXPECT_EQ(py[0], (SyntaxOutlineEntry{"run", 4, TextRange(python.indexOf("def run"), 7), 1}));
    EXPECT_EQ(py[1].line, 7);
    EXPECT_EQ(py[1].range.location, python.indexOf("class K"));

    const QString md = "intro\n\n\n## Usage\n";
    const auto headings = outline(md, "markdown");
    ASSERT_EQ(headings.size(), 1u);
    EXPECT_EQ(headings[0].line, 4);
    EXPECT_EQ(headings[0].range.location, md.indexOf("##"));

    // Imported rules alike; the same entry from both then counts once.
    SyntaxLanguage withRule = builtInLanguage("python");
    withRule.importedOutlineRules = {{R"(^\s*def\s+(\w+))", "$1", false, "function"}};
    const auto merged = SyntaxParser::outline(python, withRule);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].line, 4);
}

TEST(SyntaxParser, COutlineListsFunctionsNotControlStatements)
{
    const QString text = "const char *name(void) {\n"
                         "    if (x) {\n"
                         "    }\n"
                         "    else if (y) {\n"
                         "    }\n"
                         "    while (z) {\n"
                         "    }\n"
                         "}\n"
                         "static int\n"
                         "count(const struct list *l) {\n"
                         "}\n"
                         "Widget &widget() const {\n";
    QStringList titles;
    for (const SyntaxOutlineEntry& e : SyntaxParser::outline(text, builtInLanguage("c"))) titles.append(e.title);
    EXPECT_EQ(titles, QStringList({"name", "count", "widget"}));
}
