// Several carets in a document window: what typing, the view's own commands, undo, the other
// editor of a split and replace-all do with them, and how they are drawn.
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/LayoutManager.h"
#include "search/ui/FindPanel.h"
#include "search/ui/SearchController.h"
#include "support/WindowFixture.h"
#include "window/EditorWindowController.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

using Ranges = std::vector<TextRange>;

class SeveralCaretsTest : public ::testing::Test {
protected:
    EditorTextView& open(const QString& text)
    {
        document = test::readFileDocument(dir, QStringLiteral("文書.txt"), text.toUtf8());
        window = &test::openDocumentWindow(*document);
        window->window()->resize(900, 600);
        window->window()->show();
        EditorTextView& view = *window->textView();
        view.setInsertionPointColor(QColor(255, 0, 0));
        view.setBackgroundColor(Qt::white);
        return view;
    }
    void TearDown() override
    {
        window = nullptr;
        document.reset();
    }

    UndoManager& undo() { return *document->undoManager(); }

    static std::string text(const EditorTextView& view) { return view.string().toStdString(); }
    static QPoint at(EditorTextView& view, qsizetype position)
    {
        const QRectF caret = view.insertionPointRect(position);
        return view.viewToViewport(QPointF(caret.left() + 0.5, caret.center().y())).toPoint();
    }
    // A click, then a Ctrl-click for each further caret.
    static void clickCarets(EditorTextView& view, const Ranges& carets)
    {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(view, carets.front().location), 600);
        for (size_t i = 1; i < carets.size(); ++i)
            QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, at(view, carets[i].location), 600);
    }
    void key(EditorTextView& view, Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(&view, k, modifiers);
        undo().closeAutomaticGroup();
    }
    void type(EditorTextView& view, const QString& text)
    {
        QTest::keyClicks(&view, text);
        undo().closeAutomaticGroup();
    }

    // Whether a red caret bar stands at position (within a pixel or two).
    static bool caretDrawnAt(EditorTextView& view, qsizetype position)
    {
        const QImage image = view.viewport()->grab().toImage();
        LayoutManager* layout = view.layoutManager();
        const qsizetype length = view.textLength();
        QRectF rect = position < length || !layout->hasExtraLineFragment() ? layout->caretRect(position)
                                                                           : layout->extraLineFragmentRect();
        rect.translate(view.textContainerOrigin());
        const QPointF p = view.viewToViewport(QPointF(rect.left(), rect.center().y()));
        for (int dx = -1; dx <= 2; ++dx) {
            const QColor c = image.pixelColor(static_cast<int>(p.x()) + dx, static_cast<int>(p.y()));
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) return true;
        }
        return false;
    }

    test::TempDir dir;
    std::unique_ptr<KoriDocument> document;
    EditorWindowController* window = nullptr;
};

TEST_F(SeveralCaretsTest, TypingBackspaceUndoAndRedoActAtEveryCaret)
{
    EditorTextView& view = open(QStringLiteral("alpha\nbeta\ngamma\n"));
    clickCarets(view, {{2, 0}, {8, 0}, {13, 0}});
    ASSERT_EQ(view.normalizedSelectedRanges(), (Ranges{{2, 0}, {8, 0}, {13, 0}}));
    EXPECT_EQ(view.selectedRange(), TextRange(2, 0));

    type(view, QStringLiteral("X"));
    EXPECT_EQ(text(view), "alXpha\nbeXta\ngaXmma\n");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{3, 0}, {10, 0}, {16, 0}}));
    EXPECT_EQ(undo().undoActionName(), "入力");

    key(view, Qt::Key_Backspace);
    EXPECT_EQ(text(view), "alpha\nbeta\ngamma\n");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{2, 0}, {8, 0}, {13, 0}}));
    EXPECT_EQ(undo().undoActionName(), "削除");

    undo().undo();
    EXPECT_EQ(text(view), "alXpha\nbeXta\ngaXmma\n");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{3, 0}, {10, 0}, {16, 0}})) << "every caret comes back";
    undo().undo();
    EXPECT_EQ(text(view), "alpha\nbeta\ngamma\n");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{2, 0}, {8, 0}, {13, 0}}));
    EXPECT_FALSE(document->isDocumentEdited());
    undo().redo();
    EXPECT_EQ(text(view), "alXpha\nbeXta\ngaXmma\n");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{3, 0}, {10, 0}, {16, 0}}));

    // A range among the carets is replaced too.
    view.setEditingSelections({{0, 2}, {10, 0}}, false);
    type(view, QStringLiteral("-"));
    EXPECT_EQ(text(view), "-Xpha\nbeX-ta\ngaXmma\n");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{1, 0}, {10, 0}}));
}

