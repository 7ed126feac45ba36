#include "editor/SelectionMath.h"
#include "editor/TextReader.h"
#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace korimado {
namespace {

using selection::Replacement;
using Ranges = std::vector<TextRange>;

TEST(SelectionMath, NormalizationClampsSortsAndDropsOverlaps)
{
    EXPECT_EQ(selection::normalized({TextRange(TextRange::NotFound, 0)}, 10), Ranges{TextRange(0, 0)});
    EXPECT_EQ(selection::normalized({TextRange(3, 10)}, 5), Ranges{TextRange(3, 2)});
    EXPECT_EQ(selection::normalized({}, 5), Ranges{TextRange(0, 0)});
    EXPECT_EQ(selection::normalized({TextRange(9, 1)}, 5), Ranges{TextRange(5, 0)});
    // Overlapping by a unit is dropped; touching and a caret at a range's edge stay; repeats go.
    EXPECT_EQ(selection::normalized({TextRange(4, 2), TextRange(0, 3), TextRange(2, 3), TextRange(3, 0), TextRange(0, 3)}, 10),
              (Ranges{TextRange(0, 3), TextRange(3, 0), TextRange(4, 2)}));
    EXPECT_EQ(selection::normalized({TextRange(2, 0), TextRange(2, 0), TextRange(2, 2)}, 10),
              (Ranges{TextRange(2, 0), TextRange(2, 2)}));
}

TEST(SelectionMath, ReplacementPairingKeepsTheFirstOfOverlappingRanges)
{
    const QStringList two{"x", "y"};
    auto applied = selection::applicableReplacements({TextRange(0, 2), TextRange(1, 2)}, two, 10);
    EXPECT_EQ(applied, (std::vector<Replacement>{{TextRange(0, 2), "x"}}));

    applied = selection::applicableReplacements({TextRange(4, 0), TextRange(4, 0)}, two, 10);
    EXPECT_EQ(applied, (std::vector<Replacement>{{TextRange(4, 0), "x"}}));

    EXPECT_TRUE(selection::applicableReplacements({TextRange(0, 1), TextRange(3, 1)}, {"x"}, 10).empty());

    // Invalid pairs are dropped silently; equal locations keep the caller's order.
    applied = selection::applicableReplacements(
        {TextRange(8, 3), TextRange(TextRange::NotFound, 0), TextRange(-1, 1), TextRange(5, 0), TextRange(5, 2), TextRange(0, 2)},
        {"a", "b", "c", "d", "e", "f"}, 10);
    EXPECT_EQ(applied, (std::vector<Replacement>{{TextRange(0, 2), "f"}, {TextRange(5, 0), "d"}, {TextRange(5, 2), "e"}}));

    // A caret at the end of a kept range stays.
    applied = selection::applicableReplacements({TextRange(0, 2), TextRange(2, 0)}, two, 10);
    EXPECT_EQ(applied.size(), 2u);
}

TEST(SelectionMath, CaretsFollowTheGrowingText)
{
    const std::vector<Replacement> edits{{TextRange(2, 0), "x"}, {TextRange(5, 0), "x"}};
    EXPECT_EQ(selection::caretsAfter(edits, true), (Ranges{TextRange(3, 0), TextRange(7, 0)}));
    EXPECT_EQ(selection::caretsAfter(edits, false), (Ranges{TextRange(2, 0), TextRange(6, 0)}));
    const std::vector<Replacement> deletions{{TextRange(1, 2), ""}, {TextRange(6, 3), "ab"}};
    EXPECT_EQ(selection::caretsAfter(deletions, true), (Ranges{TextRange(1, 0), TextRange(6, 0)}));
}

TEST(SelectionMath, UniqueLineRanges)
{
    const QString text = "one\ntwo\nthree\nfour";
    const TextReader reader(text);
    // From the start of line 1 to the start of line 3: lines 1 and 2 only.
    EXPECT_EQ(selection::uniqueLineRanges({TextRange(0, 8)}, reader), Ranges{TextRange(0, 8)});
    // Two carets on one line: that line once.
    EXPECT_EQ(selection::uniqueLineRanges({TextRange(5, 0), TextRange(6, 0)}, reader), Ranges{TextRange(4, 4)});
    // Sorted; the last line has no terminator; a range past the end is clamped.
    EXPECT_EQ(selection::uniqueLineRanges({TextRange(16, 40), TextRange(1, 0)}, reader),
              (Ranges{TextRange(0, 4), TextRange(14, 4)}));
    // Overlapping but unequal ranges both stay.
    EXPECT_EQ(selection::uniqueLineRanges({TextRange(0, 5), TextRange(5, 0)}, reader),
              (Ranges{TextRange(0, 8), TextRange(4, 4)}));

    const QString crlf = "a\r\nb\r\n";
    const TextReader crlfReader(crlf);
    EXPECT_EQ(selection::uniqueLineRanges({TextRange(2, 0)}, crlfReader), Ranges{TextRange(0, 3)});
    EXPECT_EQ(selection::uniqueLineRanges({TextRange(6, 0)}, crlfReader), Ranges{TextRange(6, 0)});
}

TEST(SelectionMath, LineBlocksMergeOverlappingLineRanges)
{
    const QString text = "a\nb\nc\nd";
    const TextReader reader(text);
    // Lines 1-2 and 2-3 share line 2: one block; a caret on the adjacent last line keeps its own.
    EXPECT_EQ(selection::lineBlocks({TextRange(0, 3), TextRange(2, 3), TextRange(7, 0)}, reader),
              (Ranges{TextRange(0, 6), TextRange(6, 1)}));
}

TEST(SelectionMath, SplitByLinesLeavesTerminatorsOut)
{
    const QString text = "first\n\nthird\r\nfourth";
    const TextReader reader(text);
    // From the middle of line 1 to the middle of line 3, with an empty line 2.
    EXPECT_EQ(selection::splitByLines({TextRange(2, 8)}, reader),
              (Ranges{TextRange(2, 3), TextRange(6, 0), TextRange(7, 3)}));
    // A whole CR LF line gives its contents; carets stay as they are.
    EXPECT_EQ(selection::splitByLines({TextRange(7, 7), TextRange(16, 0)}, reader),
              (Ranges{TextRange(7, 5), TextRange(16, 0)}));
    // A non-empty line in the middle comes out whole.
    const QString three = "ab\ncd\nef";
    const TextReader threeReader(three);
    EXPECT_EQ(selection::splitByLines({TextRange(1, 6)}, threeReader),
              (Ranges{TextRange(1, 1), TextRange(3, 2), TextRange(6, 1)}));
}

TEST(SelectionMath, DeletionRangesTakeWholeCharacters)
{
    const QString text = QString("ab\r\n") + QString::fromUtf8("😀e\u0301");
    const TextReader reader(text);
    EXPECT_EQ(selection::deletionRanges({TextRange(0, 0), TextRange(4, 0)}, reader, true),
              (Ranges{TextRange(0, 0), TextRange(2, 2)}));
    EXPECT_EQ(selection::deletionRanges({TextRange(6, 0), TextRange(8, 0)}, reader, true),
              (Ranges{TextRange(4, 2), TextRange(6, 2)}));
    EXPECT_EQ(selection::deletionRanges({TextRange(4, 0), TextRange(8, 0), TextRange(1, 1)}, reader, false),
              (Ranges{TextRange(4, 2), TextRange(8, 0), TextRange(1, 1)}));
}

TEST(SelectionMath, RangesFollowEditsMadeElsewhere)
{
    const auto edit = [](TextRange editedRange, qsizetype delta) {
        return TextStorageEdit{TextStorageEdit::Characters, editedRange, delta, nullptr};
    };
    // Insert 3 units at 4: earlier ranges stay, later ones shift, a caret at the insertion stays.
    EXPECT_EQ(selection::rangesAfterEdit({TextRange(1, 0), TextRange(4, 0), TextRange(6, 2)}, edit(TextRange(4, 3), 3)),
              (Ranges{TextRange(1, 0), TextRange(4, 0), TextRange(9, 2)}));
    // Delete [2, 8): a caret inside moves to the edit's end, a range across it shrinks.
    EXPECT_EQ(selection::rangesAfterEdit({TextRange(5, 0), TextRange(1, 4), TextRange(10, 0)}, edit(TextRange(2, 0), -6)),
              (Ranges{TextRange(1, 1), TextRange(2, 0), TextRange(4, 0)}));
    // Replacing everything collapses every caret to one.
    EXPECT_EQ(selection::rangesAfterEdit({TextRange(3, 0), TextRange(7, 0)}, edit(TextRange(0, 2), -8)),
              (Ranges{TextRange(2, 0)}));
    // Several pieces: a caret between them keeps its text.
    const TextStorageEdit two{TextStorageEdit::Characters, TextRange(0, 19), -4,
                              std::make_shared<const TextChanges>(std::vector<TextChange>{{0, 3, 1}, {20, 3, 1}})};
    EXPECT_EQ(selection::rangesAfterEdit({TextRange(11, 0), TextRange(21, 2)}, two), (Ranges{TextRange(9, 0), TextRange(19, 0)}));
}

TEST(SelectionMath, StorageAndStringReadersAgree)
{
    QString text;
    QRandomGenerator rng(7);
    const char16_t pieces[] = {u'a', u' ', u'\n', u'\r', 0x3042, 0x2028, u'\t', 0x85};
    for (int i = 0; i < 20000; ++i) text.append(QChar(pieces[rng.bounded(8)]));
    const TextStorage storage(text);
    const TextReader fromString(text);
    const TextReader fromStorage(storage);
    for (int i = 0; i < 300; ++i) {
        const qsizetype a = rng.bounded(text.size() + 1);
        const qsizetype b = rng.bounded(text.size() + 1);
        const Ranges ranges{TextRange::fromBounds(std::min(a, b), std::max(a, b)), TextRange(b, 0)};
        ASSERT_EQ(selection::uniqueLineRanges(ranges, fromString), selection::uniqueLineRanges(ranges, fromStorage));
        ASSERT_EQ(selection::splitByLines(ranges, fromString), selection::splitByLines(ranges, fromStorage));
        ASSERT_EQ(fromString.at(a), fromStorage.at(a));
    }
}

}  // namespace
}  // namespace korimado
