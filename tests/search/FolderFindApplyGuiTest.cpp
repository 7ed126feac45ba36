// The folder window's apply as a user meets it when something happens meanwhile: a press of
// "中止", a closed window or a new search while the last file is written, a run that fails and
// cannot put everything back, a document open under another path.
#include "search/FolderTestSupport.h"
#include "search/FolderWindowFixture.h"

#include <QLabel>
#include <QPushButton>

using namespace korimado;
using korimado::test::FaultyFileSystem;
using korimado::test::FolderWindowTest;

namespace {

// Runs action on the main thread while the calling worker waits for it.
void onMainThread(QObject* context, const std::function<void()>& action)
{
    QMetaObject::invokeMethod(context, action, Qt::BlockingQueuedConnection);
}

// Lets the queue finish what it runs and the main thread take in what it sent back.
void drain(FolderFindWindowController* folder)
{
    folder->queue().sync([] {});
    QTest::qWait(1);
}

}  // namespace

TEST_F(FolderWindowTest, AFinishedReplacementReachesTheWindowWhateverWasPressedMeanwhile)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    const std::pair<const char*, std::function<void()>> presses[] = {
        {"cancel", [folder] { folder->cancel(); }},
        {"close", [folder] { folder->close(); }},
        {"new search", [folder] { folder->searchFolder(); }},
    };
    int round = 0;
    for (const auto& [name, press] : presses) {
        SCOPED_TRACE(name);
        const QString word = QStringLiteral("alpha%1").arg(round++);
        write(word + "-1.txt", word.toUtf8() + "\n");
        const QString last = write(word + "-2.txt", word.toUtf8() + "\n");
        folder->show();
        ASSERT_TRUE(search(folder, word, QStringLiteral("beta")));
        folder->makePreview();
        ASSERT_TRUE(settle(folder));
        ASSERT_EQ(folder->preview()->files.size(), 2);

        // The last file's read-back: it already holds its new bytes.
        FaultyFileSystem fs;
        std::atomic<int> reads{0};
        std::atomic<bool> pressed{false};
        fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
            if (op != FaultyFileSystem::Op::read || path != last || ++reads != 3) return;
            onMainThread(folder, press);
            pressed = true;
        };
        folder->setFileSystem(&fs);
        folder->applyPreview();
        // The main thread runs the press while the queue waits for it.
        ASSERT_TRUE(test::spinUntil([&] { return pressed.load(); }));
        drain(folder);
        folder->setFileSystem(nullptr);
        ASSERT_GE(reads.load(), 3);  // a new search reads it once more
        EXPECT_EQ(test::readFile(last), "beta\n");
        ASSERT_TRUE(folder->receipt()) << folder->status().toStdString();
        EXPECT_EQ(folder->receipt()->entries.size(), 2);
        EXPECT_TRUE(folder->rollbackButton()->isEnabled());
        EXPECT_FALSE(folder->applyButton()->isEnabled());
        if (std::string(name) != "new search") {
            EXPECT_TRUE(folder->status().startsWith(QStringLiteral("2ファイル、2件を置換しました。バックアップ: ")))
                << folder->status().toStdString();
        }
        ASSERT_TRUE(settle(folder));
        drain(folder);
    }
    EXPECT_EQ(beeps, 0);
}

TEST_F(FolderWindowTest, AFailedRunOffersWhatItCouldNotPutBack)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    const QString a = write("a.txt", "alpha\n");
    const QString b = write("b.txt", "alpha\n");
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    folder->makePreview();
    ASSERT_TRUE(settle(folder));

    // b.txt cannot be written, and a.txt, already written, cannot be put back.
    FaultyFileSystem fs;
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) {
        return FaultyFileSystem::isWrite(op)
            && ((path == b && test::readFile(b) == "alpha\n") || (path == a && test::readFile(a) == "beta\n"));
    };
    folder->setFileSystem(&fs);
    folder->applyPreview();
    ASSERT_TRUE(settle(folder));
    EXPECT_TRUE(folder->status().startsWith(QStringLiteral("ファイルの保存に失敗しました。"))) << folder->status().toStdString();
    EXPECT_TRUE(folder->status().contains(QStringLiteral("\n復元できなかったファイル:\n") + a));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(test::readFile(a), "beta\n");
    EXPECT_EQ(test::readFile(b), "alpha\n");
    ASSERT_TRUE(folder->receipt());
    ASSERT_EQ(folder->receipt()->entries.size(), 1);
    EXPECT_EQ(folder->receipt()->entries[0].targetURL, a);
    EXPECT_TRUE(folder->rollbackButton()->isEnabled());

    // Once the disk is well again, the rollback puts it back.
    fs.fails = nullptr;
    folder->rollback();
    ASSERT_TRUE(settle(folder));
    folder->setFileSystem(nullptr);
    EXPECT_EQ(folder->status(), QStringLiteral("1ファイルを復元しました。拒否: 0件、失敗: 0件"));
    EXPECT_EQ(test::readFile(a), "alpha\n");
}

TEST_F(FolderWindowTest, ADocumentOpenUnderALinkedPathIsBlocked)
{
    FolderFindWindowController* folder = folderWindow();
    ASSERT_TRUE(folder);
    const QString a = write("a.txt", "alpha\n");
    write("b.txt", "alpha\n");
    test::makeLink(root, dir.file("linked"));
    ASSERT_TRUE(open(dir.file("linked/a.txt")));
    ASSERT_TRUE(search(folder, QStringLiteral("alpha"), QStringLiteral("beta")));
    folder->makePreview();
    ASSERT_TRUE(settle(folder));
    EXPECT_EQ(folder->blockedOpenURLs(), QSet<QString>{a});
    EXPECT_EQ(folder->selectedURLs().size(), 1);
    EXPECT_TRUE(folder->status().startsWith(QStringLiteral("開いている文書1件は対象外です。"))) << folder->status().toStdString();
    ASSERT_TRUE(previewAndApply(folder));
    EXPECT_EQ(test::readFile(a), "alpha\n");
    EXPECT_EQ(test::readFile(at("b.txt")), "beta\n");
}
