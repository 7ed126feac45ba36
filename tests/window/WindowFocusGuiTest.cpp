// Where the keyboard goes in a document window: controls are clicked, never typed into, and the
// editor gets the keys back whenever it shows.
#include "support/AppFixture.h"
#include "editor/EditorTextView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTest>
#include <QWheelEvent>

using namespace korimado;
using Mode = EditorWindowController::Mode;

namespace {

class WindowFocusTest : public test::AppFixture {
protected:
    // Keys go where the user's keys go: to the focused widget, or to the window without one.
    static void press(EditorWindowController& window, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.window();
        QTest::keyClick(target, key, modifiers);
    }

    static void type(EditorWindowController& window, const QString& text)
    {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.window();
        QTest::keyClicks(target, text);
    }

    static void expectUtf8AndLf(EditorWindowController& window)
    {
        EXPECT_EQ(window.model->format().encoding, TextEncoding::utf8);
        EXPECT_FALSE(window.model->format().bom);
        EXPECT_EQ(window.model->format().lineEnding, LineEnding::lf);
        EXPECT_EQ(window.encodingPicker()->currentText(), "Unicode (UTF-8)");
        EXPECT_EQ(window.endingPicker()->currentText(), "LF");
    }
};

TEST_F(WindowFocusTest, NoButtonCheckBoxOrPopUpOfTheWindowTakesTheKeyboard)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    QStringList focusable;
    for (QAbstractButton* button : window->window()->findChildren<QAbstractButton*>())
        if (button->focusPolicy() != Qt::NoFocus)
            focusable << button->metaObject()->className() + QStringLiteral(" ") + button->text();
    for (QComboBox* popUp : window->window()->findChildren<QComboBox*>())
        if (popUp->focusPolicy() != Qt::NoFocus)
            focusable << QStringLiteral("pop-up ") + popUp->accessibleName();
    EXPECT_TRUE(focusable.isEmpty()) << focusable.join(", ").toStdString();

    // Clicking the toolbar's check box and the line-ending pop-up leaves the keys with the text.
    EditorTextView* editor = window->textView();
    ASSERT_EQ(QApplication::focusWidget(), editor);
    QTest::mouseClick(window->toolbarWrap(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), editor);
    QTest::mouseClick(window->endingPicker(), Qt::LeftButton);
    window->endingPicker()->hidePopup();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window->window()));
    EXPECT_EQ(QApplication::focusWidget(), editor);
    type(*window, "n");
    EXPECT_EQ(editor->string(), "n");
    expectUtf8AndLf(*window);
}

TEST_F(WindowFocusTest, TheEditorTakesTheKeysBackWhenThePreviewGivesWay)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    EditorTextView* editor = window->textView();
    type(*window, "a");
    ASSERT_EQ(editor->string(), "a");

    press(*window, Qt::Key_3, Qt::ControlModifier);
    ASSERT_EQ(window->mode(), Mode::preview);
    EXPECT_FALSE(qobject_cast<QComboBox*>(QApplication::focusWidget())) << "the preview hid the editor";
    press(*window, Qt::Key_2, Qt::ControlModifier);
    ASSERT_EQ(window->mode(), Mode::split);
    EXPECT_EQ(QApplication::focusWidget(), editor);
    // Letters that pick an encoding or a line ending in a focused pop-up.
    type(*window, "unS");
    EXPECT_EQ(editor->string(), "aunS");
    expectUtf8AndLf(*window);

    // The second editor had the keys before the preview: it gets them back.
    window->openSplitTextView();
    EditorTextView* second = window->secondaryEditor();
    ASSERT_TRUE(second);
    ASSERT_EQ(QApplication::focusWidget(), second);
    press(*window, Qt::Key_3, Qt::ControlModifier);
    press(*window, Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), second);
    press(*window, Qt::Key_3, Qt::ControlModifier);
    press(*window, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), editor) << "the editing mode focuses the primary editor";
}

TEST_F(WindowFocusTest, AWheelOverAPopUpChangesNothing)
{
    EditorWindowController* window = activeWindow();
    if (!window)
        GTEST_SKIP() << "this platform does not activate windows";
    for (QComboBox* popUp : {window->encodingPicker(), window->endingPicker(), window->tokenPicker()}) {
        const int before = popUp->currentIndex();
        const QPointF inside(popUp->width() / 2.0, popUp->height() / 2.0);
        for (const int notch : {-120, 120, -120}) {
            QWheelEvent wheel(inside, popUp->mapToGlobal(inside), QPoint(), QPoint(0, notch), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(popUp, &wheel);
        }
        EXPECT_EQ(popUp->currentIndex(), before) << popUp->accessibleName().toStdString();
    }
    expectUtf8AndLf(*window);
}

}  // namespace
