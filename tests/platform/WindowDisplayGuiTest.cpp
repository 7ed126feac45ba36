// "Display if needed" paints what was marked since the last paint, at once and only that, in a
// shown window and in one kept off screen alike.

#include "platform/ui/WindowDisplay.h"

#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace korimado;

namespace {

// A widget filled with one colour, counting its paints and where they fell.
class Swatch : public QWidget {
public:
    Swatch(QColor colour, QWidget* parent) : QWidget(parent), colour(colour) {}
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        painted += event->region();
        QPainter(this).fillRect(rect(), colour);
    }
    void reset()
    {
        paints = 0;
        painted = QRegion();
    }
    QColor colour;
    int paints = 0;
    QRegion painted;
};

// Two swatches side by side in a top-level window.
struct TwoSwatches {
    TwoSwatches()
    {
        window->resize(200, 100);
        left->setGeometry(0, 0, 100, 100);
        right->setGeometry(100, 0, 100, 100);
    }
    void reset()
    {
        left->reset();
        right->reset();
    }
    // The pixel at a point of the window as the backing store holds it, which is what a display
    // would show; not a fresh render as a grab would be.
    QRgb stored(QPoint point) const
    {
        QPaintDevice* device = window->backingStore() ? window->backingStore()->paintDevice() : nullptr;
        if (!device || device->devType() != QInternal::Image) return 0;
        const auto* image = static_cast<const QImage*>(device);
        return image->pixel(point * image->devicePixelRatio());
    }
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Swatch* left = new Swatch(Qt::red, window.get());
    Swatch* right = new Swatch(Qt::blue, window.get());
};

// After the window's first, whole paint.
void checkPaintsOnlyWhatWasMarked(TwoSwatches& swatches)
{
    EXPECT_EQ(swatches.left->paints, 1) << "the first display paints the whole window";
    EXPECT_EQ(swatches.right->paints, 1);
    EXPECT_EQ(swatches.stored({150, 50}), QColor(Qt::blue).rgb());

    swatches.reset();
    WindowDisplay::displayIfNeeded(swatches.window.get());
    EXPECT_EQ(swatches.left->paints + swatches.right->paints, 0) << "nothing pending, nothing painted";

    // The right swatch changes colour without asking to be painted: what is stored must stay
    // the old colour, or the display painted more than was marked.
    swatches.right->colour = Qt::yellow;
    swatches.left->colour = Qt::green;
    swatches.left->update(QRect(0, 40, 100, 10));
    WindowDisplay::displayIfNeeded(swatches.window.get());
    EXPECT_EQ(swatches.left->paints, 1);
    EXPECT_EQ(swatches.left->painted, QRegion(0, 40, 100, 10));
    EXPECT_EQ(swatches.right->paints, 0);
    EXPECT_EQ(swatches.stored({50, 45}), QColor(Qt::green).rgb()) << "the marked row holds the new paint";
    EXPECT_EQ(swatches.stored({50, 10}), QColor(Qt::red).rgb()) << "the rest of the swatch was not painted";
    EXPECT_EQ(swatches.stored({150, 45}), QColor(Qt::blue).rgb());

    swatches.reset();
    WindowDisplay::displayIfNeeded(swatches.window.get());
    EXPECT_EQ(swatches.left->paints + swatches.right->paints, 0) << "a display empties what was pending";
}

}  // namespace

TEST(WindowDisplayTest, AShownWindowPaintsOnlyWhatWasMarked)
{
    TwoSwatches swatches;
    swatches.window->show();
    // A shown window is painted whole when the platform exposes it, before any display.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(swatches.window.get()));
    checkPaintsOnlyWhatWasMarked(swatches);
}

TEST(WindowDisplayTest, AWindowKeptOffScreenPaintsOnlyWhatWasMarkedWithoutShowingOrActivating)
{
    QWidget active;
    active.show();
    QApplication::setActiveWindow(&active);

    TwoSwatches swatches;
    WindowDisplay::keepOffScreen(swatches.window.get());
    ASSERT_NE(swatches.window->windowHandle(), nullptr);
    EXPECT_FALSE(swatches.window->windowHandle()->isVisible()) << "never mapped";
    EXPECT_EQ(swatches.left->paints + swatches.right->paints, 0) << "painted only when displayed";
    WindowDisplay::displayIfNeeded(swatches.window.get());
    checkPaintsOnlyWhatWasMarked(swatches);
    EXPECT_EQ(QApplication::activeWindow(), &active);
}

TEST(WindowDisplayTest, NoWindowIsNothingToDisplay)
{
    WindowDisplay::displayIfNeeded(nullptr);
    WindowDisplay::keepOffScreen(nullptr);
}
