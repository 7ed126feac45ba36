// A folder replacement killed at random moments, as a crash or a kill -9 stops it: every file
// must be left old or new, every backup whole, and after the next search of the folder no
// temporary may be left in it. The replacement runs in a child process (this test program, asked
// for the victim below): half the kills come from outside at a random time, half from within at a
// random step of the file system (so that every kind of step is hit, the flushes included).
#include "search/folder/FolderApplyTemporaries.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/FolderTestSupport.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <random>

using namespace korimado;
using namespace korimado::test;

namespace {

constexpr int fileCount = 60;
constexpr int kills = 20;
const char* const rootVariable = "KORIMADO_FOLDER_APPLY_VICTIM_ROOT";
const char* const stepVariable = "KORIMADO_FOLDER_APPLY_VICTIM_STEP";
// The parent's data folder, which holds the key that seals the names of temporaries: the
// victim's own test main gives it another.
const char* const dataVariable = "KORIMADO_FOLDER_APPLY_VICTIM_DATA";

QString fileName(int i)
{
    return QStringLiteral("d%1/f%2.txt").arg(i % 7).arg(i, 3, 10, QChar(u'0'));
}

QByteArray oldBytes(int i)
{
    return "old_name " + QByteArray::number(i) + "\n" + QByteArray(1000 + (i * 397) % 9000, 'x') + "\nold_name\n";
}

nlink_t linkCountOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_nlink;
}

QByteArray newBytes(int i)
{
    return oldBytes(i).replace("old_name", "new_name");
}

// Kills its own process as the given step that changes the disk begins; counts the steps.
class KillingFileSystem : public FolderFileSystem {
public:
    // Steps are counted from here on; 0: no kill.
    void arm(int killAt)
    {
        steps_ = 0;
        killAt_ = killAt;
    }
    int steps() const { return steps_; }
    int firstReplace() const { return firstReplace_; }
    int lastReplace() const { return lastReplace_; }

    std::optional<QString> writeTemporary(const QString& folder, const QByteArray& data, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::writeTemporary(folder, data, error);
    }
    bool writeNewFile(const QString& path, const QByteArray& data, quint32 mode, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::writeNewFile(path, data, mode, error);
    }
    bool overwrite(const QString& path, const FileIdentity& expected, const QByteArray& data, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::overwrite(path, expected, data, error);
    }
    bool renameFolder(const QString& source, const QString& destination, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::renameFolder(source, destination, error);
    }
    bool replace(const QString& source, const QString& destination, const std::optional<FileIdentity>& expected,
                 std::optional<quint32> mode, FileIdentity* placed, ErrorInfo* error) override
    {
        step();
        if (firstReplace_ == 0) firstReplace_ = steps_;
        lastReplace_ = steps_;
        return FolderFileSystem::replace(source, destination, expected, mode, placed, error);
    }
    bool removeFile(const QString& path, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::removeFile(path, error);
    }
    bool removeDirectory(const QString& path, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::removeDirectory(path, error);
    }
    bool flush(const QStringList& paths, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::flush(paths, error);
    }
    bool createDirectory(const QString& path, quint32 mode, ErrorInfo* error) override
    {
        step();
        return FolderFileSystem::createDirectory(path, mode, error);
    }

private:
    void step()
    {
        if (++steps_ == killAt_) ::raise(SIGKILL);
    }
    int killAt_ = 0;
    int steps_ = 0;
    int firstReplace_ = 0;
    int lastReplace_ = 0;
};

void makeTree(const QString& root)
{
    QDir(root).removeRecursively();
    for (int i = 0; i < fileCount; ++i) {
        const QString path = root + u'/' + fileName(i);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(oldBytes(i));
    }
}

struct Victim {
    QProcess process;
    QElapsedTimer sinceReady;
};

// Starts the victim on root and waits until it is about to apply.
void startVictim(Victim& victim, const QString& root, const QString& scratch, int killAtStep)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(rootVariable, root);
    environment.insert(stepVariable, QString::number(killAtStep));
    environment.insert(dataVariable, qEnvironmentVariable("XDG_DATA_HOME"));
    // The victim's own temporary folders, which a kill leaves behind, go with the test's.
    environment.insert(QStringLiteral("TMPDIR"), scratch);
    victim.process.setProcessEnvironment(environment);
    victim.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    victim.process.start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--gtest_filter=FolderApplyKill.Victim")});
    QByteArray seen;
    while (!seen.contains("ready\n") && victim.process.waitForReadyRead(30000)) seen += victim.process.readAllStandardOutput();
    victim.sinceReady.start();
}

}  // namespace

