#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "TextViewFixture.h"
#include "platform/foundation/UndoManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <set>

using namespace korimado;

namespace {

class TextViewTest : public test::TextViewFixture {
protected:
    // One key press per event-loop turn, as a user types.
    void type(const QString& latin1)
    {
        for (QChar c : latin1) {
            QTest::keyClick(view.get(), c.toLatin1());
            undo.closeAutomaticGroup();
        }
    }

    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view.get(), k, modifiers);
        undo.closeAutomaticGroup();
    }

    void click(QPointF viewPoint, qint64 timestamp, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF local = view->viewToViewport(viewPoint);
        QMouseEvent press(QEvent::MouseButtonPress, local, view->viewport()->mapToGlobal(local), Qt::LeftButton,
                          Qt::LeftButton, modifiers);
        press.setTimestamp(static_cast<quint64>(timestamp));
        QApplication::sendEvent(view->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, local, view->viewport()->mapToGlobal(local), Qt::LeftButton,
                            Qt::NoButton, modifiers);
        release.setTimestamp(static_cast<quint64>(timestamp + 1));
        QApplication::sendEvent(view->viewport(), &release);
    }

    // The middle of the character at index, in view coordinates.
    QPointF pointOf(qsizetype index)
    {
        const QRectF caret = view->insertionPointRect(index);
        return {caret.left() + view->layoutManager()->averageCharacterWidth() / 4, caret.center().y()};
    }

};

class RefusingDelegate : public TextViewDelegate {
public:
    bool textViewShouldChangeText(TextView&, const QVector<TextRange>&, const QStringList&) override
    {
        ++asked;
        return false;
    }
    int asked = 0;
};

class CountingDelegate : public TextViewDelegate {
public:
    void textDidChange(TextView&) override { ++changes; }
    void textViewDidChangeSelection(TextView&) override { ++selections; }
    int changes = 0;
    int selections = 0;
};

}  // namespace

TEST_F(TextViewTest, TypingCoalescesIntoOneUndoStepUntilTheCaretMoves)
{
    setText(QStringLiteral("12"), {1, 0});
    type(QStringLiteral("abc"));
    EXPECT_EQ(storage->string(), QStringLiteral("1abc2"));
    EXPECT_EQ(view->selectedRange(), (TextRange{4, 0}));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("入力"));

    key(Qt::Key_Right);
    type(QStringLiteral("d"));
    EXPECT_EQ(storage->string(), QStringLiteral("1abc2d"));

    undo.undo();  // only the run after the move
    EXPECT_EQ(storage->string(), QStringLiteral("1abc2"));
    EXPECT_EQ(view->selectedRange(), (TextRange{5, 0}));
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("12"));
    EXPECT_EQ(view->selectedRange(), (TextRange{1, 0}));
    EXPECT_FALSE(undo.canUndo());

    undo.redo();
    EXPECT_EQ(storage->string(), QStringLiteral("1abc2"));
    EXPECT_EQ(view->selectedRange(), (TextRange{4, 0}));
    undo.redo();
    EXPECT_EQ(storage->string(), QStringLiteral("1abc2d"));
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 0}));
    // Undo and redo keep alternating.
    undo.undo();
    undo.undo();
    undo.redo();
    EXPECT_EQ(storage->string(), QStringLiteral("1abc2"));

    // Return and Tab are typed too, not taken for focus changes.
    view->setSelectedRange({0, 0});
    key(Qt::Key_Tab);
    key(Qt::Key_Return);
    EXPECT_EQ(storage->string(), QStringLiteral("\t\n1abc2"));
    EXPECT_TRUE(view->hasFocus() || !view->isActiveWindow());
}

TEST_F(TextViewTest, BackspaceInsideATypingRunAndReplacingASelection)
{
    setText(QStringLiteral("hello world"), {6, 5});
    type(QStringLiteral("there"));  // replaces "world", then continues the run
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    type(QStringLiteral("!"));
    EXPECT_EQ(storage->string(), QStringLiteral("hello the!"));
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("hello world"));
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 5}));
    EXPECT_FALSE(undo.canUndo());
    undo.redo();
    EXPECT_EQ(storage->string(), QStringLiteral("hello the!"));

    // An explicit group around typing is its own step, and the run does not continue past it.
    undo.beginUndoGrouping();
    view->insertText(QStringLiteral("X"));
    undo.endUndoGrouping();
    undo.setActionName(QStringLiteral("改行コードを変更"));
    type(QStringLiteral("Y"));
    EXPECT_EQ(storage->string(), QStringLiteral("hello the!XY"));
    undo.undo();
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("改行コードを変更"));
    EXPECT_EQ(storage->string(), QStringLiteral("hello the!X"));
}

