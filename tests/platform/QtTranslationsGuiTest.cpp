#include "platform/ui/QtTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QStringList shownTexts(const QWidget& dialog)
{
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        texts << button->text();
    return texts;
}

// The folder chooser, the colour dialog and the standard buttons come from Qt; with Qt's Japanese
// translations they read Japanese like the rest of the program.
TEST(QtTranslationsTest, QtsOwnDialogsReadJapanese)
{
    QTranslator* translator = QtTranslations::install(QStringLiteral("ja"));
    ASSERT_TRUE(translator) << "qtbase_ja.qm is missing from " << QtTranslations::folder().toStdString()
                            << " (Debian: qt6-translations-l10n)";

    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "キャンセル");

    QColorDialog colors;
    colors.setOption(QColorDialog::DontUseNativeDialog);
    const QStringList colorTexts = shownTexts(colors);
    EXPECT_TRUE(colorTexts.contains("基本カラー(&B)")) << colorTexts.join(" | ").toStdString();
    EXPECT_EQ(colors.windowTitle(), "色を選択");

    QFileDialog folders;
    folders.setOption(QFileDialog::DontUseNativeDialog);
    folders.setFileMode(QFileDialog::Directory);
    const QStringList folderTexts = shownTexts(folders);
    EXPECT_TRUE(folderTexts.contains("ディレクトリ:")) << folderTexts.join(" | ").toStdString();
    EXPECT_TRUE(folderTexts.contains("キャンセル"));
    // The kind column of the file panels.
    EXPECT_EQ(QFileIconProvider().type(QFileInfo(QtTranslations::folder())), "フォルダ");
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Drive"), "ドライブ");

    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_FALSE(QtTranslations::install(QStringLiteral("xx-no-such-language")));
}

}  // namespace
