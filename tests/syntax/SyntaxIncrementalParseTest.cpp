#include "SyntaxTestSupport.h"

#include "syntax/SyntaxIncrementalParse.h"
#include "syntax/SyntaxParser.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace korimado;
using namespace korimado::test;

namespace {

using Incremental = SyntaxIncrementalParse;

std::vector<SyntaxTokenSpan> fullParse(const QString& text, const SyntaxLanguage& language)
{
    const SyntaxParser::Result result = SyntaxParser::parse(text, language, std::numeric_limits<int>::max() / 4);
    EXPECT_FALSE(result.truncated);
    return result.tokens;
}

// Edits text in place and notes the edit as the storage reports it.
void replace(QString& text, Incremental::Dirty& dirty, qsizetype at, qsizetype length, const QString& with)
{
    text.replace(at, length, with);
    dirty.add(TextRange(at, with.size()), with.size() - length);
}

// The incremental tokens after the edits, with every pending stretch checked in slices.
Incremental::Result settle(const QString& text, const SyntaxLanguage& language, const std::vector<SyntaxTokenSpan>& old,
                           qsizetype oldLength, const Incremental::Dirty& dirty, qsizetype slice, int* slices = nullptr)
{
    Incremental::Result result = Incremental::afterEdits(text, language, old, TextRange(0, oldLength), dirty, dirty.end + slice);
    int count = 1;
    while (result.pending && count < 100000) {
        result = Incremental::resume(text, language, result, result.pendingFrom + slice);
        ++count;
    }
    if (slices) *slices = count;
    return result;
}

// One line of JSON-like records and one of C, each with strings and comments long enough that
// an edit inside them changes what follows.
QString jsonLine(int records)
{
    QString text = QStringLiteral("[");
    for (int n = 0; n < records; ++n)
        text += QStringLiteral("{\"id\":%1,\"name\":\"項目 %1 \\\"q\\\"\",\"on\":%2,\"v\":null},").arg(n).arg(n % 2 ? "true" : "false");
    return text + QStringLiteral("{}]");
}

// The same without escaped quotes: a stray quote turns every string after it inside out.
QString plainJsonLine(int records)
{
    QString text = QStringLiteral("[");
    for (int n = 0; n < records; ++n) text += QStringLiteral("{\"id\":%1,\"name\":\"項目%1\",\"on\":true},").arg(n);
    return text + QStringLiteral("{}]");
}

QString cLine(int blocks)
{
    QString text;
    for (int n = 0; n < blocks; ++n)
        text += QStringLiteral("/* block %1 \"not a string\" */ int v%1 = %1; char *s%1 = \"a /* b */ c\"; // x ").arg(n);
    return text;
}

}  // namespace

TEST(SyntaxIncrementalParse, DirtyRangeGathersEditsInTheNewestText)
{
    Incremental::Dirty dirty;
    dirty.add(TextRange(10, 1), 1);  // typed at 10
    dirty.add(TextRange(11, 1), 1);  // then at 11
    EXPECT_EQ(dirty.start, 10);
    EXPECT_EQ(dirty.end, 12);
    EXPECT_EQ(dirty.delta, 2);
    dirty.add(TextRange(3, 0), -4);  // deleted 4 before it
    EXPECT_EQ(dirty.start, 3);
    EXPECT_EQ(dirty.end, 8);
    EXPECT_EQ(dirty.delta, -2);
    EXPECT_EQ(dirty.mapOld(2), 2);
    EXPECT_EQ(dirty.mapOld(20), 18);
    dirty.add(TextRange(100, 5), 0);  // overtyped far after
    EXPECT_EQ(dirty.start, 3);
    EXPECT_EQ(dirty.end, 105);
    EXPECT_EQ(dirty.oldEnd(), 107);
}

