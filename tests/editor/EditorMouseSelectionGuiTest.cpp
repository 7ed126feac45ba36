// Several selections by mouse: Ctrl adds a caret or a range, Alt drags out a column.
#include "support/AppFixture.h"
#include "editor/EditorTextView.h"

#include <QMouseEvent>
#include <QTest>

using namespace korimado;

namespace {

class EditorMouseSelectionTest : public test::AppFixture {
protected:
    EditorTextView* editorWith(const QString& text)
    {
        launch();
        EditorWindowController* window = openWindow();
        if (!window)
            return nullptr;
        EditorTextView* editor = window->textView();
        editor->insertText(text);
        editor->setSelectedRange({0, 0});
        return editor;
    }

    // The point of the insertion point before position, in the viewport.
    static QPoint at(EditorTextView* editor, qsizetype position)
    {
        const QRectF caret = editor->insertionPointRect(position);
        return editor->viewToViewport(QPointF(caret.left() + 0.5, caret.center().y())).toPoint();
    }

    static void move(EditorTextView* editor, QPoint to, Qt::KeyboardModifiers modifiers)
    {
        QMouseEvent event(QEvent::MouseMove, to, editor->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                          modifiers);
        QApplication::sendEvent(editor->viewport(), &event);
    }

    static void drag(EditorTextView* editor, qsizetype from, qsizetype to, Qt::KeyboardModifiers modifiers)
    {
        QTest::mousePress(editor->viewport(), Qt::LeftButton, modifiers, at(editor, from));
        move(editor, at(editor, (from + to) / 2), modifiers);
        move(editor, at(editor, to), modifiers);
        QTest::mouseRelease(editor->viewport(), Qt::LeftButton, modifiers, at(editor, to));
    }

    using Ranges = std::vector<TextRange>;
};

TEST_F(EditorMouseSelectionTest, CtrlClickAndDragAddSelectionsThatTypingAndAPlainClickFollow)
{
    EditorTextView* editor = editorWith(QStringLiteral("alpha\nbeta\ngamma\n"));
    ASSERT_TRUE(editor);
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, at(editor, 2));
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::ControlModifier, at(editor, 12));
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{2, 0}, {12, 0}}));
    QTest::keyClicks(editor, "X");
    EXPECT_EQ(editor->string(), "alXpha\nbeta\ngXamma\n");
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{3, 0}, {14, 0}}));

    // A drag with Ctrl adds a range; a caret it covers gives way to it.
    drag(editor, 7, 11, Qt::ControlModifier);
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{3, 0}, {7, 4}, {14, 0}}));
    drag(editor, 12, 17, Qt::ControlModifier);
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{3, 0}, {7, 4}, {12, 5}}));
    // Ctrl on the caret that is already there adds nothing.
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::ControlModifier, at(editor, 3));
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{3, 0}, {7, 4}, {12, 5}}));

    // A plain click leaves one caret.
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, at(editor, 1), 600);
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{1, 0}}));
    EXPECT_EQ(editor->selections().size(), 1);
}

TEST_F(EditorMouseSelectionTest, AltDragMakesAColumnWithCaretsOnShortLines)
{
    // "ab" 0-2, "x" 3-4, "abcd" 5-9, "" 10
    EditorTextView* editor = editorWith(QStringLiteral("ab\nx\nabcd\n"));
    ASSERT_TRUE(editor);
    drag(editor, 1, 8, Qt::AltModifier);
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{1, 1}, {4, 0}, {6, 2}}))
        << "columns 1 to 3 of each line; the short line gets a caret at its end";
    QTest::keyClicks(editor, "-");
    EXPECT_EQ(editor->string(), "a-\nx-\na-d\n");

    // Straight down: one caret a line, also on the empty last line.
    drag(editor, 0, 10, Qt::AltModifier);
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{0, 0}, {3, 0}, {6, 0}, {10, 0}}));
    // Dragged back up the rectangle shrinks again.
    QTest::mousePress(editor->viewport(), Qt::LeftButton, Qt::AltModifier, at(editor, 1));
    move(editor, at(editor, 8), Qt::AltModifier);
    move(editor, at(editor, 5), Qt::AltModifier);
    QTest::mouseRelease(editor->viewport(), Qt::LeftButton, Qt::AltModifier, at(editor, 5));
    EXPECT_EQ(editor->normalizedSelectedRanges(), (Ranges{{1, 1}, {4, 1}})) << "columns 1 to 2 of the first two lines";
}

}  // namespace
