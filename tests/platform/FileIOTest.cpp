#include "platform/documents/FileIO.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

using namespace korimado;
using korimado::test::TempDir;
using korimado::test::readFile;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode;
}

// A folder nobody may add to, root included, while it lives: as root a mode bit would not stop a
// write, the immutable flag does.
class ClosedFolder {
public:
    explicit ClosedFolder(const QString& path) : path_(path)
    {
        if (::geteuid() != 0) {
            closed_ = ::chmod(QFile::encodeName(path).constData(), 0555) == 0;
            return;
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            closed_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (fd >= 0) ::close(fd);
    }
    ~ClosedFolder()
    {
        if (!closed_) return;
        if (::geteuid() != 0) {
            ::chmod(QFile::encodeName(path_).constData(), 0755);
            return;
        }
        const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        if (fd >= 0) ::close(fd);
    }
    bool isClosed() const { return closed_; }

private:
    QString path_;
    bool closed_ = false;
};

}  // namespace

TEST(FileIOTest, ReadsOnlyRegularFilesAndNeverPastTheLimit)
{
    TempDir dir;
    const QString fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // No writer: a blocking open or read would never return.
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(path.toStdString());
        ErrorInfo error;
        EXPECT_FALSE(readWholeFile(path, &error));
        EXPECT_EQ(error.domain, posixErrorDomain);
        EXPECT_TRUE(error.description.contains("通常のファイルではない")) << error.description.toStdString();
    }
    ErrorInfo folderError;
    EXPECT_FALSE(readWholeFile(dir.path(), &folderError));
    EXPECT_EQ(folderError.code, EISDIR);

    const QString file = dir.write("ten.txt", "0123456789");
    EXPECT_EQ(readWholeFile(file, nullptr, 4), QByteArray("01234"));  // one byte past: too large
    EXPECT_EQ(readWholeFile(file, nullptr, 10), QByteArray("0123456789"));
    EXPECT_EQ(readWholeFile(file), QByteArray("0123456789"));
    EXPECT_EQ(readWholeFile(dir.write("empty", ""), nullptr, 0), QByteArray());
}

TEST(FileIOTest, LargeFilesReadInPartsComeBackByteForByte)
{
    TempDir dir;
    QByteArray bytes(9 * 1024 * 1024 + 7, Qt::Uninitialized);
    std::uint32_t seed = 1;
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    const QString file = dir.write("large.bin", bytes);
    EXPECT_TRUE(readWholeFile(file) == bytes);
    // The limit holds as for a small file: one byte past it, then the caller refuses.
    const std::optional<QByteArray> cut = readWholeFile(file, nullptr, bytes.size() - 100);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), bytes.size() - 99);
    EXPECT_TRUE(*cut == bytes.left(bytes.size() - 99));
}

TEST(FileIOTest, SavesNamesOfAnyLengthTheSystemTakes)
{
    TempDir dir;
    // 85 three-byte characters: 255 bytes, the longest name there is.
    const QString longest = QString(85, QChar(0x3042));
    ASSERT_EQ(QFile::encodeName(longest).size(), 255);
    const QString path = dir.file(longest);
    for (const QByteArray& contents : {QByteArray("first"), QByteArray("second")}) {
        ErrorInfo error;
        ASSERT_TRUE(writeFileSafely(path, contents, &error)) << error.description.toStdString();
        EXPECT_EQ(readFile(path), contents);
    }
    EXPECT_EQ(entries(dir.path()), QStringList{longest});
    EXPECT_LE(QFile::encodeName(temporaryFileNamePrefix(longest)).size() + 6, 40);

    ErrorInfo tooLong;
    EXPECT_FALSE(writeFileSafely(dir.file(longest + "a"), "x", &tooLong));
    EXPECT_EQ(tooLong.code, ENAMETOOLONG);
}

TEST(FileIOTest, RemovesOnlyItsOwnStaleTemporariesOfTheSameFile)
{
    TempDir dir;
    const QString path = dir.write("notes.txt", "old");
    const QString prefix = temporaryFileNamePrefix("notes.txt");
    // Left by saves that were killed, in today's form and the earlier long one.
    const QString stale = dir.write(prefix + "aB3dE9", "half");
    const QString legacy = dir.write(".notes.txt.korimado-Q1w2E3", "half");
    // Not ours to remove: another file's, a save still in progress (locked), a look-alike.
    const QString otherFile = dir.write(temporaryFileNamePrefix("other.txt") + "zzzzzz", "other");
    const QString inProgress = dir.write(prefix + "LOCKED", "busy");
    const QString lookAlike = dir.write(prefix + "too-long-to-be-ours", "mine");
    const int lockFd = ::open(QFile::encodeName(inProgress).constData(), O_RDONLY);
    ASSERT_GE(lockFd, 0);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);

    ASSERT_TRUE(writeFileSafely(path, "new"));
    ::close(lockFd);
    EXPECT_EQ(readFile(path), "new");
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_FALSE(QFileInfo::exists(legacy));
    EXPECT_TRUE(QFileInfo::exists(otherFile));
    EXPECT_TRUE(QFileInfo::exists(inProgress));
    EXPECT_TRUE(QFileInfo::exists(lookAlike));
    // Nothing of this save is left behind.
    EXPECT_EQ(entries(dir.path()).size(), 4);
}

