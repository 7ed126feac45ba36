#include "platform/documents/FileReplacement.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;
using korimado::test::TempDir;

namespace {

std::optional<FileIdentity> identityOf(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

quint32 modeOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return quint32(info.st_mode & 07777);
}

void link(const QString& target, const QString& at)
{
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0);
}

}  // namespace

TEST(FileReplacement, TemporariesArePrivateAndNamedByThePrefix)
{
    TempDir dir;
    ErrorInfo error;
    const std::optional<QString> a = writeTemporaryFile(dir.path(), ".pre-", "bytes", &error);
    const std::optional<QString> b = writeTemporaryFile(dir.path(), ".pre-", "bytes", &error);
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_TRUE(QFileInfo(*a).fileName().contains(QRegularExpression("^\\.pre-[0-9a-f]{8}$")));
    EXPECT_EQ(test::readFile(*a), "bytes");
    EXPECT_EQ(modeOf(*a), 0600u);
    EXPECT_FALSE(writeTemporaryFile(dir.file("missing"), ".pre-", "x", &error));
    EXPECT_EQ(error.code, ENOENT);
}

TEST(FileReplacement, ReplacesOnlyTheExpectedFileAndNeverThroughALink)
{
    TempDir dir;
    TempDir outside;
    const QString target = dir.write("sub/a.txt", "old");
    ::chmod(QFile::encodeName(target).constData(), 0640);
    const FileIdentity looked = *identityOf(target);
    ErrorInfo error;

    // Replaced: the mode of the old file carries over unless one is given.
    QString temporary = *writeTemporaryFile(dir.file("sub"), ".t-", "new", &error);
    FileIdentity placed;
    ASSERT_TRUE(replaceByRename(temporary, target, looked, std::nullopt, &placed, &error)) << error.description.toStdString();
    EXPECT_EQ(test::readFile(target), "new");
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_EQ(identityOf(target), placed);

    // Another file in its place since it was looked at.
    temporary = *writeTemporaryFile(dir.file("sub"), ".t-", "newer", &error);
    EXPECT_FALSE(replaceByRename(temporary, target, looked, std::nullopt, nullptr, &error));
    EXPECT_EQ(error.code, fileReplacedErrorCode);
    EXPECT_FALSE(error.description.isEmpty());

    // The file swapped for a link to a copy outside: the link is not followed.
    QFile::rename(target, outside.file("a.txt"));
    link(outside.file("a.txt"), target);
    EXPECT_FALSE(replaceByRename(temporary, target, placed, std::nullopt, nullptr, &error));
    EXPECT_EQ(test::readFile(outside.file("a.txt")), "new");
    QFile::remove(target);
    QFile::rename(outside.file("a.txt"), target);

    // Its folder swapped for a link: refused, though the file behind it is the very one.
    QFile::rename(dir.file("sub"), outside.file("sub"));
    link(outside.file("sub"), dir.file("sub"));
    EXPECT_FALSE(replaceByRename(dir.file("sub/") + QFileInfo(temporary).fileName(), target, placed, 0600, nullptr, &error));
    EXPECT_EQ(error.code, fileReplacedErrorCode);
    EXPECT_EQ(test::readFile(outside.file("sub/a.txt")), "new");
    EXPECT_EQ(modeOf(outside.file("sub/a.txt")), 0640u);
}

TEST(FileReplacement, WithoutAnExpectedFileNothingMayStandThere)
{
    TempDir dir;
    ErrorInfo error;
    const QString temporary = *writeTemporaryFile(dir.path(), ".t-", "backup", &error);
    dir.write("taken.txt", "someone's");
    EXPECT_FALSE(replaceByRename(temporary, dir.file("taken.txt"), std::nullopt, 0644, nullptr, &error));
    EXPECT_EQ(error.code, EEXIST);
    EXPECT_EQ(test::readFile(dir.file("taken.txt")), "someone's");
    link(dir.file("nowhere"), dir.file("dangling"));
    EXPECT_FALSE(replaceByRename(temporary, dir.file("dangling"), std::nullopt, 0644, nullptr, &error));
    EXPECT_FALSE(QFileInfo::exists(dir.file("nowhere")));

    ASSERT_TRUE(replaceByRename(temporary, dir.file("free.txt"), std::nullopt, 0644, nullptr, &error));
    EXPECT_EQ(test::readFile(dir.file("free.txt")), "backup");
    EXPECT_EQ(modeOf(dir.file("free.txt")), 0644u);
    EXPECT_FALSE(QFileInfo::exists(temporary));
}

TEST(FileReplacement, FlushesAndRemoves)
{
    TempDir dir;
    ErrorInfo error;
    const QString file = dir.write("a.txt", "x");
    EXPECT_TRUE(flushFileSystems({dir.path(), file, dir.file("gone"), dir.path()}, &error));
    EXPECT_TRUE(removeFile(file, &error));
    EXPECT_TRUE(removeFile(file, &error));  // already gone
    QDir().mkpath(dir.file("folder"));
    EXPECT_FALSE(removeFile(dir.file("folder"), &error));
    EXPECT_TRUE(QFileInfo(dir.file("folder")).isDir());
}