TEST_F(TextViewTest, DeletingAndMovingNeverSplitPairsClustersOrCrLf)
{
    const QString text = QStringLiteral("a\U0001F600\r\ne\u0301b");
    setText(text, {text.size(), 0});
    key(Qt::Key_Backspace);
    EXPECT_EQ(storage->string(), QStringLiteral("a\U0001F600\r\ne\u0301"));
    key(Qt::Key_Backspace);  // e with its accent
    EXPECT_EQ(storage->string(), QStringLiteral("a\U0001F600\r\n"));
    key(Qt::Key_Backspace);  // CR LF together
    EXPECT_EQ(storage->string(), QStringLiteral("a\U0001F600"));
    key(Qt::Key_Backspace);  // both halves of the pair
    EXPECT_EQ(storage->string(), QStringLiteral("a"));
    undo.undo();
    EXPECT_EQ(storage->string(), text);

    view->setSelectedRange({0, 0});
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    EXPECT_EQ(view->selectedRange(), (TextRange{3, 0}));
    key(Qt::Key_Right);
    EXPECT_EQ(view->selectedRange(), (TextRange{5, 0}));
    key(Qt::Key_Left);
    EXPECT_EQ(view->selectedRange(), (TextRange{3, 0}));
    view->setSelectedRange({1, 0});
    key(Qt::Key_Delete);
    EXPECT_EQ(storage->string(), QStringLiteral("a\r\ne\u0301b"));
    key(Qt::Key_Delete);
    EXPECT_EQ(storage->string(), QStringLiteral("ae\u0301b"));
    key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{1, 2}));
}

TEST_F(TextViewTest, WordAndLineDeletion)
{
    setText(QStringLiteral("one two  three\nfour"), {14, 0});
    key(Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(storage->string(), QStringLiteral("one two  \nfour"));
    view->setSelectedRange({4, 0});
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(storage->string(), QStringLiteral("one   \nfour"));
    view->performCommand("deleteToEndOfParagraph:");
    EXPECT_EQ(storage->string(), QStringLiteral("one \nfour"));
    view->performCommand("deleteToEndOfParagraph");  // at the end: joins the next paragraph
    EXPECT_EQ(storage->string(), QStringLiteral("one four"));
    view->performCommand("deleteToBeginningOfLine");
    EXPECT_EQ(storage->string(), QStringLiteral("four"));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("削除"));
    EXPECT_FALSE(view->performCommand("noSuchCommand"));
}

TEST_F(TextViewTest, ShiftSelectionAndColumnMemoryOnUpAndDown)
{
    setText(QStringLiteral("abcdefgh\nab\nabcdefgh"), {6, 0});
    key(Qt::Key_Down);  // short line: its end
    EXPECT_EQ(view->selectedRange(), (TextRange{11, 0}));
    key(Qt::Key_Down);  // back to column 6
    EXPECT_EQ(view->selectedRange(), (TextRange{18, 0}));
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 0}));
    key(Qt::Key_Up);  // first line: start of the text
    EXPECT_EQ(view->selectedRange(), (TextRange{0, 0}));

    view->setSelectedRange({6, 0});
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 12}));
    key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 5}));
    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 4}));
    key(Qt::Key_Up, Qt::ShiftModifier);  // across the anchor, at the column of the last step
    EXPECT_EQ(view->selectedRange(), (TextRange{1, 5}));
    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{0, 6}));
    key(Qt::Key_Right);  // collapses to the end
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 0}));
    key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 2}));
    key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 14}));
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{0, 0}));
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{0, 20}));
}

