#include "platform/documents/DirectoryHandle.h"
#include "platform/documents/FileIO.h"
#include "platform/documents/FileWrapper.h"
#include "platform/documents/StaleTemporaries.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korimado;

namespace {

FileWrapper sampleTree()
{
    FileWrapper themes = FileWrapper::directory();
    themes.addFileWrapper(QStringLiteral("b.cottheme"), FileWrapper::regularFile("b"));
    themes.addFileWrapper(QStringLiteral("a.cottheme"), FileWrapper::regularFile("a"));
    themes.addFileWrapper(QStringLiteral("z"), FileWrapper::directory());
    FileWrapper root = FileWrapper::directory();
    root.addFileWrapper(QStringLiteral("Themes"), themes);
    root.addFileWrapper(QStringLiteral("Info.plist"), FileWrapper::regularFile("info"));
    return root;
}

QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(FileWrapper, PathsListFilesAndEmptyFoldersByName)
{
    EXPECT_EQ(sampleTree().child(QStringLiteral("Themes"))->paths(QStringLiteral("Themes")),
              (QStringList{QStringLiteral("Themes/a.cottheme"), QStringLiteral("Themes/b.cottheme"),
                           QStringLiteral("Themes/z/")}));
    EXPECT_EQ(FileWrapper::regularFile("x").paths(QStringLiteral("f")), QStringList{QStringLiteral("f")});
}

TEST(FileWrapper, WriteReplacesTheWholeItemAndLeavesNothingBeside)
{
    test::TempDir dir;
    const QString target = dir.file(QStringLiteral("x.cotsettings"));
    dir.write(QStringLiteral("x.cotsettings/old.txt"), "old");
    ASSERT_TRUE(sampleTree().write(target));
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/old.txt")));
    EXPECT_EQ(test::readFile(target + QStringLiteral("/Themes/a.cottheme")), QByteArray("a"));
    EXPECT_TRUE(QFileInfo(target + QStringLiteral("/Themes/z")).isDir());
    EXPECT_EQ(leftovers(dir.path()), QStringList{QStringLiteral("x.cotsettings")});

    // A file is written the same way, over a folder too.
    ASSERT_TRUE(FileWrapper::regularFile("plain").write(target));
    EXPECT_EQ(test::readFile(target), QByteArray("plain"));
    EXPECT_EQ(leftovers(dir.path()), QStringList{QStringLiteral("x.cotsettings")});
}

TEST(FileWrapper, LinkAtTheTargetIsReplacedNotFollowed)
{
    test::TempDir dir;
    const QString elsewhere = dir.write(QStringLiteral("elsewhere/keep.txt"), "keep");
    const QString target = dir.file(QStringLiteral("Go.cotsyntax"));
    ASSERT_EQ(::symlink(QFile::encodeName(dir.file(QStringLiteral("elsewhere"))).constData(),
                        QFile::encodeName(target).constData()), 0);
    ASSERT_TRUE(sampleTree().write(target));
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/Info.plist")));
    EXPECT_EQ(test::readFile(elsewhere), QByteArray("keep"));
    EXPECT_EQ(leftovers(dir.file(QStringLiteral("elsewhere"))), QStringList{QStringLiteral("keep.txt")});
}

// The old item goes whole, its many files on several threads, and no link in it is followed.
TEST(FileWrapper, TheOldTreeGoesWholeWithoutFollowingItsLinks)
{
    test::TempDir dir;
    const QString elsewhere = dir.write(QStringLiteral("elsewhere/keep.txt"), "keep");
    const QString target = dir.file(QStringLiteral("x.cotsettings"));
    for (int i = 0; i < 40; ++i) dir.write(QStringLiteral("x.cotsettings/Resources/many/%1.json").arg(i), "{}");
    dir.write(QStringLiteral("x.cotsettings/Resources/many/deeper/last.json"), "{}");
    const QByteArray outside = QFile::encodeName(dir.file(QStringLiteral("elsewhere")));
    ASSERT_EQ(::symlink(outside.constData(), QFile::encodeName(target + QStringLiteral("/Resources/many/link")).constData()), 0);
    ASSERT_EQ(::symlink(outside.constData(), QFile::encodeName(target + QStringLiteral("/Resources/link")).constData()), 0);

    ASSERT_TRUE(sampleTree().write(target));
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/Resources")));
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/Info.plist")));
    EXPECT_EQ(test::readFile(elsewhere), QByteArray("keep"));
    EXPECT_EQ(leftovers(dir.file(QStringLiteral("elsewhere"))), QStringList{QStringLiteral("keep.txt")});
    EXPECT_EQ(leftovers(dir.path()), (QStringList{QStringLiteral("elsewhere"), QStringLiteral("x.cotsettings")}));
}

TEST(FileWrapper, FailureBeforeTheExchangeLeavesThePreviousItem)
{
    test::TempDir dir;
    const QString target = dir.file(QStringLiteral("x.cotsettings"));
    dir.write(QStringLiteral("x.cotsettings/old.txt"), "old");
    ErrorInfo error;
    const bool written = sampleTree().write(target, &error, [](ErrorInfo* e) {
        *e = ErrorInfo{QStringLiteral("test"), 28, QStringLiteral("ディスクがいっぱいです。"), {}};
        return false;
    });
    EXPECT_FALSE(written);
    EXPECT_EQ(error.description, QStringLiteral("ディスクがいっぱいです。"));
    EXPECT_EQ(test::readFile(target + QStringLiteral("/old.txt")), QByteArray("old"));
    EXPECT_EQ(leftovers(dir.path()), QStringList{QStringLiteral("x.cotsettings")});

    FileWrapper badName = FileWrapper::directory();
    badName.addFileWrapper(QStringLiteral(".."), FileWrapper::regularFile("x"));
    EXPECT_FALSE(badName.write(target, &error));
    EXPECT_EQ(test::readFile(target + QStringLiteral("/old.txt")), QByteArray("old"));
    EXPECT_EQ(leftovers(dir.path()), QStringList{QStringLiteral("x.cotsettings")});
    EXPECT_FALSE(sampleTree().write(dir.file(QStringLiteral("missing/x.cotsettings")), &error));
}

// A write killed while it filled its hidden folder (or before it removed the old item it had
// swapped out) leaves it beside the target: the next write there sweeps every such folder that
// no write holds locked, and nothing else.
TEST(FileWrapper, StaleTreesOfKilledWritesAreSweptUnderTheirLocks)
{
    test::TempDir dir;
    const QString target = dir.file(QStringLiteral("x.cotsettings"));
    const QString prefix = temporaryFileNamePrefix(QStringLiteral("x.cotsettings"));

    // A real kill: the child dies with its tree complete and not yet in place.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sampleTree().write(target, nullptr, [](ErrorInfo*) {
            ::raise(SIGKILL);
            return false;
        });
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(leftovers(dir.path()).size(), 1);
    EXPECT_TRUE(leftovers(dir.path()).first().startsWith(prefix + QStringLiteral("new-")));

    dir.write(QStringLiteral("x.cotsettings/old.txt"), "previous");
    const QString outside = dir.write(QStringLiteral("outside/keep.txt"), "keep");
    // Another target's killed write, a lone file of one, an old item put aside, a link.
    dir.write(temporaryFileNamePrefix(QStringLiteral("y.cotsettings")) + QStringLiteral("new-1k3z/Themes/a"), "a");
    dir.write(temporaryFileNamePrefix(QStringLiteral("t.cottheme")) + QStringLiteral("new-9"), "t");
    dir.write(prefix + QStringLiteral("old-abc/Info.plist"), "old");
    const QString linked = dir.file(prefix + QStringLiteral("new-link"));
    ASSERT_TRUE(QFile::link(dir.file(QStringLiteral("outside")), linked));
    // Not to be swept: a write in progress, look-alikes, the old item of a target not standing.
    const QString busy = dir.write(prefix + QStringLiteral("new-busy/Info.plist"), "busy");
    const int busyFd = ::open(QFile::encodeName(dir.file(prefix + QStringLiteral("new-busy"))).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(busyFd, 0);
    ASSERT_EQ(::flock(busyFd, LOCK_EX), 0);
    const QString lookAlike = dir.write(prefix + QStringLiteral("new-NotOurs/keep"), "keep");
    const QString unnamed = dir.write(QStringLiteral(".korimado-new-abc/keep"), "keep");
    const QString orphan = dir.write(temporaryFileNamePrefix(QStringLiteral("gone.cotsettings")) + QStringLiteral("old-q/keep"), "keep");

    ASSERT_TRUE(sampleTree().write(target));
    ::close(busyFd);
    EXPECT_EQ(test::readFile(outside), QByteArray("keep"));
    EXPECT_FALSE(QFileInfo(linked).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(busy));
    EXPECT_TRUE(QFileInfo::exists(lookAlike));
    EXPECT_TRUE(QFileInfo::exists(unnamed));
    EXPECT_TRUE(QFileInfo::exists(orphan));
    QStringList expected{QFileInfo(QFileInfo(busy).path()).fileName(), QFileInfo(QFileInfo(lookAlike).path()).fileName(),
                         QFileInfo(QFileInfo(unnamed).path()).fileName(), QFileInfo(QFileInfo(orphan).path()).fileName(),
                         QStringLiteral("outside"), QStringLiteral("x.cotsettings")};
    expected.sort();
    QStringList left = leftovers(dir.path());
    left.sort();
    EXPECT_EQ(left, expected);

    // A sweep during a write leaves that write's own folder alone.
    ErrorInfo error;
    EXPECT_TRUE(sampleTree().write(target, &error, [&](ErrorInfo*) {
        removeStaleTemporaries(dir.path(), QStringLiteral("x.cotsettings"));
        return true;
    })) << error.description.toStdString();
    EXPECT_TRUE(QFileInfo::exists(target + QStringLiteral("/Themes/a.cottheme")));

    // Only this user's: as root a folder of another owner is left.
    if (::geteuid() == 0) {
        const QString foreign = dir.file(prefix + QStringLiteral("new-foreign"));
        ASSERT_TRUE(QDir().mkpath(foreign));
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 4242, 4242), 0);
        ASSERT_TRUE(sampleTree().write(target));
        EXPECT_TRUE(QFileInfo::exists(foreign));
    }
}

