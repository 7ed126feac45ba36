#include "ArchiveTestSupport.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ProgressSheet.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "preferences/SettingsWindowController.h"
#include "search/batch/BatchReplaceLibrary.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"
#include "syntax/CotSyntaxCatalog.h"
#include "theme/EditorThemeStore.h"
#include "theme/ThemeTestSupport.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>

using namespace korimado;
namespace Key = EditorSettingsKey;

namespace {

class SettingsCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FilePanels::setShared(&panels);
        AlertPresenter::setShared(&alerts);
        auto& center = NotificationCenter::defaultCenter();
        tokens.append(center.addObserver(editorPreferencesChanged, nullptr, [this](const Notification&) { ++changes; }));
        tokens.append(center.addObserver(editorSettingsResourcesChanged, nullptr,
                                         [this](const Notification&) { ++resourceChanges; }));
    }
    void TearDown() override
    {
        for (auto token : tokens) NotificationCenter::defaultCenter().removeObserver(token);
        FilePanels::setShared(nullptr);
        AlertPresenter::setShared(nullptr);
        QDir(CotSyntaxCatalog::userSyntaxDirectory()).removeRecursively();
        if (auto folder = BatchReplaceLibrary::directory()) QDir(*folder).removeRecursively();
    }

    void chooseToOpen(const QString& path) { panels.enqueueOpen({true, {path}, -1}); }
    // Archive work runs on a worker; its result comes back through the event loop.
    static void finish(const SettingsWindowController& controller)
    {
        ASSERT_TRUE(test::spinUntil([&] { return !controller.isArchiveJobRunning(); }, 60000));
    }
    void chooseToSave(const QString& path, int format = -1) { panels.enqueueSave({true, path, format}); }

    // A package as a user would make one by hand: a theme, a syntax, a rule file, a broken
    // theme, notes, and keys of its own.
    QString handMadeArchive(const QString& name)
    {
        const QString path = test::writePackage(
            dir, name,
            test::defaultsPlist("\t<key>tabWidth</key>\n\t<integer>2</integer>\n"
                                "\t<key>defaultTheme</key>\n\t<string>Hand</string>\n"
                                "\t<key>lineHeight</key>\n\t<real>1.5</real>\n"
                                "\t<key>myOwnSetting</key>\n\t<string>keep me</string>\n"
                                "\t<key>showLineNumbers</key>\n\t<integer>1</integer>\n"),
            test::infoPlist(QStringLiteral("7.1.2")));
        dir.write(name + QStringLiteral("/Themes/Hand.cottheme"), test::themeBytes(QStringLiteral("Hand")));
        dir.write(name + QStringLiteral("/Themes/Broken.cottheme"), "{\"name\": \"Broken\"}");
        dir.write(name + QStringLiteral("/Syntaxes/Hand.cotsyntax/Info.json"), "{\"fileMap\":{\"extensions\":[\"hand\"]}}");
        dir.write(name + QStringLiteral("/Replacements/tidy.cotrpl"),
                  "{\"replacements\":[{\"findString\":\"a\",\"replacementString\":\"b\"}],"
                  "\"settings\":{\"textualOptions\":0,\"regexOptions\":0}}");
        dir.write(name + QStringLiteral("/Notes/readme.txt"), "hand made");
        return path;
    }

    test::TempDir dir;
    ScriptedFilePanels panels;
    ScriptedAlertPresenter alerts;
    QList<NotificationCenter::Token> tokens;
    int changes = 0;
    int resourceChanges = 0;
    UserDefaults defaults;
    EditorThemeStore themes{Bundle::main().resourcePath() + QStringLiteral("/Themes"), dir.file(QStringLiteral("UserThemes"))};
    SettingsArchiveStore archiveStore{dir.file(QStringLiteral("Base/ImportedBase.cotsettings"))};
    SettingsWindowController controller{defaults, themes, archiveStore};
};

}  // namespace

