#include "search/FolderWindowFixture.h"

#include "search/ui/FindPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

using namespace korimado;

using korimado::test::FolderWindowTest;

TEST_F(FolderWindowTest, OpensOncePerPanelSeededFromTheFileTreeAndThePanel)
{
    window = open(write("sub/doc.txt", "text\n"));
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->search().rootURL().has_value(); }, 3000));
    FindPanel* panel = window->search().panel();
    panel->findField->setText(QStringLiteral("甲(.)"));
    panel->replaceField->setText(QStringLiteral("乙$1"));
    panel->modePicker->setCurrentIndex(1);
    panel->matchCase->setChecked(false);
    panel->wholeWord->setChecked(true);  // not taken over

    FolderFindWindowController* folder = show(window);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->isVisible());
    EXPECT_EQ(folder->parentWidget(), window->window());
    EXPECT_EQ(folder->windowTitle(), QStringLiteral("フォルダ内検索"));
    EXPECT_EQ(folder->queue().label(), DispatchQueue::applicationLabel(QStringLiteral(".folder-search")));
    EXPECT_EQ(folder->rootField()->text(), *window->search().rootURL());
    EXPECT_EQ(folder->rootField()->text(), at("sub"));
    EXPECT_EQ(folder->findField()->text(), QStringLiteral("甲(.)"));
    EXPECT_EQ(folder->replaceField()->text(), QStringLiteral("乙$1"));
    EXPECT_EQ(folder->modePicker()->currentIndex(), 1);
    EXPECT_FALSE(folder->matchCaseBox()->isChecked());
    EXPECT_TRUE(folder->recursiveBox()->isChecked());
    EXPECT_FALSE(folder->hiddenBox()->isChecked());
    EXPECT_FALSE(folder->symlinksBox()->isChecked());
    EXPECT_FALSE(folder->currentRequest().options.wholeWord);
    EXPECT_EQ(folder->status(), FolderFindWindowController::initialStatus);
    for (QPushButton* b : {folder->previewButton(), folder->applyButton(), folder->rollbackButton()}) {
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
    }
    EXPECT_TRUE(folder->button(QStringLiteral("検索"))->isEnabled());
    EXPECT_TRUE(folder->button(QStringLiteral("中止"))->isEnabled());
    const QStringList titles{QStringLiteral("対象"), QStringLiteral("ファイル"), QStringLiteral("一致"),
                             QStringLiteral("一致内容または変更プレビュー")};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(folder->tableModel()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), titles[c]);
    }
    EXPECT_EQ(folder->table()->columnWidth(1), 290);
    EXPECT_EQ(folder->tableModel()->rowCount(), 0);

    // A second command shows the same window as it was left, whatever the panel says now.
    folder->rootField()->setText(QStringLiteral("/elsewhere"));
    panel->findField->setText(QStringLiteral("other"));
    folder->hide();
    EXPECT_EQ(show(window), folder);
    EXPECT_TRUE(folder->isVisible());
    EXPECT_EQ(folder->rootField()->text(), QStringLiteral("/elsewhere"));
    EXPECT_EQ(folder->findField()->text(), QStringLiteral("甲(.)"));

    // Closing only hides, and cancels.
    folder->close();
    EXPECT_FALSE(folder->isVisible());
    EXPECT_EQ(window->search().folderController(), folder);
    EXPECT_EQ(folder->status(), FolderFindWindowController::cancelledStatus);
}

