#include "selftest/SelfTestFrame.h"

#include "support/TestSupport.h"

#include <QDialog>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include <gtest/gtest.h>

using namespace korimado;
using korimado::test::TempDir;

namespace {

void fill(QWidget& widget, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace

// A window's capture is what the user sees of it: with a question over it, the question too.
TEST(SelfTestCapture, AWindowIsCapturedWithItsSheetOverIt)
{
    TempDir dir;
    QWidget window;
    fill(window, Qt::red);
    window.setGeometry(100, 100, 400, 300);
    window.show();

    const QString plain = dir.file("plain.png");
    ASSERT_TRUE(SelfTestFrame::captureTo(&window, plain));
    const QImage before(plain);
    ASSERT_EQ(before.size(), QSize(400, 300));
    EXPECT_EQ(before.pixelColor(200, 150), QColor(Qt::red));

    QDialog sheet(&window);
    fill(sheet, Qt::blue);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.setGeometry(200, 150, 100, 80);
    sheet.show();
    const QString withSheet = dir.file("sheet.png");
    ASSERT_TRUE(SelfTestFrame::captureTo(&window, withSheet));
    const QImage after(withSheet);
    EXPECT_EQ(after.size(), QSize(400, 300)) << "the window's own size: the sheet lies inside it";
    EXPECT_EQ(after.pixelColor(150, 100), QColor(Qt::blue)) << "the sheet where it is on screen";
    EXPECT_EQ(after.pixelColor(20, 20), QColor(Qt::red));
    EXPECT_EQ(after.pixelColor(300, 250), QColor(Qt::red)) << "below and right of the sheet";

    EXPECT_FALSE(SelfTestFrame::captureTo(nullptr, dir.file("none.png")));
}
