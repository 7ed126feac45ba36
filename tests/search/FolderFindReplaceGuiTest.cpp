#include "search/FolderWindowFixture.h"

#include <QLabel>
#include <QPushButton>

using namespace korimado;
using korimado::test::FolderWindowTest;

TEST_F(FolderWindowTest, PreviewNeedsTheSearchedRequestAndBlocksOpenDocuments)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha\r\nalpha\r\n");
    write("b.txt", "x alpha\n");

    // Without a search nothing happens.
    folder->makePreview();
    EXPECT_EQ(folder->status(), FolderFindWindowController::initialStatus);

    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    folder->replaceField()->setText(QStringLiteral("gamma"));
    folder->makePreview();
    EXPECT_EQ(folder->status(), FolderFindWindowController::requestChangedStatus);
    EXPECT_FALSE(folder->previewButton()->isEnabled());
    EXPECT_FALSE(folder->applyButton()->isEnabled());
    EXPECT_FALSE(folder->isRunning());
    EXPECT_FALSE(folder->preview());

    // Folder options are not part of the comparison.
    folder->replaceField()->setText(QStringLiteral("beta"));
    folder->exclusions()->setText(QStringLiteral("*.md"));
    tick(folder, 0, false);
    folder->makePreview();
    EXPECT_EQ(folder->status(), QStringLiteral("置換結果を作成中…"));
    ASSERT_TRUE(settle(folder));
    ASSERT_TRUE(folder->preview());
    EXPECT_EQ(folder->status(), QStringLiteral("2ファイル、3件の変更をプレビューしています。対象のチェックを外せます。"));
    // Ticks made in search mode are not carried over.
    EXPECT_TRUE(ticked(folder, 0) && ticked(folder, 1));
    EXPECT_TRUE(folder->applyButton()->isEnabled());
    EXPECT_EQ(cell(folder, 0, 2), QStringLiteral("2"));
    EXPECT_EQ(cell(folder, 0, 3), QStringLiteral("alpha ↵ alpha ↵   →  beta ↵ beta ↵ "));
    EXPECT_EQ(cell(folder, 0, 3, Qt::ToolTipRole), QStringLiteral("変更前:\nalpha\nalpha\n\n\n変更後:\nbeta\nbeta\n"));
    EXPECT_EQ(cell(folder, 1, 2), QStringLiteral("1"));
    tick(folder, 0, false);
    tick(folder, 1, false);
    EXPECT_FALSE(folder->applyButton()->isEnabled());
    folder->applyPreview();
    EXPECT_EQ(folder->status(), FolderFindWindowController::nothingSelectedStatus);
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_EQ(beeps, 0);
}

TEST_F(FolderWindowTest, EveryPreviewedFileOpenLeavesNothingToApply)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    QStringList names;
    for (int i = 1; i <= 6; ++i) {
        names.append(QStringLiteral("f%1.txt").arg(i));
        ASSERT_TRUE(open(write(names.last(), "alpha\n")));
    }
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    EXPECT_TRUE(ticked(folder, 5));
    folder->makePreview();
    ASSERT_TRUE(settle(folder));
    EXPECT_EQ(folder->status(), QStringLiteral("開いている文書6件は対象外です。閉じて再検索すると対象にできます: "
                                               "f1.txt、f2.txt、f3.txt、f4.txt"));
    EXPECT_EQ(folder->statusLabel()->toolTip(), names.join(u'\n'));
    EXPECT_TRUE(folder->selectedURLs().isEmpty());
    EXPECT_EQ(folder->blockedOpenURLs().size(), 6);
    EXPECT_FALSE(folder->applyButton()->isEnabled());
    EXPECT_FALSE(ticked(folder, 2));
    EXPECT_FALSE(tickable(folder, 2));
    EXPECT_EQ(cell(folder, 2, 0, Qt::ToolTipRole), FolderFindResultsModel::blockedToolTip);
    EXPECT_TRUE(cell(folder, 2, 3).startsWith(QStringLiteral("開いているため対象外  alpha")));
    tick(folder, 2, true);  // forced off
    EXPECT_FALSE(ticked(folder, 2));
    EXPECT_TRUE(folder->selectedURLs().isEmpty());
    EXPECT_FALSE(folder->applyButton()->isEnabled());

    // A new search selects every file again, but boxes of files still blocked stay off and disabled.
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    EXPECT_FALSE(folder->preview());
    EXPECT_EQ(folder->selectedURLs().size(), 6);
    EXPECT_FALSE(ticked(folder, 0));
    EXPECT_FALSE(tickable(folder, 0));
    EXPECT_FALSE(cell(folder, 0, 3).startsWith(QStringLiteral("開いている")));
}

