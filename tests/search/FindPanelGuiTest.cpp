#include "search/ui/FindPanel.h"
#include "search/ui/SearchController.h"

#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/LayoutManager.h"
#include "search/ui/SearchResultsModel.h"
#include "support/WindowFixture.h"
#include "support/TestSupport.h"
#include "window/EditorWindowController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

using namespace korimado;

namespace {

// A file document with a window it knows, so that edits take the real road (approval, undo,
// revision, the document's notice to its window).
class FindPanelTest : public ::testing::Test {
protected:
    void open(const QString& text)
    {
        document = test::readFileDocument(dir, QStringLiteral("文書.txt"), text.toUtf8());
        window = &test::openDocumentWindow(*document);
        window->window()->show();
        window->window()->resize(900, 600);
        search().beep = [this] { ++beeps; };
    }
    void TearDown() override
    {
        window = nullptr;
        document.reset();
    }

    SearchController& search() { return window->search(); }
    EditorTextView& editor() { return *window->textView(); }
    FindPanel& panel() { return *search().panel(); }
    UndoManager& undo() { return *document->undoManager(); }
    QString text() { return editor().string(); }

    void run(const char* action)
    {
        search().perform(QString::fromLatin1(action), nullptr);
        settle();
    }
    // Waits for the operation in flight and whatever it queued on the main thread.
    void settle()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !search().isRunning(); }, 5000));
        QTest::qWait(1);
    }
    void find(const QString& pattern)
    {
        panel().findField->setText(pattern);
        search().criteriaChanged(panel().findField);
    }
    void type(TextRange at, const QString& s)
    {
        editor().setSelectedRange(at);
        editor().insertText(s);
        undo().closeAutomaticGroup();
    }

    test::TempDir dir;
    std::unique_ptr<KoriDocument> document;
    EditorWindowController* window = nullptr;
    int beeps = 0;
};

}  // namespace

TEST_F(FindPanelTest, ShowFindPrefillsFromASelectionAndTheLiveSearchShowsTheCount)
{
    open(QStringLiteral("猫と犬と猫\n猫"));
    editor().setSelectedRange({0, 1});
    run("showFind:");
    EXPECT_TRUE(panel().isVisible());
    EXPECT_EQ(panel().parentWidget(), window->window()) << "a tool window of the editor's window";
    EXPECT_TRUE(panel().windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(panel().findField->text(), QStringLiteral("猫"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return search().status().endsWith(QStringLiteral("ミリ秒）")); }, 20000));
    EXPECT_TRUE(search().status().startsWith(QStringLiteral("3件（"))) << search().status().toStdString();
    EXPECT_EQ(search().resultsModel()->rowCount(), 3);
    EXPECT_EQ(search().resultsModel()->index(2, 1).data().toString(), QStringLiteral("6–7"));

    // A field with text keeps it; a selection with a line break is not taken, except by "use selection".
    editor().setSelectedRange({4, 3});
    run("showFind:");
    EXPECT_EQ(panel().findField->text(), QStringLiteral("猫"));
    panel().findField->clear();
    run("showFind:");
    EXPECT_TRUE(panel().findField->text().isEmpty());
    run("useSelectionForFind:");
    EXPECT_EQ(panel().findField->text(), QStringLiteral("猫\n猫"));
    editor().setSelectedRange({1, 0});
    panel().replaceField->setText(QStringLiteral("x"));
    run("useSelectionForReplace:");
    EXPECT_TRUE(panel().replaceField->text().isEmpty()) << "an empty selection empties the replace field";

    // Several quick changes make one search, 0.12 s after the last.
    find(QStringLiteral("犬"));
    find(QStringLiteral("猫"));
    EXPECT_FALSE(search().isRunning()) << "nothing starts before the pause";
    EXPECT_TRUE(QTest::qWaitFor([this] { return search().status().startsWith(QStringLiteral("3件（")); }, 20000));
}