TEST(SyntaxIncrementalParse, TokensAfterEditsEqualAFullParseOnALongLine)
{
    struct Case {
        const char* language;
        QString text;
    };
    // Quotes, comment openers and closers, backslashes and words, typed and deleted anywhere:
    // each can turn the rest of the line inside out.
    const QStringList pieces{"\"", "x", "/*", "*/", "\\", "//", " ", "true", "1.5", "'", "\"\"", ""};
    for (const Case& c : {Case{"json", jsonLine(600)}, Case{"c", cLine(500)}}) {
        const SyntaxLanguage language = builtInLanguage(QString::fromLatin1(c.language));
        QString text = c.text;
        std::mt19937 random(42);
        for (int round = 0; round < 60; ++round) {
            const std::vector<SyntaxTokenSpan> old = fullParse(text, language);
            const qsizetype oldLength = text.size();
            Incremental::Dirty dirty;
            // One to three edits, as a burst of keys before the parse runs.
            const int edits = 1 + static_cast<int>(random() % 3);
            for (int e = 0; e < edits; ++e) {
                const qsizetype at = static_cast<qsizetype>(random() % static_cast<unsigned>(text.size()));
                const qsizetype removed = random() % 4 == 0 ? std::min<qsizetype>(text.size() - at, random() % 5) : 0;
                replace(text, dirty, at, removed, pieces[static_cast<qsizetype>(random() % pieces.size())]);
            }
            int slices = 0;
            const Incremental::Result result = settle(text, language, old, oldLength, dirty, 2000, &slices);
            ASSERT_FALSE(result.pending);
            EXPECT_EQ(result.coverage, TextRange(0, text.size()));
            ASSERT_EQ(describe(text, result.tokens), describe(text, fullParse(text, language)))
                << c.language << " round " << round << " after " << edits << " edits near " << dirty.start;
        }
    }
}

TEST(SyntaxIncrementalParse, AnEditInsideALongLineParsesOnlyAroundIt)
{
    const SyntaxLanguage json = builtInLanguage("json");
    QString text = plainJsonLine(25000);  // about 1 MB on one line
    const std::vector<SyntaxTokenSpan> old = fullParse(text, json);
    const qsizetype middle = text.indexOf(QStringLiteral("\"name\""), text.size() / 2) + 3;
    Incremental::Dirty dirty;
    replace(text, dirty, middle, 0, QStringLiteral("x"));
    const Incremental::Result typed = Incremental::afterEdits(text, json, old, TextRange(0, text.size() - 1), dirty, dirty.end + 4000);
    EXPECT_FALSE(typed.pending) << "a letter inside a string agrees again right after it";
    EXPECT_EQ(typed.tokens, fullParse(text, json));

    // A quote turns every string after it inside out: the parse stops at its bound, and what
    // follows stays pending until checked, one bounded slice at a time.
    const std::vector<SyntaxTokenSpan> before = typed.tokens;
    Incremental::Dirty quote;
    replace(text, quote, middle, 0, QStringLiteral("\""));
    Incremental::Result result = Incremental::afterEdits(text, json, before, TextRange(0, text.size() - 1), quote, quote.end + 4000);
    ASSERT_TRUE(result.pending);
    EXPECT_LE(result.pendingFrom, quote.end + 4000 + 100);
    const std::vector<SyntaxTokenSpan> full = fullParse(text, json);
    const auto upTo = [](const std::vector<SyntaxTokenSpan>& tokens, qsizetype end) {
        std::vector<SyntaxTokenSpan> head;
        for (const SyntaxTokenSpan& token : tokens)
            if (token.range.end() <= end) head.push_back(token);
        return head;
    };
    EXPECT_EQ(upTo(result.tokens, result.pendingFrom), upTo(full, result.pendingFrom)) << "what was checked is final";
    int slices = 1;
    while (result.pending) {
        result = Incremental::resume(text, json, result, result.pendingFrom + 50000);
        ++slices;
    }
    EXPECT_EQ(result.tokens, full);
    EXPECT_GT(slices, 5);

    // Given only the start of the text, what lies past its end stays as it was, pending.
    Incremental::Dirty letter;
    replace(text, letter, middle, 1, QString());
    const QString start = text.left(letter.end + 10000);
    Incremental::Result cut = Incremental::afterEdits(start, json, full, TextRange(0, text.size() + 1), letter, letter.end + 100000);
    EXPECT_EQ(cut.coverage, TextRange(0, text.size()));
    ASSERT_TRUE(cut.pending);
    EXPECT_LE(cut.pendingFrom, start.size() - Incremental::contextUnits);
    EXPECT_GT(cut.pendingFrom, letter.end);
    while (cut.pending) cut = Incremental::resume(text, json, cut, cut.pendingFrom + 50000);
    EXPECT_EQ(cut.tokens, fullParse(text, json));
}
