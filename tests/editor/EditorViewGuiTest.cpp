#include "document/LineIndex.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/foundation/UndoManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

using namespace korimado;

namespace {

using Ranges = std::vector<TextRange>;

class EditorViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        storage = std::make_shared<TextStorage>();
        view = makeView();
    }

    std::unique_ptr<EditorTextView> makeView()
    {
        auto v = std::make_unique<EditorTextView>(storage);
        v->setUndoManager(&undo);
        v->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        v->resize(500, 300);
        v->show();
        return v;
    }

    void setText(const QString& text, Ranges selections = {TextRange(0, 0)})
    {
        storage->setString(text);
        view->setEditingSelections(selections, false);
        undo.removeAllActions();
    }

    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view.get(), k, modifiers);
        undo.closeAutomaticGroup();
    }

    void type(char c)
    {
        QTest::keyClick(view.get(), c);
        undo.closeAutomaticGroup();
    }

    void clickAt(qsizetype index)
    {
        const QRectF caret = view->insertionPointRect(index);
        const QPointF local = view->viewToViewport(QPointF(caret.left() + 1, caret.center().y()));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, local.toPoint());
    }

    Ranges selections() const
    {
        const QVector<TextRange> all = view->selections();
        return Ranges(all.begin(), all.end());
    }
    // Several selections with a caret among them: more than the view's own commands act on.
    bool caretsAmongSeveral() const { return view->selections() != view->selectedRanges(); }

    UndoManager undo;
    std::shared_ptr<TextStorage> storage;
    std::unique_ptr<EditorTextView> view;
};

TEST_F(EditorViewTest, TypingAtTwoCaretsIsOneUndoStep)
{
    setText("abcdef", {TextRange(5, 0), TextRange(2, 0)});
    ASSERT_TRUE(caretsAmongSeveral());
    EXPECT_EQ(view->selectedRange(), TextRange(2, 0));
    type('x');
    EXPECT_EQ(storage->string(), "abxcdexf");
    EXPECT_EQ(selections(), (Ranges{TextRange(3, 0), TextRange(7, 0)}));
    EXPECT_EQ(undo.undoActionName(), "入力");
    undo.undo();
    EXPECT_EQ(storage->string(), "abcdef");
    EXPECT_EQ(selections(), (Ranges{TextRange(2, 0), TextRange(5, 0)})) << "undo brings both carets back";
    EXPECT_FALSE(undo.canUndo());
    undo.redo();
    EXPECT_EQ(storage->string(), "abxcdexf");
    EXPECT_EQ(selections(), (Ranges{TextRange(3, 0), TextRange(7, 0)}));
}

TEST_F(EditorViewTest, ReplaceAppliesOnlyWhatItCanAndReportsIt)
{
    setText("abcdef");
    EXPECT_TRUE(view->replace({TextRange(0, 2), TextRange(1, 2)}, {"X", "Y"}, "テスト", false));
    EXPECT_EQ(storage->string(), "Xcdef");
    EXPECT_EQ(undo.undoActionName(), "テスト");

    EXPECT_TRUE(view->replace({TextRange(1, 0), TextRange(1, 0)}, {"-", "+"}, "テスト", true));
    EXPECT_EQ(storage->string(), "X-cdef");
    EXPECT_EQ(selections(), Ranges{TextRange(2, 0)});

    undo.removeAllActions();
    EXPECT_FALSE(view->replace({TextRange(0, 1), TextRange(2, 1)}, {"z"}, "テスト", true));
    EXPECT_FALSE(view->replace({TextRange(4, 9)}, {"z"}, "テスト", true));
    view->setEditable(false);
    EXPECT_FALSE(view->replace({TextRange(0, 0), TextRange(2, 0)}, {"a", "b"}, "テスト", true));
    EXPECT_EQ(storage->string(), "X-cdef");
    EXPECT_FALSE(undo.canUndo());

    // Several edits share one text-storage transaction.
    view->setEditable(true);
    int notifications = 0;
    storage->addObserver([&](TextStorage&, const TextStorageEdit&) { ++notifications; });
    EXPECT_TRUE(view->replace({TextRange(0, 1), TextRange(3, 1), TextRange(6, 0)}, {"1", "2", "3"}, "テスト", true));
    EXPECT_EQ(storage->string(), "1-c2ef3");
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(selections(), (Ranges{TextRange(1, 0), TextRange(4, 0), TextRange(7, 0)}));
}

