#include "platform/foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <thread>

using korimado::Notification;
using korimado::NotificationCenter;

TEST(NotificationCenter, FiltersByNameAndSender)
{
    NotificationCenter center;
    int sender = 0;
    int other = 0;
    QStringList calls;
    center.addObserver("a", nullptr, [&](const Notification& n) { calls << "any-sender:" + n.name; });
    center.addObserver("a", &sender, [&](const Notification&) { calls << "sender-only"; });
    center.addObserver({}, nullptr, [&](const Notification& n) { calls << "all:" + n.name; });

    center.post("a", &sender, {{"k", 1}});
    EXPECT_EQ(calls, QStringList({"any-sender:a", "sender-only", "all:a"}));
    calls.clear();
    center.post("a", &other);
    EXPECT_EQ(calls, QStringList({"any-sender:a", "all:a"}));
    calls.clear();
    center.post("b");
    EXPECT_EQ(calls, QStringList({"all:b"}));

    QVariantMap seen;
    center.addObserver("info", nullptr, [&](const Notification& n) { seen = n.userInfo; });
    center.post("info", nullptr, {{"k", 42}});
    EXPECT_EQ(seen.value("k").toInt(), 42);
}

TEST(NotificationCenter, ObserversRemovedDuringDeliveryAreNotCalled)
{
    NotificationCenter center;
    int secondCalls = 0;
    int selfCalls = 0;
    int lateCalls = 0;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token self = 0;
    center.addObserver("n", nullptr, [&](const Notification&) {
        center.removeObserver(second);
        center.addObserver("n", nullptr, [&](const Notification&) { ++lateCalls; });
    });
    second = center.addObserver("n", nullptr, [&](const Notification&) { ++secondCalls; });
    self = center.addObserver("n", nullptr, [&](const Notification&) {
        ++selfCalls;
        center.removeObserver(self);
        center.post("n");  // re-entrant posting must not deadlock
    });
    center.post("n");
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(lateCalls, 1);  // added during the first post, called by the nested one only
}

TEST(NotificationCenter, RegistrationRemovesAndDeliveryStaysOnThePostingThread)
{
    NotificationCenter center;
    int calls = 0;
    std::thread::id deliveredOn;
    {
        NotificationCenter::Registration r(center, center.addObserver("n", nullptr, [&](const Notification&) {
                                               ++calls;
                                               deliveredOn = std::this_thread::get_id();
                                           }));
        NotificationCenter::Registration moved = std::move(r);
        std::thread poster([&] { center.post("n"); });
        const std::thread::id posterId = poster.get_id();
        poster.join();
        EXPECT_EQ(deliveredOn, posterId);
    }
    center.post("n");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
}
