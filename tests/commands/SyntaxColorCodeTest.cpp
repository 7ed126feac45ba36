#include "commands/SyntaxColorCode.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korimado;
using CC = SyntaxColorCode;
using Format = SyntaxColorFormat;

namespace {

void expectColor(const std::optional<CC::Parsed>& parsed, double r, double g, double b, double a)
{
    ASSERT_TRUE(parsed.has_value());
    EXPECT_NEAR(parsed->color.red, r, 1e-9);
    EXPECT_NEAR(parsed->color.green, g, 1e-9);
    EXPECT_NEAR(parsed->color.blue, b, 1e-9);
    EXPECT_NEAR(parsed->color.alpha, a, 1e-9);
}

}  // namespace

TEST(SyntaxColorCode, CaretFindsTheShortestTouchingCode)
{
    const QString line = QStringLiteral("color: #abc;");
    for (qsizetype caret : {7, 9, 11}) {
        const auto match = CC::find(line, {caret, 0});
        ASSERT_TRUE(match.has_value()) << caret;
        EXPECT_EQ(match->range, TextRange(7, 4));
        EXPECT_EQ(match->format, Format::hex(3, false));
    }
    EXPECT_FALSE(CC::find(line, {3, 0}).has_value());

    const QString both = QStringLiteral("rgb(1, 2, 3)#fff");
    const auto shorter = CC::find(both, {12, 0});
    ASSERT_TRUE(shorter.has_value());
    EXPECT_EQ(shorter->range, TextRange(12, 4));

    // The search stays on the caret's line, whatever its ending.
    const QString lines = QStringLiteral("#111111\r\nx #222\r\n");
    EXPECT_EQ(CC::find(lines, {11, 0})->range, TextRange(11, 4));
    EXPECT_EQ(CC::find(lines, {7, 0})->range, TextRange(0, 7));
    EXPECT_FALSE(CC::find(QString(), {0, 0}).has_value());
    EXPECT_EQ(CC::find(QStringLiteral("#fff"), {4, 0})->range, TextRange(0, 4)) << "caret at the text's end";
}

TEST(SyntaxColorCode, SelectionMustBeACodeApartFromSpaces)
{
    const QString text = QStringLiteral("x  #FF0000 y");
    const auto match = CC::find(text, {1, 10});
    ASSERT_TRUE(match.has_value());
    EXPECT_EQ(match->range, TextRange(3, 7));
    EXPECT_EQ(match->format, Format::hex(6, true));
    EXPECT_FALSE(CC::find(text, {0, 3}).has_value()) << "no search around a selection";
    EXPECT_FALSE(CC::find(text, {0, 13}).has_value()) << "reaches beyond the text";
    EXPECT_FALSE(CC::find(text, {TextRange::NotFound, 0}).has_value());
    EXPECT_FALSE(CC::find(text, {2, -1}).has_value());
    EXPECT_FALSE(CC::find(text, {1, 2}).has_value()) << "blanks only";
}

TEST(SyntaxColorCode, HexDigitsAndCase)
{
    for (const char* bad : {"#12345", "#ggg", "#", "#1234567", "#fffffffff", "# fff"})
        EXPECT_FALSE(CC::parse(QString::fromLatin1(bad)).has_value()) << bad;
    EXPECT_EQ(CC::parse(QStringLiteral("#Ab1"))->format, Format::hex(3, false));
    EXPECT_EQ(CC::parse(QStringLiteral("#123"))->format, Format::hex(3, false));
    EXPECT_EQ(CC::parse(QStringLiteral("#ABCD"))->format, Format::hex(4, true));
    expectColor(CC::parse(QStringLiteral("#f008")), 1, 0, 0, 0x88 / 255.0);
    expectColor(CC::parse(QStringLiteral(" #11223380\n")), 0x11 / 255.0, 0x22 / 255.0, 0x33 / 255.0, 0x80 / 255.0);
    EXPECT_FALSE(CC::parse(QString::fromUtf16(u"#ab\uFF43")).has_value()) << "full-width digits are not hex";
}

TEST(SyntaxColorCode, RgbForms)
{
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb(255, 0%, 0)")).has_value()) << "mixed units";
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb(256, 0, 0)")).has_value());
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb(-1, 0, 0)")).has_value());
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb(nan, 0, 0)")).has_value());
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb(1, 2)")).has_value());
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb (1, 2, 3)")).has_value()) << "a space before the parenthesis";
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb(255 0 0 /)")).has_value());
    EXPECT_FALSE(CC::parse(QStringLiteral("rgb(0, 0, 0, 2)")).has_value()) << "alpha beyond 1";

    const auto rgba = CC::parse(QStringLiteral("RGBA(0, 0, 0)"));
    expectColor(rgba, 0, 0, 0, 1);
    EXPECT_EQ(rgba->format, Format::rgb(false, true, true));
    expectColor(CC::parse(QStringLiteral("rgb(1, 2, 3, 0.5)")), 1 / 255.0, 2 / 255.0, 3 / 255.0, 0.5);
    const auto spaced = CC::parse(QStringLiteral("rgb(255 0 0 / 50%)"));
    expectColor(spaced, 1, 0, 0, 0.5);
    EXPECT_EQ(spaced->format, Format::rgb(false, true, false));
    const auto slashInComma = CC::parse(QStringLiteral("rgb(100%, 50%, 0% / 0.25)"));
    expectColor(slashInComma, 1, 0.5, 0, 0.25);
    EXPECT_EQ(slashInComma->format, Format::rgb(true, true, true));
}