TEST_F(EditorViewTest, StaleVirtualSelectionsAreDiscarded)
{
    setText("abcdef", {TextRange(1, 0), TextRange(4, 0)});
    EXPECT_EQ(view->normalizedSelectedRanges(), (Ranges{TextRange(1, 0), TextRange(4, 0)}));
    key(Qt::Key_Right);  // the platform selection moves by other means
    EXPECT_EQ(view->normalizedSelectedRanges(), Ranges{TextRange(2, 0)});
    EXPECT_FALSE(caretsAmongSeveral());

    // Non-empty ranges only stay in the platform selection.
    view->setEditingSelections({TextRange(3, 2), TextRange(0, 2)}, false);
    EXPECT_FALSE(caretsAmongSeveral());
    EXPECT_EQ(view->normalizedSelectedRanges(), (Ranges{TextRange(0, 2), TextRange(3, 2)}));
    // An empty list leaves the selection as it was.
    view->setEditingSelections({}, false);
    EXPECT_EQ(view->normalizedSelectedRanges(), (Ranges{TextRange(0, 2), TextRange(3, 2)}));
}

TEST_F(EditorViewTest, BackspaceAndDeleteAtSeveralCarets)
{
    setText("abcdef", {TextRange(0, 0), TextRange(4, 0)});
    key(Qt::Key_Backspace);
    EXPECT_EQ(storage->string(), "abcef");
    EXPECT_EQ(selections(), (Ranges{TextRange(0, 0), TextRange(3, 0)}));
    EXPECT_EQ(undo.undoActionName(), "削除");

    setText("ab\r\ncd", {TextRange(2, 0), TextRange(6, 0)});
    key(Qt::Key_Delete);  // the CR LF goes as one character; the caret at the end deletes nothing
    EXPECT_EQ(storage->string(), "abcd");
}

TEST_F(EditorViewTest, ColumnStepsKeepOneColumnAcrossAShortLine)
{
    setText("0123456789abc\nabcd\n0123456789xyz", {TextRange(10, 0)});
    view->selectColumnDown();
    view->selectColumnDown();
    EXPECT_EQ(selections(), (Ranges{TextRange(10, 0), TextRange(18, 0), TextRange(29, 0)}));
    EXPECT_TRUE(view->columnSelectionX().has_value());

    clickAt(2);
    EXPECT_FALSE(caretsAmongSeveral());
    EXPECT_FALSE(view->columnSelectionX().has_value());
    EXPECT_EQ(view->selectedRanges().size(), 1);

    view->setEditingSelections({TextRange(12, 0)}, false);
    view->selectColumnUp();  // already on the first line
    EXPECT_FALSE(caretsAmongSeveral());
}

TEST_F(EditorViewTest, ColumnStepsAtTheEndOfTheText)
{
    setText("abc\ndef\n", {TextRange(6, 0)});
    view->selectColumnDown();
    EXPECT_EQ(selections(), (Ranges{TextRange(6, 0), TextRange(8, 0)}));

    setText("abc\ndef", {TextRange(6, 0)});
    view->selectColumnDown();
    EXPECT_FALSE(caretsAmongSeveral());

    // From a caret after the last character, up keeps that caret's column.
    setText("abcdef\nxyz", {TextRange(10, 0)});
    view->selectColumnUp();
    EXPECT_EQ(selections(), (Ranges{TextRange(3, 0), TextRange(10, 0)}));
}

TEST_F(EditorViewTest, SplitSelectionIntoLines)
{
    setText("first\n\nthird\nfourth", {TextRange(2, 8)});
    view->splitSelectionByLines();
    EXPECT_EQ(selections(), (Ranges{TextRange(2, 3), TextRange(6, 0), TextRange(7, 3)}));
    type('_');
    EXPECT_EQ(storage->string(), "fi_\n_\n_rd\nfourth");
}

TEST_F(EditorViewTest, ReturnCopiesIndentationAtEveryCaret)
{
    view->indentationOpeners = {"{"};
    setText("    if x {", {TextRange(10, 0)});
    key(Qt::Key_Return);
    EXPECT_EQ(storage->string(), "    if x {\n    \t");

    view->preferredEnding = [] { return QStringLiteral("\r\n"); };
    setText("  a\n\tb", {TextRange(3, 0), TextRange(6, 0)});
    key(Qt::Key_Return);
    EXPECT_EQ(storage->string(), "  a\r\n  \n\tb\r\n\t");
    EXPECT_EQ(selections(), (Ranges{TextRange(7, 0), TextRange(13, 0)}));
    EXPECT_EQ(undo.undoActionName(), "改行");
    undo.undo();
    EXPECT_EQ(storage->string(), "  a\n\tb");

    EditorOptions options = view->options();
    options.automaticallyIndents = false;
    view->apply(options);
    setText("    x", {TextRange(5, 0)});
    key(Qt::Key_Return);
    EXPECT_EQ(storage->string(), "    x\r\n");
}