TEST_F(TextViewTest, DoubleAndTripleClickSelectWordAndParagraphShiftClickExtends)
{
    setText(QStringLiteral("alpha beta gamma\nsecond line\n"));
    const QPointF inBeta = pointOf(7);
    click(inBeta, 1000);
    EXPECT_EQ(view->selectedRange(), (TextRange{7, 0}));
    click(inBeta, 1100);
    EXPECT_EQ(view->selectedRange(), (TextRange{6, 4}));
    click(inBeta, 1200);
    EXPECT_EQ(view->selectedRange(), (TextRange{0, 17}));
    // Long after: a single click again, then shift-click extends from it.
    click(pointOf(2), 50000);
    EXPECT_EQ(view->selectedRange(), (TextRange{2, 0}));
    click(pointOf(20), 60000, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedRange(), (TextRange{2, 18}));
}

TEST_F(TextViewTest, CutCopyAndPasteThroughTheClipboard)
{
    setText(QStringLiteral("abcd"), {1, 2});
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(storage->string(), QStringLiteral("ad"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("bc"));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("カット"));
    view->setSelectedRange({2, 0});
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(storage->string(), QStringLiteral("adbc"));
    EXPECT_EQ(view->selectedRange(), (TextRange{4, 0}));
    EXPECT_EQ(undo.undoActionName(), QStringLiteral("ペースト"));
    EXPECT_TRUE(view->validateCommand("paste:"));
    EXPECT_FALSE(view->validateCommand("copy:"));
    undo.undo();
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("abcd"));
    EXPECT_EQ(view->selectedRange(), (TextRange{1, 2}));
    view->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("bc"));
}

TEST_F(TextViewTest, InputMethodCompositionTouchesNothingUntilCommitted)
{
    setText(QStringLiteral("ab"), {1, 0});
    int edits = 0;
    storage->addObserver([&](TextStorage&, const TextStorageEdit&) { ++edits; });

    QInputMethodEvent compose(QStringLiteral("にほ"), {});
    QApplication::sendEvent(view.get(), &compose);
    QInputMethodEvent compose2(QStringLiteral("にほんご"), {QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, 2, 1)});
    QApplication::sendEvent(view.get(), &compose2);
    EXPECT_TRUE(view->hasMarkedText());
    EXPECT_EQ(view->markedRange(), (TextRange{1, 4}));
    EXPECT_EQ(storage->string(), QStringLiteral("ab"));
    EXPECT_EQ(edits, 0);
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(view->grab().isNull());  // the preedit is painted over the text
    const QRect cursor = view->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_GT(cursor.left(), view->insertionPointRect(1).left());

    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本語"));
    QApplication::sendEvent(view.get(), &commit);
    EXPECT_FALSE(view->hasMarkedText());
    EXPECT_EQ(storage->string(), QStringLiteral("a日本語b"));
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(view->selectedRange(), (TextRange{4, 0}));
    EXPECT_EQ(view->inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("a日本語b"));
    EXPECT_EQ(view->inputMethodQuery(Qt::ImCursorPosition).toInt(), 4);
    undo.closeAutomaticGroup();
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("ab"));

    // The programmatic road: marked text replacing a range, then committed by unmarking, in one
    // undo step.
    view->setMarkedText(QStringLiteral("かな"), {2, 0}, {0, 1});
    EXPECT_TRUE(view->hasMarkedText());
    EXPECT_EQ(storage->string(), QStringLiteral("b")) << "the replaced range goes when composing starts";
    EXPECT_EQ(view->markedRange(), (TextRange{0, 2}));
    view->unmarkText();
    EXPECT_EQ(storage->string(), QStringLiteral("かなb"));
    undo.closeAutomaticGroup();
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("ab"));
}

TEST_F(TextViewTest, TwoViewsOnOneStorageStayConsistent)
{
    setText(QStringLiteral("line one\nline two\n"), {5, 0});
    TextView other(storage);
    other.setUndoManager(&undo);
    other.resize(300, 200);
    other.setSelectedRange({14, 0});  // in "two"
    CountingDelegate counter;
    other.setDelegate(&counter);

    type(QStringLiteral("NEW "));
    EXPECT_EQ(other.string(), QStringLiteral("line NEW one\nline two\n"));
    EXPECT_EQ(other.selectedRange(), (TextRange{18, 0}));  // moved with its text
    EXPECT_EQ(counter.changes, 0);                           // the other view did not edit
    EXPECT_EQ(other.layoutManager()->paragraphCount(), 3);

    QTest::keyClick(&other, Qt::Key_Backspace);
    undo.closeAutomaticGroup();
    EXPECT_EQ(storage->string(), QStringLiteral("line NEW one\nlinetwo\n"));
    EXPECT_EQ(counter.changes, 1);
    EXPECT_EQ(view->selectedRange(), (TextRange{9, 0}));

    // Removing the text under the other view's selection clamps it.
    other.setSelectedRange({13, 7});
    view->setSelectedRange({0, storage->length()});
    type(QStringLiteral("z"));
    EXPECT_EQ(other.selectedRange(), (TextRange{1, 0}));

    // An edit survives the view that made it: undo still restores the text.
    auto gone = std::make_unique<TextView>(storage);
    gone->setUndoManager(&undo);
    gone->setSelectedRange({1, 0});
    gone->insertText(QStringLiteral("!"));
    undo.closeAutomaticGroup();
    gone.reset();
    EXPECT_EQ(storage->string(), QStringLiteral("z!"));
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("z"));
    undo.redo();
    EXPECT_EQ(storage->string(), QStringLiteral("z!"));
}

