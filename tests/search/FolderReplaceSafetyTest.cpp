// What a folder replacement must never touch: files swapped for links after the preview, open
// documents reached through another path, older backups; and what it must say when a file is gone.
#include "search/folder/FolderApplyTemporaries.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/FolderTestSupport.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>

using namespace korimado;
using namespace korimado::test;

namespace {

FolderReplacementPreview previewOf(const QString& root, const QString& pattern, const QString& replacement,
                                   FolderSearchOptions options = folderOptions())
{
    const FolderSearchResult result = FolderSearchEngine::search(root, plainRequest(pattern), options);
    return FolderSearchEngine::makeReplacementPreview(result, plainRequest(pattern, replacement));
}

QSet<QString> allOf(const FolderReplacementPreview& preview)
{
    QSet<QString> urls;
    for (const FolderReplacementFile& f : preview.files) urls.insert(f.source.url);
    return urls;
}

FolderSearchError applyFailure(const FolderReplacementPreview& preview, const QSet<QString>& blocked = {},
                               FolderFileSystem* fs = nullptr)
{
    try {
        FolderSearchEngine::apply(preview, allOf(preview), blocked, std::nullopt, nullptr, fs);
    } catch (const FolderSearchError& e) {
        return e;
    }
    ADD_FAILURE() << "apply succeeded";
    return FolderSearchError::invalidRoot();
}

// Moves path out of the tree to outside and leaves a link to it in its place.
void swapForLink(const QString& path, const QString& outside)
{
    ASSERT_EQ(::rename(QFile::encodeName(path).constData(), QFile::encodeName(outside).constData()), 0);
    makeLink(outside, path);
}

bool isLink(const QString& path)
{
    return QFileInfo(path).isSymLink();
}

}  // namespace

TEST(FolderReplaceSafety, AFileOrFolderSwappedForALinkAfterThePreviewIsNeverWrittenThrough)
{
    TempDir dir;
    TempDir outside;
    dir.write("a.txt", "old a\n");
    dir.write("sub/b.txt", "old b\n");
    dir.write("c.txt", "old c\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    ASSERT_EQ(preview.files.size(), 3);

    // The same bytes, the same file even: only its place has changed.
    swapForLink(dir.file("a.txt"), outside.file("a.txt"));
    swapForLink(dir.file("sub"), outside.file("sub"));
    const FolderSearchError error = applyFailure(preview);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::preconditionFailed);
    EXPECT_EQ(error.problems().size(), 2) << error.what();
    EXPECT_EQ(test::readFile(outside.file("a.txt")), "old a\n");
    EXPECT_EQ(test::readFile(outside.file("sub/b.txt")), "old b\n");
    EXPECT_TRUE(isLink(dir.file("a.txt")));
    EXPECT_TRUE(isLink(dir.file("sub")));
    EXPECT_EQ(test::readFile(dir.file("c.txt")), "old c\n");
}

TEST(FolderReplaceSafety, ALinkSwappedInBetweenTheRecheckAndTheWriteIsNotFollowed)
{
    TempDir dir;
    TempDir outside;
    dir.write("a.txt", "old a\n");
    dir.write("b/c.txt", "old c\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    // The run's backup folder is made after every re-check and before the first write.
    for (const QString& swapped : {QStringLiteral("a.txt"), QStringLiteral("b")}) {
        FaultyFileSystem fs;
        bool done = false;
        fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
            if (op != FaultyFileSystem::Op::createDirectory || done || path.endsWith(".korimado-backups")) return;
            done = true;
            swapForLink(dir.file(swapped), outside.file(swapped));
        };
        const FolderSearchError error = applyFailure(preview, {}, &fs);
        ASSERT_TRUE(done);
        EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed) << error.what();
        EXPECT_TRUE(error.rollbackFailures().isEmpty()) << error.what();
        EXPECT_EQ(test::readFile(outside.file(swapped == "b" ? "b/c.txt" : "a.txt")), swapped == "b" ? "old c\n" : "old a\n");
        EXPECT_TRUE(isLink(dir.file(swapped)));
        // Put back for the next round.
        QFile::remove(dir.file(swapped));
        ASSERT_EQ(::rename(QFile::encodeName(outside.file(swapped)).constData(), QFile::encodeName(dir.file(swapped)).constData()), 0);
        EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
        EXPECT_EQ(test::readFile(dir.file("b/c.txt")), "old c\n");
    }
}

