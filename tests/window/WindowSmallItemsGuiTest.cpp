// Small things of the document window: the edited mark, the text inset, the ruler's numbers, the
// preview status after a mode change, the tab-bar check mark and the second status row.
#include "support/AppFixture.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/MenuBinder.h"

#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QTest>

using namespace korimado;
using Mode = EditorWindowController::Mode;

namespace {

class WindowSmallItemsTest : public test::AppFixture {};

TEST_F(WindowSmallItemsTest, TitleMarksTheEditedStateAndTheTextSitsInItsInset)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    QWidget* shown = window->window();
    EXPECT_FALSE(shown->isWindowModified());
    EXPECT_TRUE(shown->windowTitle().contains("[*]")) << "the title has the place of the mark";
    window->textView()->insertText(QStringLiteral("x"));
    EXPECT_TRUE(shown->isWindowModified());
    window->document()->undoManager()->undo();
    EXPECT_FALSE(shown->isWindowModified()) << "back at the saved state";

    EXPECT_EQ(window->textView()->textContainerInset(), QSizeF(16, 16));
    EXPECT_EQ(window->textView()->insertionPointRect(0).topLeft(), QPointF(16, 16));
    window->openSplitTextView();
    ASSERT_TRUE(window->secondaryEditor());
    EXPECT_EQ(window->secondaryEditor()->textContainerInset(), QSizeF(16, 16));
}

TEST_F(WindowSmallItemsTest, RulerNumbersAreElevenPointsAndTheStatusRowsFitTheirPopUps)
{
    const QFont numbers = LineNumberRuler::numberFont();
    EXPECT_EQ(numbers.pointSizeF(), 11);
    EXPECT_GT(QFontInfo(numbers).pixelSize(), 11) << "points, not pixels";

    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    QComboBox* tokens = window->tokenPicker();
    ASSERT_TRUE(tokens->isVisible());
    EXPECT_GE(tokens->height(), tokens->sizeHint().height()) << "o200k_base is not cut at the bottom";
    EXPECT_GE(window->endingPicker()->height(), window->endingPicker()->sizeHint().height());
}

TEST_F(WindowSmallItemsTest, PreviewStatusAndTabBarCheckFollowTheirChanges)
{
    launch();
    EditorWindowController* window = openWindow();
    ASSERT_TRUE(window);
    window->setMode(Mode::edit);
    ASSERT_EQ(window->previewStatus()->text(), EditorWindowController::editModeStatus);
    window->setMode(Mode::split);
    EXPECT_NE(window->previewStatus()->text(), EditorWindowController::editModeStatus);
    window->setMode(Mode::edit);
    window->setMode(Mode::preview);
    EXPECT_NE(window->previewStatus()->text(), EditorWindowController::editModeStatus);

    delegate->refreshCommandMenus(*window);
    MenuItem* tabBar = MenuBinder::shared().windowsMenu()->itemWithTitle(QStringLiteral("タブバーを表示"));
    ASSERT_TRUE(tabBar);
    EXPECT_EQ(tabBar->state(), MenuItem::State::off);
    delegate->newTab(nullptr);
    tabBar = MenuBinder::shared().windowsMenu()->itemWithTitle(QStringLiteral("タブバーを表示"));
    ASSERT_TRUE(tabBar);
    EXPECT_EQ(tabBar->state(), MenuItem::State::on) << "the new tab's menus show its tab group";
}

}  // namespace