TEST_F(FindPanelTest, NextAndPreviousReportPositionsAndWrapping)
{
    open(QStringLiteral("ab ab ab"));
    run("showFind:");
    find(QStringLiteral("ab"));
    editor().setSelectedRange({0, 0});
    run("findNext:");
    EXPECT_EQ(editor().selectedRange(), TextRange(0, 2));
    EXPECT_EQ(search().status(), QStringLiteral("1/3件"));
    run("findNext:");
    run("findNext:");
    EXPECT_EQ(search().status(), QStringLiteral("3/3件"));
    run("findNext:");
    EXPECT_EQ(editor().selectedRange(), TextRange(0, 2));
    EXPECT_EQ(search().status(), QStringLiteral("1/3件、折り返し"));
    run("findPrevious:");
    EXPECT_EQ(editor().selectedRange(), TextRange(6, 2));
    EXPECT_EQ(search().status(), QStringLiteral("3/3件、折り返し"));

    panel().wraps->setChecked(false);
    run("findNext:");
    EXPECT_EQ(search().status(), SearchController::noMatchMessage);
    EXPECT_EQ(editor().selectedRange(), TextRange(6, 2)) << "nothing moves without wrapping";

    panel().modePicker->setCurrentIndex(1);
    EXPECT_FALSE(panel().literalComparison->isEnabled());
    EXPECT_TRUE(panel().multiline->isEnabled());
    EXPECT_TRUE(panel().multiline->isChecked()) << "switching modes keeps the states";
    find(QStringLiteral("(ab"));
    run("findNext:");
    EXPECT_TRUE(search().status().contains(QStringLiteral("正規表現"))) << search().status().toStdString();
    EXPECT_EQ(beeps, 1);
}

