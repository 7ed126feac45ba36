#include "theme/ThemeQColor.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace korimado {
namespace {

TEST(ThemeQColorGuiTest, PaintsOwnColoursAsGivenAndSystemColoursFromThePalette)
{
    EXPECT_EQ(toQColor(ThemeColorValue::rgba(0x12, 0x34, 0x56, 0x80)), QColor(0x12, 0x34, 0x56, 0x80));

    QPalette palette;
    palette.setColor(QPalette::Text, QColor(1, 2, 3));
    palette.setColor(QPalette::Base, QColor(4, 5, 6));
    palette.setColor(QPalette::Highlight, QColor(7, 8, 9));
    palette.setColor(QPalette::PlaceholderText, QColor(10, 11, 12));
    EXPECT_EQ(toQColor(ThemeColorValue::systemColor(SystemColor::text), palette), QColor(1, 2, 3));
    EXPECT_EQ(toQColor(ThemeColorValue::systemColor(SystemColor::textBackground), palette), QColor(4, 5, 6));
    EXPECT_EQ(toQColor(ThemeColorValue::systemColor(SystemColor::selectedTextBackground), palette), QColor(7, 8, 9));
    EXPECT_EQ(toQColor(ThemeColorValue::systemColor(SystemColor::secondaryLabel), palette), QColor(10, 11, 12));
    EXPECT_TRUE(toQColor(ThemeColorValue::systemColor(SystemColor::findHighlight), palette).isValid());
    EXPECT_EQ(toQColor(ThemeColorValue::systemColor(SystemColor::text)),
              QGuiApplication::palette().color(QPalette::Active, QPalette::Text));
}

}  // namespace
}  // namespace korimado
