#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <utility>

namespace korimado {

NotificationCenter::Registration& NotificationCenter::Registration::operator=(Registration&& other) noexcept
{
    if (this != &other) {
        reset();
        center_ = std::exchange(other.center_, nullptr);
        token_ = std::exchange(other.token_, 0);
    }
    return *this;
}

void NotificationCenter::Registration::reset()
{
    if (center_) center_->removeObserver(token_);
    center_ = nullptr;
    token_ = 0;
}

NotificationCenter& NotificationCenter::defaultCenter()
{
    // Never destroyed, so that objects removing themselves during exit find it still there.
    static NotificationCenter* const center = new NotificationCenter;
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, const void* object, Callback callback)
{
    std::lock_guard lock(mutex_);
    const Token token = nextToken_++;
    observers_.push_back({token, name, object, std::make_shared<Callback>(std::move(callback))});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const Observer& o) { return o.token == token; });
}

bool NotificationCenter::isRegistered(Token token) const
{
    std::lock_guard lock(mutex_);
    return std::any_of(observers_.begin(), observers_.end(), [token](const Observer& o) { return o.token == token; });
}

void NotificationCenter::post(const QString& name, const void* object, const QVariantMap& userInfo)
{
    // Callbacks run without the lock held, so they may add and remove observers or post again.
    std::vector<std::pair<Token, std::shared_ptr<Callback>>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const Observer& o : observers_) {
            if ((o.name.isEmpty() || o.name == name) && (!o.object || o.object == object)) {
                targets.emplace_back(o.token, o.callback);
            }
        }
    }
    const Notification notification{name, object, userInfo};
    for (const auto& [token, callback] : targets) {
        if (isRegistered(token) && *callback) (*callback)(notification);
    }
}

}  // namespace korimado
