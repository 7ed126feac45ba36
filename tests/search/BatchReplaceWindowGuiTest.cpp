#include "search/ui/BatchReplaceWindowController.h"

#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "search/batch/BatchReplaceEngine.h"
#include "search/ui/SearchController.h"
#include "support/WindowFixture.h"
#include "support/TestSupport.h"
#include "window/EditorWindowController.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

using namespace korimado;

namespace {

class BatchWindowTest : public ::testing::Test {
protected:
    void SetUp() override { FilePanels::setShared(&panels); }
    void TearDown() override
    {
        window = nullptr;
        document.reset();
        FilePanels::setShared(nullptr);
        QDir(Bundle::applicationSupportPath(QStringLiteral("Replacements"))).removeRecursively();
    }
    void open(const QString& text)
    {
        document = test::readFileDocument(dir, QStringLiteral("文書.txt"), text.toUtf8());
        window = &test::openDocumentWindow(*document);
        window->window()->show();
        window->search().perform(QStringLiteral("showBatchReplace:"), nullptr);
        batch = window->search().batchController();
        ASSERT_TRUE(batch);
        batch->beep = [this] { ++beeps; };
    }
    QLineEdit* cell(int row, int column) { return qobject_cast<QLineEdit*>(batch->table()->cellWidget(row, column)); }
    // Types into a cell without confirming it.
    void typeInto(int row, int column, const QString& s)
    {
        QLineEdit* field = cell(row, column);
        ASSERT_TRUE(field);
        field->setFocus();
        field->insert(s);
        field->setModified(true);  // as typing leaves it
    }
    void addRule(const QString& find, const QString& replacement)
    {
        batch->addRule();
        const int row = batch->table()->selectionModel()->selectedRows().first().row();
        typeInto(row, 1, find);
        typeInto(row, 2, replacement);
    }
    void apply()
    {
        batch->applyRules();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !batch->isRunning(); }, 5000));
        QTest::qWait(1);
    }
    UndoManager& undo() { return *document->undoManager(); }
    // Rule files are read on a queue: waits for the result to reach the window.
    void settleRules() { EXPECT_TRUE(QTest::qWaitFor([this] { return !batch->isReadingRules(); }, 30000)); }

    test::TempDir dir;
    ScriptedFilePanels panels;
    std::unique_ptr<KoriDocument> document;
    EditorWindowController* window = nullptr;
    BatchReplaceWindowController* batch = nullptr;
    int beeps = 0;
};

}  // namespace

TEST_F(BatchWindowTest, RuleTableEditingAddsRemovesAndMoves)
{
    open(QStringLiteral("text"));
    EXPECT_TRUE(batch->isVisible());
    EXPECT_EQ(batch->windowTitle(), QStringLiteral("複数置換"));
    ASSERT_EQ(batch->rules().size(), 1);
    EXPECT_EQ(batch->table()->selectionModel()->selectedRows().first().row(), 0);

    // Removing the only rule leaves one fresh rule; with nothing selected nothing happens.
    const QUuid first = batch->rules()[0].id;
    batch->removeRule();
    ASSERT_EQ(batch->rules().size(), 1);
    EXPECT_NE(batch->rules()[0].id, first);
    batch->table()->clearSelection();
    batch->removeRule();
    EXPECT_EQ(batch->rules().size(), 1);

    // Adding with nothing selected goes to the top and starts editing its search text.
    batch->addRule();
    ASSERT_EQ(batch->rules().size(), 2);
    EXPECT_EQ(batch->focusWidget(), cell(0, 1));
    typeInto(0, 1, QStringLiteral("甲"));
    batch->addRule();  // ends the cell's editing first, then goes after row 0
    EXPECT_EQ(batch->rules()[0].find, QStringLiteral("甲"));
    typeInto(1, 1, QStringLiteral("乙"));
    batch->moveRuleUp();
    EXPECT_EQ(batch->rules()[0].find, QStringLiteral("乙"));
    EXPECT_EQ(batch->rules()[1].find, QStringLiteral("甲"));
    batch->moveRuleUp();  // the first row up: nothing
    EXPECT_EQ(batch->rules()[0].find, QStringLiteral("乙"));
    batch->table()->selectRow(2);
    batch->moveRuleDown();  // the last row down: nothing
    EXPECT_EQ(batch->rules().size(), 3);

    // The row controls write the rule they show.
    auto* enabled = qobject_cast<QCheckBox*>(batch->table()->cellWidget(1, 0));
    auto* ignoreCase = qobject_cast<QCheckBox*>(batch->table()->cellWidget(1, 4));
    auto* mode = qobject_cast<QComboBox*>(batch->table()->cellWidget(1, 3));
    ASSERT_TRUE(enabled && ignoreCase && mode);
    EXPECT_EQ(enabled->accessibleName(), QStringLiteral("ルール2を有効にする"));
    enabled->click();
    ignoreCase->click();
    EXPECT_FALSE(batch->rules()[1].enabled);
    EXPECT_FALSE(batch->rules()[1].options.caseSensitive);
    typeInto(1, 5, QStringLiteral("メモ"));
    Q_EMIT cell(1, 5)->editingFinished();
    EXPECT_EQ(batch->rules()[1].description, std::optional<QString>(QStringLiteral("メモ")));
}

