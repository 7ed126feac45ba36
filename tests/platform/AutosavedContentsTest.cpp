// An autosave belongs to the process that holds its lock; only autosaves nobody holds are claimed.
#include "platform/documents/AutosavedContents.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>

using namespace korimado;
using korimado::test::TempDir;
using korimado::test::readFile;

namespace {

AutosaveRecord recordFor(const QString& file)
{
    AutosaveRecord record;
    record.fileURL = file;
    record.fileType = "public.plain-text";
    record.displayName = QFileInfo(file).fileName();
    record.state = QJsonObject{{"encoding", "Shift JIS"}};
    return record;
}

}  // namespace

TEST(AutosavedContentsTest, OnlyAutosavesNobodyHoldsAreClaimedAndTheirRecordsComeBack)
{
    TempDir dir;
    const QString root = dir.file("Autosave");
    ErrorInfo error;
    auto held = AutosavedContents::create(root, "notes.txt", &error);
    ASSERT_TRUE(held) << error.description.toStdString();
    EXPECT_EQ(QFileInfo(held->contentsPath()).fileName(), "notes.txt");
    ASSERT_TRUE(held->write(recordFor("/home/u/notes.txt"), "held text", &error));
    EXPECT_EQ(readFile(held->contentsPath()), "held text");
    // The contents are the user's text: nobody else on the machine reads them.
    EXPECT_EQ(QFileInfo(held->contentsPath()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

    auto dropped = AutosavedContents::create(root, "名称未設定.txt", &error);
    ASSERT_TRUE(dropped);
    ASSERT_TRUE(dropped->write(recordFor(""), "lost text", &error));
    const QString droppedPath = dropped->contentsPath();
    dropped.reset();  // as a kill would: the files stay, the lock goes

    // Killed between its folder and its first contents: nothing to give back, so it goes.
    auto empty = AutosavedContents::create(root, "empty.txt", &error);
    ASSERT_TRUE(empty);
    const QString emptyFolder = empty->folder();
    empty.reset();

    auto claimed = AutosavedContents::claimAbandoned(root);
    ASSERT_EQ(claimed.size(), 1u);
    EXPECT_EQ(claimed[0]->contentsPath(), droppedPath);
    EXPECT_EQ(claimed[0]->record().fileURL, "");
    EXPECT_EQ(claimed[0]->record().displayName, "");
    EXPECT_EQ(claimed[0]->record().state.value("encoding").toString(), "Shift JIS");
    EXPECT_FALSE(QFileInfo::exists(emptyFolder));
    // Claimed is held: a second start at the same moment does not offer it too.
    EXPECT_TRUE(AutosavedContents::claimAbandoned(root).empty());

    claimed[0]->remove();
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(droppedPath).path()));
    EXPECT_TRUE(QFileInfo::exists(held->contentsPath()));
    held->remove();
    EXPECT_TRUE(QDir(root).isEmpty());
}

TEST(AutosavedContentsTest, AnotherRunningProcessKeepsItsAutosaveUntilItIsKilled)
{
    if (QStandardPaths::findExecutable("flock").isEmpty()) GTEST_SKIP() << "flock(1) is not installed";
    TempDir dir;
    const QString root = dir.file("Autosave");
    ErrorInfo error;
    QString folder;
    {
        auto ours = AutosavedContents::create(root, "a.txt", &error);
        ASSERT_TRUE(ours);
        ASSERT_TRUE(ours->write(recordFor("/tmp/a.txt"), "text", &error));
        folder = ours->folder();
    }
    // Another instance holds it, as a running one holds each of its autosaves: one process that
    // takes the lock and then becomes sleep, keeping it.
    QProcess other;
    other.start("sh", {"-c", "exec 9<\"$0\" && flock --nonblock 9 && echo locked && exec sleep 60", folder});
    ASSERT_TRUE(other.waitForReadyRead(10000)) << other.readAllStandardError().toStdString();
    ASSERT_EQ(other.readAllStandardOutput(), "locked\n");
    EXPECT_TRUE(AutosavedContents::claimAbandoned(root).empty());

    ::kill(static_cast<pid_t>(other.processId()), SIGKILL);
    ASSERT_TRUE(other.waitForFinished());
    auto claimed = AutosavedContents::claimAbandoned(root);
    ASSERT_EQ(claimed.size(), 1u);
    EXPECT_EQ(claimed[0]->record().fileURL, "/tmp/a.txt");
    EXPECT_EQ(readFile(claimed[0]->contentsPath()), "text");
    claimed[0]->remove();
}

TEST(AutosavedContentsTest, OddNamesAndDamagedRecordsStillGiveTheTextBack)
{
    TempDir dir;
    const QString root = dir.file("Autosave");
    ErrorInfo error;
    // A document named like the record keeps both.
    auto clash = AutosavedContents::create(root, AutosavedContents::recordFileName, &error);
    ASSERT_TRUE(clash);
    ASSERT_TRUE(clash->write(recordFor(""), "clash", &error));
    EXPECT_NE(QFileInfo(clash->contentsPath()).fileName(), AutosavedContents::recordFileName);
    clash.reset();

    auto damaged = AutosavedContents::create(root, ".bashrc", &error);
    ASSERT_TRUE(damaged);
    ASSERT_TRUE(damaged->write(recordFor(""), "export A=1\n", &error));
    const QString folder = damaged->folder();
    damaged.reset();
    QFile record(folder + "/" + AutosavedContents::recordFileName);
    ASSERT_TRUE(record.open(QIODevice::WriteOnly | QIODevice::Truncate));
    record.write("{\"contents\": \"../../elsewhere\"");
    record.close();

    auto claimed = AutosavedContents::claimAbandoned(root);
    ASSERT_EQ(claimed.size(), 2u);
    QStringList texts;
    for (const auto& entry : claimed) texts.append(QString::fromUtf8(readFile(entry->contentsPath())));
    texts.sort();
    EXPECT_EQ(texts, (QStringList{"clash", "export A=1\n"}));
    for (const auto& entry : claimed) {
        if (entry->folder() == folder) {
            EXPECT_EQ(entry->record().displayName, ".bashrc");
        }
        entry->remove();
    }
    EXPECT_TRUE(QDir(root).isEmpty());
}

TEST(AutosavedContentsTest, LooseAutosavesOfEarlierVersionsAreOfferedAndOtherFilesLeftAlone)
{
    TempDir dir;
    const QString root = dir.file("Autosave");
    const QString loose = dir.write("Autosave/memo（自動保存 1a2b3c4d）.txt", "typed before the kill\n");
    const QString stranger = dir.write("Autosave/notes.txt", "not ours\n");

    auto claimed = AutosavedContents::claimAbandoned(root);
    ASSERT_EQ(claimed.size(), 1u);
    EXPECT_EQ(claimed[0]->record().displayName, "memo.txt");
    EXPECT_EQ(claimed[0]->record().fileURL, "");
    EXPECT_EQ(readFile(claimed[0]->contentsPath()), "typed before the kill\n");
    EXPECT_FALSE(QFileInfo::exists(loose));
    EXPECT_EQ(readFile(stranger), "not ours\n");

    // Left for later, it is found again in its own folder, not adopted twice.
    claimed.clear();
    claimed = AutosavedContents::claimAbandoned(root);
    ASSERT_EQ(claimed.size(), 1u);
    EXPECT_EQ(claimed[0]->record().displayName, "memo.txt");
    claimed[0]->remove();
    EXPECT_EQ(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"notes.txt"});
}
