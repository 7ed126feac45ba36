#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>

using namespace korimado;

namespace {

qreal usedWidth(const LayoutManager& layout) { return layout.usedRectForTextContainer().width(); }

qreal widthOfUnits(const LayoutManager& layout, qsizetype units)
{
    return static_cast<qreal>(units) * layout.averageCharacterWidth();
}

}  // namespace

// Without wrapping the text is as wide as its longest line: the width follows the text down as
// well as up, whatever edit made the longest line shorter or took it away.
TEST(ScrollRangeGuiTest, UsedWidthFollowsTheLongestLineDownAsWellAsUp)
{
    TextStorage storage(QString(10, u'a') + "\n" + QString(50, u'b') + "\n" + QString(30, u'c'));
    LayoutManager layout(storage);
    layout.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    EXPECT_NEAR(usedWidth(layout), widthOfUnits(layout, 51), 1);

    // Shortening the longest line (backspaces in it).
    storage.replaceCharacters(TextRange(11, 20), QString());
    EXPECT_NEAR(usedWidth(layout), widthOfUnits(layout, 31), 1);
    // Deleting the longest line whole, break included: the last line (no break) is left.
    storage.replaceCharacters(TextRange(11, 31), QString());
    EXPECT_NEAR(usedWidth(layout), widthOfUnits(layout, 30), 1);
    // A deletion across lines that held it.
    storage.replaceCharacters(TextRange(5, 25), QString());
    EXPECT_NEAR(usedWidth(layout), widthOfUnits(layout, 16), 1);
    // Growing again.
    storage.replaceCharacters(TextRange(0, 0), QString(100, u'x'));
    EXPECT_NEAR(usedWidth(layout), widthOfUnits(layout, 116), 1);
}

TEST(ScrollRangeGuiTest, TwoLongestLinesKeepTheWidthUntilBothAreShorter)
{
    TextStorage storage(QString(40, u'a') + "\n" + QString(5, u'b') + "\n" + QString(39, u'c') + "\n");
    LayoutManager layout(storage);
    layout.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const qreal both = usedWidth(layout);
    storage.replaceCharacters(TextRange(0, 0), QStringLiteral("\n"));  // a line above: they move down
    storage.replaceCharacters(TextRange(48, 0), QStringLiteral("c"));  // the third is as long now
    EXPECT_EQ(usedWidth(layout), both);
    storage.replaceCharacters(TextRange(1, 10), QString());
    EXPECT_EQ(usedWidth(layout), both);
    storage.replaceCharacters(TextRange(38, 1), QString());
    EXPECT_NEAR(usedWidth(layout), widthOfUnits(layout, 40), 1);
}

// Random edits of every kind leave the width a fresh layout of the same text would have.
TEST(ScrollRangeGuiTest, WidthAfterRandomEditsIsTheFreshLayoutsWidth)
{
    QRandomGenerator rng(7);
    const QStringList pieces = {"a", "bcdefgh", "\n", "\r", "\r\n", QString(QChar(0x2028)), QString(40, u'w')};
    QString initial;
    for (int i = 0; i < 300; ++i) initial += pieces.at(rng.bounded(int(pieces.size())));
    TextStorage storage(initial);
    LayoutManager layout(storage);
    layout.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (int step = 0; step < 400; ++step) {
        const qsizetype loc = rng.bounded(int(storage.length()) + 1);
        const qsizetype len = rng.bounded(int(std::min<qsizetype>(storage.length() - loc, step % 5 ? 3 : 120)) + 1);
        const QString insert = step % 3 ? QString() : pieces.at(rng.bounded(int(pieces.size())));
        storage.replaceCharacters(TextRange(loc, len), insert);
        TextStorage fresh(storage.string());
        LayoutManager freshLayout(fresh);
        freshLayout.setFont(layout.font());
        ASSERT_EQ(usedWidth(layout), usedWidth(freshLayout)) << "step " << step;
    }
}

// A line measured wider than its count of units (Japanese text) widens the range while it is in
// the text, and the range narrows again once that line is gone.
TEST(ScrollRangeGuiTest, ScrollRangeNarrowsAfterDeletingTheWidestLine)
{
    auto storage = std::make_shared<TextStorage>();
    TextView view(storage);
    view.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view.resize(300, 200);
    view.show();
    const QString wide = QString(120, QChar(0x3042));
    storage->setString("short\n" + wide + "\nend");
    view.viewport()->repaint();  // lays the lines on screen out: the Japanese one is measured
    QScrollBar* bar = view.horizontalScrollBar();
    view.setSelectedRange(TextRange(6 + 60, 0));
    view.insertText(QStringLiteral("x"));
    const int wideRange = bar->maximum();
    EXPECT_GT(wideRange, qRound(widthOfUnits(*view.layoutManager(), 121)) - view.viewport()->width());
    bar->setValue(bar->maximum());

    // Select the wide line with its break and delete it.
    view.setSelectedRange(TextRange(6, wide.size() + 2));
    view.deleteBackward();
    EXPECT_EQ(storage->string(), QStringLiteral("short\nend"));
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
}
