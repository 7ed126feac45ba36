#include "search/ui/SearchResultsModel.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(SearchResultsModel, ALongMatchIsCutBeforeItsCellIsBuilt)
{
    // One match of three million units, as [\s\S]+ over a large text gives.
    QString text(3'000'000, u'x');
    text[SearchResultsModel::matchTextLimit - 1] = QChar(0xD83D);  // a pair across the cut
    text[SearchResultsModel::matchTextLimit] = QChar(0xDE00);
    text[10] = u'\n';
    SearchResultSet results;
    results.searchedRange = TextRange(0, text.size());
    SearchMatch all;
    all.range = TextRange(0, text.size());
    SearchMatch short_;
    short_.range = TextRange(5, 8);
    results.matches = {all, short_};
    SearchResultsModel model;
    model.set(results, text);

    const QString cell = model.data(model.index(0, 2), Qt::DisplayRole).toString();
    EXPECT_LE(cell.size(), SearchResultsModel::matchTextLimit);
    EXPECT_TRUE(cell.endsWith(QChar(0x2026)));
    EXPECT_FALSE(cell[cell.size() - 2].isHighSurrogate());  // no half of a pair
    EXPECT_EQ(cell.mid(10, 1), QStringLiteral("↵"));
    EXPECT_EQ(model.data(model.index(1, 2), Qt::DisplayRole).toString(), QStringLiteral("xxxxx↵xx"));
}
