#include "platform/documents/FileWatchHub.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>

#include <cstdio>

using namespace korimado;
using korimado::test::TempDir;

namespace {

struct Recorder {
    FileWatchHub::Events events = 0;
    int calls = 0;
    FileWatchHub::Handler handler()
    {
        return [this](FileWatchHub::Events e) {
            events |= e;
            ++calls;
        };
    }
    bool waitFor(FileWatchHub::Events wanted)
    {
        return QTest::qWaitFor([&] { return (events & wanted) == wanted; }, 2000);
    }
    void reset() { events = 0, calls = 0; }
};

void append(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes);
}

}  // namespace

TEST(FileWatchHubTest, ReportsWritesReplacementsAndDeletion)
{
    TempDir dir;
    const QString path = dir.write("watched.txt", "one");
    FileWatchHub& hub = FileWatchHub::shared();
    Recorder recorder;
    const auto token = hub.subscribe(path, recorder.handler());
    ASSERT_NE(token, 0u);

    append(path, "two");
    ASSERT_TRUE(recorder.waitFor(FileWatchHub::modified | FileWatchHub::closedWrite));

    // Another program's atomic save: the watch follows the new file at the path.
    recorder.reset();
    const QString temporary = dir.write("watched.txt.new", "three");
    ASSERT_EQ(std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()), 0);
    ASSERT_TRUE(recorder.waitFor(FileWatchHub::replaced));
    recorder.reset();
    append(path, "four");
    ASSERT_TRUE(recorder.waitFor(FileWatchHub::modified));

    // Writes to another file of the folder are not ours.
    recorder.reset();
    dir.write("other.txt", "x");
    QTest::qWait(50);
    EXPECT_EQ(recorder.calls, 0);

    recorder.reset();
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(recorder.waitFor(FileWatchHub::deleted));

    // A file created again at the path is followed too.
    recorder.reset();
    dir.write("watched.txt", "five");
    ASSERT_TRUE(recorder.waitFor(FileWatchHub::replaced));
    hub.unsubscribe(token);
}

TEST(FileWatchHubTest, SharesKernelWatchesAndReleasesThemWithTheLastSubscriber)
{
    TempDir dir;
    const QString a = dir.write("a.txt", "a");
    const QString b = dir.write("b.txt", "b");
    FileWatchHub& hub = FileWatchHub::shared();
    const int before = hub.kernelWatchCount();

    Recorder first, second, third;
    const auto t1 = hub.subscribe(a, first.handler());
    const auto t2 = hub.subscribe(dir.path() + "/./a.txt", second.handler());
    const auto t3 = hub.subscribe(b, third.handler());
    // a and b, plus their one folder.
    EXPECT_EQ(hub.kernelWatchCount(), before + 3);
    EXPECT_EQ(hub.subscribe(dir.file("missing.txt"), first.handler()), 0u);

    append(a, "!");
    ASSERT_TRUE(first.waitFor(FileWatchHub::modified));
    ASSERT_TRUE(second.waitFor(FileWatchHub::modified));
    EXPECT_EQ(third.calls, 0);

    hub.unsubscribe(t1);
    EXPECT_EQ(hub.kernelWatchCount(), before + 3);
    second.reset();
    append(a, "!");
    ASSERT_TRUE(second.waitFor(FileWatchHub::modified));

    // Ending a subscription from inside a handler stops it at once, even for queued events.
    Recorder victim;
    FileWatchHub::Token self = 0;
    FileWatchHub::Token victimToken = 0;
    self = hub.subscribe(a, [&](FileWatchHub::Events) {
        hub.unsubscribe(victimToken);
        hub.unsubscribe(self);
    });
    victimToken = hub.subscribe(a, victim.handler());
    second.reset();
    append(a, "!");
    ASSERT_TRUE(second.waitFor(FileWatchHub::modified));
    EXPECT_EQ(victim.calls, 0);
    hub.unsubscribe(t2);

    hub.unsubscribe(t3);
    EXPECT_EQ(hub.kernelWatchCount(), before);
    hub.unsubscribe(t3);  // twice is harmless
}

