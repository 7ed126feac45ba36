// Japanese input in a document window: a composition ended by a click (and the other roads that
// end one) is inserted once where it was composed, each committed word is one undo step, the
// composition is laid out in its line with the input method's clause formats, at every caret.
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/InputContext.h"
#include "platform/text/LayoutManager.h"
#include "support/WindowFixture.h"
#include "window/EditorWindowController.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMainWindow>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTextCharFormat>
#include <QTimer>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

using Ranges = std::vector<TextRange>;

// Stands for the platform's input method: it shows its preedit to the view and, asked to commit or
// reset, hands the preedit over at once, once the event loop turns (after the caret moved, as
// ibus does), or drops it.
class StubInputContext : public InputContext {
public:
    // OnCommitAndAgainLater is ibus through Qt's plugin: the plugin commits at once, and the engine
    // commits the same text again once the reset reaches it.
    enum class Hands { OnCommit, OnResetAtOnce, OnResetLater, OnCommitAndAgainLater, Never };
    Hands hands = Hands::OnResetAtOnce;
    int commits = 0;
    int resets = 0;

    void compose(QWidget* view, const QString& text, const QList<QInputMethodEvent::Attribute>& attributes = {})
    {
        target_ = view;
        preedit_ = text;
        QInputMethodEvent event(text, attributes);
        QApplication::sendEvent(view, &event);
    }
    // The user accepts the conversion: the input method commits what it shows as text.
    void accept(const QString text)
    {
        preedit_.clear();
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(target_, &event);
    }
    void commit() override
    {
        ++commits;
        if (hands == Hands::OnCommit) handOver();
        if (hands == Hands::OnCommitAndAgainLater && !preedit_.isEmpty()) {
            const QString copy = preedit_;
            handOver();
            QTimer::singleShot(0, [this, copy] { accept(copy); });
        }
    }
    void reset() override
    {
        ++resets;
        if (hands == Hands::OnResetAtOnce) handOver();
        else if (hands == Hands::OnResetLater) QTimer::singleShot(0, [this] { handOver(); });
        else preedit_.clear();
    }
    void update(Qt::InputMethodQueries) override {}

private:
    void handOver()
    {
        if (preedit_.isEmpty() || !target_) return;
        accept(preedit_);
    }

    QPointer<QWidget> target_;
    QString preedit_;
};

class InputMethodTest : public ::testing::Test {
protected:
    void SetUp() override { InputContext::setCurrent(&im); }
    void TearDown() override
    {
        InputContext::setCurrent(nullptr);
        window = nullptr;
        document.reset();
    }

    EditorTextView& open(const QString& text)
    {
        document = test::readFileDocument(dir, QStringLiteral("文書.txt"), text.toUtf8());
        window = &test::openDocumentWindow(*document);
        window->window()->resize(900, 600);
        window->window()->show();
        window->window()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window->window()));
        EditorTextView& view = *window->textView();
        view.setFocus(Qt::OtherFocusReason);
        view.setBackgroundColor(Qt::white);
        view.setTextColor(Qt::black);
        return view;
    }

    UndoManager& undo() { return *document->undoManager(); }
    static std::string text(const EditorTextView& view) { return view.string().toStdString(); }
    static QPoint at(EditorTextView& view, qsizetype position)
    {
        const QRectF caret = view.insertionPointRect(position);
        return view.viewToViewport(QPointF(caret.left() + 0.5, caret.center().y())).toPoint();
    }
    void settle()
    {
        QApplication::processEvents();
        undo().closeAutomaticGroup();
    }
    void commitWord(EditorTextView& view, const QString& reading, const QString& word)
    {
        im.compose(&view, reading);
        im.accept(word);
        settle();
    }

    StubInputContext im;
    test::TempDir dir;
    std::unique_ptr<KoriDocument> document;
    EditorWindowController* window = nullptr;
};

