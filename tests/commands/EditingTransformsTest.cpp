#include "commands/EditingTransforms.h"

#include "platform/foundation/LocalizedStandardCompare.h"

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

using namespace korimado;
using ET = EditingTransforms;

namespace {

QString s(const char16_t* text)
{
    return QString::fromUtf16(text);
}

}  // namespace

TEST(EditingTransforms, LinesKeepEveryTerminatorAndJoinBackExactly)
{
    const auto crlf = ET::lines(s(u"a\r\nb"));
    ASSERT_EQ(crlf.size(), 2u);
    EXPECT_EQ(crlf[0], (ET::Line{QStringLiteral("a"), QStringLiteral("\r\n")}));
    EXPECT_EQ(crlf[1], (ET::Line{QStringLiteral("b"), QString()}));
    EXPECT_EQ(ET::lines(QStringLiteral("a\n")).size(), 1u) << "no extra empty last line";
    EXPECT_TRUE(ET::lines(QString()).empty());

    const QString mixed = s(u"one\rtwo\r\n\nthree\u0085four\u2028five\u2029six");
    const auto all = ET::lines(mixed);
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all[0].ending, QStringLiteral("\r"));
    EXPECT_EQ(all[2].content, QString());
    EXPECT_EQ(all[4].ending, s(u"\u2028"));
    EXPECT_EQ(ET::joined(all), mixed);
}

TEST(EditingTransforms, IndentRemovesOneTabOrUpToWidthSpaces)
{
    EXPECT_EQ(ET::indent(QStringLiteral("\t  x"), 4, false, true), QStringLiteral("  x"));
    EXPECT_EQ(ET::indent(QStringLiteral("      x"), 4, false, true), QStringLiteral("  x"));
    EXPECT_EQ(ET::indent(QStringLiteral("  x"), 4, false, true), QStringLiteral("x"));
    EXPECT_EQ(ET::indent(QStringLiteral("a\r\n\r\nb"), 0, true, false), QStringLiteral(" a\r\n \r\n b"))
        << "width at least 1, blank lines too, endings kept";
    EXPECT_EQ(ET::indent(QStringLiteral("a\nb"), 4, false, false), QStringLiteral("\ta\n\tb"));
}

TEST(EditingTransforms, ConvertIndentationMeasuresTabStops)
{
    EXPECT_EQ(ET::convertIndentation(QStringLiteral(" \tx"), 4, false), QStringLiteral("\tx"));
    EXPECT_EQ(ET::convertIndentation(QStringLiteral(" \tx"), 4, true), QStringLiteral("    x"));
    EXPECT_EQ(ET::convertIndentation(QStringLiteral("\t \tx"), 4, true), QString(8, u' ') + u'x');
    EXPECT_EQ(ET::convertIndentation(QStringLiteral("      y\n \t "), 4, false), QStringLiteral("\t  y\n\t "))
        << "a line of blanks only is converted too";
}

TEST(EditingTransforms, ToggleLineCommentNeedsEveryCandidateCommented)
{
    const QString mixed = QStringLiteral("  a\n\n  // b");
    EXPECT_EQ(ET::toggleLineComment(mixed, QStringLiteral("//")), QStringLiteral("  // a\n\n  // // b"));
    EXPECT_EQ(ET::toggleLineComment(QStringLiteral("  // a\n  //b"), QStringLiteral("//")), QStringLiteral("  a\n  b"));
    EXPECT_EQ(ET::toggleLineComment(QStringLiteral("  \n\t"), QStringLiteral("#")), QStringLiteral("  \n\t"))
        << "only blank lines: unchanged";
    EXPECT_EQ(ET::toggleLineComment(QStringLiteral("x\r\ny\r\n"), QStringLiteral("#")), QStringLiteral("# x\r\n# y\r\n"));
    EXPECT_EQ(ET::toggleLineComment(QStringLiteral("#"), QStringLiteral("#")), QString());
    // A marker followed by a combining mark is another character, so the line is not commented.
    EXPECT_EQ(ET::toggleLineComment(s(u"#\u0301x"), QStringLiteral("#")), s(u"# #\u0301x"));
}

