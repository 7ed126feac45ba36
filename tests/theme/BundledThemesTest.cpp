#include "platform/foundation/Bundle.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"

#include <QDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace korimado {
namespace {

double channel(double c)
{
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(double r, double g, double b)
{
    return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b);
}

// The WCAG contrast ratio of text over an opaque background; translucent text is blended first.
double contrast(const ThemeColorValue& text, const ThemeColorValue& background)
{
    const double a = text.alphaF();
    const auto blend = [a](double fg, double bg) { return fg * a + bg * (1 - a); };
    const double lt = luminance(blend(text.redF(), background.redF()), blend(text.greenF(), background.greenF()),
                                blend(text.blueF(), background.blueF()));
    const double lb = luminance(background.redF(), background.greenF(), background.blueF());
    return (std::max(lt, lb) + 0.05) / (std::min(lt, lb) + 0.05);
}

// CIE76 colour difference of two opaque colours (L*a*b*, D65 white).
double difference(const ThemeColorValue& x, const ThemeColorValue& y)
{
    const auto lab = [](const ThemeColorValue& c) {
        const double r = channel(c.redF()), g = channel(c.greenF()), b = channel(c.blueF());
        const double xyz[3] = {(0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047, 0.2126 * r + 0.7152 * g + 0.0722 * b,
                               (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883};
        double f[3];
        for (int i = 0; i < 3; ++i) f[i] = xyz[i] > 0.008856 ? std::cbrt(xyz[i]) : 7.787 * xyz[i] + 16.0 / 116;
        return std::array<double, 3>{116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])};
    };
    const auto a = lab(x), b = lab(y);
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

class BundledThemesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!store.bundledDirectory()) GTEST_SKIP() << "no resource folder";
        files = QDir(*store.bundledDirectory()).entryInfoList({"*.cottheme"}, QDir::Files, QDir::Name);
        if (files.isEmpty()) GTEST_SKIP() << "no bundled themes yet";
    }

    EditorThemeStore store{Bundle::main()};
    QFileInfoList files;
};

TEST_F(BundledThemesTest, EveryFileLoadsWithReadableTextAndAUniqueName)
{
    QStringList names;
    for (const QFileInfo& file : files) {
        SCOPED_TRACE(file.fileName().toStdString());
        try {
            const EditorTheme theme = store.load(file.filePath());
            EXPECT_FALSE(names.contains(theme.name)) << "two bundled files named " << theme.name.toStdString();
            names.append(theme.name);
            const ThemeColorValue text = theme.resolvedColor("text");
            const ThemeColorValue background = theme.resolvedColor("background");
            if (text.isSystem() || background.isSystem()) continue;
            EXPECT_EQ(background.alpha, 255);
            EXPECT_GE(contrast(text, background), 4.5) << theme.name.toStdString();
        } catch (const EditorThemeError& error) {
            ADD_FAILURE() << error.what();
        }
    }
}

// Strings and numbers stand side by side in most code: no theme may paint them alike.
TEST_F(BundledThemesTest, StringsAndNumbersLookApart)
{
    for (const QFileInfo& file : files) {
        const EditorTheme theme = store.load(file.filePath());
        EXPECT_GE(difference(theme.resolvedColor("strings"), theme.resolvedColor("numbers")), 20.0) << theme.name.toStdString();
    }
}

TEST_F(BundledThemesTest, ShipsClassicAndADarkClassic)
{
    const QStringList names = store.availableThemeNames();
    EXPECT_GE(names.size(), 14);
    EXPECT_TRUE(names.contains("Classic"));
    ASSERT_TRUE(names.contains("Classic (Dark)"));
    EXPECT_LT(store.theme("Classic (Dark)").resolvedColor("background").redF(), 0.4);
}

}  // namespace
}  // namespace korimado