// Each file and folder is flushed by itself, in batches of folders written on several threads: a
// tree larger than a batch comes out whole, and a cancelled write leaves the old item and nothing
// beside it.
TEST(FileWrapper, TreesLargerThanABatchAndCancelledWrites)
{
    test::TempDir dir;
    FileWrapper tree = FileWrapper::directory();
    for (int f = 0; f < 260; ++f) {
        FileWrapper folder = FileWrapper::directory();
        for (int i = 0; i < 2; ++i) folder.addFileWrapper(QString::number(i), FileWrapper::regularFile(QByteArray::number(f * 2 + i)));
        folder.addFileWrapper(QStringLiteral("empty"), FileWrapper::directory());
        tree.addFileWrapper(QStringLiteral("f%1").arg(f), folder);
    }
    const QString target = dir.file(QStringLiteral("big.cotsettings"));
    ErrorInfo error;
    ASSERT_TRUE(tree.write(target, &error)) << error.description.toStdString();
    int files = 0;
    for (int f = 0; f < 260; ++f) {
        const QString folder = target + QStringLiteral("/f%1").arg(f);
        files += static_cast<int>(QDir(folder).entryList(QDir::Files).size());
        EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/empty")).isDir());
    }
    EXPECT_EQ(files, 260 * 2);
    EXPECT_EQ(test::readFile(target + QStringLiteral("/f259/1")), QByteArray::number(259 * 2 + 1));

    CancellationToken cancel;
    cancel.cancel();
    EXPECT_FALSE(sampleTree().write(target, &error, {}, &cancel));
    EXPECT_EQ(error.code, ECANCELED);
    EXPECT_EQ(test::readFile(target + QStringLiteral("/f0/0")), QByteArray("0"));
    EXPECT_EQ(leftovers(dir.path()), QStringList{QStringLiteral("big.cotsettings")});
}

TEST(DirectoryHandle, SeesLinksAndNeverWaitsOnAFifo)
{
    test::TempDir dir;
    dir.write(QStringLiteral("file"), "abc");
    ASSERT_EQ(::symlink("file", QFile::encodeName(dir.file(QStringLiteral("link"))).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file(QStringLiteral("pipe"))).constData(), 0600), 0);
    auto handle = DirectoryHandle::open(dir.path());
    ASSERT_TRUE(handle);
    qint64 size = 0;
    EXPECT_EQ(handle->kind("file", &size), DirectoryHandle::Kind::regularFile);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(handle->kind("link"), DirectoryHandle::Kind::symbolicLink);
    EXPECT_EQ(handle->kind("pipe"), DirectoryHandle::Kind::other);
    EXPECT_EQ(handle->kind("none"), DirectoryHandle::Kind::missing);
    EXPECT_FALSE(handle->readFile("link", 100));
    EXPECT_FALSE(handle->openDirectory("link"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(handle->readFile("pipe", 100));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(handle->readFile("file", 100), QByteArray("abc"));
    // More than allowed: one byte past the limit says so.
    EXPECT_EQ(handle->readFile("file", 1), QByteArray("ab"));
    auto names = handle->entryNames();
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 3u);
}
