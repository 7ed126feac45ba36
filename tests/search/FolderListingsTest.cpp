#include "search/folder/FolderListings.h"
#include "search/folder/FolderSearchEngine.h"
#include "support/TestSupport.h"
#include "search/FolderTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace korimado;
using namespace korimado::test;

namespace {

QStringList names(const FolderListings::Listing& listing)
{
    QStringList out;
    for (const FolderListedEntry& listed : listing.value_or(std::vector<FolderListedEntry>())) out.push_back(listed.entry.name);
    return out;
}

}  // namespace

TEST(FolderListings, ReadAheadOrNotEveryFolderComesInTheSameOrderWithTheSameKinds)
{
    TempDir dir;
    // A decomposed name sorts as its composed form; a supplementary character after U+E000..U+FFFF.
    const QString decomposed = QStringLiteral("e\u0301.txt");
    for (const QString& name : {QStringLiteral("b.txt"), QStringLiteral("\uE000.txt"), QStringLiteral("\U0001F600.txt"),
                                QStringLiteral("\u00E9a.txt"), decomposed, QStringLiteral("a.txt")})
        dir.write(name, "x");
    dir.write("sub/inner.txt", "x");
    FolderFileSystem& fs = FolderFileSystem::standard();
    const FolderListings::Listing direct = FolderListings::sortedListing(fs, dir.path(), dir.path());
    const QStringList expected{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("sub"), decomposed,
                               QStringLiteral("\u00E9a.txt"), QStringLiteral("\uE000.txt"), QStringLiteral("\U0001F600.txt")};
    EXPECT_EQ(names(direct), expected);

    FolderListings listings(fs, dir.path(), 2);
    listings.readAhead(dir.path());
    listings.readAhead(dir.path());  // asked twice, read once and taken once
    const FolderListings::Listing ahead = listings.take(dir.path(), [] {});
    ASSERT_TRUE(ahead.has_value());
    ASSERT_EQ(ahead->size(), direct->size());
    for (size_t i = 0; i < ahead->size(); ++i) {
        EXPECT_EQ((*ahead)[i].entry.name, (*direct)[i].entry.name);
        EXPECT_EQ((*ahead)[i].entry.kind, (*direct)[i].entry.kind);
        EXPECT_EQ((*ahead)[i].relativePath, (*direct)[i].relativePath);
        EXPECT_EQ((*ahead)[i].path, dir.file((*direct)[i].entry.name));
    }
    // Taken again, it is listed anew rather than handed out twice.
    EXPECT_EQ(names(listings.take(dir.path(), [] {})), expected);
    EXPECT_EQ(names(FolderListings(fs, dir.path(), 0).take(dir.file("sub"), [] {})), QStringList{"inner.txt"});
}

TEST(FolderListings, AFailedListingReadAheadIsNoneAndAWaitCanBeCancelled)
{
    TempDir dir;
    dir.write("locked/x.txt", "x");
    FaultyFileSystem fs;
    std::atomic<bool> release{false};
    fs.fails = [&](FaultyFileSystem::Op op, const QString& path) { return op == FaultyFileSystem::Op::list && path.endsWith("/locked"); };
    fs.before = [&](FaultyFileSystem::Op op, const QString& path) {
        while (op == FaultyFileSystem::Op::list && path.endsWith("/slow") && !release) std::this_thread::yield();
    };
    FolderListings listings(fs, dir.path(), 1);
    listings.readAhead(dir.file("locked"));
    EXPECT_FALSE(listings.take(dir.file("locked"), [] {}).has_value());

    dir.write("slow/y.txt", "y");
    listings.readAhead(dir.file("slow"));
    int polls = 0;
    EXPECT_THROW(listings.take(dir.file("slow"),
                               [&] {
                                   if (++polls == 2) throw std::runtime_error("cancelled");
                               }),
                 std::runtime_error);
    release = true;  // the listing still running ends before the listings go
}

TEST(FolderListings, AWideDeepTreeWithAnUnlistableFolderKeepsTheWalksOrder)
{
    TempDir dir;
    QStringList expectedSkips;
    // Folders are taken last pushed first: d9 before d0, and within each, e2 before e0.
    for (int d = 9; d >= 0; --d) {
        for (int e = 2; e >= 0; --e) {
            const QString folder = QStringLiteral("d%1/e%2").arg(d).arg(e);
            dir.write(folder + "/hit.txt", "hit\n");
            dir.write(folder + "/bin.dat", QByteArray("\x00\x01", 2));
            if (d == 4 && e == 1) {
                expectedSkips.push_back(folder);
                continue;
            }
            expectedSkips.push_back(folder + "/bin.dat");
        }
    }
    FaultyFileSystem fs;
    fs.fails = [](FaultyFileSystem::Op op, const QString& path) { return op == FaultyFileSystem::Op::list && path.endsWith("/d4/e1"); };
    const FolderSearchResult result = FolderSearchEngine::search(dir.path(), plainRequest("hit"), folderOptions(), nullptr, &fs);
    QStringList skips;
    for (const FolderSkippedFile& s : result.skippedFiles) skips.push_back(s.path);
    EXPECT_EQ(skips, expectedSkips);
    EXPECT_EQ(result.files.size(), 29);
    EXPECT_EQ(result.visitedFileCount, 58);
}
