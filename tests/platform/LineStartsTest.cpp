// The storage's one line table: every kind of break, the last-line convention, and updates
// through edits of every shape matching a fresh scan of the text.
#include "platform/text/LineStarts.h"
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

Starts startsOf(const QString& text)
{
    return LineStarts(text).starts();
}

void expectMatchesRebuild(const TextStorage& storage)
{
    const QString text = storage.string();
    EXPECT_EQ(storage.lines().starts(), startsOf(text));
    EXPECT_EQ(storage.lines().length(), text.size());
}

}  // namespace

TEST(LineStartsTest, FindsEveryKindOfBreak)
{
    EXPECT_EQ(LineStarts().starts(), Starts{0});
    EXPECT_EQ(startsOf(QString()), Starts{0});
    EXPECT_EQ(startsOf("a\n"), (Starts{0, 2}));
    EXPECT_EQ(startsOf("a\r\nb"), (Starts{0, 3}));
    EXPECT_EQ(startsOf(s(u"a\rb\u0085c")), (Starts{0, 2, 4}));
    EXPECT_EQ(startsOf(s(u"\u2028\u2029")), (Starts{0, 1, 2}));
    EXPECT_EQ(startsOf("\r\r\n\n"), (Starts{0, 1, 3, 4}));
    // Vertical tab, form feed and other low controls are not breaks.
    EXPECT_EQ(startsOf(s(u"\u000B\u000C\t\u0084\u2027\u202A")), Starts{0});

    // Breaks on both sides of the vectorised blocks' boundaries.
    QString longLine(37, QChar('x'));
    longLine[7] = QChar('\r');
    longLine[8] = QChar('\n');
    longLine[15] = QChar(0x2029);
    longLine[16] = QChar('\r');
    longLine[36] = QChar('\n');
    EXPECT_EQ(startsOf(longLine), (Starts{0, 9, 16, 17, 37}));
}

// A large text is scanned in parts at once: the same starts as one scan, with a CR LF, a lone CR
// and a lone LF placed across each place the parts may be cut.
TEST(LineStartsTest, ALargeTextScannedInPartsFindsWhatOneScanFinds)
{
    QString text;
    std::mt19937 rng(5);
    const QStringList lines = {s(u"short\n"), s(u"a longer line of text\r\n"), s(u"\u3042\u3044\r"), s(u"\u2028"),
                               QString(90, QChar('y')) + s(u"\n")};
    while (text.size() < 9 * 1024 * 1024) text += lines[rng() % lines.size()];
    for (int parts = 2; parts <= 8; ++parts) {
        for (int k = 1; k < parts; ++k) {
            const qsizetype cut = text.size() * k / parts;
            const char16_t* marks[] = {u"\r\n", u"\r", u"\n"};
            const qsizetype at = cut - 1;
            text.replace(at, 2, QString::fromUtf16(marks[(parts + k) % 3]).leftJustified(2, QChar('z')));
        }
    }
    Starts expected{0};
    LineStarts::scan(text, 0, expected);
    EXPECT_EQ(startsOf(text), expected);
}

TEST(LineStartsTest, LineLookupAndRanges)
{
    const TextStorage storage(QStringLiteral("a\nbc\r\n"));
    const LineStarts& lines = storage.lines();
    EXPECT_EQ(lines.starts(), (Starts{0, 2, 6}));
    EXPECT_EQ(lines.count(), 3);
    EXPECT_EQ(lines.lineAt(0), 0);
    EXPECT_EQ(lines.lineAt(1), 0);
    EXPECT_EQ(lines.lineAt(2), 1);
    EXPECT_EQ(lines.lineAt(5), 1);
    EXPECT_EQ(lines.lineAt(6), 2);
    EXPECT_EQ(lines.lineAt(100), 2);
    EXPECT_EQ(lines.lineAt(-5), 0);
    EXPECT_EQ(lines.range(1), (TextRange{2, 4}));
    EXPECT_EQ(lines.range(2), (TextRange{6, 0})) << "the empty last line after a final break";
    EXPECT_TRUE(lines.range(3).isNotFound());
    EXPECT_EQ(lines.start(3), 6);

    const TextStorage two(QStringLiteral("a\nb"));
    EXPECT_EQ(two.lines().lineAt(2), 1);
    EXPECT_EQ(two.lines().range(1), (TextRange{2, 1}));
}

TEST(LineStartsTest, EditsThatMakeOrBreakCrLfPairs)
{
    TextStorage storage(QStringLiteral("one\ntwo\nthree"));
    storage.replaceCharacters({5, 0}, QStringLiteral("\n"));  // newline inside "two"
    EXPECT_EQ(storage.lines().starts(), (Starts{0, 4, 6, 9}));

    storage.setString(QStringLiteral("ab\r\ncd\r\nef"));
    storage.replaceCharacters({2, 1}, QString());  // delete the CR of a CR LF
    EXPECT_EQ(storage.lines().starts(), (Starts{0, 3, 7}));

    storage.setString(QStringLiteral("ab\rcd\ref"));
    storage.replaceCharacters({3, 0}, QStringLiteral("\n"));  // an LF typed after a lone CR joins it
    EXPECT_EQ(storage.lines().starts(), (Starts{0, 4, 7}));
    storage.replaceCharacters({3, 1}, QString());  // and deleting it splits them again
    EXPECT_EQ(storage.lines().starts(), (Starts{0, 3, 6}));

    storage.setString(QStringLiteral("ab\ncd\nef"));
    storage.replaceCharacters({2, 0}, QStringLiteral("\r"));  // a CR typed before an LF joins it
    EXPECT_EQ(storage.lines().starts(), (Starts{0, 4, 7}));
    storage.replaceCharacters({3, 0}, QStringLiteral("\n"));  // an LF between CR and LF splits them
    EXPECT_EQ(storage.lines().starts(), (Starts{0, 4, 5, 8}));
    storage.replaceCharacters({0, storage.length()}, QString());  // select all, delete
    EXPECT_EQ(storage.lines().starts(), Starts{0});
    storage.replaceCharacters({0, 0}, QStringLiteral("x\n\ny\r"));
    EXPECT_EQ(storage.lines().starts(), (Starts{0, 2, 3, 5}));
    expectMatchesRebuild(storage);
}

