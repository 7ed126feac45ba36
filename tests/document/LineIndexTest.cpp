#include "document/LineIndex.h"
#include "platform/text/TextStorage.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <random>

using namespace korimado;

namespace {

using Starts = std::vector<qsizetype>;

QString s(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// Replaces [location, location + removed) of text by inserted and updates index the way the
// document does after a text-storage edit.
void edit(QString& text, LineIndex& index, qsizetype location, qsizetype removed, const QString& inserted)
{
    text.replace(location, removed, inserted);
    index.update(text, {location, inserted.size()}, inserted.size() - removed);
}

void expectMatchesRebuild(const LineIndex& index, const QString& text)
{
    const LineIndex fresh(text);
    EXPECT_EQ(index.starts(), fresh.starts());
    EXPECT_EQ(index.length(), text.size());
}

}  // namespace

TEST(LineIndexTest, RebuildFindsEveryKindOfBreak)
{
    EXPECT_EQ(LineIndex().starts(), Starts{0});
    EXPECT_EQ(LineIndex(QString()).starts(), Starts{0});
    EXPECT_EQ(LineIndex("a\n").starts(), (Starts{0, 2}));
    EXPECT_EQ(LineIndex("a\r\nb").starts(), (Starts{0, 3}));
    EXPECT_EQ(LineIndex(s(u"a\rb\u0085c")).starts(), (Starts{0, 2, 4}));
    EXPECT_EQ(LineIndex(s(u"\u2028\u2029")).starts(), (Starts{0, 1, 2}));
    EXPECT_EQ(LineIndex("\r\r\n\n").starts(), (Starts{0, 1, 3, 4}));
    // Vertical tab, form feed and other low controls are not breaks.
    EXPECT_EQ(LineIndex(s(u"\u000B\u000C\t\u0084\u2027\u202A")).starts(), Starts{0});

    // Breaks on both sides of the vectorised blocks' boundaries.
    QString longLine(37, QChar('x'));
    longLine[7] = QChar('\r');
    longLine[8] = QChar('\n');
    longLine[15] = QChar(0x2029);
    longLine[16] = QChar('\r');
    longLine[36] = QChar('\n');
    const LineIndex index(longLine);
    EXPECT_EQ(index.starts(), (Starts{0, 9, 16, 17, 37}));
    EXPECT_EQ(index.length(), 37);
    EXPECT_EQ(index.lastRescannedUnits(), 37);
}

TEST(LineIndexTest, LineLookupAndRanges)
{
    const LineIndex index("a\nbc\r\n");
    EXPECT_EQ(index.starts(), (Starts{0, 2, 6}));
    EXPECT_EQ(index.line(0), 0);
    EXPECT_EQ(index.line(1), 0);
    EXPECT_EQ(index.line(2), 1);
    EXPECT_EQ(index.line(5), 1);
    EXPECT_EQ(index.line(6), 2);
    EXPECT_EQ(index.line(100), 2);
    EXPECT_EQ(index.line(-5), 0);
    EXPECT_EQ(index.lineRange(1), (TextRange{2, 4}));
    EXPECT_EQ(index.lineRange(2), (TextRange{6, 0}));
    EXPECT_TRUE(index.lineRange(3).isNotFound());

    const LineIndex two("a\nb");
    EXPECT_EQ(two.line(0), 0);
    EXPECT_EQ(two.line(2), 1);
    EXPECT_EQ(two.line(100), 1);
}

TEST(LineIndexTest, UpdatesMatchRebuildForBreakEdits)
{
    QString text = "one\ntwo\nthree";
    LineIndex index(text);

    edit(text, index, 5, 0, "\n");  // newline inside "two"
    EXPECT_EQ(index.starts(), (Starts{0, 4, 6, 9}));
    expectMatchesRebuild(index, text);

    text = "ab\r\ncd\r\nef";
    index.rebuild(text);
    edit(text, index, 2, 1, "");  // delete the CR of a CR LF
    EXPECT_EQ(index.starts(), (Starts{0, 3, 7}));
    expectMatchesRebuild(index, text);

    text = "ab\rcd\ref";
    index.rebuild(text);
    edit(text, index, 3, 0, "\n");  // an LF typed after a lone CR joins it
    EXPECT_EQ(index.starts(), (Starts{0, 4, 7}));
    expectMatchesRebuild(index, text);

    edit(text, index, 3, 1, "");  // and deleting it splits them again
    EXPECT_EQ(index.starts(), (Starts{0, 3, 6}));
    expectMatchesRebuild(index, text);

    text = "ab\ncd\nef";
    index.rebuild(text);
    edit(text, index, 2, 0, "\r");  // a CR typed before an LF joins it
    expectMatchesRebuild(index, text);
    edit(text, index, 0, text.size(), "");  // select all, delete
    EXPECT_EQ(index.starts(), Starts{0});
    edit(text, index, 0, 0, "x\n\ny");
    expectMatchesRebuild(index, text);

    // Only the edited lines, one before and up to two after are rescanned.
    QString many;
    for (int i = 0; i < 1000; ++i) many += QStringLiteral("line %1\n").arg(i);
    index.rebuild(many);
    edit(many, index, 5000, 0, "Z");
    expectMatchesRebuild(index, many);
    EXPECT_LT(index.lastRescannedUnits(), 50);
}

TEST(LineIndexTest, InconsistentEditFallsBackToRebuild)
{
    QString text = "a\nb\nc";
    LineIndex index(text);
    text = "a\nb\nc\nd\ne";
    index.update(text, {0, 1}, 0);  // the delta does not match the new length
    expectMatchesRebuild(index, text);
    index.update(text, {8, 10}, 0);  // range beyond the text
    expectMatchesRebuild(index, text);
    index.update(text, {-1, 0}, 0);
    expectMatchesRebuild(index, text);
    index.update(text, {2, 1}, 3);  // more inserted than the range holds
    expectMatchesRebuild(index, text);
}

TEST(LineIndexTest, RandomEditsAlwaysMatchRebuild)
{
    std::mt19937 rng(20261208);
    const char16_t alphabet[] = {u'a', u'b', u'\r', u'\n', u'\r', u'\n', 0x0085, 0x2028, 0x2029, u'あ'};
    const QStringList pieces = {"\r\n", "\r", "\n", "x\r", "\ny", "\r\n\r", "abc"};
    auto randomString = [&](int maxLength) {
        QString out;
        const int n = std::uniform_int_distribution<int>(0, maxLength)(rng);
        for (int i = 0; i < n; ++i) {
            if (rng() % 4 == 0) {
                out += pieces[static_cast<qsizetype>(rng() % pieces.size())];
            } else {
                out += QChar(alphabet[rng() % std::size(alphabet)]);
            }
        }
        return out;
    };

    for (int round = 0; round < 20; ++round) {
        QString text = randomString(200);
        LineIndex index(text);
        for (int step = 0; step < 400; ++step) {
            const qsizetype location = std::uniform_int_distribution<qsizetype>(0, text.size())(rng);
            const qsizetype removed =
                std::uniform_int_distribution<qsizetype>(0, std::min<qsizetype>(text.size() - location, 6))(rng);
            const QString inserted = randomString(rng() % 3 == 0 ? 0 : 5);
            edit(text, index, location, removed, inserted);
            const LineIndex fresh(text);
            ASSERT_EQ(index.starts(), fresh.starts())
                << "round " << round << " step " << step << " at " << location << " removed " << removed;
            ASSERT_EQ(index.length(), text.size());
        }
    }
}

// The document keeps its index over the chunked storage: the result must not depend on where the
// chunks happen to split the text, CR LF pairs across a chunk boundary included.
TEST(LineIndexTest, StorageIndexMatchesStringIndexThroughEdits)
{
    std::mt19937 rng(7);
    const QStringList pieces = {"a", "bc", "\r", "\n", "\r\n", QString(QChar(0x85)), QString(QChar(0x2028)),
                                QString(QChar(0x2029)), "日本語", "xyz\r"};
    QString text;
    for (int i = 0; i < 40000; ++i) text += pieces[static_cast<int>(rng() % pieces.size())];
    TextStorage storage(text);
    LineIndex index;
    index.rebuild(storage);
    ASSERT_EQ(index.starts(), LineIndex(text).starts());

    for (int step = 0; step < 1500; ++step) {
        const qsizetype len = storage.length();
        const qsizetype at = len == 0 ? 0 : static_cast<qsizetype>(rng() % static_cast<unsigned>(len + 1));
        const qsizetype removed = std::min<qsizetype>(len - at, static_cast<qsizetype>(rng() % 4));
        const QString inserted = rng() % 3 == 0 ? QString() : pieces[static_cast<int>(rng() % pieces.size())];
        storage.replaceCharacters({at, removed}, inserted);
        index.update(storage, {at, inserted.size()}, inserted.size() - removed);
        ASSERT_EQ(index.starts(), LineIndex(storage.string()).starts()) << "step " << step;
    }
}