TEST_F(InputMethodTest, AClickWhileComposingInsertsTheCompositionOnceWhereItWasComposed)
{
    for (auto hands : {StubInputContext::Hands::OnCommit, StubInputContext::Hands::OnResetAtOnce,
                       StubInputContext::Hands::OnResetLater, StubInputContext::Hands::OnCommitAndAgainLater}) {
        SCOPED_TRACE(static_cast<int>(hands));
        im.hands = hands;
        EditorTextView& view = open(QStringLiteral("ab\ncd"));
        ASSERT_TRUE(view.hasFocus());
        view.setSelectedRange({1, 0});
        im.compose(&view, QStringLiteral("にほんご"));
        ASSERT_TRUE(view.hasMarkedText());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(view, 4));  // between c and d
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_FALSE(view.hasMarkedText());
        EXPECT_EQ(view.string(), QStringLiteral("aにほんごb\ncd"));
        EXPECT_EQ(view.selectedRange(), TextRange(8, 0)) << "the caret stays where the click put it";
        undo().closeAutomaticGroup();
        EXPECT_EQ(undo().undoActionName(), QStringLiteral("入力"));
        undo().undo();
        EXPECT_EQ(text(view), "ab\ncd");
        EXPECT_FALSE(document->isDocumentEdited());
        test::closeDocumentWindow(*document, *window);
    }
    EXPECT_GE(im.commits, 4) << "the input method is asked to commit";
}