TEST_F(SeveralCaretsTest, TheViewsOwnCommandsActOnTheFirstCaretOnly)
{
    EditorTextView& view = open(QStringLiteral("one two three"));
    clickCarets(view, {{1, 0}, {5, 0}, {9, 0}});
    key(view, Qt::Key_Right);
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{2, 0}}));
    EXPECT_FALSE(caretDrawnAt(view, 5)) << "the other carets are gone, also from the screen";

    view.setEditingSelections({{3, 0}, {7, 0}}, false);
    key(view, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{3, 10}}));

    // A step that leaves the first caret where it is keeps the others.
    view.setEditingSelections({{0, 0}, {7, 0}}, false);
    key(view, Qt::Key_Left);
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{0, 0}, {7, 0}}));

    // Paste goes in at the first caret; undo brings every caret back.
    undo().removeAllActions();
    QGuiApplication::clipboard()->setText(QStringLiteral("[]"));
    view.setEditingSelections({{3, 0}, {7, 0}}, false);
    view.paste();
    undo().closeAutomaticGroup();
    EXPECT_EQ(text(view), "one[] two three");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{5, 0}}));
    EXPECT_EQ(undo().undoActionName(), "ペースト");
    undo().undo();
    EXPECT_EQ(text(view), "one two three");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{3, 0}, {7, 0}}));
    undo().redo();
    EXPECT_EQ(text(view), "one[] two three");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{5, 0}}));

    // Several ranges without a caret are the view's own: paste replaces each.
    view.setEditingSelections({{0, 3}, {10, 3}}, false);
    view.paste();
    undo().closeAutomaticGroup();
    EXPECT_EQ(text(view), "[][] two []ee");
}

TEST_F(SeveralCaretsTest, DroppedCaretsStayDroppedAndRangesAmongCaretsAreHighlighted)
{
    EditorTextView& view = open(QStringLiteral("one two three"));
    view.setEditingSelections({{1, 0}, {5, 0}}, false);
    key(view, Qt::Key_Right);
    key(view, Qt::Key_Left);
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{1, 0}})) << "back at the first caret, the others stay gone";
    EXPECT_FALSE(caretDrawnAt(view, 5));

    // Blue pixels over the glyph of "h" (10), in "three".
    auto selectedShown = [&] {
        const QImage image = view.viewport()->grab().toImage();
        const QRectF glyph =
            view.layoutManager()->boundingRect(TextRange(10, 1)).translated(view.textContainerOrigin());
        const QRect box = QRectF(view.viewToViewport(glyph.topLeft()), glyph.size()).toAlignedRect();
        int blue = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.blue() > 200 && c.red() < 80 && c.green() < 80) ++blue;
            }
        }
        return blue > 0;
    };
    view.setSelectedTextBackgroundColor(QColor(0, 0, 255));
    EXPECT_FALSE(selectedShown());
    view.setEditingSelections({{0, 0}, {8, 5}}, false);
    EXPECT_TRUE(selectedShown()) << "a range after a caret is shown selected";
}