TEST_F(BatchWindowTest, ApplyingThreeRulesIsOneUndoStep)
{
    open(QStringLiteral("りんご と みかん と ぶどう"));
    typeInto(0, 1, QStringLiteral("りんご"));
    typeInto(0, 2, QStringLiteral("林檎"));
    addRule(QStringLiteral("みかん"), QStringLiteral("蜜柑"));
    addRule(QStringLiteral("林檎"), QStringLiteral("🍎"));  // sees what the rules above made
    window->textView()->setSelectedRange({20, 0});
    apply();  // the last cell was never confirmed: applying ends its editing first
    EXPECT_EQ(window->textView()->string(), QStringLiteral("🍎 と 蜜柑 と ぶどう"));
    EXPECT_EQ(batch->status(), QStringLiteral("3件を3個のルールで置換しました。"));
    EXPECT_EQ(window->textView()->selectedRange(), TextRange(13, 0)) << "the old start, clamped to the new text";
    EXPECT_EQ(undo().undoActionName(), QStringLiteral("複数置換"));
    undo().undo();
    EXPECT_EQ(window->textView()->string(), QStringLiteral("りんご と みかん と ぶどう"));
    EXPECT_FALSE(undo().canUndo());

    // Nothing enabled: nothing found, nothing made.
    for (int row = 0; row < 3; ++row) qobject_cast<QCheckBox*>(batch->table()->cellWidget(row, 0))->click();
    apply();
    EXPECT_EQ(batch->status(), QStringLiteral("一致する文字列はありません。"));
    EXPECT_FALSE(undo().canUndo());

    // A read-only editor refuses without a beep.
    for (int row = 0; row < 3; ++row) qobject_cast<QCheckBox*>(batch->table()->cellWidget(row, 0))->click();
    window->textView()->setEditable(false);
    apply();
    EXPECT_EQ(batch->status(), QStringLiteral("この文書は編集できません。"));
    EXPECT_EQ(beeps, 0);
    window->textView()->setEditable(true);

    // Two applies in a row: the first is dropped, the second applies.
    batch->applyRules();
    apply();
    EXPECT_EQ(window->textView()->string(), QStringLiteral("🍎 と 蜜柑 と ぶどう"));
    EXPECT_EQ(batch->status(), QStringLiteral("3件を3個のルールで置換しました。"));
}

TEST_F(BatchWindowTest, ClosingWithACellBeingEditedIsSafe)
{
    for (int round = 0; round < 5; ++round) {
        open(QStringLiteral("x"));
        batch->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(batch));
        typeInto(0, 1, QStringLiteral("未確定"));
        ASSERT_EQ(QApplication::focusWidget(), cell(0, 1));
        // hiding the focused cell must not write into the dying window
        document->removeWindowController(std::exchange(window, nullptr));
        document.reset();
    }
}