TEST_F(FolderWindowTest, ReadsTheFixedRequestTheFolderAndTheExclusionsFromTheControls)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);

    EXPECT_TRUE(FolderFindWindowController::excludedGlobs(QString()).isEmpty());
    EXPECT_EQ(FolderFindWindowController::excludedGlobs(QStringLiteral(" .git/** ,, build/**,\t\n, *.png ")),
              (QStringList{QStringLiteral(".git/**"), QStringLiteral("build/**"), QStringLiteral("*.png")}));

    folder->findField()->setText(QStringLiteral("a.c"));
    folder->replaceField()->setText(QStringLiteral("b"));
    folder->modePicker()->setCurrentIndex(1);
    folder->matchCaseBox()->setChecked(true);
    SearchRequest request = folder->currentRequest();
    EXPECT_EQ(request.pattern, QStringLiteral("a.c"));
    EXPECT_EQ(request.replacement, QStringLiteral("b"));
    EXPECT_FALSE(request.scope);
    EXPECT_FALSE(request.lineEnding);
    const SearchOptions& o = request.options;
    EXPECT_EQ(o.mode, SearchMode::regularExpression);
    EXPECT_TRUE(o.caseSensitive && o.wraps && o.isMultiline && o.usesUnicodeBoundaries);
    EXPECT_FALSE(o.wholeWord || o.dotMatchesNewline || o.ignoresDiacriticMarks || o.ignoresWidth || o.isLiteralSearch
                 || o.unescapesReplacementString || o.preservedTextualOptionsRawValue || o.preservedRegexOptionsRawValue);
    folder->modePicker()->setCurrentIndex(0);
    EXPECT_EQ(folder->currentRequest().options.mode, SearchMode::text);

    folder->recursiveBox()->setChecked(false);
    folder->hiddenBox()->setChecked(true);
    folder->symlinksBox()->setChecked(true);
    folder->exclusions()->setText(QStringLiteral("*.log, tmp"));
    const FolderSearchOptions options = folder->currentOptions();
    EXPECT_FALSE(options.recursive);
    EXPECT_TRUE(options.includesHiddenFiles);
    EXPECT_TRUE(options.followsSymbolicLinks);
    EXPECT_EQ(options.excludedGlobs, (QStringList{QStringLiteral("*.log"), QStringLiteral("tmp")}));
    EXPECT_EQ(options.maximumFileBytes, 20'971'520);

    folder->rootField()->setText(QStringLiteral("~/notes/./a/../b"));
    EXPECT_EQ(folder->currentRootURL(), QDir::homePath() + QStringLiteral("/notes/b"));
    folder->rootField()->setText(QStringLiteral("~"));
    EXPECT_EQ(folder->currentRootURL(), QDir::homePath());
    folder->rootField()->setText(root + QStringLiteral("/sub/../"));
    EXPECT_EQ(folder->currentRootURL(), root);
    // Neither an empty nor a relative folder turns into the working folder.
    folder->rootField()->setText(QString());
    EXPECT_EQ(folder->currentRootURL(), QString());
    folder->rootField()->setText(QStringLiteral("project"));
    EXPECT_EQ(folder->currentRootURL(), QStringLiteral("project"));

    // The chooser asks for one folder and only fills the field.
    panels.enqueueOpen({true, {QStringLiteral("/chosen/folder")}, -1});
    folder->chooseRoot();
    ASSERT_EQ(panels.openPanels().size(), 1);
    EXPECT_TRUE(panels.openPanels()[0].canChooseDirectories);
    EXPECT_FALSE(panels.openPanels()[0].canChooseFiles);
    EXPECT_FALSE(panels.openPanels()[0].allowsMultipleSelection);
    EXPECT_EQ(folder->rootField()->text(), QStringLiteral("/chosen/folder"));
    EXPECT_FALSE(folder->isRunning());
    folder->chooseRoot();  // cancelled
    EXPECT_EQ(folder->rootField()->text(), QStringLiteral("/chosen/folder"));
}

TEST_F(FolderWindowTest, CancelAndLateResultsLeaveNoTrace)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha beta\n");
    write("b.txt", "beta\n");

    // Nothing running: the cancel text all the same.
    const std::uint64_t before = folder->generation();
    folder->cancel();
    EXPECT_EQ(folder->status(), FolderFindWindowController::cancelledStatus);
    EXPECT_EQ(folder->generation(), before + 1);

    // Two searches in a row: only the second is shown.
    folder->findField()->setText(QStringLiteral("alpha"));
    folder->searchFolder();
    EXPECT_EQ(folder->status(), QStringLiteral("フォルダを検索中…"));
    folder->findField()->setText(QStringLiteral("beta"));
    folder->searchFolder();
    ASSERT_TRUE(settle(folder));
    folder->queue().sync([] {});
    QTest::qWait(1);
    ASSERT_TRUE(folder->result());
    EXPECT_EQ(folder->resultRequest()->pattern, QStringLiteral("beta"));
    EXPECT_EQ(folder->result()->files.size(), 2);

    // A search cancelled before it reports changes nothing.
    folder->findField()->setText(QStringLiteral("alpha"));
    folder->searchFolder();
    folder->cancel();
    folder->queue().sync([] {});
    QTest::qWait(1);
    EXPECT_EQ(folder->status(), FolderFindWindowController::cancelledStatus);
    EXPECT_EQ(folder->resultRequest()->pattern, QStringLiteral("beta"));
    EXPECT_EQ(beeps, 0);
}

