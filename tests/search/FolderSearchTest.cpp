#include "platform/foundation/FilePath.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/folder/FolderExcerpts.h"
#include "search/folder/FolderSearchPaths.h"
#include "search/engine/SearchEngineError.h"
#include "support/TestSupport.h"
#include "search/FolderTestSupport.h"

#include <QDir>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korimado;
using namespace korimado::test;

namespace {

QList<FolderSkippedFile> skipped(const FolderSearchResult& result, const QString& reason)
{
    QList<FolderSkippedFile> out;
    for (const FolderSkippedFile& s : result.skippedFiles) {
        if (s.reason == reason) out.push_back(s);
    }
    return out;
}

QStringList paths(const FolderSearchResult& result)
{
    QStringList out;
    for (const FolderSearchFile& f : result.files) out.push_back(f.relativePath);
    return out;
}

QString reasonOf(const FolderSearchResult& result, const QString& path)
{
    for (const FolderSkippedFile& s : result.skippedFiles) {
        if (s.path == path) return s.reason;
    }
    return QStringLiteral("(not skipped)");
}

}  // namespace

TEST(FolderSearch, EverySkipReasonIsRecordedWithTheEntrysRelativePath)
{
    TempDir dir;
    TempDir outside;
    dir.write("plain.txt", "needle\n");
    dir.write(".hidden.txt", "needle\n");
    dir.write("excluded.log", "needle\n");
    dir.write("sub/.korimado-backups/x.txt", "needle\n");
    dir.write("unlistable/x.txt", "needle\n");
    dir.write("unreadable.txt", "needle\n");
    dir.write("binary.txt", QByteArray("needle\xff\xfe\x00\x81", 10));
    dir.write("big.txt", QByteArray(100, 'n'));
    outside.write("far.txt", "needle\n");
    makeLink(outside.file("far.txt"), dir.file("link-out.txt"));
    makeLink(dir.file("plain.txt"), dir.file("link-in.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file("pipe")).constData(), 0600), 0);

    FaultyFileSystem fs;
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) {
        return (op == FaultyFileSystem::Op::list && path.endsWith("/unlistable"))
            || (op == FaultyFileSystem::Op::read && path.endsWith("/unreadable.txt"));
    };
    FolderSearchOptions options = folderOptions();
    options.excludedGlobs = {QStringLiteral(" *.log\n")};
    options.maximumFileBytes = 99;

    FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("needle"), options, nullptr, &fs);
    EXPECT_EQ(paths(result), QStringList{"plain.txt"});
    EXPECT_EQ(reasonOf(result, ".hidden.txt"), FolderSkipReason::hidden);
    EXPECT_EQ(reasonOf(result, "excluded.log"), FolderSkipReason::excluded);
    EXPECT_EQ(reasonOf(result, "sub/.korimado-backups"), FolderSkipReason::excluded);
    EXPECT_EQ(reasonOf(result, "unlistable"), FolderSkipReason::unreadableFolder);
    EXPECT_EQ(reasonOf(result, "unreadable.txt"), FolderSkipReason::unreadable);
    EXPECT_EQ(reasonOf(result, "binary.txt"), FolderSkipReason::notRoundTrip);
    EXPECT_EQ(reasonOf(result, "big.txt"), FolderSkipReason::tooLarge);
    EXPECT_EQ(reasonOf(result, "link-out.txt"), FolderSkipReason::symbolicLink);
    EXPECT_EQ(reasonOf(result, "link-in.txt"), FolderSkipReason::symbolicLink);
    EXPECT_EQ(reasonOf(result, "pipe"), FolderSkipReason::notRegularFile);

    // Followed, the link inside is the same file as plain.txt and the one outside is refused.
    options.followsSymbolicLinks = true;
    options.includesHiddenFiles = true;
    result = FolderSearchEngine::search(dir.path(), plainRequest("needle"), options, nullptr, &fs);
    EXPECT_EQ(reasonOf(result, "link-out.txt"), FolderSkipReason::outsideRoot);
    EXPECT_EQ(reasonOf(result, "plain.txt"), FolderSkipReason::duplicate);  // "link-in.txt" sorts first
    EXPECT_EQ(reasonOf(result, "sub/.korimado-backups"), FolderSkipReason::excluded);
    EXPECT_EQ(paths(result), (QStringList{".hidden.txt", "plain.txt"}));
    // visited: .hidden, big, binary, link-in (plain), unreadable, and plain.txt's duplicate is not counted
    EXPECT_EQ(result.visitedFileCount, 5);
}

