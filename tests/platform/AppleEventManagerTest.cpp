#include "platform/events/AppleEventManager.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <thread>

using namespace korimado;

namespace {

constexpr FourCharCode testClass = fourCharCode("tEst");
constexpr FourCharCode echoID = fourCharCode("echo");

AppleEvent echoEvent(const QString& text)
{
    AppleEvent event(testClass, echoID);
    event.setDirectObject(EventDescriptor::text(text));
    return event;
}

}  // namespace

TEST(AppleEventManager, DispatchesByClassAndIdAndAnswersTheRestWithNotHandled)
{
    AppleEventManager manager;
    manager.setEventHandler(testClass, echoID, [](const AppleEvent& event, AppleEvent& reply) {
        reply.setDirectObject(*event.directObject());
    });
    EXPECT_TRUE(manager.hasEventHandler(testClass, echoID));
    EXPECT_EQ(manager.dispatch(echoEvent(QStringLiteral("a"))).directObject()->toText(), QStringLiteral("a"));

    const AppleEvent unknown = manager.dispatch(AppleEvent(testClass, fourCharCode("none")));
    EXPECT_TRUE(unknown.isReply());
    EXPECT_EQ(unknown.errorNumber(), AppleEventManager::eventNotHandled);
    EXPECT_FALSE(unknown.errorString().isEmpty());

    manager.removeEventHandler(testClass, echoID);
    EXPECT_EQ(manager.dispatch(echoEvent(QStringLiteral("a"))).errorNumber(), AppleEventManager::eventNotHandled);
}

TEST(AppleEventManager, SendFromAnotherThreadRunsOnTheMainThreadAndWaits)
{
    AppleEventManager manager;
    std::atomic<bool> ranOnMainThread = false;
    manager.setEventHandler(testClass, echoID, [&](const AppleEvent& event, AppleEvent& reply) {
        ranOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        reply.setDirectObject(EventDescriptor::text(event.directObject()->toText().value_or(QString()) + "!"));
    });

    std::optional<AppleEvent> reply;
    std::atomic<bool> done = false;
    std::thread sender([&] {
        reply = manager.send(echoEvent(QStringLiteral("hi")), 5000);
        done = true;
    });
    EXPECT_TRUE(test::spinUntil([&] { return done.load(); }, 5000));
    sender.join();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->directObject()->toText(), QStringLiteral("hi!"));
    EXPECT_TRUE(ranOnMainThread);

    // On the main thread itself the event is handled at once.
    EXPECT_EQ(manager.send(echoEvent(QStringLiteral("x")), 0)->directObject()->toText(), QStringLiteral("x!"));
}

TEST(AppleEventManager, ASendNotAnsweredInTimeFailsAndTheEventIsDropped)
{
    AppleEventManager manager;
    int handled = 0;
    manager.setEventHandler(testClass, echoID, [&](const AppleEvent&, AppleEvent&) { ++handled; });

    std::optional<AppleEvent> reply;
    QString error;
    // The main thread is busy joining: nothing serves the queue before the wait ends.
    std::thread sender([&] { reply = manager.send(echoEvent(QStringLiteral("late")), 50, &error); });
    sender.join();
    EXPECT_FALSE(reply);
    EXPECT_FALSE(error.isEmpty());
    test::spinFor(20);
    EXPECT_EQ(handled, 0);
}
