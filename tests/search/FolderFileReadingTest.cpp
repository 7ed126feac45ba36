#include "document/TextCodec.h"
#include "search/folder/FolderBytePrefilter.h"
#include "search/engine/SearchEngine.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/FolderTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace korimado;
using namespace korimado::test;

namespace {

QStringList skippedAs(const FolderSearchResult& result)
{
    QStringList out;
    for (const FolderSkippedFile& s : result.skippedFiles) out.push_back(s.path + u' ' + s.reason);
    return out;
}

}  // namespace

TEST(FolderFileReading, ABinaryIsRefusedFromItsFirstBlockAndTheRestIsNotRead)
{
    TempDir dir;
    QByteArray binary("\x7f" "ELF\0\x02\x01", 7);
    binary += QByteArray(4 << 20, 'x');  // a text-looking body the search never needs
    dir.write("big.bin", binary);
    QByteArray buffer;
    const FolderReadOutcome outcome = FolderFileSystem::standard().readFileInto(
        dir.file("big.bin"), 20 << 20, buffer, 65536, &FolderBytePrefilter::isRefusedByCodec, nullptr);
    EXPECT_EQ(outcome, FolderReadOutcome::refused);
    EXPECT_EQ(buffer.size(), 65536);

    // A NUL past the first block is found all the same, once the whole file is read.
    QByteArray late(200000, 'a');
    late[150000] = '\0';
    dir.write("late.txt", late);
    EXPECT_EQ(FolderFileSystem::standard().readFileInto(dir.file("late.txt"), 20 << 20, buffer, 65536,
                                                        &FolderBytePrefilter::isRefusedByCodec, nullptr),
              FolderReadOutcome::read);
    EXPECT_EQ(buffer, late);

    // Marked UTF-16 holds NULs and is text.
    dir.write("utf16.txt", QByteArray("\xff\xfe" "a\0b\0", 6));
    EXPECT_EQ(FolderFileSystem::standard().readFileInto(dir.file("utf16.txt"), 20 << 20, buffer, 65536,
                                                        &FolderBytePrefilter::isRefusedByCodec, nullptr),
              FolderReadOutcome::read);

    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest(QStringLiteral("a")), folderOptions());
    const QStringList skipped = skippedAs(result);
    EXPECT_TRUE(skipped.contains(QStringLiteral("big.bin ") + FolderSkipReason::notRoundTrip)) << skipped.join(u'\n').toStdString();
    EXPECT_TRUE(skipped.contains(QStringLiteral("late.txt ") + FolderSkipReason::notRoundTrip));
    ASSERT_EQ(result.files.size(), 1);
    EXPECT_EQ(result.files[0].relativePath, QStringLiteral("utf16.txt"));
}

TEST(FolderFileReading, OneBufferServesFilesOfEverySizeInTurn)
{
    TempDir dir;
    const QByteArray large = QByteArray("0123456789abcdef").repeated(1 << 16);
    const QByteArray small("tiny\n");
    dir.write("large.txt", large);
    dir.write("small.txt", small);
    dir.write("empty.txt", "");
    QByteArray buffer;
    for (int round = 0; round < 2; ++round) {
        for (const auto& [name, bytes] : {std::pair{"large.txt", large}, std::pair{"small.txt", small}, std::pair{"empty.txt", QByteArray()}}) {
            const FolderReadOutcome outcome = FolderFileSystem::standard().readFileInto(
                dir.file(QString::fromLatin1(name)), 20 << 20, buffer, 4096, &FolderBytePrefilter::isRefusedByCodec, nullptr);
            EXPECT_EQ(outcome, FolderReadOutcome::read) << name;
            EXPECT_EQ(buffer, bytes) << name;
        }
    }
    // The limit still shows as one byte more than allowed.
    EXPECT_EQ(FolderFileSystem::standard().readFileInto(dir.file("large.txt"), 100, buffer, 4096, nullptr, nullptr),
              FolderReadOutcome::read);
    EXPECT_EQ(buffer.size(), 101);
}

TEST(FolderFileReading, FilesWithHitsCarryTheLineEndingsTheirBytesHave)
{
    TempDir dir;
    dir.write("lf.txt", "one hit\nline\n");
    dir.write("crlf.txt", "\tone\t\r\n\thit\t\r\n");
    dir.write("cr.txt", "hit\rline\r");
    dir.write("mixed.txt", "hit\r\nline\nmore\r");
    dir.write("none.txt", "no break, a hit");
    dir.write("miss.txt", "nothing\r\n");
    for (const SearchMode mode : {SearchMode::text, SearchMode::regularExpression}) {
        SearchRequest request = plainRequest(QStringLiteral("hit"));
        request.options.mode = mode;
        const FolderSearchResult result = FolderSearchEngine::search(dir.path(), request, folderOptions());
        ASSERT_EQ(result.files.size(), 5);
        for (const FolderSearchFile& file : result.files) {
            const TextFormat expected = TextCodec::decode(test::readFile(file.url)).format;
            EXPECT_EQ(file.format, expected) << file.relativePath.toStdString();
        }
    }
    // A pattern with a break is given each file's own ending before it is looked for.
    const FolderSearchResult across = FolderSearchEngine::search(dir.path(), plainRequest(QStringLiteral("one\t\n\thit")), folderOptions());
    ASSERT_EQ(across.files.size(), 1);
    EXPECT_EQ(across.files[0].relativePath, QStringLiteral("crlf.txt"));
    EXPECT_EQ(across.files[0].format.lineEnding, LineEnding(LineEnding::crlf));
}