TEST(FolderSearch, SizeLimitIsInclusiveAndUnknownSizesAreSearchedOnlyWithoutALimit)
{
    TempDir dir;
    dir.write("exact.txt", QByteArray(10, 'a'));
    dir.write("over.txt", QByteArray(11, 'a'));
    FolderSearchOptions options = folderOptions();
    options.maximumFileBytes = 10;
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("a"), options);
    EXPECT_EQ(paths(result), QStringList{"exact.txt"});
    EXPECT_EQ(result.skippedFiles, (QList<FolderSkippedFile>{{"over.txt", FolderSkipReason::tooLarge}}));
    EXPECT_EQ(result.visitedFileCount, 2);
    EXPECT_EQ(result.matchCount(), 10);
}

TEST(FolderSearch, SymbolicLinkLoopsEndAndFoldersAreListedOnce)
{
    TempDir dir;
    dir.write("a/file.txt", "needle\n");
    makeLink(dir.path(), dir.file("a/up"));         // back to the root
    makeLink(dir.file("a"), dir.file("b"));         // a second way into a
    makeLink(dir.file("self"), dir.file("self"));   // a link to itself
    makeLink(dir.file("missing"), dir.file("dangling"));
    makeLink("/nonexistent-korimado/x", dir.file("dangling-out"));
    FolderSearchOptions options = folderOptions();
    options.followsSymbolicLinks = true;
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("needle"), options);
    EXPECT_EQ(paths(result), QStringList{"a/file.txt"});
    EXPECT_EQ(result.visitedFileCount, 1);
    EXPECT_EQ(reasonOf(result, "self"), FolderSkipReason::notRegularFile);
    EXPECT_EQ(reasonOf(result, "dangling"), FolderSkipReason::notRegularFile);
    EXPECT_EQ(reasonOf(result, "dangling-out"), FolderSkipReason::outsideRoot);
    // The file is reached once: through b (entered last, so first) a is already listed.
    EXPECT_TRUE(skipped(result, FolderSkipReason::duplicate).isEmpty());
}

TEST(FolderSearch, RootIsResolvedAndBlankOrRelativeRootsAreRefused)
{
    TempDir dir;
    dir.write("real/x.txt", "needle\n");
    makeLink(dir.file("real"), dir.file("alias"));
    const QString real = QDir(dir.file("real")).canonicalPath();
    for (const QString& root : {dir.file("alias"), dir.file("real/../real/"), dir.file("alias/.")}) {
        const FolderSearchResult result = FolderSearchEngine::search(root, plainRequest("needle"), folderOptions());
        EXPECT_EQ(result.rootURL, real) << root.toStdString();
        EXPECT_EQ(paths(result), QStringList{"x.txt"});
    }
    for (const QString& root : {QString(), QStringLiteral("   "), QStringLiteral("real"), QStringLiteral("."),
                                dir.file("nothing-here"), dir.file("real/x.txt")}) {
        try {
            FolderSearchEngine::search(root, plainRequest("needle"), folderOptions());
            ADD_FAILURE() << "searched " << root.toStdString();
        } catch (const FolderSearchError& e) {
            EXPECT_EQ(e.kind(), FolderSearchError::Kind::invalidRoot);
            EXPECT_EQ(e.errorDescription(), QStringLiteral("検索するフォルダが見つかりません。"));
        }
    }
}

TEST(FolderSearch, InvalidExpressionFailsBeforeAnyFileIsRead)
{
    TempDir dir;
    dir.write("x.txt", "needle\n");
    FaultyFileSystem fs;
    SearchRequest request = plainRequest("(unclosed");
    request.options.mode = SearchMode::regularExpression;
    EXPECT_THROW(FolderSearchEngine::search(dir.path(), request, folderOptions(), nullptr, &fs), SearchEngineError);
    EXPECT_EQ(fs.reads, 0);
}

TEST(FolderSearch, WalkIsDepthFirstAndFilesComeInFileBrowserOrder)
{
    TempDir dir;
    for (const char* name : {"File10.txt", "file2.txt", "A.txt", "a/z.txt"}) dir.write(name, "hit\n");
    for (const char* name : {"b/x.bad", "a/x.bad", "c.bad"}) dir.write(name, QByteArray("\xff\xfe\x00\x81", 4) + "\xff");
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions());
    EXPECT_EQ(paths(result), (QStringList{"A.txt", "a/z.txt", "file2.txt", "File10.txt"}));
    // Root entries first (c.bad), then subfolders in descending order: b before a.
    QStringList order;
    for (const FolderSkippedFile& s : result.skippedFiles) order.push_back(s.path);
    EXPECT_EQ(order, (QStringList{"c.bad", "b/x.bad", "a/x.bad"}));

    FolderSearchOptions flat = folderOptions();
    flat.recursive = false;
    const FolderSearchResult top = FolderSearchEngine::search(dir.path(), plainRequest("hit"), flat);
    EXPECT_EQ(paths(top), (QStringList{"A.txt", "file2.txt", "File10.txt"}));
}

