#include "search/SearchEngine.h"
#include "search/SearchEngineError.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

SearchOptions plain()
{
    SearchOptions o;
    o.mode = SearchMode::text;
    o.caseSensitive = true;
    return o;
}

QList<TextRange> ranges(const QString& text, const SearchRequest& request)
{
    QList<TextRange> out;
    for (const SearchMatch& m : SearchEngine::findAll(text, request, 0).matches) out.push_back(m.range);
    return out;
}

SearchRequest request(const QString& pattern, SearchOptions options = plain())
{
    SearchRequest r;
    r.pattern = pattern;
    r.options = options;
    return r;
}

}  // namespace

TEST(SearchEngineFindAll, Sanity)
{
    EXPECT_EQ(ranges(QStringLiteral("aaaa"), request(QStringLiteral("aa"))), (QList<TextRange>{{0, 2}, {2, 2}}));
}
