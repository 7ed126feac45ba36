#include "search/engine/SearchDeadline.h"

#include "platform/foundation/DispatchQueue.h"

#include <atomic>

namespace korimado {

struct SearchDeadline::State {
    std::weak_ptr<CancellationToken> token;
    std::atomic<bool> expired{false};
};

namespace {

DispatchQueue& deadlineQueue()
{
    static DispatchQueue& queue = *new DispatchQueue(DispatchQueue::applicationLabel(QStringLiteral("search.deadline")));
    return queue;
}

}  // namespace

SearchDeadline::SearchDeadline(int milliseconds, SearchCancellationTokenPtr token)
    : milliseconds_(milliseconds), token_(token ? std::move(token) : SearchCancellationToken::make()),
      state_(std::make_shared<State>())
{
    state_->token = token_;
    // The block holds the state weakly: a search that ended in time leaves nothing to cancel.
    deadlineQueue().after(milliseconds, [weak = std::weak_ptr<State>(state_)] {
        const std::shared_ptr<State> state = weak.lock();
        if (!state) return;
        if (const CancellationTokenPtr token = state->token.lock()) {
            if (token->isCancelled()) return;
            state->expired.store(true, std::memory_order_release);
            token->cancel();
        }
    });
}

SearchDeadline::~SearchDeadline() = default;

bool SearchDeadline::expired() const
{
    return state_->expired.load(std::memory_order_acquire);
}

QString SearchDeadline::expiredDescription() const
{
    const int seconds = (milliseconds_ + 999) / 1000;
    return QStringLiteral("検索が制限時間（%1秒）を超えたため中止しました。").arg(seconds);
}

}  // namespace korimado
