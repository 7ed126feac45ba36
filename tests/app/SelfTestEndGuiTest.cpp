// A self-test ends by the Quit command's road: every document closes, one whose window is a tab
// behind another as well, and the event loop ends.
#include "support/AppFixture.h"
#include "support/TestSupport.h"

#include "platform/ui/WindowTabGroup.h"
#include "selftest/SelfTestFrame.h"

#include <QPointer>
#include <QTimer>

namespace korimado::test {
namespace {

class SelfTestEndTest : public AppFixture {};

TEST_F(SelfTestEndTest, TheEndClosesATabBehindAnotherAndQuits)
{
    launch();
    EditorWindowController* front = openWindow();
    EditorWindowController* behind = openWindow();
    ASSERT_TRUE(front && behind);
    const std::optional<QList<QWidget*>> tabs = WindowTabGroup::tabbedWindows(front->window());
    if (!tabs || !tabs->contains(behind->window())) {
        ASSERT_TRUE(WindowTabGroup::addTabbedWindow(front->window(), behind->window(), WindowTabGroup::Ordering::above));
    }
    WindowTracker::shared().makeKeyAndOrderFront(front->window());
    ASSERT_TRUE(spinUntil([&] { return front->window()->isVisible() && !behind->window()->isVisible(); }))
        << "one tab in front, the other hidden behind it";

    QPointer<Document> first = front->document();
    QPointer<Document> second = behind->document();
    QTimer::singleShot(0, qApp, [] { SelfTestFrame::terminate(); });
    // A quit that never comes would leave the loop running: a late timer ends it and fails.
    bool timedOut = false;
    QTimer::singleShot(10000, qApp, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(alerts.shown().isEmpty()) << "clean documents close without a question";
}

}  // namespace
}  // namespace korimado::test
