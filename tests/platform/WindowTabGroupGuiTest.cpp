#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowActions.h"
#include "platform/ui/WindowFrameAutosave.h"
#include "platform/ui/WindowTabGroup.h"
#include "platform/ui/WindowTracker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMainWindow>
#include <QSet>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include <memory>

using namespace korimado;

namespace {

using Windows = QList<QWidget*>;

class WindowTabGroupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* title : {"a", "b", "c"}) {
            auto window = std::make_unique<QMainWindow>();
            window->setWindowTitle(title);
            window->setGeometry(60, 70, 320, 240);
            window->show();
            windows.push_back(std::move(window));
        }
        a = windows[0].get();
        b = windows[1].get();
        c = windows[2].get();
        tracker().makeKeyAndOrderFront(a);
    }

    static WindowTracker& tracker() { return WindowTracker::shared(); }
    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void groupAll()
    {
        ASSERT_TRUE(WindowTabGroup::addTabbedWindow(a, b, WindowTabGroup::Ordering::above));
        ASSERT_TRUE(WindowTabGroup::addTabbedWindow(b, c, WindowTabGroup::Ordering::above));
    }

    std::vector<std::unique_ptr<QMainWindow>> windows;
    QMainWindow* a = nullptr;
    QMainWindow* b = nullptr;
    QMainWindow* c = nullptr;
};

TEST_F(WindowTabGroupTest, AddedTabsAreOrderedAndHiddenBehindTheSelectedOne)
{
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(a).has_value());
    ASSERT_TRUE(WindowTabGroup::addTabbedWindow(a, b, WindowTabGroup::Ordering::above));
    ASSERT_TRUE(WindowTabGroup::addTabbedWindow(a, c, WindowTabGroup::Ordering::below));
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a), (Windows{c, a, b}));
    EXPECT_EQ(WindowTabGroup::tabbedWindows(b), (Windows{c, a, b}));
    EXPECT_TRUE(a->isVisible());
    EXPECT_FALSE(b->isVisible());
    EXPECT_FALSE(c->isVisible());
    EXPECT_TRUE(WindowTabGroup::isTabBarVisible(a));

    // Every member shows the same tabs, the selected one current.
    for (QWidget* window : {a, b, c}) {
        QTabBar* tabs = WindowTabGroup::groupOf(window)->tabBar(window);
        ASSERT_NE(tabs, nullptr);
        ASSERT_EQ(tabs->count(), 3);
        EXPECT_EQ(tabs->tabText(0), "c");
        EXPECT_EQ(tabs->currentIndex(), 1);
    }
    b->setWindowTitle("b2");
    EXPECT_EQ(WindowTabGroup::groupOf(a)->tabBar(a)->tabText(2), "b2");

    // Re-adding moves a tab; a window never becomes its own tab.
    ASSERT_TRUE(WindowTabGroup::addTabbedWindow(b, c, WindowTabGroup::Ordering::above));
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a), (Windows{a, b, c}));
    EXPECT_FALSE(WindowTabGroup::addTabbedWindow(a, a, WindowTabGroup::Ordering::above));

    QMainWindow single;
    WindowTabGroup::setTabbingMode(&single, WindowTabGroup::TabbingMode::disallowed);
    EXPECT_FALSE(WindowTabGroup::addTabbedWindow(a, &single, WindowTabGroup::Ordering::above));
    EXPECT_FALSE(WindowTabGroup::addTabbedWindow(&single, a, WindowTabGroup::Ordering::above));
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a)->size(), 3);
}

TEST_F(WindowTabGroupTest, NextAndPreviousWrapAroundAndMoveTheKeyWindow)
{
    groupAll();
    a->setGeometry(90, 100, 360, 250);
    WindowTabGroup::selectNextTab(a);
    EXPECT_EQ(tracker().keyWindow(), b);
    EXPECT_TRUE(b->isVisible());
    EXPECT_FALSE(a->isVisible());
    EXPECT_EQ(b->geometry(), QRect(90, 100, 360, 250));  // one frame for all tabs
    WindowTabGroup::selectNextTab(b);
    WindowTabGroup::selectNextTab(c);
    EXPECT_EQ(tracker().keyWindow(), a);
    WindowTabGroup::selectPreviousTab(a);
    EXPECT_EQ(tracker().keyWindow(), c);
    EXPECT_EQ(WindowTabGroup::groupOf(c)->selectedWindow(), c);
    settle();
    EXPECT_EQ(tracker().keyWindow(), c);
    int shown = 0;
    for (QWidget* window : {a, b, c})
        shown += window->isVisible() ? 1 : 0;
    EXPECT_EQ(shown, 1);

    // Making a background tab key selects it.
    tracker().makeKeyAndOrderFront(b);
    EXPECT_TRUE(b->isVisible());
    EXPECT_FALSE(c->isVisible());
}

