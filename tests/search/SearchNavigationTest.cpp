#include "search/engine/SearchNavigation.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QList<SearchMatch> matchesAt(std::initializer_list<TextRange> ranges)
{
    QList<SearchMatch> list;
    for (TextRange r : ranges) list.append(SearchMatch{r, {}, {}});
    return list;
}

}  // namespace

TEST(SearchNavigation, ForwardAndBackwardSkipTheEmptyMatchAtTheCaretAndWrap)
{
    const QList<SearchMatch> m = matchesAt({{2, 0}, {5, 3}, {10, 2}});
    // A caret just before an empty match moves past it; a selection ending there finds it.
    auto r = SearchNavigation::navigate(m, {2, 0}, 20, SearchDirection::forward, true);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 1);
    r = SearchNavigation::navigate(m, {0, 2}, 20, SearchDirection::forward, true);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 0);
    EXPECT_FALSE(r->wrapped);

    // Past the last match: the first, wrapped; without wrapping nothing.
    r = SearchNavigation::navigate(m, {12, 0}, 20, SearchDirection::forward, true);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 0);
    EXPECT_TRUE(r->wrapped);
    EXPECT_EQ(r->total, 3);
    EXPECT_FALSE(SearchNavigation::navigate(m, {12, 0}, 20, SearchDirection::forward, false));

    // Backward from the text start wraps to the last match; from 8 it finds the one ending at 8.
    r = SearchNavigation::navigate(m, {0, 0}, 20, SearchDirection::backward, true);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 2);
    EXPECT_TRUE(r->wrapped);
    r = SearchNavigation::navigate(m, {8, 0}, 20, SearchDirection::backward, true);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 1);

    // A selection beyond the text is clamped, NotFound counts as the start.
    r = SearchNavigation::navigate(m, {50, 5}, 20, SearchDirection::forward, false);
    EXPECT_FALSE(r);
    r = SearchNavigation::navigate(m, {TextRange::NotFound, 0}, 20, SearchDirection::forward, false);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 0) << "the empty match at 2 is not at the caret";
    EXPECT_FALSE(SearchNavigation::navigate({}, {0, 0}, 20, SearchDirection::forward, true));
}

TEST(SearchNavigation, ReplaceTargetIsTheSelectionOrTheNextMatch)
{
    const QList<SearchMatch> m = matchesAt({{0, 3}, {5, 3}});
    auto t = SearchNavigation::replaceTarget(m, {5, 3}, 10, true);
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->isSelection);
    EXPECT_EQ(t->result.index, 1);
    t = SearchNavigation::replaceTarget(m, {5, 2}, 10, true);
    ASSERT_TRUE(t);
    EXPECT_FALSE(t->isSelection) << "a selection that is not exactly a match is not replaced";
    EXPECT_EQ(t->result.index, 0);
    EXPECT_TRUE(t->result.wrapped);
    EXPECT_FALSE(SearchNavigation::replaceTarget(m, {6, 0}, 10, false));
}