TEST(FolderSearch, ManyFilesKeepTraversalOrderWhateverTheWorkersDo)
{
    TempDir dir;
    QStringList expectedSkips;
    QStringList expectedFiles;
    for (int i = 0; i < 300; ++i) {
        const QString name = QStringLiteral("d%1/f%2.txt").arg(i % 3).arg(i, 3, 10, QChar(u'0'));
        if (i % 4 == 0) {
            dir.write(name, QByteArray("\xff\xfe\x00\x81", 4) + "\xff");
        } else {
            dir.write(name, QByteArray(i * 97, 'x') + "hit\n");
            expectedFiles.push_back(name);
        }
    }
    for (int d = 2; d >= 0; --d) {
        for (int i = d; i < 300; i += 3) {
            if (i % 4 == 0) expectedSkips.push_back(QStringLiteral("d%1/f%2.txt").arg(d).arg(i, 3, 10, QChar(u'0')));
        }
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions());
    QStringList skips;
    for (const FolderSkippedFile& s : result.skippedFiles) skips.push_back(s.path);
    EXPECT_EQ(skips, expectedSkips);
    EXPECT_EQ(paths(result), expectedFiles);
    EXPECT_EQ(result.visitedFileCount, 300);
    EXPECT_EQ(result.matchCount(), 225);
}

TEST(FolderSearch, HitsCarryLineColumnAndExcerpt)
{
    TempDir dir;
    const QByteArray longLine = QByteArray(600, 'x') + "hit" + QByteArray(397, 'y');
    dir.write("crlf.txt", "hit one\r\n\tindented hit\r\n");
    dir.write("long.txt", longLine);
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions());
    ASSERT_EQ(result.files.size(), 2);
    const FolderSearchFile& crlf = result.files[0];
    EXPECT_EQ(crlf.format.lineEnding, LineEnding::crlf);
    // The result keeps what proves the bytes, not the bytes; the excerpts beyond the first are made
    // when asked for.
    EXPECT_EQ(crlf.stamp, FolderContentStamp::of(QByteArray("hit one\r\n\tindented hit\r\n")));
    EXPECT_TRUE(crlf.originalData.isEmpty() && crlf.text.isEmpty());
    ASSERT_EQ(crlf.hits.size(), 2);
    EXPECT_EQ(crlf.hits[0], (FolderSearchHit{TextRange(0, 3), 1, 1, "hit one"}));
    EXPECT_EQ(crlf.hits[1], (FolderSearchHit{TextRange(19, 3), 2, 11, QString()}));
    EXPECT_EQ(FolderSearchEngine::excerpts(crlf), (QStringList{"hit one", "\tindented hit"}));
    dir.write("crlf.txt", "hit one\r\n\tindented hit!\r\n");
    EXPECT_EQ(FolderSearchEngine::excerpts(crlf), std::nullopt);
    const FolderSearchHit& hit = result.files[1].hits.at(0);
    EXPECT_EQ(hit.line, 1);
    EXPECT_EQ(hit.column, 601);
    EXPECT_EQ(hit.excerpt, QString(237, u'x') + QChar(0x2026));
}

TEST(FolderSearch, MatchRightAfterALineBreakStartsItsLine)
{
    TempDir dir;
    dir.write("a.txt", "ab\r\nhit\rhit\xc2\x85hit");
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions());
    ASSERT_EQ(result.files.size(), 1);
    ASSERT_EQ(result.files[0].hits.size(), 3);
    const std::optional<QStringList> excerpts = FolderSearchEngine::excerpts(result.files[0]);
    ASSERT_TRUE(excerpts);
    for (qsizetype i = 0; i < 3; ++i) {
        EXPECT_EQ(result.files[0].hits[i].line, i + 2);
        EXPECT_EQ(result.files[0].hits[i].column, 1);
        EXPECT_EQ(excerpts->at(i), "hit");
    }
}

