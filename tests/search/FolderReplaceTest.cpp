#include "document/EncodingConverter.h"
#include "platform/foundation/PlatformError.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/FolderTestSupport.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace korimado;
using namespace korimado::test;

namespace {

FolderReplacementPreview previewOf(const TempDir& dir, const QString& pattern, const QString& replacement,
                                   FolderFileSystem* fs = nullptr)
{
    const FolderSearchResult result =
        FolderSearchEngine::search(dir.path(), plainRequest(pattern), folderOptions(), nullptr, fs);
    return FolderSearchEngine::makeReplacementPreview(result, plainRequest(pattern, replacement));
}

QSet<QString> allOf(const FolderReplacementPreview& preview)
{
    QSet<QString> urls;
    for (const FolderReplacementFile& f : preview.files) urls.insert(f.source.url);
    return urls;
}

FolderSearchError applyFailure(const FolderReplacementPreview& preview, const QSet<QString>& selected,
                               const QSet<QString>& blocked = {}, FolderFileSystem* fs = nullptr,
                               const SearchCancellationToken* token = nullptr)
{
    try {
        FolderSearchEngine::apply(preview, selected, blocked, std::nullopt, token, fs);
    } catch (const FolderSearchError& e) {
        return e;
    }
    ADD_FAILURE() << "apply succeeded";
    return FolderSearchError::invalidRoot();
}

bool exists(const QString& path)
{
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

void setModificationTime(const QString& path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

}  // namespace

TEST(FolderReplacePreview, KeepsTheFilesFormatAndShowsTheBeginningWithLineFeeds)
{
    TempDir dir;
    dir.write("crlf.txt", "one\r\ntwo\r\n");
    dir.write("long.txt", QByteArray(800, 'z') + "two");
    dir.write("none.txt", "nothing\n");
    const FolderReplacementPreview preview = previewOf(dir, "two", "2\na");
    ASSERT_EQ(preview.files.size(), 2);
    const FolderReplacementFile& crlf = preview.files[0];
    EXPECT_EQ(crlf.replacementData, QByteArray("one\r\n2\r\na\r\n"));
    EXPECT_EQ(crlf.replacementCount, 1);
    EXPECT_EQ(crlf.beforeExcerpt, "one\ntwo\n");
    EXPECT_EQ(crlf.afterExcerpt, "one\n2\na\n");
    EXPECT_EQ(preview.files[1].beforeExcerpt, QString(497, u'z') + QChar(0x2026));
    EXPECT_EQ(preview.rootURL, QDir(dir.path()).canonicalPath());
}

TEST(FolderReplacePreview, AReplacementTheEncodingCannotHoldFailsNamingTheFile)
{
    TempDir dir;
    const QByteArray sjis = *EncodingConverter::fromText(TextEncoding::shiftJIS, u"日本語のテキストです。置換対象\n");
    dir.write("sjis.txt", sjis);
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("置換対象"), folderOptions());
    ASSERT_EQ(result.files.size(), 1);
    ASSERT_EQ(result.files[0].format.encoding, TextEncoding::shiftJIS);
    try {
        FolderSearchEngine::makeReplacementPreview(result, plainRequest("置換対象", QString::fromUtf16(u"\U0001F600")));
        ADD_FAILURE();
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.info().domain, "FolderSearch");
        EXPECT_EQ(e.info().code, 3);
        EXPECT_TRUE(e.errorDescription().startsWith("sjis.txtを元の文字コードで保存できません。")) << e.what();
    }
    EXPECT_EQ(test::readFile(dir.file("sjis.txt")), sjis);
}

TEST(FolderReplaceApply, BacksUpEveryFileAndKeepsPermissions)
{
    TempDir dir;
    const QString secret = dir.write("secret.txt", "old secret\n");
    const QString shared = dir.write("sub/shared.txt", "old shared\n");
    ::chmod(QFile::encodeName(secret).constData(), 0600);
    ::chmod(QFile::encodeName(shared).constData(), 0640);
    const FolderReplacementPreview preview = previewOf(dir, "old", "new");
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, allOf(preview), {});

    EXPECT_EQ(test::readFile(secret), "new secret\n");
    EXPECT_EQ(test::readFile(shared), "new shared\n");
    EXPECT_EQ(modeOf(secret), 0600u);
    EXPECT_EQ(modeOf(shared), 0640u);
    EXPECT_EQ(receipt.replacementCount, 2);
    ASSERT_EQ(receipt.entries.size(), 2);

    const QString uuid = receipt.identifier.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(receipt.backupURL, QDir(dir.path()).canonicalPath() + "/.korimado-backups/" + uuid);
    EXPECT_EQ(modeOf(receipt.backupURL), 0700u);
    EXPECT_EQ(test::readFile(receipt.backupURL + "/secret.txt"), "old secret\n");
    EXPECT_EQ(test::readFile(receipt.backupURL + "/sub/shared.txt"), "old shared\n");
    // A private file stays private in its backup.
    EXPECT_EQ(modeOf(receipt.backupURL + "/secret.txt"), 0600u);
    EXPECT_EQ(modeOf(receipt.backupURL + "/sub/shared.txt"), 0640u);
    EXPECT_EQ(QDir(receipt.backupURL).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{"secret.txt", "sub"}));
    EXPECT_EQ(receipt.entries[0].backupURL, receipt.backupURL + "/secret.txt");

    // The backups are never searched again.
    const FolderSearchResult again = FolderSearchEngine::search(dir.path(), plainRequest("old"), folderOptions());
    EXPECT_TRUE(again.files.isEmpty());
}

