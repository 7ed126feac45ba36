#include "editor/Completion.h"
#include "editor/TextReader.h"
#include "editor/TypingAids.h"

#include <gtest/gtest.h>

namespace korimado {
namespace {

using selection::Replacement;

TEST(TypingAids, ReturnCopiesIndentationAndAddsAUnitAfterAnOpener)
{
    const QString text = "    if x {";
    const TextReader reader(text);
    typing::IndentStyle style;
    style.openers = {"{"};
    EXPECT_EQ(typing::newlineText(reader, text.size(), "\n", style), "\n    \t");
    style.usesSpaces = true;
    style.tabWidth = 2;
    EXPECT_EQ(typing::newlineText(reader, text.size(), "\r\n", style), "\r\n      ");
    // Inside the leading blanks only the blanks before the caret are copied, and no opener counts.
    EXPECT_EQ(typing::newlineText(reader, 2, "\n", style), "\n  ");
    // Trailing blanks after the opener do not hide it; without indenting only the break goes in.
    const QString trailing = "\tfoo {  \t";
    const TextReader trailingReader(trailing);
    EXPECT_EQ(typing::newlineText(trailingReader, trailing.size(), "\n", style), "\n\t  ");
    style.automaticallyIndents = false;
    EXPECT_EQ(typing::newlineText(reader, text.size(), "\u2029", style), "\u2029");

    // The first matching opener adds one unit only; the second line's blanks are its own.
    const QString python = "x\n  def f():";
    const TextReader pythonReader(python);
    typing::IndentStyle colon;
    colon.openers = {":", "):"};
    EXPECT_EQ(typing::newlineText(pythonReader, python.size(), "\n", colon), "\n  \t");
}

TEST(TypingAids, TabReachesTheNextStop)
{
    const QString text = "abcdef  xy\nz";
    const TextReader reader(text);
    EXPECT_EQ(typing::tabSpaces(reader, 6, 4), "  ");
    EXPECT_EQ(typing::tabSpaces(reader, 8, 4), "    ");
    EXPECT_EQ(typing::tabSpaces(reader, 12, 4), "   ");  // column 1 of the second line
    EXPECT_EQ(typing::tabSpaces(reader, 3, 1), " ");
}

TEST(TypingAids, BacktabOutdentsEveryTouchedLine)
{
    const QString text = "\t\tone\n      two\n  \tthree\nfour\n";
    const TextReader reader(text);
    // One selection across four lines: every line is outdented, not only the first.
    EXPECT_EQ(typing::outdentReplacements(reader, {TextRange(1, text.size() - 2)}, 4),
              (std::vector<Replacement>{{TextRange(0, 30), "\tone\n  two\n\tthree\nfour\n"}}));
    // Two carets on one line outdent it once; overlapping line ranges are not cut short.
    EXPECT_EQ(typing::outdentReplacements(reader, {TextRange(8, 0), TextRange(10, 0)}, 4),
              (std::vector<Replacement>{{TextRange(6, 10), "  two\n"}}));
    EXPECT_EQ(typing::outdentReplacements(reader, {TextRange(2, 6), TextRange(7, 12)}, 4),
              (std::vector<Replacement>{{TextRange(0, 25), "\tone\n  two\n\tthree\n"}}));
    // Carets on adjacent lines stay separate edits.
    EXPECT_EQ(typing::outdentReplacements(reader, {TextRange(0, 0), TextRange(6, 0)}, 4),
              (std::vector<Replacement>{{TextRange(0, 6), "\tone\n"}, {TextRange(6, 10), "  two\n"}}));
}

TEST(TypingAids, EnclosingSymbolsFollowThePairPriority)
{
    auto enclosing = [](const QString& text, TextRange selected) {
        const TextReader reader(text);
        return typing::enclosingSymbolsRange(reader, selected);
    };
    EXPECT_EQ(enclosing("f(a[b]c)", TextRange(4, 0)), TextRange(2, 5));
    EXPECT_EQ(enclosing("[a(b)c]", TextRange(3, 0)), TextRange(3, 1));
    EXPECT_EQ(enclosing("plain text", TextRange(3, 0)), std::nullopt);
    EXPECT_EQ(enclosing("", TextRange(0, 0)), std::nullopt);
    // Nested pairs of one kind are skipped; the command is idempotent on its own result.
    EXPECT_EQ(enclosing("(a (b) c (d) e)", TextRange(7, 0)), TextRange(1, 13));
    EXPECT_EQ(enclosing("(a (b) c (d) e)", TextRange(1, 13)), TextRange(1, 13));
    EXPECT_EQ(enclosing("say \"hi there\" now", TextRange(8, 0)), TextRange(5, 8));
    EXPECT_EQ(enclosing("it's", TextRange(4, 0)), std::nullopt);
}

TEST(TypingAids, IndentationColumns)
{
    const QString text = "        x\n   y\n\t  \tz";
    const TextReader reader(text);
    EXPECT_EQ(typing::indentationColumns(reader, 0, 4), 8);
    EXPECT_EQ(typing::indentationColumns(reader, 10, 4), 3);
    EXPECT_EQ(typing::indentationColumns(reader, 15, 4), 8);
}

TEST(Completion, OffersLongerWordsThatBeginWithThePartialOne)
{
    const QString text = "Abc abacus ab a_b ab";
    const TextReader reader(text);
    const auto list = completion::candidates(reader, TextRange(18, 2), {});
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(*list, (QStringList{"abacus", "Abc"}));

    // Language words join the document's, duplicates collapse, sorting is numeric.
    const QString doc = "item10 item2 item2";
    const TextReader docReader(doc);
    const auto merged = completion::candidates(docReader, TextRange(0, 2), {"item2", "ITEMS", "x"});
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(*merged, (QStringList{"item2", "item10", "ITEMS"}));

    EXPECT_FALSE(completion::candidates(reader, TextRange(18, 5), {}).has_value());

    // Words that differ only in case come in one fixed order, whichever the text names first.
    const QString cases = "abcd Abcd ab";
    const TextReader casesReader(cases);
    const auto ordered = completion::candidates(casesReader, TextRange(10, 2), {"ABCD"});
    ASSERT_TRUE(ordered.has_value());
    EXPECT_EQ(*ordered, (QStringList{"ABCD", "Abcd", "abcd"}));
}

TEST(Completion, CountsCharactersNotUnits)
{
    // Japanese words split only at non-word characters; a one-character piece is no candidate.
    const QString text = QString::fromUtf8("日本語、日本。日 😀x");
    const TextReader reader(text);
    const auto list = completion::candidates(reader, TextRange(0, 1), {});
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(*list, (QStringList{QString::fromUtf8("日本"), QString::fromUtf8("日本語")}));
    EXPECT_EQ(completion::partialWordRange(reader, 2), TextRange(0, 2));
    EXPECT_EQ(completion::partialWordRange(reader, 4), TextRange(4, 0));
}

}  // namespace
}  // namespace korimado
