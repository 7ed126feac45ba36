#include "platform/foundation/Bundle.h"
#include "theme/EditorThemeError.h"
#include "theme/EditorThemeStore.h"

#include <QDir>

#include <gtest/gtest.h>

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