TEST(FolderReplaceApply, EmptySelectionWritesNothingAndMakesNoFolder)
{
    TempDir dir;
    dir.write("a.txt", "old\n");
    const FolderReplacementPreview preview = previewOf(dir, "old", "new");
    const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, {}, {});
    EXPECT_TRUE(receipt.entries.isEmpty());
    EXPECT_EQ(receipt.replacementCount, 0);
    EXPECT_FALSE(exists(dir.file(".korimado-backups")));
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old\n");
}

TEST(FolderReplaceApply, RechecksGatherEveryProblemAndWriteNothing)
{
    TempDir dir;
    for (const char* name : {"a-changed.txt", "b-touched.txt", "c-open.txt", "d-readonly.txt", "e-fine.txt"})
        dir.write(name, "old\n");
    for (const char* name : {"a-changed.txt", "b-touched.txt", "c-open.txt", "d-readonly.txt", "e-fine.txt"})
        setModificationTime(dir.file(name), 1'000'000);
    FolderReplacementPreview preview = previewOf(dir, "old", "new");
    ASSERT_EQ(preview.files.size(), 5);

    dir.write("a-changed.txt", "old but edited\n");
    setModificationTime(dir.file("a-changed.txt"), 1'000'000);
    setModificationTime(dir.file("b-touched.txt"), 2'000'000);
    ::chmod(QFile::encodeName(dir.file("d-readonly.txt")).constData(), 0444);
    FolderReplacementPreview tampered = preview;
    tampered.files[4].source.url = "/elsewhere/e-fine.txt";

    const FolderSearchError error =
        applyFailure(tampered, allOf(tampered), {preview.files[2].source.url});
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::preconditionFailed);
    EXPECT_EQ(error.errorDescription(),
              "置換前の安全確認に失敗しました。\n"
              "検索後に変更: a-changed.txt\n"
              "更新日時が変更: b-touched.txt\n"
              "開いている文書: c-open.txt\n"
              "読取専用: d-readonly.txt\n"
              "対象フォルダ外: /elsewhere/e-fine.txt");
    EXPECT_FALSE(exists(dir.file(".korimado-backups")));
    EXPECT_EQ(test::readFile(dir.file("e-fine.txt")), "old\n");
    EXPECT_EQ(test::readFile(dir.file("c-open.txt")), "old\n");
}

TEST(FolderReplaceApply, AFileChangedJustBeforeItsWriteIsLeftAloneAndEarlierOnesRestored)
{
    TempDir dir;
    dir.write("a.txt", "old a\n");
    dir.write("b.txt", "old b\n");
    const FolderReplacementPreview preview = previewOf(dir, "old", "new");
    FaultyFileSystem fs;
    // Saved by someone else while a.txt is being replaced.
    fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
        if (op == FaultyFileSystem::Op::replace && path == dir.file("a.txt")) dir.write("b.txt", "someone else's b\n");
    };
    const FolderSearchError error = applyFailure(preview, allOf(preview), {}, &fs);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_EQ(error.errorDescription(), "ファイルの保存に失敗しました。置換前の安全確認に失敗しました。\n書込直前に変更: b.txt");
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
    EXPECT_EQ(test::readFile(dir.file("b.txt")), "someone else's b\n");
}

TEST(FolderReplaceApply, AFileThatCannotBeReplacedLeavesTheEarlierOnesRestored)
{
    TempDir dir;
    dir.write("a.txt", "old a\n");
    const QString b = dir.write("b.txt", "old b\n");
    const FolderReplacementPreview preview = previewOf(dir, "old", "new");
    FaultyFileSystem fs;
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) { return op == FaultyFileSystem::Op::replace && path == b; };
    const FolderSearchError error = applyFailure(preview, allOf(preview), {}, &fs);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_TRUE(error.rollbackFailures().isEmpty()) << error.what();
    EXPECT_FALSE(error.unrestored());
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old a\n");
    EXPECT_EQ(test::readFile(b), "old b\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.txt", "b.txt"}));
}

