#include "platform/documents/DirectoryHandle.h"
#include "platform/documents/FileWrapper.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
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
