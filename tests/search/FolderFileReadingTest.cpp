#include "document/TextCodec.h"
#include "search/folder/FolderBytePrefilter.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/FolderTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
