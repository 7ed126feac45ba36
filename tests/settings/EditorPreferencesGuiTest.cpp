#include "platform/foundation/UserDefaults.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsKeys.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>

#include <gtest/gtest.h>

using korimado::EditorPreferences;
using korimado::LineEnding;
using korimado::TextEncoding;
using korimado::UserDefaults;
namespace Key = korimado::EditorSettingsKey;

TEST(EditorPreferences, DefaultTextFormatFallsBackPerField)
{
    UserDefaults d;
    d.setString(Key::defaultEncoding, "Shift JIS");
    d.setString(Key::defaultLineEnding, "CRLF");
    auto format = EditorPreferences::defaultTextFormat(d);
    EXPECT_EQ(format.encoding, TextEncoding::shiftJIS);
    EXPECT_EQ(format.lineEnding, LineEnding::crlf);
    EXPECT_FALSE(format.bom);
    EXPECT_FALSE(format.mixedLineEndings);

    d.setString(Key::defaultEncoding, "Klingon");
    d.setString(Key::defaultLineEnding, "crlf");
    format = EditorPreferences::defaultTextFormat(d);
    EXPECT_EQ(format.encoding, TextEncoding::utf8);
    EXPECT_EQ(format.lineEnding, LineEnding::lf);
}

TEST(EditorPreferences, EditorFontUsesInstalledFamiliesOnly)
{
    UserDefaults d;
    d.setString(Key::fontName, "No Such Font Family 123");
    d.setDouble(Key::fontSize, 18);
    const QFont fallback = EditorPreferences::editorFont(d);
    EXPECT_EQ(fallback.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    EXPECT_EQ(fallback.pointSizeF(), 18.0);
    EXPECT_EQ(fallback.weight(), QFont::Normal);

    const QStringList families = QFontDatabase::families();
    ASSERT_FALSE(families.isEmpty());
    d.setString(Key::fontName, families.first());
    d.setDouble(Key::fontSize, 40);  // out of range: 14
    const QFont named = EditorPreferences::editorFont(d);
    EXPECT_EQ(named.family(), families.first());
    EXPECT_EQ(named.pointSizeF(), 14.0);
}

TEST(EditorPreferences, AppearanceSwitchesPaletteAndReturnsToTheSystem)
{
    const QColor original = QApplication::palette().color(QPalette::Window);
    UserDefaults d;
    d.setInteger(Key::appearance, 2);
    EditorPreferences::applyAppearance(d);
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 100);
    d.setInteger(Key::appearance, 1);
    EditorPreferences::applyAppearance(d);
    EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 150);
    d.setInteger(Key::appearance, 7);
    EditorPreferences::applyAppearance(d);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), original);
}