// A view not yet on screen goes through its settings one after the other without measuring the
// text for each, and has the right scroll ranges once shown or asked to scroll.
TEST_F(TextViewTest, AViewNotOnScreenTakesItsScrollRangesOnceShown)
{
    storage->setString(QString(2000, QChar('w')) + QStringLiteral("\n") + QStringLiteral("line\n").repeated(3000));
    TextView hidden(storage);
    hidden.resize(300, 200);
    hidden.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    hidden.setWrapsLines(false);
    hidden.resize(320, 220);
    EXPECT_EQ(hidden.scrollBarUpdates(), 0u);
    hidden.show();
    EXPECT_EQ(hidden.scrollBarUpdates(), 1u);
    EXPECT_GT(hidden.verticalScrollBar()->maximum(), 0);
    EXPECT_GT(hidden.horizontalScrollBar()->maximum(), 0);

    // Scrolling a hidden view to the end still reaches the end.
    TextView unseen(storage);
    unseen.resize(300, 200);
    unseen.setSelectedRange({storage->length(), 0});
    unseen.scrollRangeToVisible({storage->length(), 0});
    EXPECT_GT(unseen.verticalScrollBar()->value(), 0);
    EXPECT_EQ(unseen.verticalScrollBar()->value(), unseen.verticalScrollBar()->maximum());
}

// The order one edit is told in: every view in step first, then the storage's delegate (the
// document), then the selection notices the edit caused, each view's scroll bars updated once.
TEST_F(TextViewTest, AnEditIsToldOnceInAConsistentStateBeforeTheSelectionsItMoved)
{
    setText(QStringLiteral("abc def\n"), {3, 0});
    TextView other(storage);
    other.resize(300, 200);
    other.show();
    other.setSelectedRange({5, 1});
    std::vector<QString> events;
    struct Document : TextStorageDelegate {
        std::vector<QString>* events;
        TextView* view;
        TextView* other;
        void textStorageDidProcessEditing(TextStorage&, const TextStorageEdit& edit) override
        {
            if (!edit.editedCharacters()) return;
            events->push_back(QStringLiteral("document %1 %2").arg(view->selectedRange().location)
                                  .arg(other->selectedRange().location));
        }
    } document;
    document.events = &events;
    document.view = view.get();
    document.other = &other;
    storage->setDelegate(&document);
    QObject::connect(view.get(), &TextView::selectionDidChange, [&] { events.push_back(QStringLiteral("view")); });
    QObject::connect(&other, &TextView::selectionDidChange, [&] { events.push_back(QStringLiteral("other")); });
    const auto bars = view->scrollBarUpdates();
    const auto otherBars = other.scrollBarUpdates();

    type(QStringLiteral("x"));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], QStringLiteral("document 4 6"));
    EXPECT_EQ(std::set<QString>(events.begin() + 1, events.end()), (std::set<QString>{"view", "other"}));
    EXPECT_EQ(view->scrollBarUpdates(), bars + 1);
    EXPECT_EQ(other.scrollBarUpdates(), otherBars + 1);

    // The same for an edit of several ranges and for its undo.
    events.clear();
    const QVector<TextRange> both{{0, 1}, {2, 2}};
    view->setSelectedRanges(both);
    events.clear();
    view->insertText(QStringLiteral("-"));
    EXPECT_EQ(storage->string(), QStringLiteral("-b- def\n"));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], QStringLiteral("document 3 5"));
    EXPECT_EQ(std::set<QString>(events.begin() + 1, events.end()), (std::set<QString>{"view", "other"}));
    events.clear();
    undo.closeAutomaticGroup();
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("abcx def\n"));
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(events.front().startsWith(QStringLiteral("document 0"))) << events.front().toStdString();
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const QString& e) { return e.startsWith("document"); }), 1);
    storage->setDelegate(nullptr);
}

