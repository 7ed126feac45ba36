#include "support/AppFixture.h"
#include "support/TestSupport.h"
#include "app/MainMenu.h"
#include "editor/EditorTextView.h"
#include "filetree/FileTreeView.h"
#include "platform/ui/MenuBinder.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QUrl>

using namespace korimado;

namespace {

class LinuxHabitsTest : public test::AppFixture {
protected:
    // A drag from a file manager, let go over widget at its middle.
    static bool drop(QWidget* widget, const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        data.setText(paths.join(u'\n'));
        const QPoint middle = widget->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(middle), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &dropped);
        return dropped.isAccepted();
    }

    test::TempDir dir;
};

}  // namespace

// Files dropped onto a window open as the File menu's open opens them, a folder as a folder
// window; the editor does not take them as text, and the sidebar refuses them.
TEST_F(LinuxHabitsTest, FilesDroppedOntoAWindowOpen)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    window->window()->show();
    const QString a = dir.write(QStringLiteral("a.txt"), "alpha\n");
    const QString b = dir.write(QStringLiteral("b.txt"), "beta\n");
    const QString folder = dir.write(QStringLiteral("folder/c.txt"), "gamma\n").section(u'/', 0, -2);
    const auto count = [&] { return delegate->documents().documents().size(); };
    const size_t before = count();

    EXPECT_TRUE(drop(window->textView()->viewport(), {a, b}));
    EXPECT_EQ(count(), before + 2);
    EXPECT_EQ(window->textView()->string(), QString()) << "no path typed into the editor";
    QStringList opened;
    for (const auto& document : delegate->documents().documents()) opened << document->fileURL();
    EXPECT_TRUE(opened.contains(a) && opened.contains(b));

    EXPECT_TRUE(drop(window->textView()->viewport(), {folder}));
    EXPECT_EQ(count(), before + 3);
    EXPECT_TRUE(delegate->documents().folderDocument(folder));

    // Dropping a file open already brings its window up; nothing opens twice.
    EXPECT_TRUE(drop(window->textView()->viewport(), {a}));
    EXPECT_EQ(count(), before + 3);

    if (window->isFileTreeHidden()) window->toggleFileTree();
    ASSERT_FALSE(window->isFileTreeHidden());
    QApplication::processEvents();
    EXPECT_FALSE(drop(window->fileTree(), {dir.write(QStringLiteral("d.txt"), "delta\n")}));
    EXPECT_EQ(count(), before + 3);
}

// Ctrl+H opens the find panel at its replace field; F1 is the help; the hide item has no key.
TEST_F(LinuxHabitsTest, ControlHIsReplaceAndF1IsHelp)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    EXPECT_TRUE(item("Korimado", "Korimadoを隠す")->keySequence().isEmpty());
    EXPECT_FALSE(topMenu("Korimado")->itemWithTitle("ほかを隠す"));
    EXPECT_FALSE(topMenu("Korimado")->itemWithTitle("すべて表示"));
    EXPECT_FALSE(topMenu("Korimado")->itemWithTitle("サービス"));
    for (const char* gone : {"スピーチ", "自動変換", "スペルと文法"}) EXPECT_FALSE(topMenu("編集")->itemWithTitle(gone)) << gone;
    EXPECT_FALSE(topMenu("表示")->itemWithTitle("ツールバーをカスタマイズ…"));

    QTest::keyClick(window->textView(), Qt::Key_H, Qt::ControlModifier);
    QTest::qWait(1);
    EXPECT_TRUE(window->window()->isVisible()) << "Ctrl+H hides nothing";
    EXPECT_FALSE(window->window()->isMinimized());
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus);
    EXPECT_TRUE(qobject_cast<QLineEdit*>(focus));
    EXPECT_EQ(qobject_cast<QLineEdit*>(focus)->placeholderText().isEmpty(), false);

    MenuItem* help = item("ヘルプ", "Korimadoヘルプ");
    ASSERT_TRUE(help);
    QAction* action = MenuBinder::shared().actionFor(window->window(), help);
    ASSERT_TRUE(action);
    EXPECT_TRUE(action->shortcuts().contains(QKeySequence(Qt::Key_F1)));
}

// The top menus show their access keys and open with Alt and the letter.
TEST_F(LinuxHabitsTest, TopMenusOpenWithAltAndTheirLetter)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    QMenuBar* bar = MenuBinder::shared().menuBar(window->window());
    ASSERT_TRUE(bar);
    QStringList titles;
    for (QAction* action : bar->actions()) titles << action->text();
    EXPECT_EQ(titles, (QStringList{"Korimado(&K)", "ファイル(&F)", "編集(&E)", "テキスト(&T)", "書式(&O)", "検索(&S)",
                                   "表示(&V)", "ウインドウ(&W)", "ヘルプ(&H)"}));
    // No item takes Alt and a letter of the menu bar for itself.
    for (QAction* top : bar->actions()) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(top->text());
        ASSERT_FALSE(mnemonic.isEmpty());
        std::function<void(QMenu*)> walk = [&](QMenu* menu) {
            for (QAction* action : menu->actions()) {
                if (action->menu()) walk(action->menu());
                EXPECT_FALSE(action->shortcuts().contains(mnemonic)) << action->text().toStdString();
            }
        };
        if (top->menu()) walk(top->menu());
    }
}

// Completion keeps Ctrl+Space and answers Alt+/, which no input method takes.
TEST_F(LinuxHabitsTest, CompletionAnswersASecondKey)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    EditorTextView* editor = window->textView();
    editor->insertText(QStringLiteral("completion complete comp"));
    QTest::keyClick(editor, Qt::Key_Slash, Qt::AltModifier);
    auto* list = editor->findChild<QListWidget*>();
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(editor->string(), QStringLiteral("completion complete comp")) << "no slash typed";
}