TEST(FolderReplaceSafety, RollbackRefusesATargetSwappedForALink)
{
    TempDir dir;
    TempDir outside;
    const QString a = dir.write("sub/a.txt", "old a\n");
    const QString b = dir.write("b.txt", "old b\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, allOf(preview), {});
    ASSERT_EQ(receipt.entries.size(), 2);

    // Someone's copies holding exactly what the replacement wrote, reached through links.
    swapForLink(dir.file("sub"), outside.file("sub"));
    swapForLink(b, outside.file("b.txt"));
    const FolderRollbackResult result = FolderSearchEngine::rollbackEntries(receipt.entries);
    EXPECT_TRUE(result.restored.isEmpty());
    EXPECT_EQ(result.refused.size() + result.failures.size(), 2);
    EXPECT_EQ(test::readFile(outside.file("sub/a.txt")), "new a\n");
    EXPECT_EQ(test::readFile(outside.file("b.txt")), "new b\n");
    EXPECT_TRUE(isLink(b));
    EXPECT_TRUE(isLink(dir.file("sub")));
    Q_UNUSED(a);
}

TEST(FolderReplaceSafety, AnOpenDocumentReachedThroughALinkedPathIsBlocked)
{
    TempDir dir;
    TempDir links;
    dir.write("a.txt", "old a\n");
    dir.write("b.txt", "old b\n");
    makeLink(dir.path(), links.file("linkroot"));
    // Searched through the link, blocked by its real path; and the other way round.
    FolderReplacementPreview preview = previewOf(links.file("linkroot"), "old", "new");
    FolderSearchError error = applyFailure(preview, {links.file("linkroot/a.txt"), dir.file("b.txt")});
    EXPECT_EQ(error.errorDescription(), "置換前の安全確認に失敗しました。\n開いている文書: a.txt\n開いている文書: b.txt");
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
}

TEST(FolderReplaceSafety, BackupsAreNeitherSearchedThroughALinkNorRewritten)
{
    TempDir dir;
    dir.write("a.txt", "old a\n");
    const FolderReplacementPreview first = previewOf(dir.path(), "old", "new");
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(first, allOf(first), {});
    ASSERT_EQ(receipt.entries.size(), 1);
    ASSERT_EQ(test::readFile(receipt.backupURL + "/a.txt"), "old a\n");

    makeLink(dir.file(".korimado-backups"), dir.file("all-backups"));
    makeLink(receipt.backupURL, dir.file("last-run"));
    FolderSearchOptions options = folderOptions();
    options.followsSymbolicLinks = true;
    options.includesHiddenFiles = true;
    const FolderSearchResult found = FolderSearchEngine::search(dir.path(), plainRequest("old"), options);
    EXPECT_TRUE(found.files.isEmpty()) << found.files.value(0).relativePath.toStdString();
    int excluded = 0;
    for (const FolderSkippedFile& s : found.skippedFiles) excluded += s.reason == FolderSkipReason::excluded;
    EXPECT_EQ(excluded, 3);  // the folder itself and both links

    // A preview that names a backup (made from a search inside the backup folder) is refused too.
    FolderReplacementPreview inside = previewOf(receipt.backupURL, "old", "new");
    ASSERT_EQ(inside.files.size(), 1);
    inside.rootURL = QDir(dir.path()).canonicalPath();
    inside.files[0].source.relativePath = ".korimado-backups/" + QFileInfo(receipt.backupURL).fileName() + "/a.txt";
    const FolderSearchError error = applyFailure(inside);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::preconditionFailed);
    EXPECT_EQ(test::readFile(receipt.backupURL + "/a.txt"), "old a\n");
}