TEST(FolderReplaceApply, AFailedReadBackIsRestoredFromItsBackupAndUnrestoredFilesAreNamed)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    const QString b = dir.write("b.txt", "old b\n");
    const QString root = QDir(dir.path()).canonicalPath();
    FolderReplacementPreview preview = previewOf(dir, "old", "new");
    FaultyFileSystem fs;
    // The new contents wait beside their files, a.txt's first: b.txt's lands short.
    int written = 0;
    fs.writesShort = [&](const QString& folder) { return folder == root && ++written == 2; };
    FolderSearchError error = applyFailure(preview, allOf(preview), {}, &fs);
    EXPECT_EQ(error.errorDescription(), "ファイルの保存に失敗しました。保存直後の内容が一致しません: b.txt");
    EXPECT_EQ(test::readFile(a), "old a\n");
    EXPECT_EQ(test::readFile(b), "old b\n");

    // Now a.txt cannot be restored: it is named, with the write error, after the message, and
    // handed back for a later rollback.
    preview = previewOf(dir, "old", "new");
    written = 0;
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) {
        return op == FaultyFileSystem::Op::replace && path == a && test::readFile(a) == "new a\n";
    };
    error = applyFailure(preview, allOf(preview), {}, &fs);
    ASSERT_EQ(error.rollbackFailures().size(), 1);
    EXPECT_TRUE(error.rollbackFailures()[0].startsWith(a + ": ")) << error.what();
    EXPECT_TRUE(error.errorDescription().contains("\n復元できなかったファイル:\n" + a + ": "));
    EXPECT_EQ(test::readFile(a), "new a\n");
    EXPECT_EQ(test::readFile(b), "old b\n");
    ASSERT_TRUE(error.unrestored());
    ASSERT_EQ(error.unrestored()->entries.size(), 1);
    EXPECT_EQ(error.unrestored()->entries[0].targetURL, a);
    EXPECT_EQ(error.unrestored()->replacementCount, 1);
    fs.fails = nullptr;
    EXPECT_EQ(FolderSearchEngine::rollbackEntries(error.unrestored()->entries, &fs).restored, QStringList{a});
    EXPECT_EQ(test::readFile(a), "old a\n");
}

TEST(FolderReplaceApply, FilesChangedBeforeTheAutomaticRestoreAreNamedAsNotRestored)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    const QString b = dir.write("b.txt", "old b\n");
    const FolderReplacementPreview preview = previewOf(dir, "old", "new");
    FaultyFileSystem fs;
    fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
        if (op == FaultyFileSystem::Op::replace && path == b) dir.write("a.txt", "edited meanwhile\n");
    };
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) { return op == FaultyFileSystem::Op::replace && path == b; };
    const FolderSearchError error = applyFailure(preview, allOf(preview), {}, &fs);
    ASSERT_EQ(error.rollbackFailures().size(), 1) << error.what();
    EXPECT_TRUE(error.rollbackFailures()[0].startsWith(a + ": "));
    EXPECT_FALSE(error.unrestored());  // someone's own edit: nothing to roll back
    EXPECT_EQ(test::readFile(a), "edited meanwhile\n");
    EXPECT_EQ(test::readFile(b), "old b\n");
}

TEST(FolderReplaceApply, BackupFolderMustBeARealFolderInsideTheRoot)
{
    TempDir dir;
    TempDir elsewhere;
    dir.write("a.txt", "old\n");
    const FolderReplacementPreview preview = previewOf(dir, "old", "new");
    makeLink(elsewhere.path(), dir.file(".korimado-backups"));
    FolderSearchError error = applyFailure(preview, allOf(preview));
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old\n");

    QFile::remove(dir.file(".korimado-backups"));
    dir.write(".korimado-backups", "a file");
    error = applyFailure(preview, allOf(preview));
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old\n");

    // A link planted inside the backup folder is not followed either.
    QFile::remove(dir.file(".korimado-backups"));
    QDir().mkpath(dir.file(".korimado-backups"));
    FaultyFileSystem fs;
    fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
        if (op == FaultyFileSystem::Op::createDirectory && path.section('/', -2, -2) == ".korimado-backups")
            makeLink(elsewhere.path(), path);
    };
    error = applyFailure(preview, allOf(preview), {}, &fs);
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "old\n");
}

TEST(FolderReplaceApply, CancellationRestoresAndStillNamesFilesThatCouldNotBeRestored)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "old a\n");
    dir.write("b.txt", "old b\n");
    FolderReplacementPreview preview = previewOf(dir, "old", "new");
    auto token = SearchCancellationToken::make();
    FaultyFileSystem fs;
    fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
        if (op == FaultyFileSystem::Op::replace && path == a) token->cancel();
    };
    FolderSearchError error = applyFailure(preview, allOf(preview), {}, &fs, token.get());
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::cancelled);
    EXPECT_EQ(test::readFile(a), "old a\n");

    token = SearchCancellationToken::make();
    preview = previewOf(dir, "old", "new");
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) {
        return op == FaultyFileSystem::Op::replace && path == a && test::readFile(a) == "new a\n";
    };
    error = applyFailure(preview, allOf(preview), {}, &fs, token.get());
    EXPECT_EQ(error.kind(), FolderSearchError::Kind::writeFailed);
    EXPECT_EQ(error.message(), "フォルダ内検索を中止しました。");
    ASSERT_EQ(error.rollbackFailures().size(), 1);
    EXPECT_TRUE(error.rollbackFailures()[0].startsWith(a + ": "));
    EXPECT_EQ(test::readFile(dir.file("b.txt")), "old b\n");
}