// Files over a megabyte are read and searched on a thread of their own, their bytes dropped before
// the search: each, among small ones, gives what its bytes searched alone give.
TEST(FolderFileReading, LargeFilesAmongSmallOnesGiveWhatTheirBytesGive)
{
    TempDir dir;
    QByteArray crlf;
    for (int i = 0; crlf.size() < (3 << 19); ++i)
        crlf += i % 700 == 0 ? QByteArray("a hit on line ") + QByteArray::number(i) + "\r\n" : QByteArray("filler text\r\n");
    QByteArray latin1;
    while (latin1.size() < (3 << 19)) latin1 += "caf\xe9 au lait, a hit\n";
    QByteArray binary("\x7f" "ELF\0\x02\x01", 7);
    while (binary.size() < (2 << 20)) binary += "a hit in a binary\n";
    dir.write("big-crlf.txt", crlf);
    dir.write("big-latin1.txt", latin1);
    dir.write("big-miss.txt", QByteArray("nothing here\n").repeated(200000));
    dir.write("big.bin", binary);
    dir.write("small-latin1.txt", "caf\xe9 au lait, a hit\n");
    for (int i = 0; i < 40; ++i) dir.write(QStringLiteral("small%1.txt").arg(i, 2, 10, QChar(u'0')), "one hit\n");

    for (const SearchMode mode : {SearchMode::text, SearchMode::regularExpression}) {
        SearchRequest request = plainRequest(QStringLiteral("hit"));
        request.options.mode = mode;
        const FolderSearchResult result = FolderSearchEngine::search(dir.path(), request, folderOptions());
        QStringList found;
        for (const FolderSearchFile& file : result.files) {
            found.push_back(file.relativePath);
            const QByteArray bytes = test::readFile(file.url);
            const DecodedText decoded = TextCodec::decode(bytes);
            SearchRequest own = request;
            own.lineEnding = decoded.format.lineEnding;
            const SearchResultSet alone = SearchEngine::findAll(decoded.text, own, 0, nullptr);
            ASSERT_EQ(file.hits.size(), alone.matches.size()) << file.relativePath.toStdString();
            for (qsizetype i = 0; i < file.hits.size(); ++i) EXPECT_EQ(file.hits[i].range, alone.matches[i].range);
            EXPECT_EQ(file.format, decoded.format) << file.relativePath.toStdString();
            EXPECT_EQ(file.stamp, FolderContentStamp::of(bytes)) << file.relativePath.toStdString();
        }
        EXPECT_TRUE(found.contains(QStringLiteral("big-crlf.txt")));
        EXPECT_FALSE(found.contains(QStringLiteral("big-miss.txt")));
        // The large Latin-1 file fares as its one-line sibling does.
        EXPECT_EQ(found.contains(QStringLiteral("big-latin1.txt")), found.contains(QStringLiteral("small-latin1.txt")));
        EXPECT_EQ(found.size(), 40 + 1 + 2 * int(found.contains(QStringLiteral("small-latin1.txt"))));
        EXPECT_TRUE(skippedAs(result).contains(QStringLiteral("big.bin ") + FolderSkipReason::notRoundTrip));
        const FolderSearchFile& big = *std::find_if(result.files.begin(), result.files.end(), [](const FolderSearchFile& f) {
            return f.relativePath == QStringLiteral("big-crlf.txt");
        });
        EXPECT_EQ(big.format.lineEnding, LineEnding(LineEnding::crlf));
        EXPECT_EQ(big.hits.first().line, 1);
        EXPECT_EQ(big.hits[1].line, 701);
    }
}

// The thread for large files serves every search of the process: two at once each get their own.
TEST(FolderFileReading, TwoSearchesAtOnceShareTheLargeFileThreadAndKeepTheirOwnResults)
{
    TempDir first;
    TempDir second;
    for (int i = 0; i < 3; ++i) {
        first.write(QStringLiteral("big%1.txt").arg(i), QByteArray("alpha\n").repeated(300000));
        second.write(QStringLiteral("big%1.txt").arg(i), QByteArray("beta alpha beta\n").repeated(150000));
    }
    FolderSearchResult a;
    FolderSearchResult b;
    std::thread other([&] { b = FolderSearchEngine::search(second.path(), plainRequest(QStringLiteral("beta")), folderOptions()); });
    a = FolderSearchEngine::search(first.path(), plainRequest(QStringLiteral("alpha")), folderOptions());
    other.join();
    ASSERT_EQ(a.files.size(), 3);
    ASSERT_EQ(b.files.size(), 3);
    EXPECT_EQ(a.matchCount(), 3 * 300000);
    EXPECT_EQ(b.matchCount(), 3 * 2 * 150000);
    for (const FolderSearchFile& file : b.files) EXPECT_TRUE(file.url.startsWith(second.path()));
}
