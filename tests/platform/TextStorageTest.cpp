#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <vector>

using namespace korimado;

namespace {

struct Recorder : TextStorageDelegate {
    std::vector<TextStorageEdit> edits;
    std::vector<QString> textsSeen;
    void textStorageDidProcessEditing(TextStorage& storage, const TextStorageEdit& edit) override
    {
        edits.push_back(edit);
        textsSeen.push_back(storage.string());
    }
};

QString repeated(const QString& unit, int times)
{
    QString s;
    for (int i = 0; i < times; ++i) s += unit;
    return s;
}

}  // namespace

TEST(TextStorageTest, RandomEditsMatchAPlainStringModel)
{
    QRandomGenerator rng(7);
    QString model = repeated(QStringLiteral("abc\r\ndef\u3042\U0001F600\n"), 3000);
    TextStorage storage(model);
    const QString alphabet = QStringLiteral("xy\n\r\u3042");
    for (int step = 0; step < 3000; ++step) {
        const qsizetype loc = rng.bounded(int(model.size()) + 1);
        qsizetype len = rng.bounded(int(std::min<qsizetype>(model.size() - loc, 40)) + 1);
        QString insert;
        const int kind = rng.bounded(10);
        if (kind == 0) len = std::min<qsizetype>(model.size() - loc, 20000);  // large deletion
        const int insertLength = kind == 1 ? 20000 : rng.bounded(12);
        for (int i = 0; i < insertLength; ++i) insert += alphabet.at(rng.bounded(int(alphabet.size())));
        storage.replaceCharacters(TextRange(loc, len), insert);
        model.replace(loc, len, insert);
        ASSERT_EQ(storage.length(), model.size()) << "step " << step;
        if (step % 97 == 0) {
            ASSERT_EQ(storage.string(), model) << "step " << step;
            const qsizetype probe = rng.bounded(int(model.size()) + 1);
            EXPECT_EQ(storage.characterAt(probe), probe < model.size() ? model.at(probe) : QChar());
            EXPECT_EQ(storage.substring(TextRange(probe, 5000)), model.mid(probe, 5000));
        }
    }
    EXPECT_EQ(storage.string(), model);
    // Chunks stay within bounds: neither one huge block nor thousands of scraps.
    EXPECT_GE(storage.chunkCount(), model.size() / TextStorage::MaxChunkSize);
    EXPECT_LE(storage.chunkCount(), model.size() / TextStorage::MinChunkSize + 2);
}