// A keystroke looks at the units around it only, however long its line, and later starts move
// lazily: after a run of typing they still read right.
TEST(LineStartsTest, TypingScansOnlyAroundTheEditAndLaterStartsFollow)
{
    // Typing and erasing by turns on the first line of a text just read moves no later start.
    QString lines;
    for (int i = 0; i < 5000; ++i) lines += QStringLiteral("row %1\n").arg(i);
    TextStorage fresh(QStringLiteral("\n") + lines);
    for (int i = 0; i < 6; ++i) {
        fresh.replaceCharacters(i % 2 ? TextRange{0, 1} : TextRange{0, 0}, i % 2 ? QString() : QStringLiteral("m"));
        EXPECT_LE(fresh.lines().lastSettledStarts(), 1) << i;
    }
    expectMatchesRebuild(fresh);

    QString many;
    for (int i = 0; i < 1000; ++i) many += QStringLiteral("line %1\n").arg(i);
    many += QString(100000, QChar('x'));
    TextStorage storage(many);
    for (int i = 0; i < 50; ++i) {
        storage.replaceCharacters({5000 + i, 0}, QStringLiteral("Z"));
        EXPECT_LE(storage.lines().lastRescannedUnits(), 3);
    }
    storage.replaceCharacters({storage.length() - 50000, 0}, QStringLiteral("\n"));
    EXPECT_LE(storage.lines().lastRescannedUnits(), 3) << "inside the long last line";
    storage.replaceCharacters({10, 0}, QStringLiteral("\n\n"));  // before the pending move
    storage.replaceCharacters({8000, 3}, QString());              // after it
    expectMatchesRebuild(storage);
    EXPECT_EQ(storage.lines().start(storage.lines().count() - 1), storage.length() - 50000 + 2 - 3 + 1);
}

// The table must not depend on where the chunks split the text, CR LF pairs across a chunk
// boundary included, nor on how edits are grouped into transactions.
TEST(LineStartsTest, RandomEditsAlwaysMatchARebuild)
{
    std::mt19937 rng(20261208);
    const QStringList pieces = {"a", "bc", "\r", "\n", "\r\n", QString(QChar(0x85)), QString(QChar(0x2028)),
                                QString(QChar(0x2029)), "日本語", "xyz\r", "\ny", "\r\n\r"};
    auto randomString = [&](int maxPieces) {
        QString out;
        const int n = std::uniform_int_distribution<int>(0, maxPieces)(rng);
        for (int i = 0; i < n; ++i) out += pieces[static_cast<qsizetype>(rng() % pieces.size())];
        return out;
    };

    for (int round = 0; round < 6; ++round) {
        TextStorage storage(randomString(round % 2 ? 60 : 9000));
        for (int step = 0; step < 600; ++step) {
            const bool grouped = rng() % 5 == 0;
            if (grouped) storage.beginEditing();
            for (int k = 0; k < (grouped ? 4 : 1); ++k) {
                const qsizetype len = storage.length();
                const qsizetype at = std::uniform_int_distribution<qsizetype>(0, len)(rng);
                const qsizetype removed = std::uniform_int_distribution<qsizetype>(
                    0, std::min<qsizetype>(len - at, rng() % 20 == 0 ? 3000 : 6))(rng);
                storage.replaceCharacters({at, removed}, randomString(rng() % 3 == 0 ? 0 : 3));
                ASSERT_EQ(storage.lines().length(), storage.length());
            }
            if (grouped) storage.endEditing();
            ASSERT_EQ(storage.lines().starts(), startsOf(storage.string())) << "round " << round << " step " << step;
        }
    }
}

TEST(LineStartsTest, ObserversReadTheUpdatedTableAndRevision)
{
    TextStorage storage(QStringLiteral("a\nb"));
    const std::uint64_t before = storage.revision();
    std::vector<Starts> seen;
    std::vector<std::uint64_t> revisions;
    storage.addObserver([&](TextStorage& s, const TextStorageEdit&) {
        seen.push_back(s.lines().starts());
        revisions.push_back(s.revision());
    });
    storage.replaceCharacters({1, 0}, QStringLiteral("\n\n"));
    storage.editedAttributes({0, 1});
    storage.beginEditing();
    storage.replaceCharacters({0, 1}, QStringLiteral("x"));
    storage.replaceCharacters({0, 0}, QStringLiteral("y"));
    storage.endEditing();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (Starts{0, 2, 3, 4}));
    EXPECT_EQ(revisions[0], before + 1);
    EXPECT_EQ(revisions[1], before + 1) << "attributes are no character edit";
    EXPECT_EQ(seen[2], (Starts{0, 3, 4, 5}));
    EXPECT_GT(revisions[2], revisions[1]);
}
