// An autosave belongs to the process that holds its lock; only autosaves nobody holds are claimed.
#include "platform/documents/AutosavedContents.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

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
    // Made with the umask's mode: the user's alone, as the program makes it.
    ASSERT_TRUE(QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

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

namespace {

void makeLink(const QString& target, const QString& link)
{
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
}

void setMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// What a planted autosave looks like: a record naming a file, and the text to put into it.
void plant(const TempDir& dir, const QString& folder, const QString& victim)
{
    AutosaveRecord record = recordFor(victim);
    record.contentsName = "planted.txt";
    dir.write(folder + "/" + AutosavedContents::recordFileName, record.toJson());
    dir.write(folder + "/planted.txt", "planted text");
}

}  // namespace

TEST(AutosavedContentsTest, ARecoveryFolderOthersMayWriteIsRefusedByName)
{
    TempDir dir;
    const QString root = dir.file("Autosave");
    ErrorInfo error;
    ASSERT_TRUE(AutosavedContents::create(root, "a.txt", &error));
    plant(dir, "Autosave/planted", dir.file("victim.txt"));
    for (mode_t mode : {mode_t(0777), mode_t(0770), mode_t(01777)}) {
        setMode(root, mode);
        EXPECT_FALSE(AutosavedContents::create(root, "a.txt", &error));
        EXPECT_EQ(error.code, AutosavedContents::unsafeFolderErrorCode);
        EXPECT_TRUE(error.description.contains(QStringLiteral("“%1”").arg(root))) << error.description.toStdString();
        std::vector<ErrorInfo> refused;
        EXPECT_TRUE(AutosavedContents::claimAbandoned(root, &refused).empty());
        ASSERT_EQ(refused.size(), 1u);
        EXPECT_TRUE(refused[0].description.contains(QStringLiteral("“%1”").arg(root)));
    }
    setMode(root, 0700);
    // A folder in it that others may write is refused the same way, and left as it was.
    setMode(dir.file("Autosave/planted"), 0777);
    std::vector<ErrorInfo> refused;
    EXPECT_TRUE(AutosavedContents::claimAbandoned(root, &refused).empty());
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].description.contains(QStringLiteral("“%1”").arg(dir.file("Autosave/planted"))));
    EXPECT_EQ(readFile(dir.file("Autosave/planted/planted.txt")), "planted text");
}

TEST(AutosavedContentsTest, AFolderAnotherUserOwnsIsRefused)
{
    // Only root can hand a folder to another user; the mode checks above run for everyone.
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
    TempDir dir;
    const QString root = dir.file("Autosave");
    ErrorInfo error;
    ASSERT_TRUE(AutosavedContents::create(root, "a.txt", &error));
    plant(dir, "Autosave/planted", dir.file("victim.txt"));
    const uid_t nobody = 65534;
    ASSERT_EQ(::chown(QFile::encodeName(dir.file("Autosave/planted")).constData(), nobody, nobody), 0);
    std::vector<ErrorInfo> refused;
    EXPECT_TRUE(AutosavedContents::claimAbandoned(root, &refused).empty());
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].description.contains(dir.file("Autosave/planted")));

    ASSERT_EQ(::chown(QFile::encodeName(root).constData(), nobody, nobody), 0);
    EXPECT_FALSE(AutosavedContents::create(root, "a.txt", &error));
    EXPECT_EQ(error.code, AutosavedContents::unsafeFolderErrorCode);
    refused.clear();
    EXPECT_TRUE(AutosavedContents::claimAbandoned(root, &refused).empty());
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].description.contains(QStringLiteral("“%1”").arg(root)));
}

TEST(AutosavedContentsTest, NoWriteOrReadEverGoesThroughALink)
{
    TempDir dir;
    const QString root = dir.file("Autosave");
    const QString outside = dir.write("outside.txt", "keep me");
    ErrorInfo error;
    auto ours = AutosavedContents::create(root, "a.txt", &error);
    ASSERT_TRUE(ours);
    ASSERT_TRUE(ours->write(recordFor("/tmp/a.txt"), "first", &error));
    const QString folder = ours->folder();

    // The folder is swapped for one whose files are links to a file outside: the next write still
    // goes into the folder that is held.
    ASSERT_EQ(::rename(QFile::encodeName(folder).constData(), QFile::encodeName(folder + ".held").constData()), 0);
    ASSERT_TRUE(QDir().mkdir(folder));
    makeLink(outside, folder + "/a.txt");
    makeLink(outside, folder + "/" + AutosavedContents::recordFileName);
    ASSERT_TRUE(ours->write(recordFor("/tmp/a.txt"), "second", &error)) << error.description.toStdString();
    EXPECT_EQ(readFile(outside), "keep me");
    EXPECT_EQ(readFile(folder + ".held/a.txt"), "second");

    // A link in the held folder itself is replaced, not written through; nor is one read.
    ASSERT_TRUE(QFile::remove(folder + ".held/a.txt"));
    makeLink(outside, folder + ".held/a.txt");
    EXPECT_FALSE(ours->readContents(&error));
    ASSERT_TRUE(ours->write(recordFor("/tmp/a.txt"), "third", &error));
    EXPECT_EQ(readFile(outside), "keep me");
    EXPECT_FALSE(QFileInfo(folder + ".held/a.txt").isSymLink());
    EXPECT_EQ(ours->readContents(&error), "third");
    ours->remove();
    EXPECT_TRUE(QDir(folder + ".held").isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir()) << "a folder of the same name it did not make stays";

    // A link among the folders is refused by name, and what it points to is never offered.
    QDir(folder).removeRecursively();
    plant(dir, "elsewhere", dir.file("victim.txt"));
    makeLink(dir.file("elsewhere"), root + "/linked");
    std::vector<ErrorInfo> refused;
    EXPECT_TRUE(AutosavedContents::claimAbandoned(root, &refused).empty());
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].description.contains(root + "/linked"));
    EXPECT_EQ(readFile(dir.file("elsewhere/planted.txt")), "planted text");
}