TEST_F(EditorViewTest, TabWithSpacesAndBacktabOverSeveralLines)
{
    EditorOptions options = view->options();
    options.usesSpacesForIndentation = true;
    view->apply(options);
    setText("abcdef  xy", {TextRange(6, 0)});
    key(Qt::Key_Tab);
    EXPECT_EQ(storage->string(), "abcdef    xy");
    EXPECT_EQ(undo.undoActionName(), "空白を挿入");
    setText("abcdef  xy", {TextRange(0, 3)});
    key(Qt::Key_Tab);
    EXPECT_EQ(storage->string(), "    def  xy");

    setText("\tone\n      two\n\tthree\nfour", {TextRange(1, 16)});
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(storage->string(), "one\n  two\nthree\nfour");
    EXPECT_EQ(undo.undoActionName(), "インデントを減らす");
    EXPECT_EQ(selections(), Ranges{TextRange(16, 0)});  // after the last outdented line
    undo.undo();
    EXPECT_EQ(storage->string(), "\tone\n      two\n\tthree\nfour");
}

TEST_F(EditorViewTest, VirtualSelectionsFollowEditsInAnotherView)
{
    setText("abcdef", {TextRange(2, 0), TextRange(5, 0)});
    std::unique_ptr<EditorTextView> other = makeView();
    other->insertText("XYZ", TextRange(0, 0));
    undo.closeAutomaticGroup();
    EXPECT_EQ(selections(), (Ranges{TextRange(5, 0), TextRange(8, 0)}));
    type('q');
    EXPECT_EQ(storage->string(), "XYZabqcdeqf");

    // Undo in the other view (the same undo manager) and a whole-text replacement elsewhere.
    undo.undo();
    EXPECT_EQ(storage->string(), "XYZabcdef");
    view->setEditingSelections({TextRange(3, 0), TextRange(9, 0)}, false);
    other->insertText("new", TextRange(0, storage->length()));
    EXPECT_FALSE(caretsAmongSeveral());
    type('!');
    EXPECT_EQ(storage->string(), "new!");
}

TEST_F(EditorViewTest, InputMethodCompositionCommitsAtEveryCaret)
{
    setText("ab", {TextRange(1, 0)});
    QInputMethodEvent compose(QStringLiteral("にほん"), {});
    QApplication::sendEvent(view.get(), &compose);
    EXPECT_TRUE(view->hasMarkedText());
    EXPECT_EQ(storage->string(), "ab");
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本"));
    QApplication::sendEvent(view.get(), &commit);
    EXPECT_EQ(storage->string(), QStringLiteral("a日本b"));

    setText("ab", {TextRange(0, 0), TextRange(2, 0)});
    QInputMethodEvent compose2(QStringLiteral("か"), {});
    QApplication::sendEvent(view.get(), &compose2);
    EXPECT_EQ(storage->string(), "ab");
    QInputMethodEvent commit2;
    commit2.setCommitString(QStringLiteral("火"));
    QApplication::sendEvent(view.get(), &commit2);
    EXPECT_EQ(storage->string(), QStringLiteral("火ab火"));
    EXPECT_EQ(selections(), (Ranges{TextRange(1, 0), TextRange(4, 0)}));
}

TEST_F(EditorViewTest, EnclosingSymbolsAndCompletion)
{
    setText("f(a[b]c)", {TextRange(4, 0)});
    view->selectEnclosingSymbols();
    EXPECT_EQ(view->selectedRange(), TextRange(2, 5));

    view->completionWords = {"abstract"};
    setText("Abc abacus a_b ab", {TextRange(17, 0)});
    int selected = -1;
    const auto words = view->completionsForPartialWordRange(TextRange(15, 2), &selected);
    ASSERT_TRUE(words.has_value());
    EXPECT_EQ(*words, (QStringList{"abacus", "Abc", "abstract"}));
    EXPECT_EQ(selected, 0);
    EXPECT_FALSE(view->completionsForPartialWordRange(TextRange(15, 9), &selected).has_value());

    view->complete();
    ASSERT_NE(view->completionList(), nullptr);
    ASSERT_TRUE(view->completionList()->isVisible());
    QTest::keyClick(view->completionList(), Qt::Key_Down);
    QTest::keyClick(view->completionList(), Qt::Key_Return);
    EXPECT_FALSE(view->completionList()->isVisible());
    EXPECT_EQ(storage->string(), "Abc abacus a_b Abc");
}

