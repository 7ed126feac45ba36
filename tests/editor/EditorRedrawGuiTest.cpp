// An editor redraws only what an edit or a selection change touched. What ends up on screen must
// still be what a whole fresh paint of the same state gives: no caret, highlight or line number
// left behind.

#include "document/LineIndex.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/foundation/UndoManager.h"
#include "support/PaintRecorder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QScreen>
#include <QTest>
#include <QtMath>

#include <functional>

using namespace korimado;
using korimado::test::PaintRecorder;

namespace {

class EditorRedrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        storage = std::make_shared<TextStorage>();
        window = std::make_unique<QWidget>();
        window->resize(520, 640);
        first = makeEditor(0);
        second = makeEditor(320);
        window->show();
        QApplication::setActiveWindow(window.get());
        first->setFocus();
        settle();
    }

    EditorTextView* makeEditor(int top)
    {
        auto* editor = new EditorTextView(storage, window.get());
        editor->setUndoManager(&undo);
        editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        editor->setGeometry(0, top, 520, 310);
        new LineNumberRuler(editor, std::make_shared<LineIndex>(storage));
        editor->setRulersVisible(true);
        return editor;
    }

    void setText(const QString& text)
    {
        storage->setString(text);
        first->setSelectedRange({0, 0});
        undo.removeAllActions();
        settle();
    }

    // Lets every pending redraw reach the screen.
    static void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(first, key, modifiers);
        undo.closeAutomaticGroup();
    }

    // The widget's pixels as they stand on screen.
    static QImage onScreen(QWidget* widget)
    {
        const QPoint at = widget->mapTo(widget->window(), QPoint(0, 0));
        return QGuiApplication::primaryScreen()
            ->grabWindow(widget->window()->winId(), at.x(), at.y(), widget->width(), widget->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    static QImage freshPaint(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Every part of both editors, rulers included, against a whole fresh paint.
    void expectScreenIsFresh(const char* step)
    {
        settle();
        for (EditorTextView* editor : {first, second}) {
            QWidget* ruler = editor->findChild<LineNumberRuler*>();
            for (QWidget* part : {static_cast<QWidget*>(editor->viewport()), ruler}) {
                const QImage shown = onScreen(part);
                const QImage fresh = freshPaint(part);
                ASSERT_EQ(shown.size(), fresh.size()) << step;
                EXPECT_TRUE(shown == fresh) << step << (editor == first ? " (first editor" : " (second editor")
                                            << (part == editor->viewport() ? ", text)" : ", ruler)");
            }
        }
    }

    QRegion paintedDuring(QWidget* widget, const std::function<void()>& action)
    {
        settle();
        PaintRecorder recorder(widget);
        action();
        settle();
        return recorder.painted;
    }

    static QString lines(int count)
    {
        QString text;
        for (int i = 0; i < count; ++i) text += QStringLiteral("line %1\tof text\n").arg(i);
        return text;
    }

    UndoManager undo;
    std::shared_ptr<TextStorage> storage;
    std::unique_ptr<QWidget> window;
    EditorTextView* first = nullptr;
    EditorTextView* second = nullptr;
};

}  // namespace

TEST_F(EditorRedrawTest, TypingRedrawsItsOwnRowsOnly)
{
    setText(lines(40));
    first->setSelectedRange({storage->lines().start(5) + 2, 0});
    const int row = qCeil(first->layoutManager()->rowHeight());
    const int viewportHeight = first->viewport()->height();

    QRegion painted = paintedDuring(first->viewport(), [&] { type(Qt::Key_X); });
    EXPECT_FALSE(painted.isEmpty());
    EXPECT_LE(painted.boundingRect().height(), row + 4);
    EXPECT_TRUE(paintedDuring(first->findChild<LineNumberRuler*>(), [&] { type(Qt::Key_Y); }).isEmpty());

    // The other view shows the same row and redraws it alone too.
    painted = paintedDuring(second->viewport(), [&] { type(Qt::Key_Z); });
    EXPECT_LE(painted.boundingRect().height(), row + 4);

    // A new line moves every row below it, numbers too; the rows above stay.
    painted = paintedDuring(first->viewport(), [&] { type(Qt::Key_Return); });
    EXPECT_GT(painted.boundingRect().top(), row * 4);
    EXPECT_GE(painted.boundingRect().bottom(), viewportHeight - 2);
    expectScreenIsFresh("after a new line");

    // Moving the caret redraws the row it left and the row it reached.
    painted = paintedDuring(first->viewport(), [&] { type(Qt::Key_Down); });
    EXPECT_LE(painted.boundingRect().height(), 2 * row + 4);
    expectScreenIsFresh("after moving down");
}

TEST_F(EditorRedrawTest, NoDecorationIsLeftBehind)
{
    setText(lines(60));
    first->setSelectedRange({storage->lines().start(3) + 4, 0});
    expectScreenIsFresh("caret placed");

    type(Qt::Key_A);
    type(Qt::Key_Backspace);
    type(Qt::Key_Backspace);
    expectScreenIsFresh("typing and deleting");

    // A selection grown over several rows, then shrunk back to one.
    for (int i = 0; i < 3; ++i) type(Qt::Key_Down, Qt::ShiftModifier);
    expectScreenIsFresh("selection grown");
    for (int i = 0; i < 3; ++i) type(Qt::Key_Up, Qt::ShiftModifier);
    expectScreenIsFresh("selection shrunk");

    // Typing over a selection of several lines pulls every row below up.
    first->setSelectedRange({storage->lines().start(4), storage->lines().start(8) - storage->lines().start(4)});
    type(Qt::Key_Q);
    expectScreenIsFresh("several lines replaced");

    // Several carets, typed at together and moved.
    first->setSelections({TextRange(storage->lines().start(2), 0), TextRange(storage->lines().start(6), 0),
                          TextRange(storage->lines().start(9) + 3, 0)});
    expectScreenIsFresh("several carets");
    type(Qt::Key_W);
    expectScreenIsFresh("several carets typed at");
    type(Qt::Key_Right);
    expectScreenIsFresh("several carets gone to one");

    // A column selection made with the editor's own command.
    first->setSelectedRange({storage->lines().start(10) + 2, 0});
    first->selectColumnDown();
    first->selectColumnDown();
    expectScreenIsFresh("column selection");
    type(Qt::Key_E);
    expectScreenIsFresh("column selection typed over");

    // Invisibles: a tab typed shows its mark, a break removed takes its mark away.
    first->setShowsInvisibleCharacters(true);
    second->setShowsInvisibleCharacters(true);
    first->setSelectedRange({storage->lines().start(12), 0});
    type(Qt::Key_Tab);
    type(Qt::Key_Backspace);
    type(Qt::Key_Backspace);
    expectScreenIsFresh("invisibles");

    // Colours laid over the text (find highlights) move with an edit before them.
    LayoutManager* layout = first->layoutManager();
    TemporaryAttributes found;
    found.background = QColor(255, 230, 0);
    layout->addTemporaryAttributes(this, found, TextRange(storage->lines().start(14) + 2, 5));
    first->setSelectedRange({storage->lines().start(14), 0});
    type(Qt::Key_R);
    type(Qt::Key_Return);
    expectScreenIsFresh("find highlight moved");
    layout->removeTemporaryAttributes(this);
    expectScreenIsFresh("find highlight removed");

    // The split's other view edits; this one follows.
    second->setFocus();
    second->setSelectedRange({storage->lines().start(1), 0});
    QTest::keyClick(second, Qt::Key_Return);
    QTest::keyClick(second, Qt::Key_T);
    first->setFocus();
    expectScreenIsFresh("edited in the other view");

    // Undo brings back what the other view typed, away from this view's caret.
    undo.closeAutomaticGroup();
    undo.undo();
    expectScreenIsFresh("undone");
}

TEST_F(EditorRedrawTest, WrappedLinesAndCompositionsLeaveNothingBehind)
{
    for (EditorTextView* editor : {first, second}) editor->setWrapsLines(true);
    setText(lines(3) + QString(150, u'w') + QStringLiteral("\n") + lines(20));
    const qsizetype longLine = storage->lines().start(3);
    first->setSelectedRange({longLine + 10, 0});
    expectScreenIsFresh("wrapped");

    // Typing inside a wrapped line, then enough to push it onto one more row and back.
    type(Qt::Key_M);
    expectScreenIsFresh("typed in a wrapped line");
    first->setSelectedRange({longLine + 150, 0});
    for (int i = 0; i < 80; ++i) type(Qt::Key_M);
    expectScreenIsFresh("wrapped line grew a row");
    for (int i = 0; i < 80; ++i) type(Qt::Key_Backspace);
    expectScreenIsFresh("wrapped line lost a row");

    // A composition is drawn in the line, then committed.
    first->setSelectedRange({storage->lines().start(8) + 2, 0});
    QInputMethodEvent compose(QStringLiteral("にほん"), {});
    QApplication::sendEvent(first, &compose);
    expectScreenIsFresh("composing");
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本"));
    QApplication::sendEvent(first, &commit);
    expectScreenIsFresh("committed");
}