TEST_F(FindPanelTest, ReplaceThenReplaceAllAreNamedStepsThatUndoWhole)
{
    open(QStringLiteral("一と一と一と一"));
    run("showFind:");
    find(QStringLiteral("一"));
    panel().replaceField->setText(QStringLiteral("二二"));
    editor().setSelectedRange({1, 0});
    run("replace:");
    EXPECT_EQ(search().status(), QStringLiteral("置換する一致箇所を選択しました。もう一度実行してください。"));
    EXPECT_EQ(editor().selectedRange(), TextRange(2, 1));
    EXPECT_FALSE(undo().canUndo()) << "nothing replaced yet";

    run("replaceAndFind:");
    settle();
    EXPECT_EQ(text(), QStringLiteral("一と二二と一と一"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("置換"));
    EXPECT_EQ(editor().selectedRange(), TextRange(5, 1)) << "then the following match";
    EXPECT_EQ(search().status(), QStringLiteral("2/3件"));

    run("replaceAll:");
    EXPECT_EQ(text(), QStringLiteral("二二と二二と二二と二二"));
    EXPECT_EQ(search().status(), QStringLiteral("3件を置換しました。"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("すべて置換"));
    undo().undo();
    EXPECT_EQ(text(), QStringLiteral("一と二二と一と一")) << "one undo takes back the whole replace-all";

    // Replacing every match by itself changes nothing and says so.
    panel().replaceField->setText(QStringLiteral("一"));
    const std::uint64_t revision = document->revision();
    run("replaceAll:");
    EXPECT_EQ(search().status(), QStringLiteral("3件が一致しました。本文は変わりません。"));
    EXPECT_EQ(document->revision(), revision);
}

TEST_F(FindPanelTest, AResultComputedBeforeAnEditIsDropped)
{
    open(QStringLiteral("abc abc"));
    run("showFind:");
    find(QStringLiteral("abc"));
    run("findAll:");
    ASSERT_EQ(search().resultsModel()->rowCount(), 2);

    // Hold the queue so that the edit lands while the search is in flight.
    std::atomic<bool> release{false};
    search().queue().async([&release] {
        while (!release.load()) QThread::msleep(1);
    });
    search().perform(QStringLiteral("findNext:"), nullptr);
    type({0, 0}, QStringLiteral("x"));
    release = true;
    settle();
    EXPECT_EQ(search().status(), SearchController::staleMessage);
    EXPECT_EQ(editor().selectedRange(), TextRange(1, 0)) << "nothing selected from the old text";

    // Rows of the old text lead nowhere.
    panel().table->setCurrentIndex(search().resultsModel()->index(1, 0));
    EXPECT_EQ(editor().selectedRange(), TextRange(1, 0));
}

TEST_F(FindPanelTest, TheSelectionScopeFollowsTypingBeforeInsideAndAfterIt)
{
    open(QStringLiteral("a a [a a] a"));
    run("showFind:");
    find(QStringLiteral("a"));
    panel().replaceField->setText(QStringLiteral("b"));
    editor().setSelectedRange({4, 5});
    panel().selectionOnly->click();
    ASSERT_EQ(search().selectionScope(), TextRange(4, 5));

    type({0, 0}, QStringLiteral("xx"));   // before: the scope moves with its text
    type({9, 0}, QStringLiteral("a"));    // inside: it grows
    type({14, 0}, QStringLiteral("a"));   // after: it stays
    EXPECT_EQ(text(), QStringLiteral("xxa a [a aa] aa"));
    EXPECT_EQ(search().selectionScope(), TextRange(6, 6));
    editor().setSelectedRange({0, 0});
    run("replaceAll:");
    EXPECT_EQ(text(), QStringLiteral("xxa a [b bb] aa")) << "only what the user chose";
    EXPECT_EQ(search().selectionScope(), TextRange(6, 6));

    // An edit across its edge leaves no scope to trust.
    type({5, 2}, QString());
    EXPECT_FALSE(search().selectionScope());
    EXPECT_EQ(search().status(), SearchController::scopeDroppedMessage);
}

namespace {
struct Refuser : TextViewDelegate {
    bool textViewShouldChangeText(TextView&, const QVector<TextRange>&, const QStringList&) override { return false; }
};
}  // namespace

TEST_F(FindPanelTest, ARefusedOrReadOnlyEditIsNeverReportedAsDone)
{
    open(QStringLiteral("one one"));
    run("showFind:");
    find(QStringLiteral("one"));
    panel().replaceField->setText(QStringLiteral("two"));

    editor().setEditable(false);
    run("replaceAll:");
    EXPECT_EQ(search().status(), SearchController::notEditableMessage);
    EXPECT_EQ(text(), QStringLiteral("one one"));
    editor().setEditable(true);

    TextViewDelegate* owner = editor().delegate();
    Refuser refuser;
    editor().setDelegate(&refuser);
    editor().setUndoManager(document->undoManager());
    run("replaceAll:");
    EXPECT_EQ(search().status(), SearchController::refusedMessage);
    editor().setSelectedRange({0, 3});
    run("replace:");
    EXPECT_EQ(search().status(), SearchController::refusedMessage);
    editor().setDelegate(owner);
    EXPECT_EQ(text(), QStringLiteral("one one"));
    EXPECT_FALSE(undo().canUndo()) << "no empty step named after a refused edit";
}

TEST_F(FindPanelTest, HighlightsAreALayerOfTheirOwn)
{
    open(QStringLiteral("xa xa"));
    LayoutManager& layout = *editor().layoutManager();
    static const char otherOwner = 0;
    TemporaryAttributes colour;
    colour.background = QColor(Qt::blue);
    layout.addTemporaryAttributes(&otherOwner, colour, TextRange(0, 5));

    run("showFind:");
    find(QStringLiteral("a"));
    QTest::mouseClick(panel().button(QStringLiteral("highlightAll:")), Qt::LeftButton);
    settle();
    EXPECT_EQ(search().status(), QStringLiteral("2件を強調表示しました。")) << "the button sends its action";
    int runs = 0;
    layout.enumerateTemporaryAttributes(SearchController::highlightOwner(), {0, 5},
                                        [&](TextRange, const TemporaryAttributes& a) {
                                            ++runs;
                                            EXPECT_EQ(a.background, SearchController::highlightColor());
                                        });
    EXPECT_EQ(runs, 2);
    const std::uint64_t revision = document->revision();
    run("clearHighlights:");
    EXPECT_EQ(search().status(), QStringLiteral("検索の強調表示を解除しました。"));
    runs = 0;
    layout.enumerateTemporaryAttributes(SearchController::highlightOwner(), {0, 5}, [&](TextRange, const TemporaryAttributes&) { ++runs; });
    EXPECT_EQ(runs, 0);
    int others = 0;
    layout.enumerateTemporaryAttributes(&otherOwner, {0, 5}, [&](TextRange, const TemporaryAttributes&) { ++others; });
    EXPECT_EQ(others, 1) << "other owners' colours stay";
    EXPECT_EQ(document->revision(), revision);
    EXPECT_FALSE(undo().canUndo());

    // A pattern of empty matches counts them and colours nothing.
    panel().modePicker->setCurrentIndex(1);
    find(QStringLiteral("q*"));
    run("highlightAll:");
    EXPECT_EQ(search().status(), QStringLiteral("6件を強調表示しました。"));
    runs = 0;
    layout.enumerateTemporaryAttributes(SearchController::highlightOwner(), {0, 5}, [&](TextRange, const TemporaryAttributes&) { ++runs; });
    EXPECT_EQ(runs, 0);
}

TEST_F(FindPanelTest, TheSplitEditorHasItsOwnPanelAndReplacesInTheSharedText)
{
    open(QStringLiteral("左 右 左"));
    window->openSplitTextView();
    EditorTextView* second = window->secondaryEditor();
    ASSERT_TRUE(second);
    window->makeFirstResponder(second);
    SearchController& split = window->search();
    ASSERT_EQ(&split, window->secondarySearch());
    split.beep = [] {};
    split.perform(QStringLiteral("showFind:"), nullptr);
    split.panel()->findField->setText(QStringLiteral("左"));
    split.panel()->replaceField->setText(QStringLiteral("上"));
    split.perform(QStringLiteral("highlightAll:"), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !split.isRunning(); }, 3000));
    int runs = 0;
    second->layoutManager()->enumerateTemporaryAttributes(SearchController::highlightOwner(), {0, 5}, [&](TextRange, const TemporaryAttributes&) { ++runs; });
    EXPECT_EQ(runs, 2);
    runs = 0;
    editor().layoutManager()->enumerateTemporaryAttributes(SearchController::highlightOwner(), {0, 5}, [&](TextRange, const TemporaryAttributes&) { ++runs; });
    EXPECT_EQ(runs, 0) << "the primary editor is not coloured";

    split.perform(QStringLiteral("replaceAll:"), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !split.isRunning(); }, 3000));
    EXPECT_EQ(split.status(), QStringLiteral("2件を置換しました。"));
    EXPECT_EQ(editor().string(), QStringLiteral("上 右 上"));
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("すべて置換"));
    undo().undo();
    EXPECT_EQ(second->string(), QStringLiteral("左 右 左"));
}

