#include "platform/text/TextChanges.h"
#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <vector>

using namespace korimado;

namespace {

// A text whose characters carry where they came from: an original character keeps its index,
// every inserted one is -1. What survives an edit can then be found again afterwards.
struct TracedText {
    std::vector<int> origin;

    explicit TracedText(int length)
    {
        for (int i = 0; i < length; ++i) origin.push_back(i);
    }
    void replace(TextRange range, qsizetype newLength)
    {
        origin.erase(origin.begin() + range.location, origin.begin() + range.end());
        origin.insert(origin.begin() + range.location, static_cast<size_t>(newLength), -1);
    }
};

enum class Order { ascending, descending, random };

// Random replacements one after another, each in the text as it stands, in the given order.
std::vector<std::pair<TextRange, qsizetype>> randomEdits(QRandomGenerator& random, int length, Order order, int count)
{
    std::vector<std::pair<TextRange, qsizetype>> edits;
    qsizetype current = length;
    qsizetype cursor = order == Order::descending ? current : 0;
    for (int n = 0; n < count; ++n) {
        qsizetype location = 0;
        if (order == Order::random) {
            location = random.bounded(static_cast<int>(current) + 1);
        } else if (order == Order::ascending) {
            if (cursor > current) break;
            location = cursor + random.bounded(3);
            if (location > current) break;
        } else {
            if (cursor < 0) break;
            location = std::max<qsizetype>(0, cursor - random.bounded(6));
        }
        const qsizetype room = order == Order::descending ? cursor - location : current - location;
        const qsizetype oldLength = room > 0 ? random.bounded(static_cast<int>(std::min<qsizetype>(room, 4)) + 1) : 0;
        const qsizetype newLength = random.bounded(4);
        edits.push_back({TextRange(location, oldLength), newLength});
        current += newLength - oldLength;
        cursor = order == Order::descending ? location - 1 : location + newLength;
    }
    return edits;
}

// Every character that survived maps to where it is now, and none counts as replaced.
void expectFaithful(const TextStorageEdit& edit, const TracedText& traced, int originalLength)
{
    std::vector<qsizetype> now(static_cast<size_t>(originalLength), -1);
    for (size_t i = 0; i < traced.origin.size(); ++i)
        if (traced.origin[i] >= 0) now[static_cast<size_t>(traced.origin[i])] = static_cast<qsizetype>(i);
    for (int k = 0; k < originalLength; ++k) {
        if (now[static_cast<size_t>(k)] < 0) continue;
        EXPECT_EQ(edit.mapPosition(k, InsertionBias::After), now[static_cast<size_t>(k)]) << "character " << k;
        EXPECT_FALSE(edit.replaces(k)) << "character " << k;
    }
}

}  // namespace

TEST(TextChanges, OnePieceMapsAsTheEditedRangeAlwaysDid)
{
    // "aaa bbb ccc" with "bbb" replaced by "X": before, at the start, inside, at the end, after.
    const TextChanges one({TextChange{4, 3, 1}});
    EXPECT_EQ(one.mapPosition(2), 2);
    EXPECT_EQ(one.mapPosition(4), 4);
    EXPECT_EQ(one.mapPosition(5), 5);
    EXPECT_EQ(one.mapPosition(7), 5);
    EXPECT_EQ(one.mapPosition(9), 7);
    EXPECT_TRUE(one.replaces(5));
    EXPECT_FALSE(one.replaces(4));
    EXPECT_FALSE(one.replaces(7));
    // An insertion: a caret stays before it, the start of a run moves after it.
    const TextChanges insertion({TextChange{3, 0, 2}});
    EXPECT_EQ(insertion.mapPosition(3, InsertionBias::Before), 3);
    EXPECT_EQ(insertion.mapPosition(3, InsertionBias::After), 5);
}

TEST(TextChanges, APositionBetweenPiecesStaysWithItsText)
{
    // "aaa bbb ccc ddd eee aaa", both "aaa" replaced by "X": the caret before "ccc" stays before it.
    const TextChanges changes({TextChange{0, 3, 1}, TextChange{20, 3, 1}});
    EXPECT_EQ(changes.mapPosition(11), 9);
    EXPECT_EQ(changes.mapPosition(23), 19);
    EXPECT_EQ(changes.newLocation(1), 18);
    // Pieces that touch: the boundary between them stays at the start of the second.
    const TextChanges touching({TextChange{2, 1, 3}, TextChange{3, 1, 3}});
    EXPECT_EQ(touching.mapPosition(3), 5);
    EXPECT_EQ(touching.mapPosition(4), 8);
}

TEST(TextChanges, ComposesOverlappingAndSeparatePieces)
{
    // "abcdef": "bc" became "XYZ" ("aXYZdef"), then "YZd" became "Q" ("aXQef").
    EXPECT_EQ(TextChanges::composed({TextChange{1, 2, 3}}, {TextChange{2, 3, 1}}),
              (std::vector<TextChange>{TextChange{1, 3, 2}}));
    // Apart: the second lands behind the shift of the first.
    EXPECT_EQ(TextChanges::composed({TextChange{1, 2, 3}}, {TextChange{6, 0, 2}}),
              (std::vector<TextChange>{TextChange{1, 2, 3}, TextChange{5, 0, 2}}));
    // Typing twice at one place is one insertion, and deleting what was typed leaves nothing.
    EXPECT_EQ(TextChanges::composed({TextChange{4, 0, 1}}, {TextChange{5, 0, 1}}),
              (std::vector<TextChange>{TextChange{4, 0, 2}}));
    EXPECT_TRUE(TextChanges::composed({TextChange{4, 0, 1}}, {TextChange{4, 1, 0}}).empty());
}

TEST(TextChanges, ATransactionOfManyEditsMapsEverySurvivingCharacter)
{
    QRandomGenerator random(2024);
    for (Order order : {Order::ascending, Order::descending, Order::random}) {
        for (int round = 0; round < 150; ++round) {
            SCOPED_TRACE(testing::Message() << "order " << int(order) << " round " << round);
            const int length = 5 + random.bounded(40);
            TextStorage storage(QString(length, QLatin1Char('.')));
            TracedText traced(length);
            std::vector<TextStorageEdit> seen;
            storage.addObserver([&](TextStorage&, const TextStorageEdit& edit) { seen.push_back(edit); });
            storage.beginEditing();
            for (const auto& [range, newLength] : randomEdits(random, length, order, 1 + random.bounded(12))) {
                storage.replaceCharacters(range, QString(newLength, QLatin1Char('+')));
                traced.replace(range, newLength);
            }
            storage.endEditing();
            if (seen.empty()) continue;
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen.front().changeInLength, static_cast<qsizetype>(traced.origin.size()) - length);
            expectFaithful(seen.front(), traced, length);
        }
    }
}

TEST(TextChanges, ManyEditsInOrderAreGatheredInLinearTime)
{
    // 200,000 pieces one after another, then the same backwards: each added in constant time.
    for (bool ascending : {true, false}) {
        TextChanges::Builder builder;
        constexpr qsizetype count = 200'000;
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype location = ascending ? i * 3 : (count - 1 - i) * 4;
            builder.add(TextRange(location, 2), 3);
        }
        const TextChanges changes(builder.take());
        EXPECT_EQ(changes.size(), count);
        if (ascending) EXPECT_EQ(changes.mapPosition(2), 3);
        else EXPECT_EQ(changes.mapPosition(3), 4);
    }
}
