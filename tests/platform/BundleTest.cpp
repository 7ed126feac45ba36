#include "platform/foundation/Bundle.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using korimado::Bundle;
using korimado::test::TempDir;

TEST(Bundle, FindsResourcesByNameExtensionAndFolder)
{
    TempDir dir;
    dir.write("res/AppIcon.icns", "icon");
    dir.write("res/Tokenizers/o200k_base.tiktoken", "t");
    dir.write("secret.txt", "s");
    const Bundle bundle(dir.file("res"));

    EXPECT_EQ(bundle.path("AppIcon", "icns"), dir.file("res/AppIcon.icns"));
    EXPECT_EQ(bundle.path("AppIcon", ".icns"), dir.file("res/AppIcon.icns"));
    EXPECT_EQ(bundle.path("AppIcon.icns"), dir.file("res/AppIcon.icns"));
    EXPECT_EQ(bundle.path("o200k_base", "tiktoken", "Tokenizers"), dir.file("res/Tokenizers/o200k_base.tiktoken"));
    EXPECT_EQ(bundle.url("AppIcon", "icns").toLocalFile(), dir.file("res/AppIcon.icns"));
    EXPECT_EQ(bundle.path("Tokenizers"), dir.file("res/Tokenizers"));

    EXPECT_TRUE(bundle.path("Missing", "icns").isEmpty());
    EXPECT_TRUE(bundle.url("Missing", "icns").isEmpty());
    EXPECT_TRUE(bundle.path("", "icns").isEmpty());
    // Names must not lead outside the resources.
    EXPECT_TRUE(bundle.path("../secret", "txt").isEmpty());
    EXPECT_TRUE(bundle.path("secret", "txt", "..").isEmpty());
}

TEST(Bundle, IdentifierAndUserDataFolder)
{
    EXPECT_EQ(Bundle::bundleIdentifier(), "app.korimado.Korimado");
    const QString support = Bundle::applicationSupportDirectory();
    EXPECT_EQ(support, korimado::test::testDataHome() + "/Korimado");
    EXPECT_TRUE(QFileInfo(support).isDir());
    const QString themes = Bundle::applicationSupportDirectory("Themes");
    EXPECT_EQ(themes, support + "/Themes");
    EXPECT_TRUE(QFileInfo(themes).isDir());
    EXPECT_FALSE(Bundle::main().resourcePath().isEmpty());
}

// The identity is the configured one wherever this layer names the program, and follows a change.
TEST(Bundle, EveryNameOfTheProgramComesFromTheConfiguration)
{
    const korimado::BundleConfiguration program = Bundle::configuration();
    EXPECT_EQ(Bundle::preferredLocalizations(), QStringList{QStringLiteral("ja")});
    Bundle::configure({QStringLiteral("org.example.Other"), QStringLiteral("Other"), QStringLiteral("OtherDomain"), {}, QStringLiteral("Other")});
    EXPECT_EQ(korimado::DispatchQueue::applicationLabel(QStringLiteral(".syntax")), "org.example.Other.syntax");
    EXPECT_EQ(Bundle::applicationSupportPath(QStringLiteral("Autosave")),
              korimado::test::testDataHome() + "/Other/Autosave");
    EXPECT_TRUE(Bundle::preferredLocalizations().isEmpty());
    EXPECT_EQ(korimado::UserDefaults::standardFilePath(), korimado::test::testConfigHome() + "/Other/defaults.json");
    Bundle::configure(program);
    EXPECT_EQ(korimado::UserDefaults::standardFilePath(), korimado::test::testConfigHome() + "/Korimado/defaults.json");
}
