#include "ArchiveTestSupport.h"

#include "platform/foundation/UserDefaults.h"
#include "preferences/archive/SettingsArchiveTransfer.h"
#include "preferences/archive/SettingsResourceStore.h"
#include "settings/EditorSettingsSnapshot.h"
#include "theme/EditorThemeStore.h"
#include "theme/ThemeTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using namespace korimado;
using Control = SettingsArchiveTransfer::Control;

namespace {

class SettingsArchiveTransferTest : public ::testing::Test {
protected:
    test::TempDir dir;
    EditorThemeStore themes{std::nullopt, dir.file(QStringLiteral("Themes"))};
    SettingsResourceStore resources{dir.file(QStringLiteral("Syntaxes")), dir.file(QStringLiteral("Replacements")), themes};
    SettingsArchiveStore store{dir.file(QStringLiteral("Base/ImportedBase.cotsettings"))};
    UserDefaults defaults;

    QString archiveWithATheme()
    {
        const QString path = test::writePackage(dir, QStringLiteral("In.cotsettings"));
        dir.write(QStringLiteral("In.cotsettings/Themes/Hand.cottheme"), test::themeBytes(QStringLiteral("Hand")));
        return path;
    }
};

}  // namespace

// A job cancelled before it commits changes nothing; once it has begun to replace what is on
// disk it goes to its end and the cancel says it came too late.
TEST_F(SettingsArchiveTransferTest, ImportCancelledBeforeItsCommitChangesNothing)
{
    const QString archive = archiveWithATheme();
    Control cancelled;
    EXPECT_TRUE(cancelled.cancel());
    SettingsArchiveTransfer::ImportResult result =
        SettingsArchiveTransfer::importArchive(archive, store, resources, themes, cancelled);
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(store.baseArchivePath()));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("Themes/Hand.cottheme"))));
    EXPECT_EQ(QDir(dir.file(QStringLiteral("Base"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());

    Control control;
    result = SettingsArchiveTransfer::importArchive(archive, store, resources, themes, control);
    EXPECT_FALSE(result.cancelled);
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_FALSE(control.cancel());
    EXPECT_EQ(result.activation.activated, QStringList{QStringLiteral("Themes/Hand.cottheme")});
    EXPECT_TRUE(result.themeNames.contains(QStringLiteral("Hand")));
    EXPECT_TRUE(QFileInfo::exists(store.baseArchivePath() + QStringLiteral("/Themes/Hand.cottheme")));

    Control third;
    result = SettingsArchiveTransfer::importArchive(dir.file(QStringLiteral("missing.cotsettings")), store, resources,
                                                    themes, third);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.error, QStringLiteral("設定アーカイブは.cotsettings形式のフォルダではありません。"));
}

TEST_F(SettingsArchiveTransferTest, ExportOverTheBaseOrCancelledLeavingTheDestination)
{
    Control importing;
    SettingsArchiveTransfer::importArchive(archiveWithATheme(), store, resources, themes, importing);
    const QString destination = test::writePackage(dir, QStringLiteral("Out.cotsettings"));
    dir.write(QStringLiteral("Out.cotsettings/mine.txt"), "mine");
    const EditorSettingsSnapshot settings(defaults);

    Control cancelled;
    cancelled.cancel();
    SettingsArchiveTransfer::ExportResult result = SettingsArchiveTransfer::exportArchive(
        destination, store, settings, QStringLiteral("Monospace"), cancelled);
    EXPECT_TRUE(result.cancelled);
    EXPECT_TRUE(QFileInfo::exists(destination + QStringLiteral("/mine.txt")));

    Control control;
    result = SettingsArchiveTransfer::exportArchive(destination, store, settings, QStringLiteral("Monospace"), control);
    EXPECT_FALSE(result.cancelled);
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(destination + QStringLiteral("/mine.txt")));
    EXPECT_EQ(test::readFile(destination + QStringLiteral("/Themes/Hand.cottheme")), test::themeBytes(QStringLiteral("Hand")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot).filter(QStringLiteral(".korimado")),
              QStringList());
}
