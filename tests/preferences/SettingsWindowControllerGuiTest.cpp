#include "preferences/SettingsWindowController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsKeys.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace korimado;

namespace {

class SettingsExchangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FilePanels::setShared(&panels);
        AlertPresenter::setShared(&alerts);
        token = NotificationCenter::defaultCenter().addObserver(
            editorPreferencesChanged, nullptr, [this](const Notification&) { ++notifications; });
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(token);
        FilePanels::setShared(nullptr);
        AlertPresenter::setShared(nullptr);
    }

    test::TempDir dir;
    ScriptedFilePanels panels;
    ScriptedAlertPresenter alerts;
    NotificationCenter::Token token = 0;
    int notifications = 0;
};

}  // namespace

TEST_F(SettingsExchangeTest, ExportedJsonImportsIntoOtherDefaults)
{
    UserDefaults source;
    source.setInteger(QString(EditorSettingsKey::tabWidth), 7);
    source.setBool(QString(EditorSettingsKey::wrap), false);
    SettingsWindowController exporter(source);
    // The typed extension gives way to the format's own.
    panels.enqueueSave({true, dir.file(QStringLiteral("mine.txt"))});
    exporter.exportSettings(nullptr);
    const QString written = dir.file(QStringLiteral("mine.json"));
    ASSERT_TRUE(QFile::exists(written));
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("mine.txt"))));
    EXPECT_EQ(panels.savePanels().at(0).message, SettingsWindowController::exportMessage);

    UserDefaults target;
    SettingsWindowController importer(target);
    panels.enqueueOpen({true, {written}, -1});
    importer.importSettings(nullptr);
    EXPECT_EQ(target.integer(QString(EditorSettingsKey::tabWidth)), 7);
    EXPECT_FALSE(target.boolean(QString(EditorSettingsKey::wrap)));
    EXPECT_EQ(importer.syncCount(), 1);
    EXPECT_EQ(notifications, 1);
    EXPECT_TRUE(alerts.shown().isEmpty());
    // The panel names the formats, not another program.
    ASSERT_EQ(panels.openPanels().size(), 1);
    EXPECT_EQ(panels.openPanels().at(0).message,
              QStringLiteral("設定アーカイブ（.cotsettings）またはKorimadoのJSON設定を選んでください。"));
}

TEST_F(SettingsExchangeTest, BadFilesChangeNothingAndAreReported)
{
    UserDefaults target;
    target.setInteger(QString(EditorSettingsKey::tabWidth), 3);
    SettingsWindowController importer(target);

    panels.enqueueOpen({true, {dir.write(QStringLiteral("bad.json"), "{\"tabWidth\": 9}")}, -1});
    importer.importSettings(nullptr);
    panels.enqueueOpen({true, {dir.write(QStringLiteral("x.COTSETTINGS"), "")}, -1});
    importer.importSettings(nullptr);
    panels.enqueueOpen({true, {dir.file(QStringLiteral("missing.json"))}, -1});
    importer.importSettings(nullptr);
    importer.importSettings(nullptr);  // cancelled panel: nothing at all

    EXPECT_EQ(alerts.shown().size(), 3);
    EXPECT_EQ(alerts.shown().at(1).messageText, SettingsWindowController::archiveUnavailableMessage);
    EXPECT_EQ(target.integer(QString(EditorSettingsKey::tabWidth)), 3);
    EXPECT_EQ(importer.syncCount(), 0);
    EXPECT_EQ(notifications, 0);
}