TEST(EditingTransforms, UncommentTriesTheBlockThenTheLines)
{
    const std::pair<QString, QString> block{QStringLiteral("/*"), QStringLiteral("*/")};
    EXPECT_EQ(ET::uncomment(QStringLiteral("  /* x */  "), std::nullopt, block), QStringLiteral("   x   "));
    EXPECT_EQ(ET::uncomment(QStringLiteral("/* a */ b */"), std::nullopt, block), QStringLiteral(" a */ b "));
    EXPECT_EQ(ET::uncomment(QStringLiteral("  // a\n//b\nc"), QStringLiteral("//"), block), QStringLiteral("  a\nb\nc"));
    EXPECT_EQ(ET::uncomment(QStringLiteral("/*/"), std::nullopt, block), QStringLiteral("/*/"))
        << "the end delimiter must not overlap the start";
    EXPECT_EQ(ET::uncomment(QStringLiteral("x"), std::nullopt, std::nullopt), QStringLiteral("x"));
}

TEST(EditingTransforms, SortIsCaseInsensitiveNumericAndStable)
{
    EXPECT_EQ(ET::sortLines(QStringLiteral("b10\na2\nA1"), true, std::nullopt), QStringLiteral("A1\na2\nb10"));
    EXPECT_EQ(ET::sortLines(QStringLiteral("b\na\n"), true, std::nullopt), QStringLiteral("a\nb\n"));
    EXPECT_EQ(ET::sortLines(QStringLiteral("b\na"), true, std::nullopt), QStringLiteral("a\nb"));
    EXPECT_EQ(ET::sortLines(QStringLiteral("x9\nx10\nx100\nx2"), false, std::nullopt), QStringLiteral("x100\nx10\nx9\nx2"));
    EXPECT_EQ(ET::sortLines(QStringLiteral("b\r\na\r\nc"), true, std::nullopt), QStringLiteral("a\r\nb\r\nc"))
        << "endings stay by position, the last without one";

    // Equal keys keep their order, ascending and descending alike.
    const QString tied = QStringLiteral("k2 first\nk1 x\nk2 second\nk1 y");
    EXPECT_EQ(ET::sortLines(tied, true, QStringLiteral("(k\\d)")), QStringLiteral("k1 x\nk1 y\nk2 first\nk2 second"));
    EXPECT_EQ(ET::sortLines(tied, false, QStringLiteral("k\\d")), QStringLiteral("k2 first\nk2 second\nk1 x\nk1 y"));

    // Keys that differ only in case or width compare equal: no order by code units among them.
    const QString cases = QStringLiteral("apple\nApple\nb\napple\nAPPLE\nＡｐｐｌｅ\n");
    EXPECT_EQ(ET::sortLines(cases, true, std::nullopt), QStringLiteral("apple\nApple\napple\nAPPLE\nＡｐｐｌｅ\nb\n"));
    EXPECT_EQ(ET::sortLines(cases, false, std::nullopt), QStringLiteral("b\napple\nApple\napple\nAPPLE\nＡｐｐｌｅ\n"));
    EXPECT_EQ(ET::sortLines(QStringLiteral("x B\ny b\nz A"), true, QStringLiteral("[a-zA-Z]$")),
              QStringLiteral("z A\nx B\ny b"));
}

