#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace korimado {

struct Notification {
    QString name;
    const void* object = nullptr;
    QVariantMap userInfo;
};

// Named broadcasts. Observers are called synchronously, on the posting thread, in the order they
// were added; one removed while a notification is being delivered is not called afterwards.
class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;
    using Token = quint64;

    // Removes its observer when destroyed.
    class Registration {
    public:
        Registration() = default;
        Registration(NotificationCenter& center, Token token) : center_(&center), token_(token) {}
        Registration(Registration&& other) noexcept { *this = std::move(other); }
        Registration& operator=(Registration&& other) noexcept;
        ~Registration() { reset(); }
        void reset();

    private:
        NotificationCenter* center_ = nullptr;
        Token token_ = 0;
    };

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& defaultCenter();

    // An empty name observes every name; a null object observes every sender.
    Token addObserver(const QString& name, const void* object, Callback callback);
    void removeObserver(Token token);
    void post(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = {});

private:
    struct Observer {
        Token token;
        QString name;
        const void* object;
        std::shared_ptr<Callback> callback;
    };
    bool isRegistered(Token token) const;

    mutable std::mutex mutex_;
    std::vector<Observer> observers_;
    Token nextToken_ = 1;
};

}  // namespace korimado
