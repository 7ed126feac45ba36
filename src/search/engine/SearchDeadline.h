#pragma once

#include "search/engine/SearchCancellationToken.h"

#include <QString>

#include <memory>

namespace korimado {

// A search that must end within a time, where no user is there to cancel it (a script waits on
// the main thread) or where one expression may backtrack for minutes: its token is cancelled when
// the time is up, and the caller tells that apart from a user's cancel.
class SearchDeadline {
public:
    // Long enough for any sane expression over a 64 MiB text, short of the scripting client's own
    // wait (a script waits for its reply on the main thread).
    static constexpr int limitMilliseconds = 10'000;

    // The deadline cancels `token` (a fresh one when none is given) after `milliseconds`.
    explicit SearchDeadline(int milliseconds, SearchCancellationTokenPtr token = nullptr);
    ~SearchDeadline();
    SearchDeadline(const SearchDeadline&) = delete;
    SearchDeadline& operator=(const SearchDeadline&) = delete;

    const SearchCancellationToken* token() const { return token_.get(); }
    // True once the time ran out (the token was cancelled by the deadline, not by anyone else).
    bool expired() const;
    // "検索が制限時間（10秒）を超えたため中止しました。"
    QString expiredDescription() const;

private:
    struct State;
    int milliseconds_;
    SearchCancellationTokenPtr token_;
    std::shared_ptr<State> state_;
};

}  // namespace korimado