TEST_F(SettingsCommandsTest, ThemeImportInstallsOnceAndSelects)
{
    const QString file = dir.write(QStringLiteral("Foo.cottheme"), test::themeBytes(QString()));
    chooseToOpen(file);
    controller.importTheme(nullptr);
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_EQ(defaults.string(Key::themeName), QStringLiteral("Foo"));
    EXPECT_EQ(controller.theme()->currentText(), QStringLiteral("Foo"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(panels.openPanels().at(0).nameFilters, QStringList{QStringLiteral("テーマ (*.cottheme)")});

    defaults.setString(Key::themeName, QStringLiteral("Classic"));
    chooseToOpen(file);
    controller.importTheme(nullptr);
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown().at(0).messageText,
              QStringLiteral("テーマ「Foo」はすでに読み込まれています。既存のテーマは変更していません。"));
    EXPECT_EQ(defaults.string(Key::themeName), QStringLiteral("Classic"));
    EXPECT_EQ(changes, 1);

    chooseToOpen(dir.file(QStringLiteral("missing.cottheme")));
    controller.importTheme(nullptr);
    EXPECT_TRUE(alerts.shown().at(1).messageText.startsWith(QStringLiteral("テーマを読み込みできませんでした。")));
}

TEST_F(SettingsCommandsTest, ThemeExportFallsBackToClassic)
{
    defaults.setString(Key::themeName, QStringLiteral("Gone"));
    chooseToSave(dir.file(QStringLiteral("out.cottheme")));
    controller.exportTheme(nullptr);
    EXPECT_EQ(panels.savePanels().at(0).nameFieldValue, QStringLiteral("Classic.cottheme"));
    EXPECT_TRUE(test::readFile(dir.file(QStringLiteral("out.cottheme"))).contains("Classic"));
    EXPECT_TRUE(alerts.shown().isEmpty());
}

TEST_F(SettingsCommandsTest, ExportInBothFormatsReplacingTheTypedExtension)
{
    defaults.setInteger(Key::tabWidth, 6);
    chooseToSave(dir.file(QStringLiteral("Mine.txt")), 0);
    controller.exportSettings(nullptr);
    finish(controller);
    const SavePanelOptions& shown = panels.savePanels().at(0);
    EXPECT_EQ(shown.nameFieldValue, QStringLiteral("Korimado設定.cotsettings"));
    ASSERT_TRUE(shown.accessory);
    EXPECT_EQ(shown.accessory->items,
              (QStringList{QStringLiteral("設定アーカイブ（.cotsettings）"), QStringLiteral("Korimado JSON（.json）")}));
    EXPECT_EQ(shown.accessory->label, QStringLiteral("形式"));
    EXPECT_EQ(shown.accessory->accessibilityLabel, QStringLiteral("設定ファイルの形式"));
    EXPECT_EQ(shown.packageExtensions, QStringList{QStringLiteral("cotsettings")});
    EXPECT_EQ(shown.parent, nullptr);  // the window is closed: application-modal
    const SettingsArchive fresh = SettingsArchive::read(dir.file(QStringLiteral("Mine.cotsettings")));
    EXPECT_EQ(*fresh.defaults().value(QStringLiteral("tabWidth")), PropertyList(6));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("Mine.txt"))));

    chooseToSave(dir.file(QStringLiteral("Mine.cotsettings")), 1);
    controller.exportSettings(nullptr);
    finish(controller);
    EXPECT_TRUE(test::readFile(dir.file(QStringLiteral("Mine.json"))).contains("\"tabWidth\": 6"));
    EXPECT_TRUE(alerts.shown().isEmpty());
}

TEST_F(SettingsCommandsTest, ExportAsksBeforeReplacingWhatThePanelDidNotConfirm)
{
    const QString json = dir.write(QStringLiteral("Korimado設定.json"), "precious");
    alerts.enqueueAnswer(1);  // キャンセル
    chooseToSave(dir.file(QStringLiteral("Korimado設定.cotsettings")), 1);
    controller.exportSettings(nullptr);
    finish(controller);
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown().at(0).messageText, QStringLiteral("「Korimado設定.json」はすでに存在します。置き換えますか？"));
    EXPECT_EQ(alerts.shown().at(0).buttons, (QStringList{QStringLiteral("置き換える"), QStringLiteral("キャンセル")}));
    EXPECT_EQ(test::readFile(json), QByteArray("precious"));

    // A whole package behind a name typed with another extension.
    dir.write(QStringLiteral("X.cotsettings/keep.txt"), "keep");
    alerts.enqueueAnswer(1);
    chooseToSave(dir.file(QStringLiteral("X.json")), 0);
    controller.exportSettings(nullptr);
    finish(controller);
    EXPECT_EQ(alerts.shown().size(), 2);
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("X.cotsettings/keep.txt"))));

    alerts.enqueueAnswer(0);  // 置き換える
    chooseToSave(dir.file(QStringLiteral("Korimado設定.cotsettings")), 1);
    controller.exportSettings(nullptr);
    finish(controller);
    EXPECT_TRUE(test::readFile(json).startsWith("{"));

    // The path the panel confirmed is not asked about again.
    chooseToSave(json, 1);
    controller.exportSettings(nullptr);
    finish(controller);
    EXPECT_EQ(alerts.shown().size(), 3);
}

