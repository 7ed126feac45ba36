#include "search/folder/FolderFileDeadlines.h"

namespace korimado {

namespace {

// How soon a cancel or an expired file is seen.
constexpr std::chrono::milliseconds watchInterval{25};

}  // namespace

FolderFileDeadlines::FolderFileDeadlines(int milliseconds, const SearchCancellationToken* search)
    : milliseconds_(milliseconds), search_(search), watcher_([this] { watch(); })
{
}

FolderFileDeadlines::~FolderFileDeadlines()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    watcher_.join();
}

std::unique_ptr<FolderFileDeadlines::File> FolderFileDeadlines::start()
{
    const std::lock_guard lock(mutex_);
    Slot& slot = slots_.emplace_back();
    slot.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds_);
    if (search_ && search_->isCancelled())
        slot.token->cancel();
    return std::unique_ptr<File>(new File(*this, std::prev(slots_.end()), slot.token));
}

bool FolderFileDeadlines::File::expired() const
{
    const std::lock_guard lock(owner_.mutex_);
    return slot_->expired;
}

void FolderFileDeadlines::finish(std::list<Slot>::iterator slot)
{
    const std::lock_guard lock(mutex_);
    slots_.erase(slot);
}

QString FolderFileDeadlines::overTimeDescription() const
{
    return QStringLiteral("検索の制限時間（%1秒）を超えました").arg((milliseconds_ + 999) / 1000);
}

void FolderFileDeadlines::watch()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, watchInterval);
        const bool cancelled = search_ && search_->isCancelled();
        const auto now = std::chrono::steady_clock::now();
        for (Slot& slot : slots_) {
            if (slot.token->isCancelled())
                continue;
            if (!cancelled && now >= slot.deadline)
                slot.expired = true;
            if (cancelled || slot.expired)
                slot.token->cancel();
        }
    }
}

}  // namespace korimado