TEST_F(EditorViewTest, RulerNumbersLogicalLinesOnly)
{
    auto ruler = new LineNumberRuler(view.get(), std::make_shared<LineIndex>(storage));
    view->setRulersVisible(true);
    auto numbers = [&] {
        std::vector<qsizetype> n;
        for (const auto& label : ruler->visibleLabels()) n.push_back(label.number);
        return n;
    };
    EXPECT_EQ(numbers(), (std::vector<qsizetype>{1}));  // the empty document
    setText("a\nb\n");
    EXPECT_EQ(numbers(), (std::vector<qsizetype>{1, 2, 3}));
    setText("a\nb");
    EXPECT_EQ(numbers(), (std::vector<qsizetype>{1, 2}));
    EXPECT_EQ(ruler->geometry().width(), 64);
    EXPECT_EQ(ruler->geometry().right() + 1, view->viewport()->geometry().left());

    // A wrapped line gets one number on its first row.
    view->setWrapsLines(true);
    setText("one\n" + QString(400, u'w') + "\nthree");
    const std::vector<LineFragment> fragments = view->layoutManager()->lineFragments(QRectF(0, 0, 1e6, 1e6));
    ASSERT_GT(fragments.size(), 4u);
    const auto labels = ruler->visibleLabels();
    ASSERT_EQ(numbers(), (std::vector<qsizetype>{1, 2, 3}));
    EXPECT_LT(labels[1].top, labels[2].top - 2 * view->layoutManager()->rowHeight());

    // An edit in the text moves the numbers with it.
    view->setEditingSelections({TextRange(0, 0)}, false);
    key(Qt::Key_Return);
    EXPECT_EQ(numbers(), (std::vector<qsizetype>{1, 2, 3, 4}));
}

TEST_F(EditorViewTest, DrawsGuidesAndExtraCarets)
{
    view->setBackgroundColor(Qt::white);
    view->setInsertionPointColor(QColor(255, 0, 0));
    setText("        x\nab\n", {TextRange(10, 0), TextRange(11, 0), TextRange(13, 0)});
    auto columnHasColor = [&](const QImage& image, qreal viewX, qreal viewY, auto&& test) {
        const QPointF p = view->viewToViewport(QPointF(viewX, viewY));
        for (int dx = -1; dx <= 2; ++dx) {
            if (test(image.pixelColor(static_cast<int>(p.x()) + dx, static_cast<int>(p.y())))) return true;
        }
        return false;
    };
    auto isRed = [](QColor c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; };
    auto isGrey = [](QColor c) { return c != QColor(Qt::white) && std::abs(c.red() - c.blue()) < 20; };

    QImage image = view->viewport()->grab().toImage();
    LayoutManager* layout = view->layoutManager();
    const QPointF origin = view->textContainerOrigin();
    const QRectF second = layout->caretRect(11).translated(origin);
    const QRectF last = layout->extraLineFragmentRect().translated(origin);
    EXPECT_TRUE(columnHasColor(image, second.left(), second.center().y(), isRed));
    EXPECT_TRUE(columnHasColor(image, last.left(), last.center().y(), isRed));

    const qreal w = QFontMetricsF(layout->font()).horizontalAdvance(QLatin1Char('M'));
    const QRectF firstRow = layout->lineFragmentRect(0).translated(origin);
    EXPECT_FALSE(columnHasColor(image, origin.x() + 4 * w, firstRow.center().y(), isGrey));
    EditorOptions options = view->options();
    options.showsIndentGuides = true;
    options.pageGuideColumn = 20;
    view->apply(options);
    image = view->viewport()->grab().toImage();
    EXPECT_TRUE(columnHasColor(image, origin.x() + 4 * w, firstRow.center().y(), isGrey));
    EXPECT_TRUE(columnHasColor(image, origin.x() + 8 * w, firstRow.center().y(), isGrey));
    EXPECT_FALSE(columnHasColor(image, origin.x() + 4 * w, second.center().y(), isGrey));
    EXPECT_TRUE(columnHasColor(image, origin.x() + 20 * w, second.center().y(), isGrey));

    // The carets follow an edit made elsewhere: no bar is left at a stale place.
    storage->replaceCharacters(TextRange(0, 0), "\n");
    image = view->viewport()->grab().toImage();
    const QRectF moved = layout->caretRect(12).translated(origin);
    EXPECT_TRUE(columnHasColor(image, moved.left(), moved.center().y(), isRed));
}

TEST_F(EditorViewTest, AntialiasingCanBeSwitchedOff)
{
    view->setBackgroundColor(Qt::white);
    view->setTextColor(Qt::black);
    setText(QString(40, u'@') + "\n" + QString(40, u'W'));
    auto shades = [&] {
        const QImage image = view->viewport()->grab().toImage();
        QSet<QRgb> colors;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < image.width(); ++x) colors.insert(image.pixel(x, y));
        }
        return colors.size();
    };
    const qsizetype smooth = shades();
    EditorOptions options = view->options();
    options.usesFontAntialiasing = false;
    view->apply(options);
    const qsizetype sharp = shades();
    EXPECT_GT(smooth, 4);
    EXPECT_LE(sharp, 3);
}

}  // namespace
