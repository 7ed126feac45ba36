#include "commands/LineEdits.h"
#include "commands/SelectionEdits.h"
#include "editor/TextReader.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QString s(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// The text after applying an edit (non-overlapping ranges) back to front.
QString applied(QString text, const CommandEdit& edit)
{
    for (size_t i = edit.ranges.size(); i-- > 0;)
        text.replace(edit.ranges[i].location, edit.ranges[i].length, edit.strings[static_cast<qsizetype>(i)]);
    return text;
}

}  // namespace

TEST(LineEdits, DuplicateWithAndWithoutAFinalTerminator)
{
    EXPECT_EQ(LineEdits::duplicate(QStringLiteral("abc"), QStringLiteral("\n")), QStringLiteral("abc\nabc"));
    EXPECT_EQ(LineEdits::duplicate(QStringLiteral("abc\n"), QStringLiteral("\r\n")), QStringLiteral("abc\nabc\n"));
    EXPECT_EQ(LineEdits::duplicate(QString(), QStringLiteral("\r\n")), QStringLiteral("\r\n"));
}

TEST(LineEdits, JoinExtendsACaretsBlockByTheNextLine)
{
    const QString text = QStringLiteral("a\nb\nc");
    EXPECT_EQ(LineEdits::blocksToJoin(TextReader(text), {{0, 2}}, true), std::vector<TextRange>({{0, 4}}));
    EXPECT_EQ(LineEdits::blocksToJoin(TextReader(text), {{0, 2}}, false), std::vector<TextRange>({{0, 2}}));
    EXPECT_EQ(LineEdits::blocksToJoin(TextReader(text), {{4, 1}}, true), std::vector<TextRange>({{4, 1}})) << "last line";
    EXPECT_EQ(LineEdits::blocksToJoin(TextReader(text), {{0, 2}, {4, 1}}, true), std::vector<TextRange>({{0, 4}, {4, 1}}))
        << "only the first block grows";
}

TEST(LineEdits, ShuffleKeepsTheTerminatorPattern)
{
    QRandomGenerator random(7);
    for (int i = 0; i < 20; ++i) {
        const QString shuffled = LineEdits::shuffle(QStringLiteral("x\ny\r\nz"), random);
        ASSERT_EQ(shuffled.size(), 6);
        EXPECT_EQ(shuffled.mid(1, 1), QStringLiteral("\n"));
        EXPECT_EQ(shuffled.mid(3, 2), QStringLiteral("\r\n"));
        QString letters = QString(shuffled[0]) + shuffled[2] + shuffled[5];
        std::sort(letters.begin(), letters.end());
        EXPECT_EQ(letters, QStringLiteral("xyz"));
    }
}

TEST(LineEdits, MoveSkipsBlocksAtTheEdgesAndKeepsEndings)
{
    const QString text = QStringLiteral("one\ntwo\nthree");
    EXPECT_TRUE(LineEdits::moveUp(TextReader(text), {{0, 4}}).isEmpty());
    EXPECT_TRUE(LineEdits::moveDown(TextReader(text), {{8, 5}}).isEmpty());
    EXPECT_EQ(applied(text, LineEdits::moveDown(TextReader(text), {{4, 4}})), QStringLiteral("one\nthree\ntwo"));
    const CommandEdit up = LineEdits::moveUp(TextReader(text), {{8, 5}});
    EXPECT_EQ(up.ranges, std::vector<TextRange>({{4, 9}}));
    EXPECT_EQ(applied(text, up), QStringLiteral("one\nthree\ntwo"));
    const QString crlf = QStringLiteral("a\r\nb\r\nc\r\n");
    EXPECT_EQ(applied(crlf, LineEdits::moveUp(TextReader(crlf), {{3, 3}})), QStringLiteral("b\r\na\r\nc\r\n"));
}

TEST(LineEdits, TrimCommentAndShiftEveryLine)
{
    EXPECT_EQ(LineEdits::trimTrailingWhitespace(QStringLiteral("a \t\nb  ")), QStringLiteral("a\nb"));
    EXPECT_EQ(LineEdits::trimTrailingWhitespace(s(u"a\u3000 \r\n")), s(u"a\u3000\r\n")) << "only spaces and tabs";
    EXPECT_EQ(LineEdits::inlineComment(QStringLiteral("  a\n\nb"), QStringLiteral("//")),
              QStringLiteral("  // a\n// \n// b"));
    EXPECT_EQ(LineEdits::shiftRight(QStringLiteral("a\n\nb\n"), 4, true), QStringLiteral("    a\n    \n    b\n"));
    EXPECT_EQ(LineEdits::shiftRight(QStringLiteral("a"), 0, true), QStringLiteral(" a"));
    EXPECT_EQ(LineEdits::shiftRight(QStringLiteral("a\r\nb"), 4, false), QStringLiteral("\ta\r\n\tb"));
}