// The child's part: search, preview and apply, each step of the disk counted.
TEST(FolderApplyKill, Victim)
{
    const QString root = qEnvironmentVariable(rootVariable);
    if (root.isEmpty()) GTEST_SKIP() << "the child of EachFileIsOldOrNewAndEveryBackupWhole";
    qputenv("XDG_DATA_HOME", qgetenv(dataVariable));
    KillingFileSystem fs;
    const SearchRequest request = plainRequest("old_name", "new_name");
    const FolderSearchResult result = FolderSearchEngine::search(root, request, folderOptions(), nullptr, &fs);
    const FolderReplacementPreview preview = FolderSearchEngine::makeReplacementPreview(result, request);
    QSet<QString> all;
    for (const FolderReplacementFile& f : preview.files) all.insert(f.source.url);
    fs.arm(qEnvironmentVariableIntValue(stepVariable));
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, all, {}, std::nullopt, nullptr, &fs);
    std::printf("steps %d\nrenames %d %d\nfiles %d\n", fs.steps(), fs.firstReplace(), fs.lastReplace(),
                int(receipt.entries.size()));
    std::fflush(stdout);
}

TEST(FolderApplyKill, EachFileIsOldOrNewAndEveryBackupWholeAfterAKillAtAnyMoment)
{
    if (!qEnvironmentVariableIsEmpty(rootVariable)) GTEST_SKIP();
    TempDir dir;
    const QString root = dir.file("tree");
    const QString scratch = dir.file("scratch");
    QDir().mkpath(scratch);
    std::random_device device;
    const unsigned seed = device();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

    // One run to its end: how long the apply takes, and how many steps it has.
    makeTree(root);
    Victim calibration;
    startVictim(calibration, root, scratch, 0);
    ASSERT_TRUE(calibration.process.waitForFinished(120000));
    const double applyMs = double(calibration.sinceReady.nsecsElapsed()) / 1e6;
    const QByteArray report = calibration.process.readAllStandardOutput();
    ASSERT_EQ(calibration.process.exitCode(), 0) << report.toStdString();
    const int steps = report.mid(report.indexOf("steps ") + 6).split('\n').value(0).toInt();
    const QList<QByteArray> renames = report.mid(report.indexOf("renames ") + 8).split('\n').value(0).split(' ');
    const int firstRename = renames.value(0).toInt();
    const int lastRename = renames.value(1).toInt();
    ASSERT_GT(lastRename, firstRename + 1);
    ASSERT_TRUE(report.contains("files " + QByteArray::number(fileCount))) << report.toStdString();
    ASSERT_GT(steps, fileCount * 3);

    int mixed = 0;
    for (int kill = 0; kill < kills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        makeTree(root);
        QDir(root + "/.korimado-backups").removeRecursively();
        Victim victim;
        // Every other kill from within: at any step, or among the renames of the files.
        const bool fromOutside = kill % 2 == 0;
        int step = 0;
        if (kill % 4 == 1) step = std::uniform_int_distribution<int>(1, steps)(random);
        if (kill % 4 == 3) step = std::uniform_int_distribution<int>(firstRename + 1, lastRename)(random);
        startVictim(victim, root, scratch, step);
        if (fromOutside) {
            const auto waitUs = std::uniform_int_distribution<qint64>(0, qint64(applyMs * 1000))(random);
            while (victim.sinceReady.nsecsElapsed() / 1000 < waitUs) ::usleep(200);
            ::kill(pid_t(victim.process.processId()), SIGKILL);
        }
        ASSERT_TRUE(victim.process.waitForFinished(120000));

        int newer = 0;
        for (int i = 0; i < fileCount; ++i) {
            const QByteArray bytes = test::readFile(root + u'/' + fileName(i));
            EXPECT_TRUE(bytes == oldBytes(i) || bytes == newBytes(i)) << fileName(i).toStdString();
            newer += bytes == newBytes(i);
        }
        mixed += newer > 0 && newer < fileCount;
        QDirIterator runs(root + "/.korimado-backups", QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        while (runs.hasNext()) {
            const QString run = runs.next();
            // The backups of a run killed before they were put in place: temporaries, gone after the search.
            if (FolderApplyTemporaries::isTemporaryName(QFileInfo(run).fileName())) continue;
            QDirIterator backups(run, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
            while (backups.hasNext()) {
                const QString backup = backups.next();
                const QString relative = QDir(run).relativeFilePath(backup);
                const int i = relative.section(u'f', -1).section(u'.', 0, 0).toInt();
                EXPECT_EQ(relative, fileName(i));
                EXPECT_EQ(test::readFile(backup), oldBytes(i)) << relative.toStdString();
                // Never another name of a live file, which an edit of it would change too.
                EXPECT_EQ(linkCountOf(backup), 1u) << relative.toStdString();
            }
        }

        FolderSearchOptions options = folderOptions();
        options.includesHiddenFiles = true;
        FolderSearchEngine::search(root, plainRequest("old_name"), options);
        QDirIterator all(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
        while (all.hasNext()) {
            const QString path = all.next();
            EXPECT_FALSE(FolderApplyTemporaries::isTemporaryName(QFileInfo(path).fileName())) << path.toStdString();
        }
    }
    // Some kills must have landed among the renames, or the test proves little.
    EXPECT_GT(mixed, 0);
    std::printf("apply %.0f ms, %d steps, %d of %d kills left the folder part old and part new\n", applyMs, steps,
                mixed, kills);
}
