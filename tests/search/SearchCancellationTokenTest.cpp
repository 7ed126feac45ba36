#include "search/engine/SearchCancellationToken.h"

#include <gtest/gtest.h>

#include <atomic>
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