TEST_F(InputMethodTest, TheSameWordComposedAgainAfterAClickIsInsertedAgain)
{
    im.hands = StubInputContext::Hands::OnCommitAndAgainLater;
    EditorTextView& view = open(QStringLiteral("ab\ncd"));
    view.setSelectedRange({1, 0});
    im.compose(&view, QStringLiteral("か"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(view, 5));
    QApplication::processEvents();
    EXPECT_EQ(view.string(), QStringLiteral("aかb\ncd"));
    // Typed again through a composition, or committed at once after a key: the user's own.
    commitWord(view, QStringLiteral("か"), QStringLiteral("か"));
    EXPECT_EQ(view.string(), QStringLiteral("aかb\ncdか"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(view, 0));
    QTest::keyClick(&view, Qt::Key_Right);
    im.accept(QStringLiteral("か"));
    EXPECT_EQ(view.string(), QStringLiteral("aかかb\ncdか"));
}

TEST_F(InputMethodTest, EveryRoadThatEndsACompositionInsertsItOnce)
{
    im.hands = StubInputContext::Hands::OnResetAtOnce;
    EditorTextView& view = open(QStringLiteral("ab\ncd"));
    // Ctrl-click adds a caret: the composition is handed over first, at its own place.
    view.setSelectedRange({1, 0});
    im.compose(&view, QStringLiteral("か"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, at(view, 4));
    EXPECT_EQ(view.string(), QStringLiteral("aかb\ncd"));
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{2, 0}, {5, 0}}));

    // Paste lands after the committed word.
    view.setSelectedRange({0, 0});
    settle();
    QGuiApplication::clipboard()->setText(QStringLiteral("P"));
    im.compose(&view, QStringLiteral("き"));
    view.paste();
    settle();
    EXPECT_EQ(view.string(), QStringLiteral("きPaかb\ncd"));

    // Made read-only while composing: what was composed is kept.
    im.compose(&view, QStringLiteral("く"));
    view.setEditable(false);
    EXPECT_EQ(view.string(), QStringLiteral("きPくaかb\ncd"));
    view.setEditable(true);

    // An input method that drops the composition on reset: nothing is inserted behind its back.
    im.hands = StubInputContext::Hands::Never;
    im.compose(&view, QStringLiteral("け"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(view, 0));
    EXPECT_EQ(view.string(), QStringLiteral("きPくaかb\ncd"));
    EXPECT_FALSE(view.hasMarkedText());
}

TEST_F(InputMethodTest, EachCommittedWordIsOneUndoStep)
{
    EditorTextView& view = open(QString());
    commitWord(view, QStringLiteral("にほんご"), QStringLiteral("ニホンゴ"));
    QTest::keyClick(&view, Qt::Key_Return);
    settle();
    commitWord(view, QStringLiteral("かんじ"), QStringLiteral("感じ"));
    commitWord(view, QStringLiteral("にほんご"), QStringLiteral("ニホンゴ"));
    EXPECT_EQ(view.string(), QStringLiteral("ニホンゴ\n感じニホンゴ"));
    undo().undo();
    EXPECT_EQ(view.string(), QStringLiteral("ニホンゴ\n感じ"));
    undo().undo();
    EXPECT_EQ(view.string(), QStringLiteral("ニホンゴ\n"));
    undo().redo();
    EXPECT_EQ(view.string(), QStringLiteral("ニホンゴ\n感じ"));

    // Typed letters before a commit stay a step of their own.
    QTest::keyClicks(&view, QStringLiteral("ab"));
    settle();
    commitWord(view, QStringLiteral("き"), QStringLiteral("木"));
    undo().undo();
    EXPECT_EQ(view.string(), QStringLiteral("ニホンゴ\n感じab"));
}

TEST_F(InputMethodTest, ComposingOverASelectionReplacesItInTheCommitsUndoStep)
{
    EditorTextView& view = open(QStringLiteral("hello world"));
    view.setSelectedRange({6, 5});
    im.compose(&view, QStringLiteral("せかい"));
    EXPECT_EQ(view.string(), QStringLiteral("hello "));
    EXPECT_EQ(view.selectedRange(), TextRange(6, 0)) << "no rest of the selection stays highlighted";
    EXPECT_EQ(view.markedRange(), TextRange(6, 3));
    im.accept(QStringLiteral("世界"));
    settle();
    EXPECT_EQ(view.string(), QStringLiteral("hello 世界"));
    undo().undo();
    EXPECT_EQ(view.string(), QStringLiteral("hello world"));
    EXPECT_EQ(view.selectedRange(), TextRange(6, 5));

    // Cancelled (Escape empties the preedit): the deletion stays, as its own step.
    im.compose(&view, QStringLiteral("せ"));
    im.compose(&view, QString());
    settle();
    EXPECT_EQ(view.string(), QStringLiteral("hello "));
    undo().undo();
    EXPECT_EQ(view.string(), QStringLiteral("hello world"));
}

TEST_F(InputMethodTest, TheCompositionIsLaidOutInItsLineWithoutTouchingTheDocument)
{
    EditorTextView& view = open(QStringLiteral("abcdef\nxyz"));
    LayoutManager& layout = *view.layoutManager();
    view.setSelectedRange({3, 0});
    settle();
    const std::uint64_t revision = document->revision();
    const qreal dBefore = view.insertionPointRect(4).left();
    const qreal xyzBefore = view.insertionPointRect(8).left();
    im.compose(&view, QStringLiteral("にほんご"));
    const qreal dAfter = view.insertionPointRect(4).left();
    EXPECT_GT(dAfter - dBefore, 3 * layout.averageCharacterWidth()) << "the rest of the line moves right";
    EXPECT_EQ(view.insertionPointRect(8).left(), xyzBefore) << "other lines stay";
    EXPECT_EQ(document->revision(), revision);
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_FALSE(undo().canUndo());
    // The caret inside the composition is where the input method puts its candidate window.
    const QRectF caret = view.markedCaretRect();
    EXPECT_NEAR(caret.left(), dAfter - layout.averageCharacterWidth(), layout.averageCharacterWidth());
    const QRect cursor = view.inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_NEAR(cursor.left(), view.viewToViewport(caret.topLeft()).x() + view.viewport()->x(), 1);

    // With wrapping, a long composition wraps with its line and the text after it follows.
    view.setWrapsLines(true);
    const int rows = layout.rowsOfParagraph(0);
    im.compose(&view, QString(200, QChar(0x3042)));
    layout.lineFragments(QRectF(0, 0, 1000, 2000));
    EXPECT_GT(layout.rowsOfParagraph(0), rows + 3);
    EXPECT_GT(view.insertionPointRect(4).top(), view.insertionPointRect(2).top()) << "d wrapped below";
    EXPECT_GT(view.insertionPointRect(8).top(), view.insertionPointRect(4).top());
    EXPECT_LE(view.markedCaretRect().right(), view.viewport()->width()) << "no run off the pane";
    im.compose(&view, QString());
    layout.lineFragments(QRectF(0, 0, 1000, 2000));
    EXPECT_EQ(layout.rowsOfParagraph(0), rows);
    EXPECT_EQ(view.insertionPointRect(4).left(), dBefore);
    EXPECT_EQ(document->revision(), revision);

    // On the empty last line (and in an empty document) the composition shows too.
    view.setSelectedRange({view.textLength(), 0});
    view.insertText(QStringLiteral("\n"));
    settle();
    const qsizetype end = view.textLength();
    im.compose(&view, QStringLiteral("あい"));
    EXPECT_GT(view.markedCaretRect().left(), view.insertionPointRect(end).left() + layout.averageCharacterWidth());
    EXPECT_EQ(view.markedCaretRect().top(), view.insertionPointRect(end).top());
}

TEST_F(InputMethodTest, ClausesAreDrawnWithTheInputMethodsFormats)
{
    EditorTextView& view = open(QStringLiteral("ab"));
    view.setSelectedRange({1, 0});
    settle();
    // Two clauses: the first underlined, the second (the one a conversion acts on) highlighted.
    QTextCharFormat underlined;
    underlined.setFontUnderline(true);
    QTextCharFormat active;
    active.setBackground(QColor(0, 0, 255));
    active.setForeground(Qt::white);
    const QList<QInputMethodEvent::Attribute> clauses{
        {QInputMethodEvent::TextFormat, 0, 2, underlined},
        {QInputMethodEvent::TextFormat, 2, 2, active},
        {QInputMethodEvent::Cursor, 2, 1, QVariant()}};
    im.compose(&view, QStringLiteral("日本語で"), clauses);
    const QImage image = view.viewport()->grab().toImage();
    const auto blueIn = [&](qsizetype from, qsizetype to) {
        LayoutManager& layout = *view.layoutManager();
        const QRectF a = layout.markedCaretRect(1, from).translated(view.textContainerOrigin());
        const QRectF b = layout.markedCaretRect(1, to).translated(view.textContainerOrigin());
        int blue = 0;
        for (int x = static_cast<int>(a.left()) + 1; x < static_cast<int>(b.left()) - 1; ++x) {
            const QColor c = image.pixelColor(view.viewToViewport(QPointF(x, a.center().y())).toPoint());
            if (c.blue() > 200 && c.red() < 60 && c.green() < 60) ++blue;
        }
        return blue;
    };
    EXPECT_GT(blueIn(2, 4), 5) << "the active clause is highlighted";
    EXPECT_EQ(blueIn(0, 2), 0);
    EXPECT_EQ(view.markedCaretRect().left(), view.layoutManager()->markedCaretRect(1, 2).left() + view.textContainerOrigin().x());
}

TEST_F(InputMethodTest, WithSeveralCaretsTheCompositionStandsAtEach)
{
    EditorTextView& view = open(QStringLiteral("ab\ncd\n"));
    view.setEditingSelections({{1, 0}, {4, 0}}, false);
    const qreal bBefore = view.insertionPointRect(1).left();
    const qreal dBefore = view.insertionPointRect(4).left();
    im.compose(&view, QStringLiteral("かな"));
    EXPECT_EQ(view.layoutManager()->markedLocations(), (std::vector<qsizetype>{1, 4}));
    EXPECT_GT(view.insertionPointRect(2).left(), bBefore + view.layoutManager()->averageCharacterWidth());
    EXPECT_GT(view.insertionPointRect(5).left(), dBefore + view.layoutManager()->averageCharacterWidth());
    im.accept(QStringLiteral("仮名"));
    settle();
    EXPECT_EQ(view.string(), QStringLiteral("a仮名b\nc仮名d\n"));
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{3, 0}, {8, 0}}));
    undo().undo();
    EXPECT_EQ(view.string(), QStringLiteral("ab\ncd\n"));

    // A click ends it at every caret before it moves them.
    view.setEditingSelections({{1, 0}, {4, 0}}, false);
    im.compose(&view, QStringLiteral("き"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at(view, 0));
    EXPECT_EQ(view.string(), QStringLiteral("aきb\ncきd\n"));
    EXPECT_EQ(view.normalizedSelectedRanges(), (Ranges{{0, 0}}));
}

}  // namespace