TEST(SelectionEdits, SurroundReselectsEachTextInside)
{
    const QString text = QStringLiteral("x yz");
    const auto result = SelectionEdits::surround(TextReader(text), {{0, 1}, {2, 2}}, QStringLiteral("'"), QStringLiteral("'"));
    EXPECT_EQ(applied(text, result.edit), QStringLiteral("'x' 'yz'"));
    ASSERT_TRUE(result.selections.has_value());
    EXPECT_EQ(*result.selections, std::vector<TextRange>({{1, 1}, {5, 2}}));
    const auto prefixOnly = SelectionEdits::surround(TextReader(text), {{1, 0}}, QStringLiteral("<b>"), QString());
    EXPECT_EQ(applied(text, prefixOnly.edit), QStringLiteral("x<b> yz"));
    EXPECT_EQ(*prefixOnly.selections, std::vector<TextRange>({{4, 0}}));
}

TEST(SelectionEdits, SnippetPlaceholdersAndCarets)
{
    const QString text = QStringLiteral("ab cd");
    const auto wrapped = SelectionEdits::insertSnippet(TextReader(text), {{0, 2}, {3, 2}}, QStringLiteral("[${selection}]"));
    EXPECT_EQ(applied(text, wrapped.edit), QStringLiteral("[ab] [cd]"));
    EXPECT_FALSE(wrapped.selections.has_value()) << "no mark: the carets at the ends stand";

    const auto twice = SelectionEdits::insertSnippet(TextReader(QString()), {{0, 0}}, QStringLiteral("a${cursor}b${cursor}c"));
    EXPECT_EQ(twice.edit.strings, QStringList{QStringLiteral("abc")});
    EXPECT_EQ(*twice.selections, std::vector<TextRange>({{1, 0}}));

    // The selected text's own "${cursor}" becomes the mark: selection goes in first.
    const QString marked = QStringLiteral("x${cursor}y");
    const auto inherited = SelectionEdits::insertSnippet(TextReader(marked), {{0, marked.size()}}, QStringLiteral("(${selection})"));
    EXPECT_EQ(inherited.edit.strings, QStringList{QStringLiteral("(xy)")});
    EXPECT_EQ(*inherited.selections, std::vector<TextRange>({{2, 0}}));

    // Carets after an emoji and after a combining sequence, with a shift from the first selection.
    const QString body = s(u"\U0001F600e\u0301${cursor}!");
    const auto emoji = SelectionEdits::insertSnippet(TextReader(text), {{0, 2}, {3, 0}}, body);
    EXPECT_EQ(emoji.edit.strings[0], s(u"\U0001F600e\u0301!"));
    EXPECT_EQ(*emoji.selections, std::vector<TextRange>({{4, 0}, {3 + (5 - 2) + 4, 0}}));
    // A mark between a letter and its combining accent puts the caret after the whole character.
    const auto split = SelectionEdits::insertSnippet(TextReader(QString()), {{0, 0}}, s(u"e${cursor}\u0301x"));
    EXPECT_EQ(*split.selections, std::vector<TextRange>({{2, 0}}));
}

TEST(SelectionEdits, ConversionRangesTakeWordsOnlyWhenAllAreCarets)
{
    const QString text = QStringLiteral("alpha beta gamma");
    EXPECT_EQ(SelectionEdits::conversionRanges(TextReader(text), {{2, 0}, {6, 0}, {16, 0}}),
              std::vector<TextRange>({{0, 5}, {6, 4}, {11, 5}}));
    EXPECT_EQ(SelectionEdits::conversionRanges(TextReader(text), {{1, 0}, {6, 2}}), std::vector<TextRange>({{1, 0}, {6, 2}}));
}

TEST(SelectionEdits, LineTargetsAndBeeps)
{
    const QString abc = QStringLiteral("a\nb\nc");
    const auto at = [](const QString& text, qint64 n) {
        const auto t = SelectionEdits::lineTarget(TextReader(text), n);
        return std::make_pair(t.offset, t.beep);
    };
    EXPECT_EQ(at(abc, 3), std::make_pair(qsizetype{4}, false));
    EXPECT_EQ(at(abc, 4), std::make_pair(qsizetype{5}, false));
    EXPECT_EQ(at(abc, 5), std::make_pair(qsizetype{5}, true));
    const QString ended = QStringLiteral("a\nb\n");
    EXPECT_EQ(at(ended, 3), std::make_pair(qsizetype{4}, false));
    EXPECT_EQ(at(ended, 4), std::make_pair(qsizetype{4}, true));
    EXPECT_EQ(at(abc, 0), std::make_pair(qsizetype{0}, false));
    EXPECT_EQ(at(abc, -3), std::make_pair(qsizetype{0}, false));
    EXPECT_EQ(at(QStringLiteral("a\r\nb"), 2), std::make_pair(qsizetype{3}, false));
}

TEST(SelectionEdits, InspectionTakesTheWholeCharacterAtACaret)
{
    const QString text = s(u"e\u0301\U0001F338");
    EXPECT_EQ(SelectionEdits::inspectionSubject(text, {0, 0}), s(u"e\u0301"));
    EXPECT_EQ(SelectionEdits::inspectionSubject(text, {2, 0}), s(u"\U0001F338"));
    EXPECT_EQ(SelectionEdits::inspectionSubject(text, {4, 0}), QString());
    EXPECT_EQ(SelectionEdits::inspectionSubject(text, {0, 4}), text);
}