TEST(EditingTransforms, SortOfManyLinesMatchesAStableSortByTheLocalizedComparison)
{
    // Long shared beginnings, case and width variants, numbers, repeats and lines longer than a
    // short key buffer: keys that tie in their first bytes or entirely.
    QRandomGenerator random(42);
    const QStringList stems = {QStringLiteral("item"), QStringLiteral("Item"), QStringLiteral("ｉｔｅｍ"),
                               QStringLiteral("a very long shared beginning of a line "), QStringLiteral("日本語"),
                               QStringLiteral("e\u0301"), QString()};
    QStringList lines;
    for (int i = 0; i < 3000; ++i) {
        QString line = stems[random.bounded(int(stems.size()))];
        line += QString::number(random.bounded(40));
        if (random.bounded(50) == 0) line += QString(300, QChar(u'x' + random.bounded(2)));
        lines << line;
    }
    const QString text = lines.join(u'\n') + u'\n';
    for (const bool ascending : {true, false}) {
        QStringList expected = lines;
        // The collation alone decides: lines it cannot tell apart keep their order.
        std::stable_sort(expected.begin(), expected.end(), [&](const QString& a, const QString& b) {
            const QByteArray x = localizedStandardSortKey(a);
            const QByteArray y = localizedStandardSortKey(b);
            return ascending ? x < y : y < x;
        });
        EXPECT_EQ(ET::sortLines(text, ascending, std::nullopt), expected.join(u'\n') + u'\n') << ascending;
    }

    // Lines equal in every unit keep their order, which their endings show.
    EXPECT_EQ(ET::sortLines(QStringLiteral("b\nx\r\nx\na"), true, std::nullopt), QStringLiteral("a\nb\nx\r\nx"));
    EXPECT_EQ(ET::sortLines(QStringLiteral("x\r\nb\nx\n"), false, std::nullopt), QStringLiteral("x\r\nx\nb\n"));
}

TEST(EditingTransforms, DedupeOfManyLinesKeepsEachFirstOccurrence)
{
    QRandomGenerator random(3);
    QStringList lines;
    for (int i = 0; i < 5000; ++i) lines << QStringLiteral("line %1").arg(random.bounded(1500));
    // Each kept line keeps its own ending; only the last line has none.
    QString expected;
    QSet<QString> seen;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (seen.contains(lines[i])) continue;
        seen.insert(lines[i]);
        expected += lines[i] + (i + 1 < lines.size() ? QStringLiteral("\n") : QString());
    }
    EXPECT_EQ(ET::deduplicateLines(lines.join(u'\n')), expected);
}

TEST(EditingTransforms, PatternSortUsesTheFirstGroupAndIgnoresBadPatterns)
{
    const QString text = QStringLiteral("b x10\na x9\nc x100");
    EXPECT_EQ(ET::sortLines(text, true, QStringLiteral("x(\\d+)")), QStringLiteral("a x9\nb x10\nc x100"));
    EXPECT_EQ(ET::sortLines(text, true, QStringLiteral("(")), QStringLiteral("a x9\nb x10\nc x100"));
    EXPECT_EQ(ET::sortLines(QStringLiteral("zz\nb 1\na 2"), true, QStringLiteral("\\d")), QStringLiteral("b 1\na 2\nzz"))
        << "no match sorts by the whole line";
    EXPECT_EQ(ET::sortLines(QStringLiteral("b 2\na 1"), true, QStringLiteral("(z)?\\d")), QStringLiteral("a 1\nb 2"))
        << "a group that took no part gives the whole match";
}

TEST(EditingTransforms, ReverseDedupeJoinAndSwap)
{
    EXPECT_EQ(ET::reverseLines(QStringLiteral("a\nb")), QStringLiteral("b\na"));
    EXPECT_EQ(ET::reverseLines(QStringLiteral("a\nb\n")), QStringLiteral("b\na\n"));
    EXPECT_EQ(ET::deduplicateLines(QStringLiteral("a\nb\na")), QStringLiteral("a\nb\n"));
    EXPECT_EQ(ET::deduplicateLines(s(u"\u00e9\ne\u0301\r\nx")), s(u"\u00e9\nx")) << "canonically equal lines";
    EXPECT_EQ(ET::joinLines(QStringLiteral("  a  \n\n b\n")), QStringLiteral("a b\n"));
    EXPECT_EQ(ET::joinLines(QStringLiteral("  a  ")), QStringLiteral("  a  "));
    EXPECT_EQ(ET::swapAdjacentLineBlocks(QStringLiteral("a\n"), QStringLiteral("b")), QStringLiteral("b\na"));
    EXPECT_EQ(ET::swapAdjacentLineBlocks(QStringLiteral("a\r\nb\r\n"), QStringLiteral("c\n")), QStringLiteral("c\r\na\r\nb\n"));
}