TEST(FileIOTest, RefusesFilesItMayNotWriteAndKeepsOwnerAndModeBits)
{
    TempDir dir;
    // Judged by the owner's write bit, so that the refusal holds for root as well.
    const QString locked = dir.write("locked.txt", "keep me");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
    ErrorInfo error;
    EXPECT_FALSE(writeFileSafely(locked, "overwritten", &error));
    EXPECT_EQ(error.code, EACCES);
    EXPECT_EQ(error.description, "“locked.txt”は書き込みが許可されていないため、上書きしませんでした。");
    EXPECT_EQ(error.recoverySuggestion, "別名で保存すると、変更を別のファイルに残せます。");
    EXPECT_EQ(readFile(locked), "keep me");
    EXPECT_EQ(entries(dir.path()), QStringList{"locked.txt"});

    // Set-user-ID and set-group-ID survive a save (as root the owner is set before the mode).
    const QString tool = dir.write("tool.sh", "#!/bin/sh\n");
    ASSERT_EQ(::chmod(QFile::encodeName(tool).constData(), 06755), 0);
    ASSERT_TRUE(writeFileSafely(tool, "#!/bin/sh\necho\n"));
    EXPECT_EQ(modeOf(tool) & 07777, 06755u);

    const QString fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(writeFileSafely(fifo, "x"));
    EXPECT_TRUE(S_ISFIFO(modeOf(fifo)));
}

TEST(FileIOTest, WritesThroughSymbolicLinksEvenDanglingOnes)
{
    TempDir dir;
    QDir().mkpath(dir.file("real"));
    const QString dangling = dir.file("dangling.txt");
    ASSERT_EQ(::symlink("real/new.txt", QFile::encodeName(dangling).constData()), 0);
    const QString chain = dir.file("chain.txt");
    ASSERT_EQ(::symlink("dangling.txt", QFile::encodeName(chain).constData()), 0);

    ASSERT_TRUE(writeFileSafely(chain, "through two links"));
    EXPECT_TRUE(S_ISLNK(modeOf(chain)));
    EXPECT_TRUE(S_ISLNK(modeOf(dangling)));
    EXPECT_EQ(readFile(dir.file("real/new.txt")), "through two links");

    const QString loop = dir.file("loop");
    ASSERT_EQ(::symlink("loop", QFile::encodeName(loop).constData()), 0);
    ErrorInfo error;
    EXPECT_FALSE(writeFileSafely(loop, "x", &error));
    EXPECT_EQ(error.code, ELOOP);
    EXPECT_TRUE(S_ISLNK(modeOf(loop)));
}

TEST(FileIOTest, CommonSystemErrorsSayWhatHappenedInJapanese)
{
    const struct {
        int code;
        const char* description;
    } cases[] = {
        {ENOSPC, "ディスクに空きがないため、“a.txt”を書き込めませんでした。"},
        {EDQUOT, "ディスクの使用量が割り当ての上限に達したため、“a.txt”を書き込めませんでした。"},
        {ENAMETOOLONG, "名前が長すぎるため、“a.txt”にアクセスできませんでした。"},
        {EACCES, "“a.txt”にアクセスする権限がありません。"},
        {EPERM, "“a.txt”にアクセスする権限がありません。"},
        {EROFS, "“a.txt”は読み出し専用のボリュームにあるため、書き込めません。"},
        {EISDIR, "“a.txt”はフォルダです。"},
        {ENOENT, "“a.txt”が見つかりません。"},
        {EIO, "“a.txt”の読み書き中に入出力エラーが起きました。"},
    };
    for (const auto& c : cases) {
        const ErrorInfo error = posixError(c.code, "/somewhere/a.txt");
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.description, QString::fromUtf8(c.description));
        // The advice is Japanese too, not the system's English reason.
        EXPECT_FALSE(error.recoverySuggestion.isEmpty());
        EXPECT_FALSE(error.recoverySuggestion.contains(QRegularExpression("[A-Za-z]"))) << c.code;
    }
    // Anything rarer keeps the system's reason as advice.
    EXPECT_EQ(posixError(EXDEV, "/a.txt").description, "“a.txt”にアクセスできませんでした。");

    // A link loop is told in words, not with the system's English reason.
    const ErrorInfo loop = posixError(ELOOP, "/somewhere/a.txt");
    EXPECT_EQ(loop.description, "“a.txt”へのシンボリックリンクが循環しているため、たどれませんでした。");
    EXPECT_FALSE(loop.recoverySuggestion.contains(QRegularExpression("[A-Za-z]")));

    TempDir dir;
    ErrorInfo missing;
    EXPECT_FALSE(writeFileSafely(dir.file("no/such/folder/a.txt"), "x", &missing));
    EXPECT_EQ(missing.code, ENOENT);
    EXPECT_EQ(missing.description, "“a.txt”が見つかりません。");
}