TEST_F(TextViewTest, RefusedChangesLeaveEverythingUntouched)
{
    setText(QStringLiteral("keep"), {1, 2});
    RefusingDelegate refuse;
    view->setDelegate(&refuse);
    int edits = 0;
    storage->addObserver([&](TextStorage&, const TextStorageEdit&) { ++edits; });

    type(QStringLiteral("x"));
    key(Qt::Key_Backspace);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    key(Qt::Key_V, Qt::ControlModifier);
    key(Qt::Key_X, Qt::ControlModifier);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("日本"));
    QApplication::sendEvent(view.get(), &commit);
    EXPECT_GE(refuse.asked, 5);
    EXPECT_EQ(storage->string(), QStringLiteral("keep"));
    EXPECT_EQ(view->selectedRange(), (TextRange{1, 2}));
    EXPECT_EQ(edits, 0);
    EXPECT_FALSE(undo.canUndo());

    // Not editable: refused before the delegate is asked.
    view->setDelegate(nullptr);
    view->setEditable(false);
    EXPECT_FALSE(view->shouldChangeText(TextRange{0, 1}, QStringLiteral("K")));
    type(QStringLiteral("y"));
    EXPECT_EQ(storage->string(), QStringLiteral("keep"));
    EXPECT_FALSE(view->validateCommand("cut:"));
    // Ranges outside the text or overlapping are refused too, since their undo could not be right.
    view->setEditable(true);
    EXPECT_FALSE(view->shouldChangeText(TextRange{3, 5}, QString()));
    EXPECT_FALSE(view->shouldChangeText({TextRange{0, 2}, TextRange{1, 2}}, {QString(), QString()}));
    EXPECT_FALSE(undo.canUndo());
}

TEST_F(TextViewTest, SeveralSelectionsAreTypedOverTogether)
{
    setText(QStringLiteral("aXbXc"));
    view->setSelectedRanges({TextRange{3, 1}, TextRange{1, 1}, TextRange{3, 0}});
    EXPECT_EQ(view->selectedRanges(), (QVector<TextRange>{TextRange{1, 1}, TextRange{3, 1}}));
    type(QStringLiteral("-"));
    EXPECT_EQ(storage->string(), QStringLiteral("a-b-c"));
    undo.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("aXbXc"));
    EXPECT_EQ(view->selectedRanges(), (QVector<TextRange>{TextRange{1, 1}, TextRange{3, 1}}));
}

TEST_F(TextViewTest, CaretsAmongSeveralSelectionsFollowEditsAndComeBackWithUndo)
{
    using Ranges = QVector<TextRange>;
    setText(QStringLiteral("abcdef ghij"));
    view->setSelections({TextRange{8, 0}, TextRange{1, 2}, TextRange{5, 0}});
    EXPECT_EQ(view->selections(), (Ranges{{1, 2}, {5, 0}, {8, 0}}));
    EXPECT_EQ(view->selectedRanges(), Ranges{TextRange(1, 2)}) << "the view's own commands take the first";

    // An edit made elsewhere moves every selection; carets whose text goes become one.
    storage->replaceCharacters(TextRange{0, 0}, QStringLiteral("XY"));
    EXPECT_EQ(view->selections(), (Ranges{{3, 2}, {7, 0}, {10, 0}}));
    storage->replaceCharacters(TextRange{6, 5}, QString());
    EXPECT_EQ(view->selections(), (Ranges{{3, 2}, {6, 0}}));

    // Typing over the first; undo brings every selection back.
    type(QStringLiteral("-"));
    EXPECT_EQ(storage->string(), QStringLiteral("XYa-dij"));
    EXPECT_EQ(view->selections(), Ranges{TextRange(4, 0)});
    undo.undo();
    EXPECT_EQ(view->selections(), (Ranges{{3, 2}, {6, 0}}));

    // Setting the first again keeps the others; anything else leaves one selection.
    view->setSelectedRange(TextRange{3, 2});
    EXPECT_EQ(view->selections().size(), 2);
    view->setSelectedRange(TextRange{1, 0});
    EXPECT_EQ(view->selections(), Ranges{TextRange(1, 0)});
    // Without a caret among them the ranges are the view's own, merged as ever.
    view->setSelections({TextRange{4, 2}, TextRange{0, 2}, TextRange{2, 1}});
    EXPECT_EQ(view->selections(), (Ranges{{0, 3}, {4, 2}}));
    EXPECT_EQ(view->selectedRanges(), view->selections());
}