TEST_F(WindowTabGroupTest, ClosingTabsHandsTheFrameToANeighbour)
{
    groupAll();
    tracker().makeKeyAndOrderFront(b);
    b->close();
    settle();
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a), (Windows{a, c}));
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(tracker().keyWindow(), c);

    // A background tab closes too, and a single tab left is a plain window again.
    a->close();
    settle();
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(c).has_value());
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(a).has_value());
    EXPECT_TRUE(c->isVisible());
    EXPECT_FALSE(a->isVisible());
    EXPECT_EQ(c->findChild<QTabBar*>(), nullptr) << "strip left behind";
}

TEST_F(WindowTabGroupTest, DestroyedTabsLeaveTheGroup)
{
    groupAll();
    windows[0].reset();  // a, the selected tab
    settle();
    EXPECT_EQ(WindowTabGroup::tabbedWindows(b), (Windows{b, c}));
    EXPECT_TRUE(b->isVisible());
    EXPECT_NE(tracker().keyWindow(), nullptr);
    windows[1].reset();
    settle();
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(c).has_value());
}

TEST_F(WindowTabGroupTest, MoveTabToNewWindowAndMergeAllWindows)
{
    groupAll();
    WindowTabGroup::moveTabToNewWindow(a);
    EXPECT_FALSE(WindowTabGroup::groupOf(a));
    EXPECT_EQ(WindowTabGroup::tabbedWindows(b), (Windows{b, c}));
    EXPECT_TRUE(a->isVisible());
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(tracker().keyWindow(), a);
    EXPECT_NE(a->geometry().topLeft(), b->geometry().topLeft());

    // Merging gathers the windows that may be tabs, and only those.
    QMainWindow disallowed;
    WindowTabGroup::setTabbingMode(&disallowed, WindowTabGroup::TabbingMode::disallowed);
    disallowed.show();
    QWidget otherKind;
    otherKind.show();
    QMainWindow hidden;
    WindowTabGroup::mergeAllWindows(a);
    const auto merged = WindowTabGroup::tabbedWindows(a);
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(QSet<QWidget*>(merged->begin(), merged->end()), (QSet<QWidget*>{a, b, c}));
    EXPECT_EQ(merged->constFirst(), a);
    EXPECT_EQ(tracker().keyWindow(), a);
    EXPECT_TRUE(a->isVisible());
    EXPECT_FALSE(b->isVisible());
    EXPECT_TRUE(disallowed.isVisible());
    EXPECT_TRUE(otherKind.isVisible());
    EXPECT_FALSE(WindowTabGroup::groupOf(&hidden));
}

TEST_F(WindowTabGroupTest, TheTabBarOfASingleWindowCanBeShownAndHidden)
{
    WindowTabGroup::toggleTabBar(a);
    ASSERT_EQ(WindowTabGroup::tabbedWindows(a), (Windows{a}));
    EXPECT_TRUE(WindowTabGroup::isTabBarVisible(a));
    QTabBar* tabs = WindowTabGroup::groupOf(a)->tabBar(a);
    ASSERT_NE(tabs, nullptr);
    EXPECT_TRUE(tabs->isVisibleTo(a));
    WindowTabGroup::toggleTabBar(a);
    settle();
    EXPECT_FALSE(WindowTabGroup::tabbedWindows(a).has_value());
    EXPECT_FALSE(WindowTabGroup::isTabBarVisible(a));

    // With several tabs the bar stays.
    groupAll();
    WindowTabGroup::toggleTabBar(a);
    EXPECT_TRUE(WindowTabGroup::isTabBarVisible(a));
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a)->size(), 3);
}

TEST_F(WindowTabGroupTest, APreferringWindowJoinsTheKeyWindowsTabs)
{
    QMainWindow joining;
    joining.setWindowTitle("d");
    WindowTabGroup::setTabbingMode(&joining, WindowTabGroup::TabbingMode::preferred);
    joining.show();
    settle();
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a), (Windows{a, &joining}));
    EXPECT_EQ(tracker().keyWindow(), &joining);
    EXPECT_FALSE(a->isVisible());
}