TEST_F(FolderWindowTest, ApplyConfirmsTakesTheSetsAtConfirmationAndRollbackRestores)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha alpha\n");
    write("b.txt", "alpha\n");
    write("c.txt", "alpha\n");
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    folder->makePreview();
    ASSERT_TRUE(settle(folder));
    tick(folder, 2, false);

    // The question counts the ticked files only; a refusal does nothing.
    alerts.enqueueAnswer(1);
    folder->applyPreview();
    ASSERT_EQ(alerts.shown().size(), 1);
    const Alert asked = alerts.shown()[0];
    EXPECT_EQ(asked.messageText, QStringLiteral("2ファイルの3件を置換しますか？"));
    EXPECT_EQ(asked.informativeText,
              QStringLiteral("適用前に全ファイルの変更日時と内容を再確認します。バックアップを検索フォルダ内の .korimado-backups "
                             "に保存します。開いている文書は置換しません。"));
    EXPECT_EQ(asked.buttons, (QStringList{QStringLiteral("置換する"), QStringLiteral("キャンセル")}));
    EXPECT_EQ(asked.style, Alert::Style::warning);
    EXPECT_FALSE(folder->isRunning());
    EXPECT_EQ(test::readFile(at("a.txt")), "alpha alpha\n");

    // A document opened while the question is up is handed over as open, and the engine refuses.
    alerts.whileShown = [this] { ASSERT_TRUE(open(at("b.txt"))); };
    folder->applyPreview();
    EXPECT_EQ(folder->status(), QStringLiteral("安全確認後に置換中…"));
    ASSERT_TRUE(settle(folder));
    EXPECT_EQ(folder->status(), QStringLiteral("置換前の安全確認に失敗しました。\n開いている文書: b.txt"));
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(folder->receipt());
    EXPECT_TRUE(folder->applyButton()->isEnabled());
    EXPECT_FALSE(folder->rollbackButton()->isEnabled());
    EXPECT_EQ(test::readFile(at("a.txt")), "alpha alpha\n");
    controller.documentForURL(at("b.txt"))->close();

    // The selection as it stands at the answer: b.txt unticked while the question is up.
    alerts.whileShown = [folder] { tick(folder, 1, false); };
    folder->applyPreview();
    ASSERT_TRUE(settle(folder));
    ASSERT_TRUE(folder->receipt());
    const FolderReplaceReceipt receipt = *folder->receipt();
    EXPECT_EQ(receipt.entries.size(), 1);
    EXPECT_EQ(folder->status(), QStringLiteral("1ファイル、2件を置換しました。バックアップ: ") + receipt.backupURL);
    EXPECT_TRUE(receipt.backupURL.startsWith(root + QStringLiteral("/.korimado-backups/")));
    EXPECT_EQ(test::readFile(at("a.txt")), "beta beta\n");
    EXPECT_EQ(test::readFile(at("b.txt")), "alpha\n");
    EXPECT_EQ(test::readFile(receipt.backupURL + QStringLiteral("/a.txt")), "alpha alpha\n");
    EXPECT_FALSE(folder->applyButton()->isEnabled());
    EXPECT_TRUE(folder->rollbackButton()->isEnabled());
    EXPECT_TRUE(folder->preview());  // the preview stays
    EXPECT_TRUE(folder->previewButton()->isEnabled());

    // The receipt outlives a new search.
    ASSERT_TRUE(search(folder, QStringLiteral("beta"), QStringLiteral("alpha")));
    EXPECT_TRUE(folder->rollbackButton()->isEnabled());
    EXPECT_TRUE(folder->receipt());

    alerts.clear();
    alerts.enqueueAnswer(1);
    folder->rollback();
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("直前のフォルダ置換を元に戻しますか？"));
    EXPECT_EQ(alerts.shown()[0].informativeText, QStringLiteral("置換後に変更されたファイルは上書きせず、復元を拒否します。"));
    EXPECT_EQ(alerts.shown()[0].buttons, (QStringList{QStringLiteral("元に戻す"), QStringLiteral("キャンセル")}));
    EXPECT_FALSE(folder->isRunning());
    EXPECT_EQ(test::readFile(at("a.txt")), "beta beta\n");

    folder->rollback();
    EXPECT_EQ(folder->status(), QStringLiteral("バックアップから復元中…"));
    ASSERT_TRUE(settle(folder));
    EXPECT_EQ(folder->status(), QStringLiteral("1ファイルを復元しました。拒否: 0件、失敗: 0件"));
    EXPECT_EQ(test::readFile(at("a.txt")), "alpha alpha\n");
    EXPECT_FALSE(folder->rollbackButton()->isEnabled());
    EXPECT_TRUE(folder->receipt());
    folder->rollback();  // the button is off, but the command itself still asks
    EXPECT_EQ(alerts.shown().size(), 3);
    ASSERT_TRUE(settle(folder));
    EXPECT_EQ(folder->status(), QStringLiteral("0ファイルを復元しました。拒否: 1件、失敗: 0件"));
    EXPECT_EQ(beeps, 1);
}