// A large text is read without copying: its chunks are views into it until edited, and the text
// lives exactly as long as a chunk or a snapshot needs it.
TEST(TextStorageTest, ALargeTextIsViewedNotCopiedAndEditsLeaveItIntact)
{
    QString model = repeated(QStringLiteral("abc\r\ndef\u3042\U0001F600\n"), 100'000);  // 1.2 M units
    QString caller = model;
    auto storage = std::make_unique<TextStorage>(caller);
    ASSERT_GT(storage->viewChunkCount(), 200);
    EXPECT_EQ(storage->viewChunkCount(), storage->chunkCount());
    caller[5] = u'Z';  // the reader's own copy changes; the storage's text does not
    EXPECT_EQ(storage->characterAt(5), model.at(5));
    const TextSnapshot before = storage->snapshot();

    QRandomGenerator rng(3);
    for (int step = 0; step < 400; ++step) {
        const qsizetype loc = rng.bounded(int(model.size()) + 1);
        const qsizetype len = step % 50 == 0 ? std::min<qsizetype>(model.size() - loc, 30000)
                                             : rng.bounded(int(std::min<qsizetype>(model.size() - loc, 10)) + 1);
        const QString insert = step % 3 == 0 ? QString() : QStringLiteral("\r\nxy\U0001F600");
        storage->replaceCharacters(TextRange(loc, len), insert);
        model.replace(loc, len, insert);
        if (step % 100 == 0) {
            ASSERT_EQ(storage->string(), model) << step;
        }
    }
    EXPECT_EQ(storage->string(), model);
    EXPECT_EQ(storage->lines().starts(), LineStarts(model).starts());
    EXPECT_GT(storage->viewChunkCount(), 0);
    EXPECT_LT(storage->viewChunkCount(), storage->chunkCount());

    // The snapshot outlives the storage and still reads the text as it was read.
    const QString original = before.string();
    storage->replaceCharacters(TextRange(0, storage->length()), QStringLiteral("new"));
    EXPECT_EQ(storage->viewChunkCount(), 0) << "every view replaced: the read text is let go";
    storage.reset();
    EXPECT_EQ(before.length(), original.size());
    EXPECT_EQ(before.substring(TextRange(600'000, 40)), original.mid(600'000, 40));
    EXPECT_TRUE(original.startsWith(QStringLiteral("abc\r\nd")));

    // A whole new text read in replaces the views as well.
    TextStorage again(QString(2'000'000, u'x'));
    EXPECT_GT(again.viewChunkCount(), 0);
    again.setString(QStringLiteral("short"));
    EXPECT_EQ(again.viewChunkCount(), 0);
    EXPECT_EQ(again.string(), QStringLiteral("short"));
}

// A command over every line hands in a text as large as the document: the storage views it
// rather than copying it, the history keeps that same string, and the text read back whole is
// shared, not flattened. Kept heads and tails, later edits and undo's replay stay exact.
TEST(TextStorageTest, ALargeReplacementIsViewedAndReadBackWithoutACopy)
{
    const QString read = repeated(QStringLiteral("line \u3042\r\n\U0001F600x\n"), 150'000);  // 2.1 M units
    TextStorage storage(read);
    QString sorted = repeated(QStringLiteral("\nsorted \U0001F600\r"), 120'000);
    storage.replaceCharacters(TextRange(0, storage.length()), sorted);
    EXPECT_EQ(storage.viewChunkCount(), storage.chunkCount());
    EXPECT_EQ(storage.string().constData(), sorted.constData()) << "the inserted string itself";
    EXPECT_EQ(storage.flattenings(), 0u);
    EXPECT_EQ(storage.snapshot().string().constData(), sorted.constData());
    EXPECT_EQ(storage.lines().starts(), LineStarts(sorted).starts());

    // Whole chunks cut from the end: the views left are no longer all of the text they view.
    {
        TextStorage cut(read);
        std::vector<qsizetype> seams;
        cut.forEachChunk(TextRange(0, cut.length()), [&](QStringView, qsizetype at) {
            seams.push_back(at);
            return true;
        });
        ASSERT_GT(seams.size(), 6u);
        cut.replaceCharacters(TextRange::fromBounds(seams[5], cut.length()), QString());
        EXPECT_EQ(cut.viewChunkCount(), cut.chunkCount());
        EXPECT_EQ(cut.string(), read.left(seams[5]));
        EXPECT_EQ(cut.substring(TextRange(0, cut.length())), read.left(seams[5]));
    }

    // The caller's string changing later leaves the storage's text alone.
    const QString model = sorted;
    sorted[0] = u'Z';
    EXPECT_EQ(storage.string(), model);

    // A large piece in the middle keeps the head and tail around it, joined to their neighbours.
    QString expected = model;
    const QString middle = repeated(QStringLiteral("mid\r\n"), 300'000);
    storage.replaceCharacters(TextRange(7, 1'500'000), middle);
    expected.replace(7, 1'500'000, middle);
    EXPECT_EQ(storage.string(), expected);
    EXPECT_GT(storage.viewChunkCount(), 0);
    EXPECT_LE(storage.chunkCount(), expected.size() / TextStorage::MinChunkSize + 2);
    for (int step = 0; step < 200; ++step) {
        const qsizetype at = (step * 104'729) % expected.size();
        storage.replaceCharacters(TextRange(at, step % 4), QStringLiteral("k"));
        expected.replace(at, step % 4, QStringLiteral("k"));
    }
    EXPECT_EQ(storage.string(), expected);
    EXPECT_EQ(storage.lines().starts(), LineStarts(expected).starts());

    // Text the caller lends by raw data may go before the storage does: it is copied.
    const std::vector<QChar> lent(1'100'000, QChar(u'r'));
    storage.replaceCharacters(TextRange(0, storage.length()), QString::fromRawData(lent.data(), qsizetype(lent.size())));
    EXPECT_EQ(storage.viewChunkCount(), 0);
    EXPECT_EQ(storage.string(), QString(1'100'000, u'r'));
}

TEST(TextStorageTest, ClampsRangesOutsideTheText)
{
    TextStorage storage(QStringLiteral("hello"));
    storage.replaceCharacters(TextRange(3, 100), QStringLiteral("p!"));
    EXPECT_EQ(storage.string(), QStringLiteral("help!"));
    storage.replaceCharacters(TextRange(-1, 3), QString());
    EXPECT_EQ(storage.string(), QStringLiteral("lp!"));
    storage.replaceCharacters(TextRange(50, 0), QStringLiteral("?"));
    EXPECT_EQ(storage.string(), QStringLiteral("lp!?"));
    EXPECT_EQ(storage.characterAt(4), QChar());
    EXPECT_EQ(storage.characterAt(-1), QChar());
    EXPECT_EQ(storage.substring(TextRange(2, 99)), QStringLiteral("!?"));
}

TEST(TextStorageTest, NestedTransactionsDeliverOneNotificationWithTheUnionAndTotalDelta)
{
    TextStorage storage(QStringLiteral("0123456789"));
    Recorder delegate;
    storage.setDelegate(&delegate);
    std::vector<TextStorageEdit> observed;
    storage.addObserver([&](TextStorage&, const TextStorageEdit& e) { observed.push_back(e); });

    storage.beginEditing();
    storage.replaceCharacters(TextRange(2, 1), QStringLiteral("abc"));  // 01abc3456789
    storage.beginEditing();
    storage.replaceCharacters(TextRange(8, 2), QString());  // 01abc34589
    storage.endEditing();
    EXPECT_TRUE(delegate.edits.empty());
    storage.editedAttributes(TextRange(0, 1));
    storage.endEditing();

    ASSERT_EQ(delegate.edits.size(), 1u);
    const TextStorageEdit e = delegate.edits.front();
    EXPECT_EQ(e.mask, unsigned(TextStorageEdit::Characters | TextStorageEdit::Attributes));
    EXPECT_EQ(e.editedRange, TextRange(0, 8));
    EXPECT_EQ(e.changeInLength, 0);
    EXPECT_EQ(delegate.textsSeen.front(), QStringLiteral("01abc34589"));
    ASSERT_EQ(observed.size(), 1u);
    EXPECT_EQ(observed.front().editedRange, e.editedRange);

    // A later edit swallowing the earlier range: the union is the newer range.
    storage.beginEditing();
    storage.replaceCharacters(TextRange(4, 1), QStringLiteral("xx"));  // 01abxx34589
    storage.replaceCharacters(TextRange(1, 8), QStringLiteral("-"));   // 0-89
    storage.endEditing();
    EXPECT_EQ(delegate.edits.back().editedRange, TextRange(1, 1));
    EXPECT_EQ(delegate.edits.back().changeInLength, -6);
    EXPECT_EQ(storage.string(), QStringLiteral("0-89"));

    // Attribute-only edits are told apart and change nothing in the text.
    storage.editedAttributes(TextRange(1, 2));
    EXPECT_TRUE(delegate.edits.back().editedAttributesOnly());
    EXPECT_FALSE(delegate.edits.back().editedCharacters());
    EXPECT_EQ(delegate.edits.back().changeInLength, 0);

    // Unbalanced end does nothing harmful.
    storage.endEditing();
    EXPECT_FALSE(storage.isEditing());
}

TEST(TextStorageTest, ObserversRunBetweenTheDelegatesWillAndDidAndCanLeave)
{
    TextStorage storage(QStringLiteral("abc"));
    std::vector<QString> order;
    struct D : TextStorageDelegate {
        std::vector<QString>* order;
        void textStorageWillProcessEditing(TextStorage&, const TextStorageEdit&) override { order->push_back("will"); }
        void textStorageDidProcessEditing(TextStorage&, const TextStorageEdit&) override { order->push_back("did"); }
    } delegate;
    delegate.order = &order;
    storage.setDelegate(&delegate);
    TextStorage::ObserverToken second = 0;
    storage.addObserver([&](TextStorage& s, const TextStorageEdit&) {
        order.push_back("first");
        s.removeObserver(second);  // removed mid-round: must not be called
    });
    second = storage.addObserver([&](TextStorage&, const TextStorageEdit&) { order.push_back("second"); });
    storage.replaceCharacters(TextRange(0, 0), QStringLiteral("x"));
    EXPECT_EQ(order, (std::vector<QString>{"will", "first", "did"}));
}

TEST(TextStorageTest, JobsAfterProcessingRunOnceTheWholeRoundIsOver)
{
    TextStorage storage(QStringLiteral("abc"));
    std::vector<QString> order;
    struct D : TextStorageDelegate {
        std::vector<QString>* order;
        void textStorageDidProcessEditing(TextStorage& s, const TextStorageEdit&) override
        {
            order->push_back(QStringLiteral("did ") + QString::number(s.length()));
        }
    } delegate;
    delegate.order = &order;
    storage.setDelegate(&delegate);
    storage.addObserver([&](TextStorage& s, const TextStorageEdit&) {
        order.push_back(QStringLiteral("observer"));
        if (s.length() == 4) {
            // A job that edits again makes a round of its own, after this one.
            s.afterProcessing([&] {
                order.push_back(QStringLiteral("job"));
                s.replaceCharacters(TextRange(0, 0), QStringLiteral("y"));
            });
        }
    });
    storage.beginEditing();
    storage.replaceCharacters(TextRange(0, 0), QStringLiteral("x"));
    storage.afterProcessing([&] { order.push_back(QStringLiteral("queued in the transaction")); });
    EXPECT_TRUE(order.empty());
    storage.endEditing();
    EXPECT_EQ(order, (std::vector<QString>{"observer", "did 4", "queued in the transaction", "job", "observer",
                                           "did 5"}));
    order.clear();
    storage.afterProcessing([&] { order.push_back(QStringLiteral("now")); });
    EXPECT_EQ(order, (std::vector<QString>{"now"})) << "outside a round a job runs at once";
}

TEST(TextStorageTest, SnapshotsAreUnaffectedByLaterEdits)
{
    const QString original = repeated(QStringLiteral("line of text\n"), 5000);
    TextStorage storage(original);
    const TextSnapshot snap = storage.snapshot();
    storage.replaceCharacters(TextRange(10, 3), QStringLiteral("EDIT"));
    storage.replaceCharacters(TextRange(30000, 20000), QString());
    storage.setString(QStringLiteral("gone"));
    EXPECT_EQ(snap.length(), original.size());
    EXPECT_EQ(snap.string(), original);
    EXPECT_EQ(snap.characterAt(12), QChar(u'\n'));
    EXPECT_EQ(snap.substring(TextRange(60000, 26)), original.mid(60000, 26));
    qsizetype covered = 0;
    snap.forEachChunk(TextRange(5, 9000), [&](QStringView piece, qsizetype at) {
        EXPECT_EQ(piece, QStringView(original).mid(at, piece.size()));
        covered += piece.size();
        return true;
    });
    EXPECT_EQ(covered, 9000);
    EXPECT_EQ(storage.string(), QStringLiteral("gone"));
}

TEST(TextStorageTest, ChunksNeverSplitSurrogatePairsOrCrLfWhenCut)
{
    TextStorage storage(repeated(QStringLiteral("\U0001F600\r\n"), 20000));
    storage.forEachChunk(TextRange(0, storage.length()), [&](QStringView piece, qsizetype) {
        EXPECT_FALSE(piece.front().isLowSurrogate());
        EXPECT_NE(piece.front(), QChar(u'\n'));
        return true;
    });
    EXPECT_GT(storage.chunkCount(), 10);
}

TEST(TextStorageTest, ReplacingAcrossChunksCutsNeitherPairsNorCrLfAtTheSeams)
{
    // The kept head ends in CR and the new text starts with LF; the new text ends in a high
    // surrogate and the kept tail starts with its low half: the seams are one text.
    QString model = repeated(QStringLiteral("ab\r"), 5000) + QStringLiteral("\U0001F600") + repeated(QStringLiteral("cd"), 5000);
    TextStorage storage(model);
    const qsizetype from = 3 * 3000;
    const qsizetype to = 3 * 5000 + 1;  // inside the pair: its high half goes, the low half stays
    const QString replacement = QStringLiteral("\n") + repeated(QStringLiteral("\U0001F600\r\n"), 9000) + QChar(0xD83D);
    storage.replaceCharacters(TextRange::fromBounds(from, to), replacement);
    model.replace(from, to - from, replacement);
    EXPECT_EQ(storage.string(), model);
    EXPECT_GT(storage.chunkCount(), 10);
    storage.forEachChunk(TextRange(0, storage.length()), [&](QStringView piece, qsizetype) {
        EXPECT_FALSE(piece.front().isLowSurrogate());
        EXPECT_NE(piece.front(), QChar(u'\n'));
        return true;
    });
}

TEST(TextStorageTest, EmptyTextAndWholeReplacement)
{
    TextStorage storage;
    Recorder delegate;
    storage.setDelegate(&delegate);
    EXPECT_EQ(storage.length(), 0);
    EXPECT_EQ(storage.string(), QString());
    storage.replaceCharacters(TextRange(0, 0), QString());  // no-op: no notification
    EXPECT_TRUE(delegate.edits.empty());
    storage.setString(QStringLiteral("abc"));
    storage.setString(QString());
    ASSERT_EQ(delegate.edits.size(), 2u);
    EXPECT_EQ(delegate.edits.back().editedRange, TextRange(0, 0));
    EXPECT_EQ(delegate.edits.back().changeInLength, -3);
    storage.replaceCharacters(TextRange(0, 0), QStringLiteral("z"));
    EXPECT_EQ(storage.string(), QStringLiteral("z"));
}

TEST(TextStorageTest, OneMappingCarriesPositionsAcrossAnEdit)
{
    // "abcdef": "cd" (2..4) replaced by "XYZ".
    const TextStorageEdit replaced{TextStorageEdit::Characters, TextRange(2, 3), 1};
    const std::vector<qsizetype> old{0, 1, 2, 3, 4, 5, 6};
    std::vector<qsizetype> before, after;
    for (qsizetype p : old) {
        before.push_back(replaced.mapPosition(p, InsertionBias::Before));
        after.push_back(replaced.mapPosition(p, InsertionBias::After));
    }
    EXPECT_EQ(before, (std::vector<qsizetype>{0, 1, 2, 5, 5, 6, 7})) << "inside the replaced text: its end";
    EXPECT_EQ(after, before) << "the bias only matters where text was only inserted";

    // Two units inserted at 3; and two deleted there.
    const TextStorageEdit inserted{TextStorageEdit::Characters, TextRange(3, 2), 2};
    EXPECT_EQ(inserted.mapPosition(3, InsertionBias::Before), 3);
    EXPECT_EQ(inserted.mapPosition(3, InsertionBias::After), 5);
    EXPECT_EQ(inserted.mapPosition(2), 2);
    EXPECT_EQ(inserted.mapPosition(4), 6);
    const TextStorageEdit deleted{TextStorageEdit::Characters, TextRange(3, 0), -2};
    for (InsertionBias bias : {InsertionBias::Before, InsertionBias::After}) {
        EXPECT_EQ(deleted.mapPosition(3, bias), 3);
        EXPECT_EQ(deleted.mapPosition(4, bias), 3);
        EXPECT_EQ(deleted.mapPosition(5, bias), 3);
        EXPECT_EQ(deleted.mapPosition(6, bias), 4);
    }
}