TEST(FolderReplaceSafety, AMissingFileIsReportedAsMissing)
{
    TempDir dir;
    dir.write("a.txt", "old a\n");
    dir.write("gone.txt", "old\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    QFile::remove(dir.file("gone.txt"));
    const FolderSearchError error = applyFailure(preview);
    EXPECT_EQ(error.errorDescription(), "置換前の安全確認に失敗しました。\n見つかりません: gone.txt");
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
}

TEST(FolderReplaceSafety, AWritableFileInAFolderThatIsNotIsCaughtBeforeAnyWrite)
{
    TempDir dir;
    dir.write("a.txt", "old a\n");
    dir.write("locked/b.txt", "old b\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    std::optional<TmpfsMount> readOnly;
    if (::geteuid() != 0) {
        ::chmod(QFile::encodeName(dir.file("locked")).constData(), 0555);
    } else {
        // Root may write into any folder of a writable volume: a read-only one it may not.
        readOnly.emplace(dir.file("locked"), 1 << 20);
        if (!readOnly->mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
        dir.write("locked/b.txt", "old b\n");
        const FolderReplacementPreview mounted = previewOf(dir.path(), "old", "new");
        ASSERT_TRUE(readOnly->makeReadOnly());
        const FolderSearchError error = applyFailure(mounted);
        EXPECT_EQ(error.errorDescription(), "置換前の安全確認に失敗しました。\nフォルダに書き込めません: locked/b.txt");
        EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
        return;
    }
    const FolderSearchError error = applyFailure(preview);
    ::chmod(QFile::encodeName(dir.file("locked")).constData(), 0755);
    EXPECT_EQ(error.errorDescription(), "置換前の安全確認に失敗しました。\nフォルダに書き込めません: locked/b.txt");
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
}

TEST(FolderReplaceSafety, AFullDiskLeavesEveryFileAsItWasAndNoTemporaryBehind)
{
    TempDir dir;
    TmpfsMount disk(dir.file("disk"), 256 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    const QByteArray body = QByteArray("old line\n").repeated(2000);  // 18 KB
    for (int i = 0; i < 6; ++i) dir.write(QStringLiteral("disk/f%1.txt").arg(i), body);
    // Room for a few more files' worth, not for a backup and a new copy of each.
    const QByteArray filler(256 * 1024 - 6 * 20 * 1024 - 40 * 1024, 'x');
    dir.write("disk/filler.bin", filler);
    const FolderReplacementPreview preview = previewOf(dir.file("disk"), "old", "new");
    ASSERT_EQ(preview.files.size(), 6);

    const FolderSearchError error = applyFailure(preview);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_TRUE(error.message().contains("ディスクに空きがない")) << error.what();
    EXPECT_TRUE(error.rollbackFailures().isEmpty()) << error.what();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(test::readFile(dir.file(QStringLiteral("disk/f%1.txt").arg(i))), body) << i;
    const QStringList left = QDir(dir.file("disk")).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : left) EXPECT_FALSE(name.startsWith(".korimado-")) << name.toStdString();
}

TEST(FolderReplaceSafety, WithNoRoomLeftTheFilesAlreadyReplacedGetTheirBackupsBack)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    const QString b = dir.write("b.txt", "old b\n");
    const QString c = dir.write("c.txt", "old c\n");
    const QString d = dir.write("d.txt", "old d\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    // c.txt fails, and from then on the disk takes not one more byte.
    FaultyFileSystem fs;
    bool full = false;
    fs.failsWith = ENOSPC;
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) {
        if (op == FaultyFileSystem::Op::replace && path == c) full = true;
        return full && (op == FaultyFileSystem::Op::replace ? path == c : op == FaultyFileSystem::Op::writeTemporary);
    };
    const FolderSearchError error = applyFailure(preview, {}, &fs);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_TRUE(error.rollbackFailures().isEmpty()) << error.what();
    EXPECT_TRUE(error.message().contains("ディスクに空きがない")) << error.what();
    EXPECT_EQ(test::readFile(a), "old a\n");
    EXPECT_EQ(test::readFile(b), "old b\n");
    EXPECT_EQ(test::readFile(c), "old c\n");
    // c.txt's own backup is let go before anything else, and nothing waits beside the files.
    const qsizetype releaseAt = fs.log.indexOf(QRegularExpression("^remove .*/\\.korimado-backups/[^/]+/c\\.txt$"));
    const qsizetype firstRestore = fs.log.indexOf("replace " + b, fs.log.indexOf("replace " + c));
    EXPECT_GE(releaseAt, 0);
    EXPECT_GT(firstRestore, releaseAt);
    EXPECT_EQ(test::readFile(d), "old d\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.txt", "b.txt", "c.txt", "d.txt"}));
    // a.txt's and b.txt's backups went back, and no file that was never replaced keeps one.
    const QString run = fs.log.filter("renameFolder ").value(0).section(' ', 1);
    ASSERT_FALSE(run.isEmpty());
    EXPECT_TRUE(QDir(run).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(FolderReplaceSafety, EveryBackupAndNewContentIsFlushedOnceBeforeTheFirstFileIsReplaced)
{
    TempDir dir;
    for (int i = 0; i < 6; ++i) dir.write(QStringLiteral("d%1/f%2.txt").arg(i % 2).arg(i), "old\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    FaultyFileSystem fs;
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, allOf(preview), {}, std::nullopt, nullptr, &fs);
    ASSERT_EQ(receipt.entries.size(), 6);
    EXPECT_EQ(fs.log.count("flush"), 2);
    const qsizetype firstFlush = fs.log.indexOf("flush");
    EXPECT_EQ(fs.log.filter("writeTemporary").size(), 6);
    EXPECT_EQ(fs.log.filter("writeNewFile").size(), 6);
    // The backups appear in the run's folder all at once, whole: one rename after the flush.
    EXPECT_EQ(fs.log.indexOf("renameFolder " + receipt.backupURL), firstFlush + 1);
    for (qsizetype i = 0; i < fs.log.size(); ++i) {
        const QString& step = fs.log[i];
        if (step.startsWith("write") || step.startsWith("link")) {
            EXPECT_LT(i, firstFlush);
            // Never inside the run's own folder: a copy of the backups back into the tree would carry it along.
            EXPECT_FALSE(step.contains(receipt.backupURL)) << step.toStdString();
        }
        if (step.startsWith("replace")) {
            EXPECT_GT(i, firstFlush + 1);
        }
    }
    EXPECT_EQ(fs.log.last(), "flush");
    EXPECT_EQ(test::readFile(receipt.backupURL + "/d1/f5.txt"), "old\n");
    EXPECT_EQ(modeOf(receipt.backupURL + "/d1/f5.txt"), modeOf(dir.file("d1/f5.txt")));
    EXPECT_EQ(test::readFile(dir.file("d1/f5.txt")), "new\n");
    EXPECT_EQ(QDir(dir.file(".korimado-backups")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QFileInfo(receipt.backupURL).fileName()});
}

TEST(FolderReplaceSafety, ARunStoppedBeforeItsFirstRenameLeavesNoBackupFolder)
{
    TempDir dir;
    dir.write("a.txt", "old a\n");
    dir.write("b.txt", "old b\n");
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    FaultyFileSystem fs;
    fs.fails = [](FaultyFileSystem::Op op, const QString&) { return op == FaultyFileSystem::Op::flush; };
    const FolderSearchError error = applyFailure(preview, {}, &fs);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_TRUE(error.rollbackFailures().isEmpty());
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
    EXPECT_TRUE(QDir(dir.file(".korimado-backups")).isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.txt", "b.txt"}));
}

TEST(FolderReplaceSafety, TemporariesLeftByAKilledRunAreRemovedByTheNextSearch)
{
    TempDir dir;
    dir.write("a.txt", "old\n");
    // A process id no process has (above the largest the kernel gives), and this process's own.
    const QString dead = FolderApplyTemporaries::nameFor(99999999);
    const QString deadRun = FolderApplyTemporaries::nameFor(99999999);
    const QString mine = FolderApplyTemporaries::newName();
    dir.write(dead, "old but stale\n");
    dir.write("sub/" + dead, "old\n");
    dir.write(".korimado-backups/" + dead, "old\n");
    dir.write(".korimado-backups/" + deadRun + "/sub/a.txt", "old\n");  // a run's backups, never placed
    dir.write(mine, "old, being written\n");
    dir.write(".korimado-apply-notmine.txt", "old\n");  // only the exact form is ours
    EXPECT_TRUE(FolderApplyTemporaries::isTemporaryName(dead));
    EXPECT_TRUE(FolderApplyTemporaries::isTemporaryName(mine));
    EXPECT_FALSE(FolderApplyTemporaries::isTemporaryName(".korimado-apply-notmine.txt"));

    FolderSearchOptions options = folderOptions();
    options.includesHiddenFiles = true;
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("old"), options);
    QStringList found;
    for (const FolderSearchFile& f : result.files) found.push_back(f.relativePath);
    EXPECT_EQ(found, (QStringList{".korimado-apply-notmine.txt", "a.txt"}));
    EXPECT_FALSE(QFileInfo::exists(dir.file(dead)));
    EXPECT_FALSE(QFileInfo::exists(dir.file("sub/" + dead)));
    EXPECT_FALSE(QFileInfo::exists(dir.file(".korimado-backups/" + dead)));
    EXPECT_TRUE(QDir(dir.file(".korimado-backups")).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir.file(mine)));
}

TEST(FolderReplaceSafety, TheSweepRemovesNothingARunOfThisUserDidNotMake)
{
    TempDir dir;
    // The names of a run, but not sealed with this user's key: someone's files, a checked-out
    // tree, an archive unpacked. Searched like any other, never removed.
    const QString forged = ".korimado-apply-99999999-0123abcd";
    const QString forgedSealed = ".korimado-apply-99999999-0123abcd-0123456789abcdef";
    dir.write(forged, "theirs\n");
    dir.write(forgedSealed, "theirs\n");
    dir.write(".korimado-backups/" + forged + "/notes.txt", "theirs\n");
    EXPECT_FALSE(FolderApplyTemporaries::isTemporaryName(forged));
    EXPECT_FALSE(FolderApplyTemporaries::isTemporaryName(forgedSealed));

    // Rightly named, but holding what no run puts there: a link, a file with a second name.
    const QString withLink = FolderApplyTemporaries::nameFor(99999999);
    dir.write(".korimado-backups/" + withLink + "/a.txt", "backup\n");
    ASSERT_EQ(::symlink("/etc", QFile::encodeName(dir.file(".korimado-backups/" + withLink + "/etc")).constData()), 0);
    const QString withSecondName = FolderApplyTemporaries::nameFor(99999999);
    const QString precious = dir.write("precious.txt", "keep\n");
    ASSERT_EQ(::link(QFile::encodeName(precious).constData(), QFile::encodeName(dir.file(withSecondName)).constData()), 0);
    // Another user's, where this one runs as root and can make one.
    QString othersOwn;
    if (::geteuid() == 0) {
        othersOwn = FolderApplyTemporaries::nameFor(99999999);
        ASSERT_EQ(::chown(QFile::encodeName(dir.write(othersOwn, "theirs\n")).constData(), 4242, 4242), 0);
    }

    FolderSearchOptions options = folderOptions();
    options.includesHiddenFiles = true;
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("theirs"), options);
    QStringList found;
    for (const FolderSearchFile& f : result.files) found.push_back(f.relativePath);
    EXPECT_EQ(found, (QStringList{forged, forgedSealed}));
    EXPECT_EQ(test::readFile(dir.file(forged)), "theirs\n");
    EXPECT_EQ(test::readFile(dir.file(".korimado-backups/" + forged + "/notes.txt")), "theirs\n");
    EXPECT_TRUE(QFileInfo::exists(dir.file(".korimado-backups/" + withLink + "/a.txt")));
    EXPECT_TRUE(QFileInfo::exists(dir.file(withSecondName)));
    EXPECT_EQ(test::readFile(precious), "keep\n");
    if (!othersOwn.isEmpty()) {
        EXPECT_TRUE(QFileInfo::exists(dir.file(othersOwn)));
    }
}