TEST_F(FindPanelTest, ReplaceAllWithTheSplitOpenKeepsTheOtherCaretAndTheColoursBetweenMatches)
{
    open(QStringLiteral("aaa bbb ccc ddd eee aaa"));
    window->openSplitTextView();
    EditorTextView* second = window->secondaryEditor();
    ASSERT_TRUE(second);
    second->setSelectedRange({11, 0});
    static const char tag = 0;
    TemporaryAttributes red;
    red.foreground = Qt::red;
    TemporaryAttributes blue;
    blue.foreground = Qt::blue;
    second->layoutManager()->addTemporaryAttributes(&tag, {{TextRange(4, 3), red}, {TextRange(12, 3), blue}});
    window->makeFirstResponder(&editor());

    run("showFind:");
    find(QStringLiteral("aaa"));
    panel().replaceField->setText(QStringLiteral("X"));
    run("replaceAll:");
    ASSERT_EQ(text(), QStringLiteral("X bbb ccc ddd eee X"));
    EXPECT_EQ(second->selectedRange(), TextRange(9, 0)) << "the caret stays before “ccc”";
    std::vector<std::pair<TextRange, QColor>> runs;
    second->layoutManager()->enumerateTemporaryAttributes(
        &tag, TextRange(0, second->textLength()),
        [&](TextRange range, const TemporaryAttributes& attributes) { runs.push_back({range, *attributes.foreground}); });
    EXPECT_EQ(runs, (std::vector<std::pair<TextRange, QColor>>{{TextRange(2, 3), Qt::red}, {TextRange(10, 3), Qt::blue}}))
        << "the colour runs between the matches keep their text";

    undo().undo();
    EXPECT_EQ(text(), QStringLiteral("aaa bbb ccc ddd eee aaa"));
    EXPECT_EQ(second->selectedRange(), TextRange(11, 0));
    second->insertText(QStringLiteral("!"));
    EXPECT_EQ(text(), QStringLiteral("aaa bbb ccc! ddd eee aaa")) << "typing in the other editor goes where its caret is";
}

TEST(FindPanelMemory, AReplaceAllOfAHundredThousandMatchesKeepsItsPiecesNotTheText)
{
    // 64 MiB of UTF-16 with 100,000 matches.
    constexpr qsizetype units = 32 * 1024 * 1024;
    constexpr qsizetype matches = 100'000;
    QString text(units, QLatin1Char('.'));
    const qsizetype spacing = units / matches;
    for (qsizetype i = 0; i < matches; ++i) {
        text.replace(i * spacing, 6, QStringLiteral("needle"));
        text[i * spacing + spacing - 1] = QLatin1Char('\n');
    }
    KoriDocument document;
    document.storage().setString(text);
    EditorTextView editor(document.sharedStorage());
    editor.setUndoManager(document.undoManager());
    SearchController search(&editor, &document, {});
    search.perform(QStringLiteral("showFind:"), nullptr);
    search.panel()->findField->setText(QStringLiteral("needle"));
    search.panel()->replaceField->setText(QStringLiteral("pin"));
    search.perform(QStringLiteral("replaceAll:"), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return search.status().endsWith(QStringLiteral("件を置換しました。")); }, 60000))
        << search.status().toStdString();
    EXPECT_EQ(search.status(), QStringLiteral("100000件を置換しました。"));
    EXPECT_EQ(document.storage().length(), units - 3 * matches);
    EXPECT_EQ(document.storage().history().lastStepPieces(), matches);
    EXPECT_EQ(document.storage().history().lastStepUnits(), matches * 9) << "the step holds the edits, not the text";
    document.undoManager()->undo();
    EXPECT_TRUE(document.storage().string() == text);
}
