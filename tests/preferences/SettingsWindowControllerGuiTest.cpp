#include "preferences/SettingsWindowController.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"
#include "support/TestSupport.h"
#include "theme/EditorThemeStore.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

using namespace korimado;
namespace Key = EditorSettingsKey;

namespace {

QStringList items(const QComboBox* box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i) list.append(box->itemText(i));
    return list;
}

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FilePanels::setShared(&panels);
        AlertPresenter::setShared(&alerts);
        tokens.append(NotificationCenter::defaultCenter().addObserver(
            editorPreferencesChanged, nullptr, [this](const Notification&) { ++changes; }));
    }
    void TearDown() override
    {
        for (auto token : tokens) NotificationCenter::defaultCenter().removeObserver(token);
        FilePanels::setShared(nullptr);
        AlertPresenter::setShared(nullptr);
    }

    test::TempDir dir;
    ScriptedFilePanels panels;
    ScriptedAlertPresenter alerts;
    QList<NotificationCenter::Token> tokens;
    int changes = 0;
    UserDefaults defaults;
    EditorThemeStore themes{Bundle::main().resourcePath() + QStringLiteral("/Themes"), dir.file(QStringLiteral("UserThemes"))};
    SettingsWindowController controller{defaults, themes, SettingsArchiveStore(dir.file(QStringLiteral("Base/ImportedBase.cotsettings")))};
};

}  // namespace

TEST_F(SettingsWindowTest, FourPagesOfControlsWithTheirTexts)
{
    QWidget* window = controller.window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("設定"));
    EXPECT_EQ(window->size(), QSize(660, 500));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    QTabWidget* tabs = controller.tabView();
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("一般"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("エディタ"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("ファイル"));
    EXPECT_EQ(tabs->tabText(3), QStringLiteral("プレビュー"));
    EXPECT_TRUE(tabs->widget(0)->isAncestorOf(controller.theme()));
    EXPECT_TRUE(tabs->widget(1)->isAncestorOf(controller.guideColumn()));
    EXPECT_TRUE(tabs->widget(2)->isAncestorOf(controller.lineEnding()));
    EXPECT_TRUE(tabs->widget(3)->isAncestorOf(controller.autoplay()));

    EXPECT_EQ(items(controller.appearance()),
              (QStringList{QStringLiteral("システムに合わせる"), QStringLiteral("ライト"), QStringLiteral("ダーク")}));
    EXPECT_EQ(controller.size()->count(), 9);
    EXPECT_EQ(controller.size()->itemText(0), QStringLiteral("10 ポイント"));
    EXPECT_EQ(controller.size()->itemData(8).toInt(), 32);
    EXPECT_EQ(items(controller.tabWidth()).first(), QStringLiteral("2文字"));
    EXPECT_EQ(controller.tabWidth()->count(), 8);
    EXPECT_EQ(items(controller.tokens()).at(2), QStringLiteral("従来方式（cl100k_base）"));
    EXPECT_EQ(controller.encoding()->count(), 20);
    EXPECT_EQ(controller.encoding()->itemText(16), QStringLiteral("Shift JIS X0213"));
    EXPECT_EQ(items(controller.lineEnding()),
              (QStringList{"LF", "CRLF", "CR", "NEL", "LS", "PS"}));
    EXPECT_EQ(controller.font()->itemText(0), QStringLiteral("システム等幅"));
    EXPECT_GT(controller.font()->count(), 2);
    EXPECT_EQ(controller.wrap()->text(), QStringLiteral("長い行をウインドウ幅で折り返す"));
    EXPECT_EQ(controller.spelling()->text(), QStringLiteral("入力中にスペルを確認する"));
    EXPECT_EQ(controller.theme()->accessibleName(), QStringLiteral("エディタのテーマ"));
    EXPECT_EQ(controller.lineEnding()->accessibleName(), QStringLiteral("新規文書の改行コード"));
    EXPECT_EQ(controller.guideColumn()->accessibleName(), QStringLiteral("ページガイドの列"));
    EXPECT_EQ(controller.guideColumn()->placeholderText(), QStringLiteral("80"));
    // The notes speak of this computer, not of another platform's.
    for (const QLabel* label : window->findChildren<QLabel*>()) EXPECT_FALSE(label->text().contains(QStringLiteral("Mac")));

    // A column out of range is refused whole once the entry is done, and the stored one comes
    // back; typing never turns it into another number.
    QLineEdit* column = controller.guideColumn();
    const qint64 stored = EditorSettingsSnapshot(defaults).pageGuideColumn;
    for (const QString& entry : {QStringLiteral("500"), QStringLiteral("5"), QString()}) {
        column->selectAll();
        if (entry.isEmpty()) {
            column->clear();
        } else {
            QTest::keyClicks(column, entry);
            EXPECT_EQ(column->text(), entry);
        }
        QTest::keyClick(column, Qt::Key_Return);
        EXPECT_EQ(column->text(), QString::number(stored)) << entry.toStdString();
        EXPECT_EQ(EditorSettingsSnapshot(defaults).pageGuideColumn, stored);
    }
    QTest::keyClicks(column, QStringLiteral("x-"));
    EXPECT_EQ(column->text(), QString::number(stored));
    column->selectAll();
    QTest::keyClicks(column, QStringLiteral("132"));
    QTest::keyClick(column, Qt::Key_Return);
    EXPECT_EQ(EditorSettingsSnapshot(defaults).pageGuideColumn, 132);

    // Titled and closable, never minimised, maximised or resized.
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
}

