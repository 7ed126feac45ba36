#include "platform/ui/ToolWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace korimado;

namespace {

std::unique_ptr<QWidget> shownWindow(const QRect& frame)
{
    auto window = std::make_unique<QWidget>();
    window->setGeometry(frame);
    window->show();
    return window;
}

// A panel with a field that takes the keys, as the program's panels have.
QWidget* newPanel(QLineEdit** field = nullptr)
{
    auto* panel = new QWidget;
    panel->resize(300, 200);
    auto* edit = new QLineEdit(panel);
    (new QVBoxLayout(panel))->addWidget(edit);
    if (field) *field = edit;
    return panel;
}

TEST(ToolWindowTest, APanelBecomesAToolWindowOfItsOwnersWindowAndKeepsItsSize)
{
    auto owner = shownWindow({100, 100, 800, 600});
    auto* inner = new QWidget(owner.get());
    QWidget* panel = newPanel();
    panel->resize(320, 240);
    ToolWindow::present(panel, inner, ToolWindow::Lifetime::withOwner);

    EXPECT_EQ(panel->windowType(), Qt::Tool);
    EXPECT_EQ(panel->parentWidget(), owner.get()) << "the owner's window, not the widget asked with";
    EXPECT_EQ(ToolWindow::owner(panel), owner.get());
    EXPECT_EQ(panel->size(), QSize(320, 240));
    ASSERT_TRUE(panel->windowHandle());
    EXPECT_EQ(panel->windowHandle()->transientParent(), owner->windowHandle()) << "kept above it by the window manager";
    EXPECT_TRUE(panel->isVisible());

    // Attaching again to another window moves it over, and it still dies with its owner.
    auto other = shownWindow({200, 200, 600, 400});
    ToolWindow::present(panel, other.get(), ToolWindow::Lifetime::withOwner);
    EXPECT_EQ(panel->parentWidget(), other.get());
    QPointer<QWidget> guard(panel);
    other.reset();
    EXPECT_TRUE(guard.isNull());
}

// Centred within the few pixels a frame adds once the window is shown.
bool centredOn(const QWidget* panel, const QWidget* owner)
{
    const QPoint offset = panel->frameGeometry().center() - owner->frameGeometry().center();
    return std::abs(offset.x()) <= 3 && std::abs(offset.y()) <= 3;
}

// Without a window manager nothing places a new window: the panel must put itself over its owner,
// on the owner's screen, even when the owner hangs off its edge.
TEST(ToolWindowTest, APanelOpensCentredOnItsOwnerInsideTheScreen)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect area(0, 0, 1600, 1000);
    EXPECT_EQ(ToolWindow::centredFrame({200, 100}, {100, 100, 800, 600}, area), QRect(400, 350, 200, 100));
    // Off the right and bottom edges: pulled back in; larger than the screen: the top left wins.
    EXPECT_EQ(ToolWindow::centredFrame({300, 200}, {1500, 900, 400, 300}, area), QRect(1300, 800, 300, 200));
    EXPECT_EQ(ToolWindow::centredFrame({1700, 1100}, {1500, 900, 400, 300}, area).topLeft(), QPoint(0, 0));
    EXPECT_EQ(ToolWindow::centredFrame({300, 200}, {-500, -400, 400, 300}, area).topLeft(), QPoint(0, 0));

    auto owner = shownWindow(QRect(available.topLeft() + QPoint(40, 40), QSize(500, 400)));
    QWidget* panel = newPanel();
    panel->resize(240, 160);
    ToolWindow::present(panel, owner.get(), ToolWindow::Lifetime::withOwner, ToolWindow::Placement::centred);
    EXPECT_TRUE(centredOn(panel, owner.get()));

    // Centred again each time it opens from hidden; a remembered panel keeps the place it was left in.
    panel->hide();
    owner->move(owner->pos() + QPoint(100, 50));
    ToolWindow::present(panel, owner.get(), ToolWindow::Lifetime::withOwner, ToolWindow::Placement::centred);
    EXPECT_TRUE(centredOn(panel, owner.get()));

    QWidget* remembered = newPanel();
    remembered->resize(240, 160);
    ToolWindow::present(remembered, owner.get(), ToolWindow::Lifetime::withOwner);
    EXPECT_TRUE(centredOn(remembered, owner.get())) << "the first time, near its owner";
    remembered->hide();
    remembered->move(available.topLeft() + QPoint(20, 30));
    const QPoint left = remembered->pos();
    ToolWindow::present(remembered, owner.get(), ToolWindow::Lifetime::withOwner);
    EXPECT_EQ(remembered->pos(), left);
}

// Escape not taken by the focused control closes the panel, or runs the panel's own cancel.
TEST(ToolWindowTest, EscapeClosesThePanelOrRunsItsAction)
{
    auto owner = shownWindow({100, 100, 800, 600});
    QLineEdit* field = nullptr;
    QWidget* panel = newPanel(&field);
    ToolWindow::closeOnEscape(panel);
    ToolWindow::present(panel, owner.get(), ToolWindow::Lifetime::withOwner);
    ASSERT_TRUE(panel->isVisible());
    QTest::keyClick(field, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Escape, Qt::ShiftModifier);
    EXPECT_TRUE(panel->isVisible()) << "Shift+Escape is not Escape";
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());

    int cancels = 0;
    ToolWindow::closeOnEscape(panel, [&cancels] { ++cancels; });
    ToolWindow::present(panel, owner.get(), ToolWindow::Lifetime::withOwner);
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(panel->isVisible()) << "the action decides";

    // A panel that never asked for it keeps Escape to itself.
    QWidget* plain = newPanel(&field);
    ToolWindow::present(plain, owner.get(), ToolWindow::Lifetime::withOwner);
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(plain->isVisible());
}

// The panel goes with its window: hidden with it (another tab chosen, the window closed) and back
// when it shows again; a panel the user had closed stays closed.
TEST(ToolWindowTest, APanelHidesAndShowsWithItsOwner)
{
    auto owner = shownWindow({100, 100, 800, 600});
    QWidget* open = newPanel();
    QWidget* closed = newPanel();
    ToolWindow::present(open, owner.get(), ToolWindow::Lifetime::withOwner);
    ToolWindow::present(closed, owner.get(), ToolWindow::Lifetime::withOwner);
    closed->close();

    owner->hide();
    EXPECT_FALSE(open->isVisible());
    owner->show();
    EXPECT_TRUE(open->isVisible());
    EXPECT_FALSE(closed->isVisible());
}

// One palette for the whole program: its window going away must not take it along.
TEST(ToolWindowTest, ASharedPanelOutlivesItsOwnerAndMovesToTheNext)
{
    auto first = shownWindow({100, 100, 800, 600});
    auto panel = std::unique_ptr<QWidget>(newPanel());
    ToolWindow::present(panel.get(), first.get(), ToolWindow::Lifetime::shared);
    ASSERT_EQ(panel->parentWidget(), first.get());

    first.reset();
    EXPECT_EQ(panel->parentWidget(), nullptr);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->windowType(), Qt::Tool);

    auto second = shownWindow({300, 200, 600, 400});
    ToolWindow::present(panel.get(), second.get(), ToolWindow::Lifetime::shared);
    EXPECT_EQ(panel->parentWidget(), second.get());
    EXPECT_TRUE(panel->isVisible());
    // Its owner hiding hides it; the panel released first is no longer told.
    second->hide();
    EXPECT_FALSE(panel->isVisible());
    panel.reset();
    second->show();
}

}  // namespace