TEST_F(BatchWindowTest, SavesAndLoadsEachFormatAndRefusesWhatItCannotWrite)
{
    open(QStringLiteral("x"));
    typeInto(0, 1, QStringLiteral("a"));
    typeInto(0, 2, QStringLiteral("b"));
    addRule(QStringLiteral("c"), QStringLiteral("d"));
    qobject_cast<QCheckBox*>(batch->table()->cellWidget(1, 0))->click();  // disabled rules are saved too

    const struct {
        const char* name;
        const char* label;
    } formats[] = {{"規則.cotrpl", ".cotrpl置換定義"}, {"規則.json", "Korimado JSON"}, {"規則.tsv", "TSV"}};
    for (const auto& f : formats) {
        if (QByteArray(f.name).endsWith("tsv")) {
            // Text lines cannot hold a disabled rule: enable it first.
            qobject_cast<QCheckBox*>(batch->table()->cellWidget(1, 0))->click();
        }
        const QString path = dir.file(QString::fromUtf8(f.name));
        panels.enqueueSave({true, path});
        batch->saveRules();
        EXPECT_EQ(batch->status(), QStringLiteral("2件のルールを") + QString::fromUtf8(f.label) + QStringLiteral("で保存しました。"))
            << batch->status().toStdString();
        panels.enqueueOpen({true, {path}, -1});
        batch->loadRules();
        settleRules();
        EXPECT_EQ(batch->status(), QStringLiteral("2件のルールを読み込みました。")) << f.name;
        ASSERT_EQ(batch->rules().size(), 2);
        EXPECT_EQ(batch->rules()[1].find, QStringLiteral("c"));
        EXPECT_EQ(batch->rules()[1].enabled, QByteArray(f.name).endsWith("tsv")) << "disabled rules are saved too";
    }
    EXPECT_EQ(panels.savePanels().first().nameFieldValue, QStringLiteral("複数置換.cotrpl"));
    EXPECT_TRUE(panels.savePanels().first().nameFilters.first().contains(QStringLiteral("*.cotrpl")));
    EXPECT_TRUE(panels.openPanels().first().nameFilters.first().contains(QStringLiteral("*.json")));

    // A regular-expression rule cannot go to TSV: refused with a beep, nothing written.
    qobject_cast<QComboBox*>(batch->table()->cellWidget(0, 3))->setCurrentIndex(1);
    Q_EMIT qobject_cast<QComboBox*>(batch->table()->cellWidget(0, 3))->activated(1);
    panels.enqueueSave({true, dir.file(QStringLiteral("lossy.tsv"))});
    batch->saveRules();
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("lossy.tsv"))));

    // An unreadable file keeps the rules; an empty one leaves one fresh rule.
    const QList<BatchReplaceRule> before = batch->rules();
    panels.enqueueOpen({true, {dir.write(QStringLiteral("bad.json"), "{")}, -1});
    batch->loadRules();
    settleRules();
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(batch->rules(), before);
    panels.enqueueOpen({true, {dir.write(QStringLiteral("empty.tsv"), "")}, -1});
    batch->loadRules();
    settleRules();
    EXPECT_EQ(batch->status(), QStringLiteral("1件のルールを読み込みました。"));
    EXPECT_EQ(batch->rules().size(), 1);
    panels.enqueueOpen({});
    batch->loadRules();  // cancelled: nothing
    EXPECT_EQ(batch->rules().size(), 1);
}