TEST(FolderReplaceSafety, ABackupIsACopyAndAFileWithOtherNamesStaysOneFile)
{
    TempDir dir;
    const QString single = dir.write("single.txt", "old single\n");
    const QString shared = dir.write("shared.txt", "old shared\n");
    ASSERT_EQ(::link(QFile::encodeName(shared).constData(), QFile::encodeName(dir.file("other-name.bin")).constData()), 0);
    const std::optional<FileIdentity> sharedBefore = FolderFileSystem::standard().attributes(shared, false)->identity;
    FolderSearchOptions options = folderOptions();
    options.excludedGlobs = {"*.bin"};
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new", options);
    ASSERT_EQ(preview.files.size(), 2);
    FaultyFileSystem fs;
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, allOf(preview), {}, std::nullopt, nullptr, &fs);
    ASSERT_EQ(receipt.entries.size(), 2);
    // Each backup is a file of its own: editing the live file leaves it as it was.
    for (const QString& name : {QStringLiteral("single.txt"), QStringLiteral("shared.txt")}) {
        EXPECT_EQ(FolderFileSystem::standard().attributes(receipt.backupURL + "/" + name, false)->linkCount, 1u);
    }
    EXPECT_EQ(test::readFile(single), "new single\n");
    // Both names of the shared file see the new text: it was written in place, not split.
    EXPECT_EQ(test::readFile(shared), "new shared\n");
    EXPECT_EQ(test::readFile(dir.file("other-name.bin")), "new shared\n");
    EXPECT_EQ(FolderFileSystem::standard().attributes(shared, false)->identity, sharedBefore);
    EXPECT_EQ(fs.log.filter("overwrite ").size(), 1);
    EXPECT_EQ(test::readFile(receipt.backupURL + "/shared.txt"), "old shared\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"other-name.bin", "shared.txt", "single.txt"}));

    // Rolled back, each file is its old self again, the shared one under both names.
    EXPECT_EQ(FolderSearchEngine::rollbackEntries(receipt.entries).restored.size(), 2);
    EXPECT_EQ(test::readFile(single), "old single\n");
    EXPECT_EQ(test::readFile(shared), "old shared\n");
    EXPECT_EQ(test::readFile(dir.file("other-name.bin")), "old shared\n");
    EXPECT_EQ(FolderFileSystem::standard().attributes(shared, false)->identity, sharedBefore);
}