TEST_F(SettingsCommandsTest, ArchiveImportInstallsAppliesReportsAndFeedsTheNextExport)
{
    const QString archive = handMadeArchive(QStringLiteral("Hand.COTSETTINGS"));
    chooseToOpen(archive);
    controller.importSettings(nullptr);
    finish(controller);

    ASSERT_EQ(alerts.shown().size(), 1);
    const Alert& summary = alerts.shown().at(0);
    EXPECT_EQ(summary.messageText, QStringLiteral("設定アーカイブを読み込みました"));
    EXPECT_EQ(summary.informativeText,
              QStringLiteral("設定アーカイブ 7.1.2形式。対応項目だけを適用し、その他の値とファイルは次回の書き出し用に保持しました。"));
    EXPECT_EQ(summary.buttons, QStringList{QStringLiteral("閉じる")});
    EXPECT_TRUE(summary.accessoryText.startsWith(QStringLiteral("適用した設定：タブ幅、テーマ")));
    EXPECT_TRUE(summary.accessoryText.contains(QStringLiteral("Korimadoに対応項目がない設定（保持のみ）：lineHeight")));
    EXPECT_TRUE(summary.accessoryText.contains(QStringLiteral("形式に未登録の設定（保持のみ）：myOwnSetting")));
    EXPECT_TRUE(summary.accessoryText.contains(
        QStringLiteral("有効化したファイル：Replacements/tidy.cotrpl、Syntaxes/Hand.cotsyntax、Themes/Hand.cottheme")));
    EXPECT_TRUE(summary.accessoryText.contains(QStringLiteral("不正なため有効化しなかったファイル（アーカイブには保持）：Themes/Broken.cottheme（")));
    EXPECT_TRUE(summary.accessoryText.contains(QStringLiteral("適用せず保持したファイル：Notes/readme.txt")));
    EXPECT_TRUE(summary.accessoryText.endsWith(QStringLiteral("読み込まなかった値：showLineNumbers（真偽値ではありません）")));

    EXPECT_EQ(changes, 1);
    EXPECT_EQ(resourceChanges, 1);
    EXPECT_EQ(defaults.object(Key::tabWidth)->integerValue(), 2);
    EXPECT_EQ(defaults.string(Key::themeName), QStringLiteral("Hand"));
    EXPECT_EQ(controller.theme()->currentText(), QStringLiteral("Hand"));  // synced
    EXPECT_TRUE(QFileInfo::exists(CotSyntaxCatalog::userSyntaxDirectory() + QStringLiteral("/Hand.cotsyntax/Info.json")));
    EXPECT_TRUE(QFileInfo::exists(*BatchReplaceLibrary::directory() + QStringLiteral("/tidy.cotrpl")));
    EXPECT_TRUE(QFileInfo::exists(archiveStore.baseArchivePath() + QStringLiteral("/Notes/readme.txt")));

    // The next archive export carries the base's own keys and files.
    defaults.setInteger(Key::tabWidth, 3);
    chooseToSave(dir.file(QStringLiteral("Out.cotsettings")), 0);
    controller.exportSettings(nullptr);
    finish(controller);
    const SettingsArchive out = SettingsArchive::read(dir.file(QStringLiteral("Out.cotsettings")));
    EXPECT_EQ(*out.defaults().value(QStringLiteral("myOwnSetting")), PropertyList("keep me"));
    EXPECT_EQ(*out.defaults().value(QStringLiteral("lineHeight")), PropertyList(1.5));
    EXPECT_EQ(*out.defaults().value(QStringLiteral("tabWidth")), PropertyList(3));
    EXPECT_EQ(test::readFile(dir.file(QStringLiteral("Out.cotsettings/Themes/Broken.cottheme"))),
              QByteArray("{\"name\": \"Broken\"}"));
    EXPECT_EQ(test::readFile(dir.file(QStringLiteral("Out.cotsettings/Notes/readme.txt"))), QByteArray("hand made"));
}

