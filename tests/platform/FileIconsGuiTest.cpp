#include "platform/ui/FileIcons.h"

#include "support/TestSupport.h"

#include <QColor>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QImage drawn(const QIcon& icon)
{
    return icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Icon theme settings are the process's: each test puts back what it found.
class FileIconsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        themeName = QIcon::themeName();
        searchPaths = QIcon::themeSearchPaths();
        fallbackTheme = QIcon::fallbackThemeName();
        // No desktop theme at all, as under a bare window manager.
        QIcon::setThemeSearchPaths({dir.path()});
        QIcon::setThemeName(QStringLiteral("none"));
        QIcon::setFallbackThemeName(QStringLiteral("none"));
        FileIcons::clearCache();
    }
    void TearDown() override
    {
        QIcon::setThemeSearchPaths(searchPaths);
        QIcon::setThemeName(themeName);
        QIcon::setFallbackThemeName(fallbackTheme);
        FileIcons::clearCache();
    }

    // A theme of that name with one icon of one colour.
    void makeTheme(const QString& theme, const QString& iconName, const QColor& colour)
    {
        dir.write(theme + "/index.theme", "[Icon Theme]\nName=" + theme.toUtf8()
                  + "\nDirectories=32x32/mimetypes\n\n[32x32/mimetypes]\nSize=32\nContext=MimeTypes\nType=Fixed\n");
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(colour);
        QDir().mkpath(dir.file(theme + "/32x32/mimetypes"));
        ASSERT_TRUE(image.save(dir.file(theme + "/32x32/mimetypes/" + iconName + ".png")));
        QIcon::setThemeName(theme);
        FileIcons::clearCache();
    }

    test::TempDir dir;
    QString themeName;
    QStringList searchPaths;
    QString fallbackTheme;
};

// Without a desktop theme the bundled icons still tell a folder, text, code and a picture apart.
TEST_F(FileIconsTest, WithoutAThemeTheBundledIconsTellTheKindsApart)
{
    const QImage folder = drawn(FileIcons::folderIcon());
    const QImage text = drawn(FileIcons::iconForFile(QStringLiteral("/w/notes.txt")));
    const QImage code = drawn(FileIcons::iconForFile(QStringLiteral("/w/tool.sh")));
    const QImage picture = drawn(FileIcons::iconForFile(QStringLiteral("/w/logo.svg")));
    for (const QImage* image : {&folder, &text, &code, &picture})
        ASSERT_FALSE(image->isNull());
    EXPECT_NE(folder, text);
    EXPECT_NE(text, code);
    EXPECT_NE(text, picture);
    EXPECT_NE(code, picture);
    // A type the program knows nothing particular of looks like text; one type, one icon.
    EXPECT_EQ(drawn(FileIcons::iconForFile(QStringLiteral("/w/a.unknownkind"))), text);
    EXPECT_EQ(FileIcons::iconForFile(QStringLiteral("/a/x.txt")).cacheKey(),
              FileIcons::iconForFile(QStringLiteral("/b/y.txt")).cacheKey());
    EXPECT_EQ(FileIcons::themeIconNameForFile(QStringLiteral("/w/notes.txt")), QString());
}

// With a desktop theme, a file shows the theme's icon for its type, or the theme's generic one.
TEST_F(FileIconsTest, TheThemesIconForTheTypeWinsThenItsGenericOne)
{
    makeTheme(QStringLiteral("First"), QStringLiteral("text-x-python"), Qt::red);
    EXPECT_EQ(FileIcons::themeIconNameForFile(QStringLiteral("/w/tool.py")), "text-x-python");
    EXPECT_EQ(drawn(FileIcons::iconForFile(QStringLiteral("/w/tool.py"))).pixelColor(16, 16), QColor(Qt::red));
    // The theme has nothing for shell scripts: the bundled icon for their kind stands in.
    EXPECT_EQ(FileIcons::themeIconNameForFile(QStringLiteral("/w/run.sh")), QString());

    makeTheme(QStringLiteral("Second"), QStringLiteral("text-x-script"), Qt::blue);
    EXPECT_EQ(FileIcons::themeIconNameForFile(QStringLiteral("/w/run.sh")), "text-x-script");
    EXPECT_EQ(drawn(FileIcons::iconForFile(QStringLiteral("/w/run.sh"))).pixelColor(16, 16), QColor(Qt::blue));
}

}  // namespace