TEST(FileIOTest, AFolderThatTakesNoNewFileIsBlamedNotTheWritableFile)
{
    TempDir dir;
    QDir().mkpath(dir.file("docs"));
    const QString file = dir.write("docs/a.txt", "old");
    ErrorInfo error;
    {
        ClosedFolder closed(dir.file("docs"));
        if (!closed.isClosed()) GTEST_SKIP() << "the folder cannot be closed to new files here";
        EXPECT_FALSE(writeFileSafely(file, "new", &error));
    }
    EXPECT_EQ(error.description, "フォルダ“docs”に書き込む権限がないため、“a.txt”を保存できませんでした。");
    EXPECT_EQ(error.recoverySuggestion, "フォルダのアクセス権を確認するか、別の場所に保存してください。");
    EXPECT_EQ(readFile(file), "old");
    EXPECT_EQ(entries(dir.file("docs")), QStringList{"a.txt"});
}

namespace {

// An access ACL granting user 4242 read and write, in the kernel's own form of the attribute.
QByteArray aclGrantingUser4242()
{
    QByteArray acl;
    auto put32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) acl.append(char((v >> (8 * i)) & 0xFF)); };
    auto entry = [&](quint16 tag, quint16 perm, quint32 id) {
        acl.append(char(tag & 0xFF)).append(char(tag >> 8)).append(char(perm & 0xFF)).append(char(perm >> 8));
        put32(id);
    };
    put32(2);
    entry(0x01, 6, 0xFFFFFFFF);  // owner
    entry(0x02, 6, 4242);        // user 4242
    entry(0x04, 4, 0xFFFFFFFF);  // group
    entry(0x10, 6, 0xFFFFFFFF);  // mask
    entry(0x20, 4, 0xFFFFFFFF);  // others
    return acl;
}

QByteArray attribute(const QString& path, const char* name)
{
    char buffer[256];
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), name, buffer, sizeof buffer);
    return size < 0 ? QByteArray() : QByteArray(buffer, int(size));
}

ino_t inodeOf(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_ino;
}

}  // namespace

TEST(FileIOTest, SavingKeepsExtendedAttributesAndTheAcl)
{
    TempDir dir;
    const QString file = dir.write("tagged.txt", "old");
    const QByteArray encoded = QFile::encodeName(file);
    if (::setxattr(encoded.constData(), "user.korimado.test", "blue", 4, 0) != 0) {
        GTEST_SKIP() << "no user extended attributes in " << dir.path().toStdString();
    }
    const QByteArray acl = aclGrantingUser4242();
    const bool hasAcl = ::setxattr(encoded.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) == 0;
    const mode_t mode = modeOf(file) & 07777;

    ASSERT_TRUE(writeFileSafely(file, "new"));
    EXPECT_EQ(readFile(file), "new");
    EXPECT_EQ(attribute(file, "user.korimado.test"), "blue");
    if (hasAcl) {
        EXPECT_EQ(attribute(file, "system.posix_acl_access"), acl);
        EXPECT_EQ(modeOf(file) & 07777, mode);
    }
    EXPECT_EQ(entries(dir.path()), QStringList{"tagged.txt"});
}

TEST(FileIOTest, AFileWithOtherNamesStaysOneFile)
{
    TempDir dir;
    const QString file = dir.write("shared.txt", "old text\n");
    const QString other = dir.file("other-name.txt");
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()), 0);
    const ino_t inode = inodeOf(file);

    ASSERT_TRUE(writeFileSafely(file, "new, longer text\n"));
    EXPECT_EQ(readFile(other), "new, longer text\n");
    EXPECT_EQ(inodeOf(file), inode);
    ASSERT_TRUE(writeFileSafely(other, "short\n"));
    EXPECT_EQ(readFile(file), "short\n");
    EXPECT_EQ(inodeOf(other), inode);
    // The old bytes' copy is gone once the new ones are in place.
    EXPECT_EQ(entries(dir.path()), (QStringList{"other-name.txt", "shared.txt"}));
}
