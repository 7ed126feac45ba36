#include "document/EncodingConverter.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/FolderTestSupport.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <tuple>

using namespace korimado;
using namespace korimado::test;

namespace {

FolderReplaceReceipt replace(const TempDir& dir, const QString& pattern, const QString& replacement)
{
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest(pattern), folderOptions());
    const FolderReplacementPreview preview =
        FolderSearchEngine::makeReplacementPreview(result, plainRequest(pattern, replacement));
    QSet<QString> all;
    for (const FolderReplacementFile& f : preview.files) all.insert(f.source.url);
    return FolderSearchEngine::apply(preview, all, {});
}

// Every file outside the backup folder: relative path to bytes and mode.
QMap<QString, QPair<QByteArray, quint32>> snapshot(const TempDir& dir)
{
    QMap<QString, QPair<QByteArray, quint32>> out;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(dir.path()).relativeFilePath(path);
        if (relative.startsWith(".korimado-backups/")) continue;
        out.insert(relative, {test::readFile(path), modeOf(path)});
    }
    return out;
}

}  // namespace

TEST(FolderRollback, ReplaceThenRollbackGivesBackEveryByteAndPermission)
{
    TempDir dir;
    const auto put = [&](const char* name, const QByteArray& bytes, quint32 mode) {
        ::chmod(QFile::encodeName(dir.write(name, bytes)).constData(), mode);
    };
    put("private.txt", "token = old\n", 0600);
    put("group.txt", "old old old", 0640);
    put("script.sh", "#!/bin/sh\necho old\n", 0755);
    put("deep/er/crlf.txt", "old\r\nline\r\nold\r\n", 0644);
    put("bom.txt", "\xef\xbb\xbfold\n", 0644);
    put("sjis.txt", *EncodingConverter::fromText(TextEncoding::shiftJIS, u"古いold日本語の文章です\n"), 0664);
    put("untouched.txt", "nothing here\n", 0644);
    const auto before = snapshot(dir);

    const FolderReplaceReceipt receipt = replace(dir, "old", "新しい");
    EXPECT_EQ(receipt.entries.size(), 6);
    EXPECT_EQ(receipt.replacementCount, 9);
    EXPECT_NE(snapshot(dir), before);

    const FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries);
    EXPECT_EQ(result.restored.size(), 6);
    EXPECT_TRUE(result.refused.isEmpty());
    EXPECT_TRUE(result.failures.isEmpty());
    EXPECT_EQ(snapshot(dir), before);
    // Backups stay.
    EXPECT_TRUE(QFileInfo::exists(receipt.backupURL + "/deep/er/crlf.txt"));
}

TEST(FolderRollback, RestoresNewestFirstAndRefusesFilesChangedSince)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    const QString b = dir.write("b.txt", "old b\n");
    const QString c = dir.write("c.txt", "old c\n");
    ::chmod(QFile::encodeName(c).constData(), 0600);
    const FolderReplaceReceipt receipt = replace(dir, "old", "new");
    ASSERT_EQ(receipt.entries.size(), 3);
    dir.write("b.txt", "edited by the user\n");

    FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries);
    EXPECT_EQ(result.restored, (QStringList{c, a}));
    EXPECT_EQ(result.refused, QStringList{b});
    EXPECT_TRUE(result.failures.isEmpty());
    EXPECT_EQ(test::readFile(b), "edited by the user\n");
    EXPECT_EQ(test::readFile(a), "old a\n");
    EXPECT_EQ(modeOf(c), 0600u);

    // A second rollback finds the earlier bytes back in place and refuses them all.
    result = FolderSearchEngine::rollbackEntries(receipt.entries);
    EXPECT_TRUE(result.restored.isEmpty());
    EXPECT_EQ(result.refused, (QStringList{c, b, a}));
}