TEST(FolderReplaceSafety, AnInPlaceWriteThatFailsMidwayIsPutBackUnderEveryName)
{
    TempDir dir;
    const QString first = dir.write("a.txt", "old a\n");
    const QString shared = dir.write("b.txt", "old shared\n");
    ASSERT_EQ(::link(QFile::encodeName(shared).constData(), QFile::encodeName(dir.file("other-name.bin")).constData()), 0);
    FolderSearchOptions options = folderOptions();
    options.excludedGlobs = {"*.bin"};
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new", options);
    ASSERT_EQ(preview.files.size(), 2);
    FaultyFileSystem fs;
    // Part of the new bytes are in the file when the disk fails; putting the old ones back works.
    int writes = 0;
    fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
        if (op != FaultyFileSystem::Op::overwrite || path != shared || writes++ > 0) return;
        QFile file(shared);
        if (file.open(QIODevice::ReadWrite)) file.write("new");
    };
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) {
        return op == FaultyFileSystem::Op::overwrite && path == shared && writes == 1;
    };
    fs.failsWith = ENOSPC;
    const FolderSearchError error = applyFailure(preview, {}, &fs);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_TRUE(error.rollbackFailures().isEmpty()) << error.what();
    EXPECT_EQ(test::readFile(first), "old a\n");
    EXPECT_EQ(test::readFile(shared), "old shared\n");
    EXPECT_EQ(test::readFile(dir.file("other-name.bin")), "old shared\n");
    EXPECT_EQ(FolderFileSystem::standard().attributes(shared, false)->linkCount, 2u);
    EXPECT_EQ(writes, 2);
}

TEST(FolderReplaceSafety, ReplacedAndRestoredFilesKeepTheirExtendedAttributes)
{
    TempDir dir;
    const QString file = dir.write("tagged.txt", "old\n");
    if (::setxattr(QFile::encodeName(file).constData(), "user.korimado.test", "blue", 4, 0) != 0) {
        GTEST_SKIP() << "no user extended attributes in " << dir.path().toStdString();
    }
    const FolderReplacementPreview preview = previewOf(dir.path(), "old", "new");
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, allOf(preview), {}, std::nullopt, nullptr);
    ASSERT_EQ(receipt.entries.size(), 1);
    char value[16] = {};
    EXPECT_EQ(::getxattr(QFile::encodeName(file).constData(), "user.korimado.test", value, sizeof value), 4);
    EXPECT_STREQ(value, "blue");
    EXPECT_EQ(FolderSearchEngine::rollbackEntries(receipt.entries).restored.size(), 1);
    EXPECT_EQ(test::readFile(file), "old\n");
    std::fill(std::begin(value), std::end(value), 0);
    EXPECT_EQ(::getxattr(QFile::encodeName(file).constData(), "user.korimado.test", value, sizeof value), 4);
    EXPECT_STREQ(value, "blue");
}