TEST_F(FolderWindowTest, SearchListsOneRowPerFileWithItsFirstHitAndTheSkippedEntries)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "one\n  two alpha\n");
    write("b/c.txt", "alpha alpha\n");
    write(".hidden", "alpha\n");

    ASSERT_TRUE(search(folder, QStringLiteral("alpha")));
    const QRegularExpression counts(QStringLiteral(
        "^3ファイルを確認し、2ファイルで3件一致しました（[0-9]+\\.[0-9]ミリ秒）。除外または読込不可: 1件$"));
    EXPECT_TRUE(counts.match(folder->status()).hasMatch()) << folder->status().toStdString();
    EXPECT_EQ(folder->statusLabel()->toolTip(), QStringLiteral(".hidden: 隠しファイル"));
    ASSERT_EQ(folder->tableModel()->rowCount(), 2);
    EXPECT_EQ(cell(folder, 0, 1), QStringLiteral("a.txt"));
    EXPECT_EQ(cell(folder, 0, 1, Qt::ToolTipRole), at("a.txt"));
    EXPECT_EQ(cell(folder, 0, 2), QStringLiteral("1"));
    EXPECT_EQ(cell(folder, 0, 3), QStringLiteral("2行7列:   two alpha"));
    EXPECT_EQ(cell(folder, 1, 1), QStringLiteral("b/c.txt"));
    EXPECT_EQ(cell(folder, 1, 2), QStringLiteral("2"));
    EXPECT_EQ(cell(folder, 1, 3), QStringLiteral("1行1列: alpha alpha"));
    EXPECT_EQ(cell(folder, 1, 3, Qt::ToolTipRole), QString());
    EXPECT_EQ(cell(folder, 1, 0, Qt::AccessibleTextRole), QStringLiteral("b/c.txtを置換対象にする"));
    EXPECT_TRUE(ticked(folder, 0) && ticked(folder, 1));
    EXPECT_TRUE(tickable(folder, 0) && tickable(folder, 1));
    EXPECT_EQ(folder->selectedURLs(), (QSet<QString>{at("a.txt"), at("b/c.txt")}));
    EXPECT_TRUE(folder->previewButton()->isEnabled());
    EXPECT_FALSE(folder->applyButton()->isEnabled());

    // Ticks in search mode switch the apply button, but applying still wants a preview.
    tick(folder, 0, false);
    EXPECT_FALSE(ticked(folder, 0));
    EXPECT_TRUE(folder->applyButton()->isEnabled());
    tick(folder, 1, false);
    EXPECT_FALSE(folder->applyButton()->isEnabled());
    tick(folder, 1, true);
    EXPECT_TRUE(folder->applyButton()->isEnabled());
    const QString shown = folder->status();
    folder->applyPreview();
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_EQ(folder->status(), shown);
    EXPECT_FALSE(folder->isRunning());

    // Failures keep the table as it was and beep.
    folder->modePicker()->setCurrentIndex(1);
    ASSERT_TRUE(search(folder, QStringLiteral("(")));
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(folder->status().contains(QStringLiteral("一致しました"))) << folder->status().toStdString();
    EXPECT_EQ(folder->tableModel()->rowCount(), 2);
    EXPECT_EQ(folder->resultRequest()->pattern, QStringLiteral("alpha"));
    folder->modePicker()->setCurrentIndex(0);
    folder->rootField()->setText(at("a.txt"));
    ASSERT_TRUE(search(folder, QStringLiteral("alpha")));
    EXPECT_EQ(folder->status(), QStringLiteral("検索するフォルダが見つかりません。"));
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(folder->tableModel()->rowCount(), 2);

    // Nothing found: an empty table, the counts all the same, and no preview.
    folder->rootField()->setText(root);
    folder->exclusions()->setText(QStringLiteral("b, doc.txt"));
    ASSERT_TRUE(search(folder, QStringLiteral("zzz")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^1ファイルを確認し、0ファイルで0件一致しました（.*除外または読込不可: 3件$"))
                    .match(folder->status())
                    .hasMatch())
        << folder->status().toStdString();
    EXPECT_EQ(folder->statusLabel()->toolTip(), QStringLiteral(".hidden: 隠しファイル\nb: 除外条件\ndoc.txt: 除外条件"));
    EXPECT_EQ(folder->tableModel()->rowCount(), 0);
    EXPECT_FALSE(folder->previewButton()->isEnabled());
    EXPECT_FALSE(folder->applyButton()->isEnabled());
    EXPECT_EQ(beeps, 2);
}


// Return in the search, folder and exclusion fields starts the search, as the 検索 button does;
// in the replacement field it does nothing to the files.
TEST_F(FolderWindowTest, ReturnInTheSearchFieldsStartsTheSearch)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha\n");
    folder->findField()->setText(QStringLiteral("alpha"));
    for (QLineEdit* field : {folder->findField(), folder->rootField()}) {
        const std::uint64_t before = folder->generation();
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_GT(folder->generation(), before);
        ASSERT_TRUE(settle(folder));
        ASSERT_TRUE(folder->result());
        EXPECT_EQ(folder->result()->files.size(), 1);
    }
    const std::uint64_t before = folder->generation();
    QTest::keyClick(folder->replaceField(), Qt::Key_Return);
    EXPECT_EQ(folder->generation(), before);
    EXPECT_FALSE(folder->isRunning());
}