TEST_F(SettingsWindowTest, SyncWritesNothingAndShowsUnlistedValues)
{
    defaults.setString(Key::fontName, QStringLiteral("Not Installed Family"));
    defaults.setDouble(Key::fontSize, 11);
    defaults.setInteger(Key::tabWidth, 7);
    defaults.setString(Key::themeName, QStringLiteral("Gone Theme"));
    defaults.setBool(Key::lineNumbers, false);
    const auto before = defaults.dictionaryRepresentation();
    controller.sync();
    controller.sync();
    EXPECT_EQ(defaults.dictionaryRepresentation(), before);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(controller.font()->currentText(), QStringLiteral("Not Installed Family"));
    EXPECT_EQ(controller.font()->findText(QStringLiteral("Not Installed Family")), controller.font()->count() - 1);
    EXPECT_EQ(controller.font()->count(), controller.font()->findText(QStringLiteral("Not Installed Family")) + 1);
    EXPECT_EQ(controller.size()->currentIndex(), -1);
    EXPECT_EQ(controller.tabWidth()->currentIndex(), -1);
    EXPECT_EQ(controller.theme()->currentText(), QStringLiteral("Classic"));
    EXPECT_FALSE(controller.lineNumbers()->isChecked());

    // Nothing selected: the defaults of the table are written; the stored theme changes only now.
    controller.spelling()->click();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(defaults.object(Key::fontSize)->integerValue(), 14);
    EXPECT_TRUE(defaults.object(Key::fontSize)->isInteger());
    EXPECT_EQ(defaults.object(Key::tabWidth)->integerValue(), 4);
    EXPECT_EQ(defaults.string(Key::themeName), QStringLiteral("Classic"));
    EXPECT_EQ(defaults.string(Key::fontName), QStringLiteral("Not Installed Family"));
    EXPECT_TRUE(defaults.boolean(Key::spelling));

    // An empty name selects the first item.
    defaults.setString(Key::fontName, QString());
    controller.sync();
    EXPECT_EQ(controller.font()->currentIndex(), 0);
}

TEST_F(SettingsWindowTest, EveryUserChangeRewritesAllKeys)
{
    controller.sync();
    defaults.removeObject(Key::themeName);
    // Programmatic changes are not the user's.
    controller.wrap()->setChecked(!controller.wrap()->isChecked());
    controller.appearance()->setCurrentIndex(2);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(defaults.object(Key::appearance));

    controller.tabWidth()->setCurrentIndex(controller.tabWidth()->findData(8));
    Q_EMIT controller.tabWidth()->activated(controller.tabWidth()->currentIndex());
    EXPECT_EQ(changes, 1);
    for (const QLatin1String key : {Key::fontName, Key::fontSize, Key::appearance, Key::tokenIndex, Key::tabWidth,
                                    Key::defaultEncoding, Key::defaultLineEnding, Key::themeName, Key::pageGuideColumn,
                                    Key::wrap, Key::hiddenFiles, Key::autoplay, Key::useSpaces, Key::lineNumbers,
                                    Key::statusBar, Key::invisibles, Key::showPageGuide, Key::spelling}) {
        EXPECT_TRUE(defaults.object(key).has_value()) << key.data();
    }
    EXPECT_EQ(defaults.object(Key::appearance)->integerValue(), 2);
    EXPECT_EQ(defaults.object(Key::tabWidth)->integerValue(), 8);
    EXPECT_EQ(defaults.string(Key::themeName), QStringLiteral("Classic"));
    EXPECT_TRUE(defaults.object(Key::wrap)->isBool());

    // A column outside the range that reaches the write is clamped.
    controller.guideColumn()->setText(QStringLiteral("5"));
    controller.changed();
    EXPECT_EQ(defaults.object(Key::pageGuideColumn)->integerValue(), 20);
    controller.guideColumn()->setText(QStringLiteral("120"));
    Q_EMIT controller.guideColumn()->editingFinished();
    EXPECT_EQ(defaults.object(Key::pageGuideColumn)->integerValue(), 120);
    EXPECT_EQ(EditorSettingsSnapshot(defaults).pageGuideColumn, 120);
}

TEST_F(SettingsWindowTest, ThemePickerFallsBackAndAlwaysHoldsTheSelection)
{
    EditorThemeStore empty(std::nullopt, dir.file(QStringLiteral("None")));
    UserDefaults other;
    other.setString(Key::themeName, QStringLiteral("Gone"));
    SettingsWindowController bare(other, empty, SettingsArchiveStore(dir.file(QStringLiteral("b.cotsettings"))));
    EXPECT_EQ(items(bare.theme()), QStringList{QStringLiteral("Korimado Standard")});
    EXPECT_EQ(bare.theme()->currentText(), QStringLiteral("Korimado Standard"));
    EXPECT_EQ(other.string(Key::themeName), QStringLiteral("Gone"));

    defaults.setString(Key::themeName, QStringLiteral("Classic (Dark)"));
    controller.sync();
    EXPECT_EQ(controller.theme()->currentText(), QStringLiteral("Classic (Dark)"));
    EXPECT_GT(controller.theme()->count(), 10);
}