TEST(FileWatchHubTest, FolderSubscriptionsSeeEntriesAndTheFolderItselfButNotSubfolders)
{
    TempDir dir;
    dir.write("root/sub/inner.txt", "x");
    const QString root = dir.file("root");
    FileWatchHub& hub = FileWatchHub::shared();
    const int before = hub.kernelWatchCount();
    Recorder folder;
    const auto token = hub.subscribeFolder(root, folder.handler());
    ASSERT_NE(token, 0u);
    EXPECT_EQ(hub.subscribeFolder(dir.file("missing"), folder.handler()), 0u);

    dir.write("root/new.txt", "n");
    ASSERT_TRUE(folder.waitFor(FileWatchHub::entriesChanged));
    folder.reset();
    ASSERT_TRUE(QFile::rename(dir.file("root/new.txt"), dir.file("root/renamed.txt")));
    ASSERT_TRUE(folder.waitFor(FileWatchHub::entriesChanged));

    folder.reset();
    dir.write("root/sub/deeper.txt", "d");
    append(dir.file("root/renamed.txt"), "more");
    QTest::qWait(80);
    EXPECT_EQ(folder.calls, 0) << "a subfolder's entries and a file's contents are not the folder's";

    // A file watched in the same folder shares the kernel watch and still sees its replacement.
    Recorder file;
    const QString watched = dir.file("root/renamed.txt");
    const auto fileToken = hub.subscribe(watched, file.handler());
    ASSERT_NE(fileToken, 0u);
    EXPECT_EQ(hub.kernelWatchCount(), before + 2);
    const QString temporary = dir.write("root/renamed.txt.tmp", "atomic");
    ASSERT_EQ(std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(watched).constData()), 0);
    ASSERT_TRUE(file.waitFor(FileWatchHub::replaced));
    hub.unsubscribe(fileToken);
    EXPECT_EQ(hub.kernelWatchCount(), before + 1) << "the folder stays watched for its own subscriber";

    folder.reset();
    ASSERT_TRUE(QFile::rename(root, dir.file("moved")));
    ASSERT_TRUE(folder.waitFor(FileWatchHub::moved));
    hub.unsubscribe(token);
    EXPECT_EQ(hub.kernelWatchCount(), before);
}

TEST(FileWatchHubTest, FolderReachedThroughALinkSharesOneWatchAndReportsDeletion)
{
    TempDir dir;
    dir.write("real/a.txt", "a");
    const QString link = dir.file("link");
    ASSERT_TRUE(QFile::link(dir.file("real"), link));
    FileWatchHub& hub = FileWatchHub::shared();
    const int before = hub.kernelWatchCount();
    Recorder throughLink, direct;
    const auto t1 = hub.subscribeFolder(link, throughLink.handler());
    const auto t2 = hub.subscribeFolder(dir.file("real"), direct.handler());
    ASSERT_NE(t1, 0u);
    ASSERT_NE(t2, 0u);
    EXPECT_EQ(hub.kernelWatchCount(), before + 1);

    dir.write("real/b.txt", "b");
    ASSERT_TRUE(throughLink.waitFor(FileWatchHub::entriesChanged));
    ASSERT_TRUE(direct.waitFor(FileWatchHub::entriesChanged));

    // Ending one keeps the other's kernel watch.
    hub.unsubscribe(t2);
    throughLink.reset();
    dir.write("real/c.txt", "c");
    ASSERT_TRUE(throughLink.waitFor(FileWatchHub::entriesChanged));

    throughLink.reset();
    ASSERT_TRUE(QDir(dir.file("real")).removeRecursively());
    ASSERT_TRUE(throughLink.waitFor(FileWatchHub::deleted));
    hub.unsubscribe(t1);
    EXPECT_EQ(hub.kernelWatchCount(), before);
}