TEST_F(SettingsCommandsTest, ArchiveWithNothingToInstallAndFailedRoads)
{
    chooseToOpen(test::writePackage(dir, QStringLiteral("Plain.cotsettings")));
    controller.importSettings(nullptr);
    finish(controller);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(resourceChanges, 0);
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown().at(0).accessoryText, QStringLiteral("適用した設定：なし"));

    // A base that cannot be stored stops the road before anything is applied or installed.
    dir.write(QStringLiteral("blocked"), "a file");
    SettingsWindowController blocked(defaults, themes, SettingsArchiveStore(dir.file(QStringLiteral("blocked/x.cotsettings"))));
    defaults.setInteger(Key::tabWidth, 5);
    chooseToOpen(handMadeArchive(QStringLiteral("Hand.cotsettings")));
    blocked.importSettings(nullptr);
    finish(blocked);
    ASSERT_EQ(alerts.shown().size(), 2);
    EXPECT_TRUE(alerts.shown().at(1).messageText.startsWith(QStringLiteral("設定アーカイブを保存できませんでした。")));
    EXPECT_EQ(defaults.object(Key::tabWidth)->integerValue(), 5);
    EXPECT_FALSE(QFileInfo::exists(CotSyntaxCatalog::userSyntaxDirectory() + QStringLiteral("/Hand.cotsyntax")));
    EXPECT_EQ(changes, 1);

    // Any other extension takes the JSON road, and fails there unless it holds the settings.
    chooseToOpen(dir.write(QStringLiteral("notes.txt"), "hello"));
    controller.importSettings(nullptr);
    finish(controller);
    EXPECT_EQ(alerts.shown().size(), 3);
    EXPECT_EQ(alerts.shown().at(2).messageText,
              QStringLiteral("設定ファイルを読み込めません。Korimadoが書き出したJSONファイルを選んでください。"));
    chooseToOpen(test::writePackage(dir, QStringLiteral("BadInfo.cotsettings"), test::defaultsPlist(), "<plist><array/></plist>"));
    controller.importSettings(nullptr);
    finish(controller);
    EXPECT_EQ(alerts.shown().at(3).messageText, QStringLiteral("設定アーカイブの「Info.plist」を読み取れません。"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(panels.openPanels().at(0).packageExtensions, QStringList{QStringLiteral("cotsettings")});
}

TEST_F(SettingsCommandsTest, JsonRoundTripAndPanelsSheetOnTheShownWindow)
{
    defaults.setInteger(Key::tabWidth, 8);
    controller.showWindow();
    chooseToSave(dir.file(QStringLiteral("s.json")), 1);
    controller.exportSettings(nullptr);
    finish(controller);
    EXPECT_EQ(panels.savePanels().at(0).parent, controller.window());

    UserDefaults other;
    SettingsWindowController importer(other, themes, archiveStore);
    chooseToOpen(dir.file(QStringLiteral("s.json")));
    importer.importSettings(nullptr);
    finish(importer);
    EXPECT_EQ(other.object(Key::tabWidth)->integerValue(), 8);
    EXPECT_EQ(importer.tabWidth()->currentText(), QStringLiteral("8文字"));
    EXPECT_EQ(panels.openPanels().at(0).parent, nullptr);  // that window is not shown
    EXPECT_TRUE(alerts.shown().isEmpty());
    controller.window()->close();
}

// The file work of an archive runs behind a sheet on the settings window, which leaves the window's
// thread free; cancelling before the job replaces anything leaves settings, base and folders as
// they were, and the next job runs after it.
TEST_F(SettingsCommandsTest, ArchiveWorkRunsBehindASheetThatCancelsIt)
{
    const QString archive = handMadeArchive(QStringLiteral("Big.cotsettings"));
    for (int i = 0; i < 500; ++i) dir.write(QStringLiteral("Big.cotsettings/Notes/many/%1.txt").arg(i), "x");
    defaults.setInteger(Key::tabWidth, 5);
    controller.showWindow();
    chooseToOpen(archive);
    controller.importSettings(nullptr);
    ASSERT_TRUE(controller.isArchiveJobRunning());
    QPointer<ProgressSheet> sheet = controller.progressSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->message(), QStringLiteral("設定アーカイブを読み込んでいます…"));
    EXPECT_EQ(sheet->parentWidget(), controller.window());
    EXPECT_EQ(sheet->cancelButton()->text(), QStringLiteral("キャンセル"));
    sheet->reject();  // Escape, or the button
    EXPECT_FALSE(controller.isArchiveJobRunning());
    EXPECT_TRUE(test::spinUntil([&] { return sheet.isNull(); }));

    chooseToOpen(test::writePackage(dir, QStringLiteral("Plain.cotsettings")));
    controller.importSettings(nullptr);
    finish(controller);
    EXPECT_EQ(alerts.shown().size(), 1);  // the second import's summary alone
    EXPECT_FALSE(QFileInfo::exists(archiveStore.baseArchivePath() + QStringLiteral("/Notes")));
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("UserThemes/Hand.cottheme"))));
    EXPECT_FALSE(QFileInfo::exists(CotSyntaxCatalog::userSyntaxDirectory() + QStringLiteral("/Hand.cotsyntax")));
    EXPECT_EQ(defaults.object(Key::tabWidth)->integerValue(), 5);
    EXPECT_EQ(resourceChanges, 0);

    // An export runs the same way, and its package replaces what stood at its destination whole.
    dir.write(QStringLiteral("Out.cotsettings/mine.txt"), "mine");
    chooseToSave(dir.file(QStringLiteral("Out.cotsettings")), 0);
    controller.exportSettings(nullptr);
    if (controller.isArchiveJobRunning()) {
        EXPECT_EQ(controller.progressSheet()->message(), QStringLiteral("設定アーカイブを書き出しています…"));
    }
    finish(controller);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("Out.cotsettings/mine.txt"))));
    controller.window()->close();
}