TEST(EditingTransforms, ConvertWidthTouchesAsciiOnly)
{
    const QString ascii = QStringLiteral("A b!");
    const QString full = s(u"\uFF21\u3000\uFF42\uFF01");
    EXPECT_EQ(ET::convertWidth(ascii, true), full);
    EXPECT_EQ(ET::convertWidth(full, false), ascii);
    const QString kana = s(u"\uFF76\uFF9E\u30AB");
    EXPECT_EQ(ET::convertWidth(kana, true), kana);
    EXPECT_EQ(ET::convertWidth(kana, false), kana);
    EXPECT_EQ(ET::convertWidth(s(u"~\U0001F600"), true), s(u"\uFF5E\U0001F600"));
}

TEST(EditingTransforms, ScalarFromTypedText)
{
    EXPECT_EQ(ET::scalar(QStringLiteral("u+1f600")), s(u"\U0001F600"));
    EXPECT_EQ(ET::scalar(QStringLiteral("  0x41 \n")), QStringLiteral("A"));
    EXPECT_EQ(ET::scalar(QStringLiteral("U+0x41")), QStringLiteral("A"));
    EXPECT_EQ(ET::scalar(QStringLiteral("+41")), QStringLiteral("A"));
    for (const char* bad : {"D800", "DFFF", "110000", "xyz", "", "U+", "+", "-41", "1 2", "100000000000"})
        EXPECT_FALSE(ET::scalar(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(EditingTransforms, CharacterDescriptionCountsAndNames)
{
    EXPECT_EQ(ET::characterDescription(QString()), QStringLiteral("文字が選択されていません。"));
    EXPECT_EQ(ET::characterDescription(s(u"e\u0301")),
              QStringLiteral("書記素: 1\nUnicodeスカラー: 2\nUTF-16単位: 2\n\n"
                             "U+0065  LATIN SMALL LETTER E\nU+0301  COMBINING ACUTE ACCENT"));
    const QString astral = ET::characterDescription(s(u"\U0001F338\u0007"));
    EXPECT_TRUE(astral.contains(QStringLiteral("UTF-16単位: 3")));
    EXPECT_TRUE(astral.contains(QStringLiteral("U+1F338  CHERRY BLOSSOM")));
    EXPECT_TRUE(astral.endsWith(QStringLiteral("U+0007  名称なし")));
}

// Past a few hundred thousand lines the keys, the sort, the merge and the gathering of the result
// are cut into parts: the result must be the one a plain stable sort by the same keys gives, and
// dedupe must match a plain set, with kana written both composed and decomposed.
TEST(EditingTransforms, LargeSortAndDedupeMatchAPlainReference)
{
    QRandomGenerator random(11);
    const QString tails[] = {s(u" \u304c"), s(u" \u304b\u3099"), s(u" \uff76\uff9e"), QStringLiteral(" A"), QStringLiteral(" a")};
    QStringList lines;
    for (int i = 0; i < 230'000; ++i)
        lines << QString::number(random.bounded(90'000)) + tails[random.bounded(5)] + (i % 7 == 0 && i + 1 < 230'000 ? s(u"\r") : QString());
    const QString text = lines.join(u'\n');

    std::vector<std::pair<QByteArray, qsizetype>> keyed;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString content = lines[i];
        if (content.endsWith(u'\r')) content.chop(1);
        keyed.emplace_back(localizedStandardSortKey(content), i);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const QString sorted = ET::sortLines(text, true, std::nullopt);
    const QStringList out = sorted.split(u'\n');
    ASSERT_EQ(out.size(), lines.size());
    for (qsizetype k = 0; k < out.size(); k += 997) {
        QString expected = lines[keyed[static_cast<size_t>(k)].second];
        if (expected.endsWith(u'\r')) expected.chop(1);
        QString got = out[k];
        if (got.endsWith(u'\r')) got.chop(1);
        ASSERT_EQ(got, expected) << k;
    }

    QString expected;
    QSet<QString> seen;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString content = lines[i];
        const bool cr = content.endsWith(u'\r');
        if (cr) content.chop(1);
        const QString key = content.normalized(QString::NormalizationForm_C);
        if (seen.contains(key)) continue;
        seen.insert(key);
        expected += lines[i] + (i + 1 < lines.size() ? QStringLiteral("\n") : QString());
    }
    EXPECT_EQ(ET::deduplicateLines(text), expected);
}