TEST(FolderSearch, RecordsWhatAReplacementMustLaterProve)
{
    TempDir dir;
    const QString rw = dir.write("rw.txt", "hit\n");
    const QString ro = dir.write("ro.txt", "\xef\xbb\xbfhit\n");
    ::chmod(QFile::encodeName(rw).constData(), 0640);
    ::chmod(QFile::encodeName(ro).constData(), 0444);
    const QString gone = dir.write("noattr.txt", "hit\n");
    FaultyFileSystem fs;
    int looks = 0;
    // The second look at noattr.txt (after its hits are known) fails.
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) {
        return op == FaultyFileSystem::Op::attributes && path == gone && ++looks > 1;
    };
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions(), nullptr, &fs);
    ASSERT_EQ(paths(result), (QStringList{"noattr.txt", "ro.txt", "rw.txt"}));
    EXPECT_FALSE(result.files[0].posixPermissions.has_value());
    EXPECT_TRUE(result.files[1].format.bom);
    EXPECT_EQ(result.files[1].posixPermissions, 0444u);
    EXPECT_FALSE(result.files[1].isWritable);
    EXPECT_EQ(result.files[2].posixPermissions, 0640u);
    EXPECT_TRUE(result.files[2].isWritable);
    EXPECT_TRUE(result.files[2].modificationDate.has_value());
    EXPECT_EQ(result.files[2].url, rw);
}

TEST(FolderSearch, CancellationEndsTheWalk)
{
    TempDir dir;
    dir.write("a/x.txt", "hit\n");
    // Seen by the search core first: its own error comes through unchanged.
    auto token = SearchCancellationToken::make();
    token->cancel();
    EXPECT_THROW(FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions(), token.get()),
                 SearchEngineError);
    // Cancelled while walking: the next entry sees it.
    auto later = SearchCancellationToken::make();
    FaultyFileSystem fs;
    fs.before = [&](FaultyFileSystem::Op op, const QString&) {
        if (op == FaultyFileSystem::Op::list) later->cancel();
    };
    try {
        FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions(), later.get(), &fs);
        ADD_FAILURE();
    } catch (const FolderSearchError& e) {
        EXPECT_EQ(e.errorDescription(), QStringLiteral("フォルダ内検索を中止しました。"));
    }
}

TEST(FolderSearch, CancellingWhileFilesAreBeingReadEndsWithCancellation)
{
    TempDir dir;
    for (int i = 0; i < 200; ++i) dir.write(QStringLiteral("f%1.txt").arg(i), QByteArray(5000, 'x') + "hit\n");
    auto token = SearchCancellationToken::make();
    FaultyFileSystem fs;
    std::atomic<int> reads{0};
    fs.before = [&](FaultyFileSystem::Op op, const QString&) {
        if (op == FaultyFileSystem::Op::read && ++reads == 20) token->cancel();
    };
    bool cancelled = false;
    try {
        FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions(), token.get(), &fs);
    } catch (const FolderSearchError& e) {
        cancelled = e.kind() == FolderSearchError::Kind::cancelled;
    } catch (const SearchEngineError& e) {
        cancelled = e.kind() == SearchEngineError::Kind::cancelled;
    }
    EXPECT_TRUE(cancelled);
    EXPECT_LT(fs.reads.load(), 200);
}

TEST(FolderSearchPaths, InsideRelativeAndLineStarts)
{
    EXPECT_TRUE(FolderSearchPaths::isInside("/r", "/r"));
    EXPECT_TRUE(FolderSearchPaths::isInside("/r/a", "/r"));
    EXPECT_FALSE(FolderSearchPaths::isInside("/rb/a", "/r"));
    EXPECT_TRUE(FolderSearchPaths::isInside("/a", "/"));
    EXPECT_EQ(FolderSearchPaths::relativePath("/r/a/b.txt", "/r"), "a/b.txt");
    EXPECT_EQ(FolderSearchPaths::relativePath("/r", "/r"), "r");
    EXPECT_EQ(FolderSearchPaths::relativePath("/other/c.txt", "/r"), "c.txt");
    EXPECT_EQ(FolderSearchPaths::relativePath("/a/b", "/"), "a/b");
    EXPECT_EQ(FolderSearchPaths::lineStarts("a\r\nb\n"), (std::vector<qsizetype>{0, 3}));
    EXPECT_EQ(FolderSearchPaths::lineStarts(QString::fromUtf16(u"a\u2028b\u2029\u0085")), (std::vector<qsizetype>{0, 2, 4}));
    EXPECT_EQ(FolderSearchPaths::lineStarts(""), (std::vector<qsizetype>{0}));
}