TEST(SyntaxColorCode, HslForms)
{
    expectColor(CC::parse(QStringLiteral("hsl(120deg 100% 50%)")), 0, 1, 0, 1);
    expectColor(CC::parse(QStringLiteral("hsl(0.5turn, 100%, 50%)")), 0, 1, 1, 1);
    expectColor(CC::parse(QStringLiteral("hsl(200grad 100% 50%)")), 0, 1, 1, 1);
    expectColor(CC::parse(QStringLiteral("hsl(3.141592653589793rad 100% 50%)")), 0, 1, 1, 1);
    const auto negative = CC::parse(QStringLiteral("hsl(-120, 100%, 50%)"));
    const auto positive = CC::parse(QStringLiteral("hsl(240, 100%, 50%)"));
    ASSERT_TRUE(negative && positive);
    EXPECT_NEAR(negative->color.blue, positive->color.blue, 1e-9);
    EXPECT_NEAR(negative->color.red, positive->color.red, 1e-9);
    EXPECT_FALSE(CC::parse(QStringLiteral("hsl(120, 100, 50)")).has_value()) << "no percent signs";
    EXPECT_FALSE(CC::parse(QStringLiteral("hsl(inf, 100%, 50%)")).has_value());
    EXPECT_EQ(CC::parse(QStringLiteral("hsla(0 0% 0%)"))->format, Format::hsl(true, false));
}

TEST(SyntaxColorCode, RenderingRules)
{
    const SyntaxRGBA white{1, 1, 1, 1};
    EXPECT_EQ(CC::renderHex(white, 3, false), QStringLiteral("#fff"));
    EXPECT_EQ(CC::renderHex({1, 1, 1, 0.5}, 3, false), QStringLiteral("#ffffff80"));
    EXPECT_EQ(CC::renderHex({1, 1, 1, 0.9996}, 6, true), QStringLiteral("#FFFFFF"));
    EXPECT_EQ(CC::renderHex({1, 0, 0, 1}, 4, true), QStringLiteral("#F00F"));
    EXPECT_EQ(CC::renderHex({0x12 / 255.0, 0, 0, 1}, 3, false), QStringLiteral("#120000"));
    EXPECT_EQ(CC::number(1.0, 3), QStringLiteral("1"));
    EXPECT_EQ(CC::number(12.5, 1), QStringLiteral("12.5"));
    EXPECT_EQ(CC::number(50.0, 1), QStringLiteral("50"));
    EXPECT_EQ(CC::number(-0.01, 1), QStringLiteral("0"));
    EXPECT_EQ(CC::renderRGB({1, 0, 0, 0.5}, false, true, true), QStringLiteral("rgba(255, 0, 0, 0.5)"));
    EXPECT_EQ(CC::renderRGB({1, 0, 0, 0.5}, false, true, false), QStringLiteral("rgb(255 0 0 / 0.5)"));
    EXPECT_EQ(CC::renderRGB({1, 0.5, 0, 1}, true, false, true), QStringLiteral("rgb(100%, 50%, 0%)"));
    EXPECT_EQ(CC::renderHSL({0, 0, 1, 1}, false, false), QStringLiteral("hsl(240 100% 50%)"));
    EXPECT_EQ(CC::renderHSL({1, 0, 0.5, 1}, false, true), QStringLiteral("hsl(330, 100%, 50%)"));

    // Writing back keeps the notation and shows alpha once the colour is translucent.
    EXPECT_EQ(CC::render({0, 0, 0, 0.5}, Format::rgb(false, false, true)), QStringLiteral("rgba(0, 0, 0, 0.5)"));
    EXPECT_EQ(CC::render({0x22 / 255.0, 0x44 / 255.0, 0x66 / 255.0, 1}, Format::hex(3, false)), QStringLiteral("#246"));
    EXPECT_EQ(CC::render({0x22 / 255.0, 0x44 / 255.0, 0x66 / 255.0, 0x88 / 255.0}, Format::hex(3, false)),
              QStringLiteral("#2468"));
    EXPECT_EQ(CC::render({-1, std::nan(""), 2, 1}, Format::hex(6, false)), QStringLiteral("#0000ff"));
}