TEST_F(TextViewTest, ScrollingKeepsTheCaretVisible)
{
    QString text;
    for (int i = 0; i < 500; ++i)
        text += QStringLiteral("line %1\n").arg(i);
    setText(text);
    key(Qt::Key_End, Qt::ControlModifier);
    const QRectF caret = view->insertionPointRect(view->selectedRange().location);
    EXPECT_TRUE(view->visibleRect().contains(caret.center()));
    const qreal top = view->visibleRect().top();
    key(Qt::Key_PageUp);
    EXPECT_LT(view->visibleRect().top(), top);
    EXPECT_TRUE(view->visibleRect().contains(view->insertionPointRect(view->selectedRange().location).center()));
    view->scrollRangeToVisible({0, 0});
    EXPECT_EQ(view->visibleRect().top(), 0);
}

TEST_F(TextViewTest, DelegateHearsOfEachChangeAndNamesTheUndoManager)
{
    class Owner : public CountingDelegate {
    public:
        UndoManager* undoManagerForTextView(TextView&) override { return &manager; }
        UndoManager manager;
    } owner;
    setText(QStringLiteral("abc"), {3, 0});
    view->setDelegate(&owner);

    key(Qt::Key_Backspace);  // the caret follows the deleted text: still a selection change
    EXPECT_EQ(owner.changes, 1);
    EXPECT_EQ(owner.selections, 1);
    EXPECT_TRUE(owner.manager.canUndo());  // the delegate's manager, not the view's own
    EXPECT_FALSE(undo.canUndo());

    // A drag is announced once, when the button comes up.
    owner.selections = 0;
    const QPointF from = view->viewToViewport(pointOf(0));
    const QPointF to = view->viewToViewport(pointOf(2));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from.toPoint());
    QMouseEvent move(QEvent::MouseMove, to, view->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    EXPECT_EQ(owner.selections, 0);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to.toPoint());
    EXPECT_EQ(owner.selections, 1);
    EXPECT_EQ(view->selectedRange(), (TextRange{0, 2}));

    owner.manager.undo();
    EXPECT_EQ(storage->string(), QStringLiteral("abc"));
    EXPECT_EQ(view->selectedRange(), (TextRange{3, 0}));
    EXPECT_EQ(owner.changes, 2);
    view->setDelegate(nullptr);
}

// After the first paint, after a font change, and when the caret reaches another line, the view
// spends three idle passes caching the caret line's glyphs; nothing else asks for them.
TEST_F(TextViewTest, GlyphsAreCachedWhileIdleOnlyWhenTheCaretLineIsNew)
{
    auto settle = [] {
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    };
    std::uint64_t seen = 0;
    auto passes = [&] {
        settle();
        const std::uint64_t now = view->glyphPasses();
        return int(now - std::exchange(seen, now));
    };
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    EXPECT_EQ(passes(), 3) << "the first paint";
    setText(QStringLiteral("let value = \"日本語\" // code\n").repeated(100));
    EXPECT_EQ(passes(), 0) << "the caret stays on the line prepared";

    view->setSelectedRange({storage->lines().start(3) + 2, 0});
    EXPECT_EQ(passes(), 3) << "the caret reached another line";

    view->setSelectedRange({storage->lines().start(3) + 5, 0});
    type("xyz");
    EXPECT_EQ(passes(), 0) << "moving and typing within the line";

    view->setSelectedRange({storage->lines().start(90), 0});
    EXPECT_EQ(passes(), 0) << "a line out of sight";

    view->setSelectedRange({storage->lines().start(4), 0});
    QFont larger = view->font();
    larger.setPointSizeF(larger.pointSizeF() + 4);
    view->setFont(larger);
    EXPECT_EQ(passes(), 3) << "another line, then a new font before the passes ran";
}
