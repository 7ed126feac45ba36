#include "platform/foundation/MainQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace korimado {

namespace {

void runGuarded(const std::function<void()>& block)
{
    try {
        block();
    } catch (...) {
        // An exception must not unwind through the event loop; the block alone is abandoned.
    }
}

}  // namespace

bool MainQueue::isMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void MainQueue::async(std::function<void()> block)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !block) {
        return;
    }
    QMetaObject::invokeMethod(app, [block = std::move(block)] { runGuarded(block); }, Qt::QueuedConnection);
}

void MainQueue::async(WorkItemPtr item)
{
    if (item) {
        async([item = std::move(item)] { item->perform(); });
    }
}

void MainQueue::after(int ms, std::function<void()> block)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !block) {
        return;
    }
    auto start = [block = std::move(block)](int delay) {
        QTimer::singleShot(std::max(0, delay), Qt::PreciseTimer, QCoreApplication::instance(),
                           [block] { runGuarded(block); });
    };
    if (isMainThread()) {
        start(ms);
        return;
    }
    // Timers belong to the main thread: hop there first, then wait for what is left.
    const QDeadlineTimer deadline(std::max(0, ms), Qt::PreciseTimer);
    QMetaObject::invokeMethod(
        app, [start, deadline] { start(static_cast<int>(deadline.remainingTime())); }, Qt::QueuedConnection);
}

void MainQueue::after(int ms, WorkItemPtr item)
{
    if (item) {
        after(ms, [item = std::move(item)] { item->perform(); });
    }
}

}  // namespace korimado