TEST(FolderExcerpts, CountUserPerceivedCharacters)
{
    const QString accented = QString::fromUtf16(u"e\u0301");
    EXPECT_EQ(FolderExcerpts::truncated(accented.repeated(240), 240), accented.repeated(240));
    EXPECT_EQ(FolderExcerpts::truncated(accented.repeated(241), 240), accented.repeated(237) + QChar(0x2026));
    const QString flag = QString::fromUtf16(u"\U0001F1EF\U0001F1F5");
    EXPECT_EQ(FolderExcerpts::truncated(flag.repeated(600), 500), flag.repeated(497) + QChar(0x2026));
    // Only newline characters are trimmed, and a final break's empty line has an empty excerpt.
    EXPECT_EQ(FolderExcerpts::hitExcerpt("\f  x\v\r\n", 0, 7, 3), "  x");
    EXPECT_EQ(FolderExcerpts::hitExcerpt("ab\n", 0, 3, 3), "");
    EXPECT_EQ(FolderExcerpts::previewExcerpt(QString("a\r\n").repeated(600)), QString("a\n").repeated(248) + "a" + QChar(0x2026));
}

TEST(FolderSearch, NamesThatAreNotUtf8AreWalkedAndOpenedByTheirBytes)
{
    TempDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    // Latin-1 names, as an old archive leaves them: a folder and a file in it, and a file beside.
    ASSERT_EQ(::mkdir((root + "/d\xe9j\xe0").constData(), 0755), 0);
    for (const QByteArray& name : {QByteArray("/d\xe9j\xe0/a.txt"), QByteArray("/caf\xe9.txt")}) {
        const int fd = ::open((root + name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "hit\n", 4), 4);
        ::close(fd);
    }
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions());
    EXPECT_TRUE(result.skippedFiles.isEmpty());
    ASSERT_EQ(result.files.size(), 2);
    EXPECT_EQ(result.visitedFileCount, 2);
    QSet<QByteArray> names;
    for (const FolderSearchFile& file : result.files) {
        names.insert(encodedFileName(file.relativePath));
        EXPECT_EQ(FolderSearchEngine::excerpts(file), QStringList{"hit"});
    }
    EXPECT_EQ(names, (QSet<QByteArray>{"caf\xe9.txt", "d\xe9j\xe0/a.txt"}));
    EXPECT_EQ(decodedFileName("caf\xe9.txt"), QStringLiteral("caf") + QChar(0xDCE9) + QStringLiteral(".txt"));
    EXPECT_EQ(decodedFileName("caf\xc3\xa9"), QStringLiteral("café"));
}

// An expression that backtracks without end on one file gives up that file, named in the results
// with the time limit, and the other files are still searched; the user's cancel still ends all.
TEST(FolderSearch, AFileOverItsTimeLimitIsSkippedAndTheSearchGoesOn)
{
    TempDir dir;
    dir.write("a-good.txt", "aaaa\n");
    dir.write("b-hostile.txt", QByteArray(30, 'a') + "b\n");
    dir.write("c-good.txt", "xx aa\n");
    SearchRequest request = plainRequest(QStringLiteral("(a+)+$"));
    request.options.mode = SearchMode::regularExpression;
    request.options.isMultiline = true;
    FolderSearchOptions options = folderOptions();
    options.fileTimeLimitMilliseconds = 300;

    QElapsedTimer timer;
    timer.start();
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), request, options);
    EXPECT_LT(timer.elapsed(), 20'000);
    EXPECT_EQ(paths(result), QStringList({"a-good.txt", "c-good.txt"}));
    EXPECT_EQ(reasonOf(result, "b-hostile.txt"), QStringLiteral("検索の制限時間（1秒）を超えました"));

    // Cancelled while the hostile file is searched: the search ends as cancelled, not as a skip.
    options.fileTimeLimitMilliseconds = 600'000;
    auto token = SearchCancellationToken::make();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        token->cancel();
    });
    bool cancelled = false;
    timer.restart();
    try {
        FolderSearchEngine::search(dir.path(), request, options, token.get());
    } catch (const FolderSearchError& e) {
        cancelled = e.kind() == FolderSearchError::Kind::cancelled;
    } catch (const SearchEngineError& e) {
        cancelled = e.kind() == SearchEngineError::Kind::cancelled;
    }
    canceller.join();
    EXPECT_TRUE(cancelled);
    EXPECT_LT(timer.elapsed(), 20'000);
}