TEST(FolderRollback, MissingTargetsAndBackupsAreFailureLines)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    const QString b = dir.write("b.txt", "old b\n");
    const FolderReplaceReceipt receipt = replace(dir, "old", "new");
    ASSERT_EQ(receipt.entries.size(), 2);
    QFile::remove(a);
    QFile::remove(receipt.entries[1].backupURL);

    const FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries);
    ASSERT_EQ(result.failures.size(), 2);
    EXPECT_TRUE(result.failures[0].startsWith(b + ": ")) << result.failures[0].toStdString();
    EXPECT_TRUE(result.failures[1].startsWith(a + ": ")) << result.failures[1].toStdString();
    EXPECT_GT(result.failures[1].size(), a.size() + 2);
    EXPECT_TRUE(result.restored.isEmpty());
    EXPECT_EQ(test::readFile(b), "new b\n");
    EXPECT_FALSE(QFileInfo::exists(a));

    EXPECT_EQ(FolderSearchEngine::rollbackEntries({}).restored.size(), 0);
}

TEST(FolderRollback, AFailedRestoreIsAFailureLineAndLeavesTheReplacement)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    ::chmod(QFile::encodeName(a).constData(), 0600);
    const FolderReplaceReceipt receipt = replace(dir, "old", "new");
    FaultyFileSystem fs;
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) { return op == FaultyFileSystem::Op::replace && path == a; };
    const FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries, &fs);
    EXPECT_TRUE(result.restored.isEmpty());
    ASSERT_EQ(result.failures.size(), 1);
    EXPECT_TRUE(result.failures[0].startsWith(a + ": "));
    EXPECT_EQ(test::readFile(a), "new a\n");
    EXPECT_EQ(modeOf(a), 0600u);
    // Nothing is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
}

TEST(FolderRollback, OnAFullDiskTheBackupItselfGoesBack)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    const QString b = dir.write("sub/b.txt", "old b\n");
    ::chmod(QFile::encodeName(b).constData(), 0640);
    const FolderReplaceReceipt receipt = replace(dir, "old", "new");
    ASSERT_EQ(receipt.entries.size(), 2);
    FaultyFileSystem fs;
    fs.failsWith = ENOSPC;
    fs.fails = [](FaultyFileSystem::Op op, const QString&) { return op == FaultyFileSystem::Op::writeTemporary; };
    const FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries, &fs);
    EXPECT_EQ(result.restored, (QStringList{b, a}));
    EXPECT_TRUE(result.failures.isEmpty()) << result.failures.join('\n').toStdString();
    EXPECT_EQ(test::readFile(a), "old a\n");
    EXPECT_EQ(test::readFile(b), "old b\n");
    EXPECT_EQ(modeOf(b), 0640u);
    // Moved, not copied: there was no room for a copy.
    EXPECT_FALSE(QFileInfo::exists(receipt.entries[1].backupURL));
}

TEST(FolderRollback, CopiesAreAllWrittenAndFlushedOnceBeforeTheFirstTargetIsReplaced)
{
    TempDir dir;
    for (int i = 0; i < 5; ++i) dir.write(QStringLiteral("f%1.txt").arg(i), "old\n");
    const FolderReplaceReceipt receipt = replace(dir, "old", "new");
    ASSERT_EQ(receipt.entries.size(), 5);
    FaultyFileSystem fs;
    const FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries, &fs);
    EXPECT_EQ(result.restored.size(), 5);
    ASSERT_EQ(fs.log.count("flush"), 2);
    const qsizetype firstFlush = fs.log.indexOf("flush");
    EXPECT_EQ(fs.log.filter("writeTemporary").size(), 5);
    for (qsizetype i = 0; i < fs.log.size(); ++i) {
        if (fs.log[i].startsWith("writeTemporary")) {
            EXPECT_LT(i, firstFlush);
        }
        if (fs.log[i].startsWith("replace")) {
            EXPECT_GT(i, firstFlush);
        }
    }
    EXPECT_EQ(fs.log.last(), "flush");
    EXPECT_TRUE(QFileInfo::exists(receipt.entries[0].backupURL));
}