TEST_F(WindowTabGroupTest, KeyAndMainWindowsFollowHidingAndDestruction)
{
    QSignalSpy keyChanges(&tracker(), &WindowTracker::keyWindowChanged);
    tracker().makeKeyAndOrderFront(b);
    ASSERT_EQ(keyChanges.size(), 1);
    EXPECT_EQ(keyChanges[0][0].value<QWidget*>(), b);
    EXPECT_EQ(keyChanges[0][1].value<QWidget*>(), a);
    EXPECT_EQ(tracker().mainWindow(), b);
    tracker().makeKeyAndOrderFront(b);
    EXPECT_EQ(keyChanges.size(), 1);

    // The most recently key window that is still shown takes over.
    b->hide();
    settle();
    EXPECT_EQ(tracker().keyWindow(), a) << tracker().keyWindow()->metaObject()->className() << " "
                                        << tracker().keyWindow()->windowTitle().toStdString();
    EXPECT_EQ(tracker().mainWindow(), a);
    windows[0].reset();
    EXPECT_NE(tracker().keyWindow(), nullptr);
    EXPECT_TRUE(tracker().keyWindow()->isVisible());
    EXPECT_FALSE(tracker().orderedWindows().contains(nullptr));
}

TEST_F(WindowTabGroupTest, KeepingOnTopTwiceReturnsToNormalWithoutLeavingTheTabs)
{
    groupAll();
    const QRect frame = a->geometry();
    WindowActions::setLevel(a, WindowActions::floatingLevel);
    settle();
    EXPECT_EQ(WindowActions::level(a), WindowActions::floatingLevel);
    EXPECT_TRUE(a->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(a->isVisible());
    EXPECT_EQ(a->geometry(), frame);
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a)->size(), 3);
    WindowActions::setLevel(a, WindowActions::normalLevel);
    settle();
    EXPECT_EQ(WindowActions::level(a), WindowActions::normalLevel);
    EXPECT_FALSE(a->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(a->isVisible());
    EXPECT_EQ(WindowTabGroup::tabbedWindows(a)->size(), 3);
}

TEST(WindowFrameAutosave, FramesRoundTripUnderTheirName)
{
    UserDefaults defaults;
    const QString name = "Test.document";
    auto first = std::make_unique<QMainWindow>();
    ASSERT_TRUE(WindowFrameAutosave::setFrameAutosaveName(first.get(), name, &defaults));
    EXPECT_EQ(WindowFrameAutosave::frameAutosaveName(first.get()), name);
    first->show();
    first->setGeometry(40, 50, 300, 200);
    EXPECT_EQ(defaults.string(WindowFrameAutosave::defaultsKey(name)), "40 50 300 200");

    // A second window does not take a name in use.
    QMainWindow second;
    second.setGeometry(10, 10, 100, 100);
    EXPECT_FALSE(WindowFrameAutosave::setFrameAutosaveName(&second, name, &defaults));
    EXPECT_EQ(second.geometry(), QRect(10, 10, 100, 100));
    second.show();
    second.setGeometry(20, 20, 120, 120);
    EXPECT_EQ(defaults.string(WindowFrameAutosave::defaultsKey(name)), "40 50 300 200");

    first->close();
    first.reset();
    QMainWindow third;
    ASSERT_TRUE(WindowFrameAutosave::setFrameAutosaveName(&third, name, &defaults));
    EXPECT_EQ(third.geometry(), QRect(40, 50, 300, 200));
    // Frames set before the window shows are not saved.
    third.setGeometry(0, 0, 50, 50);
    EXPECT_EQ(defaults.string(WindowFrameAutosave::defaultsKey(name)), "40 50 300 200");
}

TEST(WindowFrameAutosave, UnusableFramesAreRepairedOrIgnored)
{
    UserDefaults defaults;
    defaults.setString(WindowFrameAutosave::defaultsKey("far"), "50000 40000 300 200");
    const auto far = WindowFrameAutosave::savedFrame("far", &defaults);
    ASSERT_TRUE(far.has_value());
    EXPECT_EQ(far->size(), QSize(300, 200));
    bool onScreen = false;
    for (QScreen* screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().contains(*far);
    EXPECT_TRUE(onScreen) << far->x() << "," << far->y();

    for (const char* bad : {"", "1 2 3", "a b c d", "1 2 0 5", "1 2 -3 4"}) {
        defaults.setString(WindowFrameAutosave::defaultsKey("bad"), bad);
        EXPECT_FALSE(WindowFrameAutosave::savedFrame("bad", &defaults).has_value()) << bad;
    }
    QMainWindow window;
    window.setGeometry(5, 6, 70, 80);
    EXPECT_TRUE(WindowFrameAutosave::setFrameAutosaveName(&window, "bad", &defaults));
    EXPECT_EQ(window.geometry(), QRect(5, 6, 70, 80));
}

}  // namespace