TEST_F(FolderWindowTest, CancelDuringRollbackStillRestoresButReportsNothing)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha\n");
    write("b/c.txt", "alpha\n");
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    ASSERT_TRUE(previewAndApply(folder));
    ASSERT_TRUE(folder->receipt());
    EXPECT_EQ(test::readFile(at("b/c.txt")), "beta\n");

    folder->rollback();
    folder->cancel();
    folder->queue().sync([] {});
    QTest::qWait(1);
    EXPECT_EQ(folder->status(), FolderFindWindowController::cancelledStatus);
    EXPECT_EQ(test::readFile(at("a.txt")), "alpha\n");
    EXPECT_EQ(test::readFile(at("b/c.txt")), "alpha\n");
    EXPECT_TRUE(folder->rollbackButton()->isEnabled());
    EXPECT_TRUE(folder->receipt());

    // The second rollback is the engine's to judge: nothing holds the replacement any more.
    folder->rollback();
    ASSERT_TRUE(settle(folder));
    EXPECT_EQ(folder->status(), QStringLiteral("0ファイルを復元しました。拒否: 2件、失敗: 0件"));
    EXPECT_FALSE(folder->rollbackButton()->isEnabled());
}

TEST_F(FolderWindowTest, ACancelledRollbackStillTellsOfFilesItCouldNotRestore)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha\n");
    write("b/c.txt", "alpha\n");
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    ASSERT_TRUE(previewAndApply(folder));
    ASSERT_TRUE(folder->receipt());
    write("b/c.txt", "edited after the replacement\n");

    folder->rollback();
    folder->cancel();
    folder->queue().sync([] {});
    QTest::qWait(1);
    EXPECT_EQ(folder->status(), QStringLiteral("1ファイルを復元しました。拒否: 1件、失敗: 0件"))
        << "the user must learn that a file kept its replacement";
    EXPECT_EQ(test::readFile(at("a.txt")), "alpha\n");
    EXPECT_EQ(test::readFile(at("b/c.txt")), "edited after the replacement\n");
}

TEST_F(FolderWindowTest, ClosingTheDocumentWindowDuringARestoreNeitherWaitsNorStops)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha\n");
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    ASSERT_TRUE(previewAndApply(folder));
    ASSERT_EQ(test::readFile(at("a.txt")), "beta\n");

    folder->rollback();
    controller.documentForURL(at("doc.txt"))->close();
    EXPECT_TRUE(QTest::qWaitFor([this] { return test::readFile(at("a.txt")) == "alpha\n"; }, 10000));
    QTest::qWait(5);  // the dropped completion arrives with nobody left to show it
    EXPECT_EQ(beeps, 0);
}

TEST_F(FolderWindowTest, ASearchFinishingWhileTheQuestionIsUpWritesOnlyTheFilesItCounted)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    write("a.txt", "alpha\n");
    write("b.txt", "alpha\n");
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    folder->makePreview();
    ASSERT_TRUE(settle(folder));
    tick(folder, 1, false);

    folder->searchFolder();  // still under way when the question comes up
    alerts.whileShown = [folder] { ASSERT_TRUE(settle(folder)); };
    folder->applyPreview();
    EXPECT_EQ(alerts.shown().last().messageText, QStringLiteral("1ファイルの1件を置換しますか？"));
    EXPECT_EQ(folder->selectedURLs().size(), 2);  // the new search ticked both
    ASSERT_TRUE(settle(folder));
    ASSERT_TRUE(folder->receipt());
    EXPECT_EQ(folder->receipt()->entries.size(), 1);
    EXPECT_EQ(test::readFile(at("a.txt")), "beta\n");
    EXPECT_EQ(test::readFile(at("b.txt")), "alpha\n");
}