TEST_F(BatchWindowTest, TheLibraryListsDefinitionsAndChecksAChoiceBeforeUsingIt)
{
    const QString library = Bundle::applicationSupportDirectory(QStringLiteral("Replacements"));
    ASSERT_FALSE(library.isEmpty());
    open(QStringLiteral("x"));
    EXPECT_FALSE(batch->savedRulePicker()->isEnabled());
    EXPECT_EQ(batch->savedRulePicker()->itemText(0), QStringLiteral("保存済みルールはありません"));

    auto rule = [](const QString& find) {
        BatchReplaceRule r = BatchReplaceWindowController::freshRule();
        r.find = find;
        return r;
    };
    BatchReplaceDocument good;
    good.rules = {rule(QStringLiteral("a")), rule(QStringLiteral("b"))};
    BatchReplaceEngine::save(good, library + QStringLiteral("/良い10.cotrpl"));
    BatchReplaceDocument bad;
    bad.rules = {rule(QStringLiteral("a")), rule(QStringLiteral("b")), rule(QString())};
    BatchReplaceEngine::save(bad, library + QStringLiteral("/悪い2.cotrpl"));

    batch->showWindow();
    QComboBox* picker = batch->savedRulePicker();
    ASSERT_EQ(picker->count(), 3);
    EXPECT_TRUE(picker->isEnabled());
    EXPECT_EQ(picker->itemText(0), QStringLiteral("保存済みルールを選択…"));
    EXPECT_EQ(picker->itemText(1), QStringLiteral("悪い2"));
    EXPECT_EQ(picker->itemText(2), QStringLiteral("良い10"));

    const QList<BatchReplaceRule> before = batch->rules();
    picker->setCurrentIndex(1);
    batch->selectSavedRule(1);
    settleRules();
    EXPECT_EQ(batch->status(), QStringLiteral("保存済みルールの条件3は検索文字列が空です。"));
    EXPECT_EQ(picker->currentIndex(), 0);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(batch->rules(), before);

    const std::uint64_t revision = document->revision();
    picker->setCurrentIndex(2);
    batch->selectSavedRule(2);
    settleRules();
    EXPECT_EQ(batch->status(), QStringLiteral("保存済みルール「良い10」を読み込みました。文書にはまだ適用していません。"));
    ASSERT_EQ(batch->rules().size(), 2);
    EXPECT_EQ(document->revision(), revision) << "nothing reaches the document until applied";
}

TEST_F(BatchWindowTest, ApplyingFlattensTheTextOnItsQueueNeverOnTheMainThread)
{
    QString body;
    for (int i = 0; i < 20'000; ++i) body += QStringLiteral("行%1 りんご\n").arg(i);
    open(body);
    window->textView()->insertText(QStringLiteral("x"));  // the text as read is no longer current
    const std::uint64_t flattenings = document->storage().flattenings();
    typeInto(0, 1, QStringLiteral("りんご"));
    typeInto(0, 2, QStringLiteral("林檎"));
    apply();
    EXPECT_EQ(batch->status(), QStringLiteral("20000件を1個のルールで置換しました。"));
    EXPECT_EQ(document->storage().flattenings(), flattenings);
}

TEST_F(BatchWindowTest, RuleFilesAreReadOffTheMainThreadAndRefusedAboveTheDocumentLimit)
{
    open(QStringLiteral("x"));
    const QList<BatchReplaceRule> before = batch->rules();

    // Sparse: no disk space is used, and reading it whole would take 64 MiB and seconds.
    const QString huge = dir.file(QStringLiteral("huge.tsv"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(BatchReplaceEngine::maximumFileSize + 1));
    }
    panels.enqueueOpen({true, {huge}, -1});
    batch->loadRules();
    settleRules();
    EXPECT_EQ(batch->status(), QStringLiteral("この版で開けるファイルは64 MiBまでです。"));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(batch->rules(), before);

    // A file of many rules: the window goes on answering while it is read, then shows them all.
    QByteArray lines;
    for (int i = 0; i < 200; ++i) lines += "find" + QByteArray::number(i) + "\treplace\n";
    panels.enqueueOpen({true, {dir.write(QStringLiteral("many.tsv"), lines)}, -1});
    batch->loadRules();
    EXPECT_TRUE(batch->isReadingRules());
    EXPECT_EQ(batch->rules(), before) << "nothing read on the main thread";
    settleRules();
    EXPECT_EQ(batch->rules().size(), 200);
    EXPECT_EQ(batch->status(), QStringLiteral("200件のルールを読み込みました。"));

    // Two reads in a row: the later one wins, whatever order they finish in.
    panels.enqueueOpen({true, {dir.write(QStringLiteral("one.tsv"), "a\tb\n")}, -1});
    panels.enqueueOpen({true, {dir.write(QStringLiteral("two.tsv"), "c\td\ne\tf\n")}, -1});
    batch->loadRules();
    batch->loadRules();
    settleRules();
    QTest::qWait(20);
    ASSERT_EQ(batch->rules().size(), 2);
    EXPECT_EQ(batch->rules()[0].find, QStringLiteral("c"));
}
