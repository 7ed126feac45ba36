#include "platform/text/TextBoundaries.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

// Every caret stop of text, walking forward, then walking backward.
std::vector<qsizetype> stopsForward(const TextBoundaries& b)
{
    std::vector<qsizetype> stops{0};
    for (qsizetype p = 0; p < b.length();) {
        p = b.nextGrapheme(p);
        stops.push_back(p);
    }
    return stops;
}

std::vector<qsizetype> stopsBackward(const TextBoundaries& b)
{
    std::vector<qsizetype> stops{b.length()};
    for (qsizetype p = b.length(); p > 0;) {
        p = b.previousGrapheme(p);
        stops.insert(stops.begin(), p);
    }
    return stops;
}

}  // namespace

TEST(TextBoundariesTest, CaretStopsKeepPairsClustersAndCrLfWhole)
{
    // a, U+1F600 (surrogate pair), CR LF, e + combining acute, family emoji with ZWJs, flag pair.
    const QString text = QStringLiteral("a\U0001F600\r\ne\u0301\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F1EF\U0001F1F5");
    const TextBoundaries b(text);
    const std::vector<qsizetype> expected{0, 1, 3, 5, 7, 15, 19};
    EXPECT_EQ(stopsForward(b), expected);
    EXPECT_EQ(stopsBackward(b), expected);
    EXPECT_EQ(b.graphemeStart(2), 1);  // between the halves of the pair
    EXPECT_EQ(b.graphemeStart(4), 3);  // between CR and LF
    EXPECT_EQ(b.graphemeStart(9), 7);
    EXPECT_TRUE(b.isGraphemeBoundary(5));
    EXPECT_EQ(b.previousGrapheme(0), 0);
    EXPECT_EQ(b.nextGrapheme(text.size()), text.size());
}

TEST(TextBoundariesTest, FetchedWindowsMatchTheWholeText)
{
    // Far from the start, the windowed reads must still see the same clusters.
    QString text = QString(10000, u'x');
    text += QStringLiteral("\U0001F600\r\n\U0001F600");
    int fetches = 0;
    const TextBoundaries b(text.size(), [&](qsizetype from, qsizetype to) {
        ++fetches;
        return text.mid(from, to - from);
    });
    EXPECT_EQ(b.nextGrapheme(10000), 10002);
    EXPECT_EQ(b.nextGrapheme(10002), 10004);
    EXPECT_EQ(b.previousGrapheme(text.size()), 10004);
    EXPECT_EQ(b.previousGrapheme(10004), 10002);
    EXPECT_EQ(b.graphemeStart(10003), 10002);
    EXPECT_GT(fetches, 0);
}

TEST(TextBoundariesTest, WordsForSelectionAndMovement)
{
    const QString text = QStringLiteral("foo bar_baz, 42 日本語");
    const TextBoundaries b(text);
    EXPECT_EQ(b.wordRange(1), (TextRange{0, 3}));
    EXPECT_EQ(b.wordRange(3), (TextRange{3, 1}));  // the space
    EXPECT_EQ(b.wordRange(6), (TextRange{4, 7}));  // underscore joins words
    EXPECT_EQ(b.wordRange(text.size()).end(), text.size());

    EXPECT_EQ(b.nextWordEnd(0), 3);
    EXPECT_EQ(b.nextWordEnd(3), 11);               // skips the space
    EXPECT_EQ(b.nextWordEnd(11), 15);              // skips ", "
    EXPECT_EQ(b.previousWordStart(15), 13);
    EXPECT_EQ(b.previousWordStart(13), 4);
    EXPECT_EQ(b.previousWordStart(2), 0);
    EXPECT_EQ(b.nextWordEnd(text.size()), text.size());
    EXPECT_EQ(TextBoundaries(QStringLiteral("  ")).nextWordEnd(0), 2);
}

TEST(TextBoundariesTest, ParagraphsWithEveryBreakKind)
{
    const QString text = QStringLiteral("ab\r\ncd\ref\u0085gh\u2028ij\u2029kl\n");
    const TextBoundaries b(text);
    EXPECT_EQ(b.paragraphStart(0), 0);
    EXPECT_EQ(b.paragraphContentsEnd(0), 2);
    EXPECT_EQ(b.paragraphEnd(0), 4);
    EXPECT_EQ(b.paragraphStart(3), 0);  // between CR and LF
    EXPECT_EQ(b.paragraphContentsEnd(3), 2);
    EXPECT_EQ(b.paragraphEnd(3), 4);
    EXPECT_EQ(b.paragraphStart(5), 4);
    EXPECT_EQ(b.paragraphEnd(5), 7);
    EXPECT_EQ(b.paragraphStart(8), 7);
    EXPECT_EQ(b.paragraphEnd(8), 10);
    EXPECT_EQ(b.paragraphEnd(11), 13);
    EXPECT_EQ(b.paragraphEnd(14), 16);
    EXPECT_EQ(b.paragraphRange({17, 0}), (TextRange{16, 3}));
    EXPECT_EQ(b.paragraphRange({text.size(), 0}), (TextRange{text.size(), 0}));
    // A range ending right after a break does not take the next paragraph.
    EXPECT_EQ(b.paragraphRange({1, 3}), (TextRange{0, 4}));
    EXPECT_EQ(b.paragraphRange({1, 4}), (TextRange{0, 7}));
}

TEST(TextBoundariesTest, LongParagraphsAreScannedInPieces)
{
    const QString text = QString(20000, u'a') + u'\n' + QString(9000, u'b');
    const TextBoundaries b(text);
    EXPECT_EQ(b.paragraphStart(19999), 0);
    EXPECT_EQ(b.paragraphContentsEnd(5), 20000);
    EXPECT_EQ(b.paragraphStart(text.size()), 20001);
    EXPECT_EQ(b.paragraphEnd(20001), text.size());
}