namespace {

struct Stopped {};

using SampleFiles = QList<std::tuple<QString, QByteArray, quint32>>;

// Replaces "old" in files, then rolls back through a file system that stops the process at its
// call number stop (killed, or the machine gone). Each file then holds either what the replacement
// wrote or its old bytes with its old mode, every backup is whole, no target is replaced by a copy
// that was not flushed first, and a rollback started afresh finishes. True when stop came too late
// to stop anything.
bool rollBackStoppedAt(const SampleFiles& files, int stop)
{
    SCOPED_TRACE(stop);
    TempDir dir;
    for (const auto& [name, bytes, mode] : files) ::chmod(QFile::encodeName(dir.write(name, bytes)).constData(), mode);
    const FolderReplaceReceipt receipt = replace(dir, "old", "new");
    EXPECT_EQ(receipt.entries.size(), files.size());

    FaultyFileSystem fs;
    std::atomic<int> calls{0};
    fs.before = [&](FaultyFileSystem::Op, const QString&) {
        if (calls++ == stop) throw Stopped{};
    };
    bool finished = false;
    try {
        const FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries, &fs);
        EXPECT_EQ(result.restored.size(), files.size());
        finished = true;
    } catch (const Stopped&) {
    }

    for (const auto& [name, bytes, mode] : files) {
        const QByteArray now = test::readFile(dir.file(name));
        const QByteArray replaced = QByteArray(bytes).replace("old", "new");
        EXPECT_TRUE(now == bytes || now == replaced) << name.toStdString() << ": " << now.toStdString();
        if (now == bytes) {
            EXPECT_EQ(modeOf(dir.file(name)), mode) << name.toStdString();
        }
        const QString backup = receipt.backupURL + u'/' + name;
        EXPECT_EQ(test::readFile(backup), bytes) << name.toStdString();
        EXPECT_EQ(modeOf(backup), mode) << name.toStdString();
    }
    qsizetype lastWrite = -1;
    qsizetype lastFlush = -1;
    for (qsizetype i = 0; i < fs.log.size(); ++i) {
        if (fs.log[i].startsWith("writeTemporary")) lastWrite = i;
        if (fs.log[i] == "flush") lastFlush = i;
        if (fs.log[i].startsWith("replace")) {
            EXPECT_LT(lastWrite, lastFlush) << fs.log[i].toStdString();
        }
    }

    const FolderRollbackResult again = FolderSearchEngine::rollbackEntries(receipt.entries);
    EXPECT_TRUE(again.failures.isEmpty()) << again.failures.join('\n').toStdString();
    for (const auto& [name, bytes, mode] : files) {
        EXPECT_EQ(test::readFile(dir.file(name)), bytes) << name.toStdString();
        EXPECT_EQ(modeOf(dir.file(name)), mode) << name.toStdString();
    }
    return finished;
}

}  // namespace

TEST(FolderRollback, StoppedAtAnyStepEachFileIsOldOrNewAndEveryBackupWhole)
{
    const SampleFiles files{{"a.txt", "old a\n", 0644}, {"sub/b.txt", "old b old\n", 0600},
                            {"sub/c.sh", "echo old\n", 0755}, {"d.txt", "old d\r\n", 0640}};
    int stop = 0;
    while (!rollBackStoppedAt(files, stop)) ASSERT_LT(++stop, 1000) << "the rollback never ends";
}

// Many files are restored several at a time: a stop anywhere keeps the same promise.
TEST(FolderRollback, ManyFilesStoppedAnywhereKeepTheSamePromise)
{
    SampleFiles files;
    for (int i = 0; i < 60; ++i) {
        files.push_back({QStringLiteral("d%1/f%2.txt").arg(i % 3).arg(i), QByteArray("old ") + QByteArray::number(i) + '\n',
                         i % 2 ? 0600u : 0644u});
    }
    for (const int stop : {0, 150, 300, 301, 555}) {
        if (rollBackStoppedAt(files, stop)) break;
    }
    EXPECT_TRUE(rollBackStoppedAt(files, 100'000));
}
