#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchDeadline.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace korimado;

TEST(SearchCancellationToken, StartsClearAndStaysCancelled)
{
    const auto token = SearchCancellationToken::make();
    EXPECT_FALSE(token->isCancelled());
    token->cancel();
    EXPECT_TRUE(token->isCancelled());
    token->cancel();  // a second cancel is harmless and never resets the flag
    EXPECT_TRUE(token->isCancelled());

    // A fresh token for the next operation is independent of the cancelled one.
    EXPECT_FALSE(SearchCancellationToken::make()->isCancelled());
}

TEST(SearchCancellationToken, BackgroundPollerSeesCancellation)
{
    const auto token = SearchCancellationToken::make();
    std::atomic<bool> started{false};
    std::thread worker([token, &started] {
        started = true;
        while (!token->isCancelled()) {
            std::this_thread::yield();
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    token->cancel();
    worker.join();  // returns only once the worker read the flag under the lock
    EXPECT_TRUE(token->isCancelled());
}

TEST(SearchDeadline, StopsABacktrackingExpressionAndSaysSo)
{
    SearchRequest request;
    request.pattern = QStringLiteral("(a+)+$");
    request.options.mode = SearchMode::regularExpression;
    const QString text = QString(28, u'a') + u'b';
    const SearchDeadline deadline(200);
    const auto started = std::chrono::steady_clock::now();
    try {
        SearchEngine::findAll(text, request, 0, deadline.token());
        FAIL() << "the expression finished within its time";
    } catch (const SearchEngineError& e) {
        EXPECT_EQ(e.kind(), SearchEngineError::Kind::cancelled);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(deadline.expired());
    EXPECT_EQ(deadline.expiredDescription(), QStringLiteral("検索が制限時間（1秒）を超えたため中止しました。"));

    // A search that ends in time, and a token its user cancels, are not taken for the deadline.
    const SearchDeadline roomy(60'000);
    request.pattern = QStringLiteral("a+b");
    EXPECT_EQ(SearchEngine::findAll(text, request, 0, roomy.token()).matches.size(), 1);
    EXPECT_FALSE(roomy.expired());
    const auto token = SearchCancellationToken::make();
    const SearchDeadline cancelledByUser(60'000, token);
    token->cancel();
    EXPECT_FALSE(cancelledByUser.expired());
}
