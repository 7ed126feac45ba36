#include "platform/events/InProcessEventChannel.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <mutex>

using namespace korimado;

namespace {

constexpr FourCharCode testClass = fourCharCode("tEst");
constexpr FourCharCode echoID = fourCharCode("echo");

struct Outcome {
    std::mutex mutex;
    std::optional<InProcessEventChannel::Result> result;
    bool completedOnMainThread = true;
};

}  // namespace

TEST(InProcessEventChannel, SendsFromAWorkerThroughTheWireFormToTheMainThreadAndBack)
{
    AppleEventManager manager;
    std::atomic<bool> handledOnMainThread = false;
    manager.setEventHandler(testClass, echoID, [&](const AppleEvent& event, AppleEvent& reply) {
        handledOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        reply.setDirectObject(EventDescriptor::list({*event.directObject(), *event.parameter(fourCharCode("more"))}));
    });
    AppleEvent event(testClass, echoID);
    event.setDirectObject(EventDescriptor::text(QStringLiteral("日本語 😀")));
    event.setParameter(fourCharCode("more"), EventDescriptor::enumerated(fourCharCode("cCup")));

    Outcome outcome;
    InProcessEventChannel(manager).send(event, [&](InProcessEventChannel::Result result) {
        const std::lock_guard lock(outcome.mutex);
        outcome.completedOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        outcome.result = std::move(result);
    });
    ASSERT_TRUE(test::spinUntil([&] {
        const std::lock_guard lock(outcome.mutex);
        return outcome.result.has_value();
    }, 5000));
    const std::lock_guard lock(outcome.mutex);
    EXPECT_TRUE(handledOnMainThread);
    EXPECT_FALSE(outcome.completedOnMainThread);
    ASSERT_TRUE(outcome.result->reply) << outcome.result->error.toStdString();
    const EventDescriptor* answer = outcome.result->reply->directObject();
    ASSERT_TRUE(answer && answer->count() == 2);
    EXPECT_EQ(answer->items()[0].value.toText(), QStringLiteral("日本語 😀"));
    EXPECT_EQ(answer->items()[1].value.toCode(), fourCharCode("cCup"));
}

TEST(InProcessEventChannel, AnUnansweredEventEndsInAnErrorAndAnUnknownOneInNotHandled)
{
    AppleEventManager manager;
    int handled = 0;
    manager.setEventHandler(testClass, echoID, [&](const AppleEvent&, AppleEvent&) { ++handled; });

    // Waited for on this worker while the main thread serves nothing: the wait runs out.
    InProcessEventChannel::Result late;
    QThread* sender = QThread::create([&] { late = InProcessEventChannel(manager).sendAndWait(AppleEvent(testClass, echoID), 50); });
    sender->start();
    sender->wait();
    delete sender;
    EXPECT_FALSE(late.reply);
    EXPECT_FALSE(late.error.isEmpty());
    test::spinFor(20);
    EXPECT_EQ(handled, 0);

    std::atomic<bool> done = false;
    InProcessEventChannel::Result unknown;
    InProcessEventChannel(manager).send(AppleEvent(testClass, fourCharCode("none")), [&](InProcessEventChannel::Result result) {
        unknown = std::move(result);
        done = true;
    });
    ASSERT_TRUE(test::spinUntil([&] { return done.load(); }, 5000));
    ASSERT_TRUE(unknown.reply);
    EXPECT_EQ(unknown.reply->errorNumber(), AppleEventManager::eventNotHandled);
}

TEST(AppleEventManager, BytesThatAreNotAnEventAreAnsweredWithMalformed)
{
    AppleEventManager manager;
    const AppleEvent reply = manager.dispatch(QByteArrayView("not an event"));
    EXPECT_TRUE(reply.isReply());
    EXPECT_EQ(reply.errorNumber(), AppleEventManager::malformedEvent);
}