TEST_F(SeveralCaretsTest, ColumnCaretsTypeAndAreDrawn)
{
    EditorTextView& view = open(QStringLiteral("0123456789\nab\n0123456789\n"));
    view.setEditingSelections({{4, 0}}, false);
    view.selectColumnDown();
    view.selectColumnDown();
    ASSERT_EQ(view.normalizedSelectedRanges(), (Ranges{{4, 0}, {13, 0}, {18, 0}}));
    EXPECT_TRUE(view.columnSelectionX().has_value());
    EXPECT_TRUE(caretDrawnAt(view, 13));
    EXPECT_TRUE(caretDrawnAt(view, 18));

    type(view, QStringLiteral("|"));
    EXPECT_EQ(text(view), "0123|456789\nab|\n0123|456789\n");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{5, 0}, {15, 0}, {21, 0}}));
    EXPECT_FALSE(view.columnSelectionX().has_value()) << "typing ends the column run";
    EXPECT_TRUE(caretDrawnAt(view, 15));
    EXPECT_TRUE(caretDrawnAt(view, 21));
    EXPECT_FALSE(caretDrawnAt(view, 13)) << "no bar is left where a caret was";

    // A caret on the last, empty line is drawn there.
    view.setEditingSelections({{5, 0}, {27, 0}}, false);
    EXPECT_TRUE(caretDrawnAt(view, 27));
}

TEST_F(SeveralCaretsTest, EditsInTheOtherEditorMoveTheCarets)
{
    EditorTextView& first = open(QStringLiteral("abcdef\nghij\n"));
    window->openSplitTextView();
    EditorTextView* second = window->secondaryEditor();
    ASSERT_TRUE(second);
    ASSERT_NE(second, &first);

    first.setEditingSelections({{2, 0}, {9, 0}}, false);
    second->setSelectedRange({0, 0});
    second->insertText(QStringLiteral("XYZ"));
    undo().closeAutomaticGroup();
    EXPECT_EQ(first.normalizedSelectedRanges(), (Ranges{{5, 0}, {12, 0}}));
    EXPECT_TRUE(caretDrawnAt(first, 12));

    // Typing in the first editor after that still reaches both carets.
    type(first, QStringLiteral("_"));
    EXPECT_EQ(text(first), "XYZab_cdef\ngh_ij\n");
    EXPECT_EQ(first.normalizedSelectedRanges(), (Ranges{{6, 0}, {14, 0}}));

    // An insertion at a caret stays after it; the carets of the other editor are not touched.
    second->setSelectedRange({14, 0});
    second->insertText(QStringLiteral("++"));
    undo().closeAutomaticGroup();
    EXPECT_EQ(first.normalizedSelectedRanges(), (Ranges{{6, 0}, {14, 0}}));

    // Deleting the text between two carets makes them one.
    second->setSelectedRange({6, 8});
    second->insertText(QString());
    undo().closeAutomaticGroup();
    EXPECT_EQ(text(first), "XYZab_++ij\n");
    EXPECT_EQ(first.normalizedSelectedRanges(), (Ranges{{6, 0}}));

    // Undo in the other editor puts the text back; the first editor keeps one caret.
    undo().undo();
    EXPECT_EQ(text(first), "XYZab_cdef\ngh_++ij\n");
    EXPECT_EQ(first.normalizedSelectedRanges().size(), 1u);
}

TEST_F(SeveralCaretsTest, ReplaceAllLeavesTheFirstSelectionMapped)
{
    EditorTextView& view = open(QStringLiteral("a-b-c-d"));
    SearchController& search = window->search();
    search.perform(QStringLiteral("showFind:"), nullptr);
    search.panel()->findField->setText(QStringLiteral("-"));
    search.criteriaChanged(search.panel()->findField);
    search.panel()->replaceField->setText(QStringLiteral("=="));
    view.setEditingSelections({{1, 0}, {5, 0}}, false);
    search.perform(QStringLiteral("replaceAll:"), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !search.isRunning(); }, 5000));
    QTest::qWait(1);
    EXPECT_EQ(text(view), "a==b==c==d");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{1, 0}})) << "the first caret stays before the replacement";
    undo().undo();
    EXPECT_EQ(text(view), "a-b-c-d");
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{1, 0}, {5, 0}})) << "undo brings every caret back";
}

}  // namespace
