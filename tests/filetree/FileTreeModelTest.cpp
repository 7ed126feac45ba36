#include "filetree/FileTreeModel.h"
#include "filetree/TreePath.h"
#include "platform/documents/FileManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

using namespace korimado;
using korimado::test::TempDir;

namespace {

// The real disk, with listings held back or failed on request; used from the listing queue.
class ScriptedFileManager : public FileManager {
public:
    std::optional<std::vector<DirectoryEntry>> contentsOfDirectory(const QString& path, bool includeHidden,
                                                                   ErrorInfo* error) const override
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !held_.contains(path); });
        if (failing_.contains(path)) {
            *error = ErrorInfo{QStringLiteral("POSIX"), 13, QStringLiteral("アクセス権がありません。"), {}};
            return std::nullopt;
        }
        lock.unlock();
        auto entries = FileManager::contentsOfDirectory(path, includeHidden, error);
        if (entries && undated_) {
            for (DirectoryEntry& entry : *entries) {
                if (entry.name.startsWith(QStringLiteral("undated"))) entry.attributes.modificationDate.reset();
            }
        }
        return entries;
    }
    void hold(const QString& path)
    {
        std::lock_guard lock(mutex_);
        held_.insert(path);
    }
    void release(const QString& path)
    {
        {
            std::lock_guard lock(mutex_);
            held_.remove(path);
        }
        changed_.notify_all();
    }
    void fail(const QString& path)
    {
        std::lock_guard lock(mutex_);
        failing_.insert(path);
    }
    void dropDatesOfUndated() { undated_ = true; }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QSet<QString> held_;
    QSet<QString> failing_;
    std::atomic<bool> undated_{false};
};

QStringList names(const FileTreeModel& model, const QModelIndex& parent = {})
{
    QStringList result;
    for (int row = 0; row < model.rowCount(parent); ++row) result << model.index(row, 0, parent).data().toString();
    return result;
}

bool loaded(const FileTreeModel& model, const FileTreeNode* node = nullptr)
{
    const FileTreeNode* target = node ? node : model.rootNode();
    return target && target->children.has_value();
}

void setTime(const QString& path, qint64 seconds)
{
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

QModelIndex childNamed(const FileTreeModel& model, const QString& name, const QModelIndex& parent = {})
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (index.data().toString() == name) return index;
    }
    return {};
}

}  // namespace

TEST(FileTreeNode, ListsFoldersFirstInEachOfTheThreeOrders)
{
    TempDir dir;
    for (const char* name : {"b.txt", "A.txt", "file10", "file9", "あ.txt", ".hidden"}) dir.write(name, "x");
    QDir().mkpath(dir.file("z"));
    QDir().mkpath(dir.file(".dotfolder"));
    QDir().mkpath(dir.file("real"));
    ASSERT_TRUE(QFile::link(dir.file("real"), dir.file("c-link")));
    FileManager& files = FileManager::defaultManager();
    auto listed = [&](bool hidden, FileTreeSortOrder order) {
        QStringList result;
        for (const auto& node : FileTreeNode::contents(dir.path(), hidden, order, files)) {
            result << node->name() + (node->expandable ? "/" : "");
        }
        return result;
    };
    // A link to a folder is shown as a file, not opened as a folder.
    EXPECT_EQ(listed(false, FileTreeSortOrder::nameAscending),
              (QStringList{"real/", "z/", "A.txt", "b.txt", "c-link", "file9", "file10", "あ.txt"}));
    EXPECT_EQ(listed(false, FileTreeSortOrder::nameDescending),
              (QStringList{"z/", "real/", "あ.txt", "file10", "file9", "c-link", "b.txt", "A.txt"}));
    EXPECT_TRUE(listed(true, FileTreeSortOrder::nameAscending).contains(".dotfolder/"));
    EXPECT_TRUE(listed(true, FileTreeSortOrder::nameAscending).contains(".hidden"));

    setTime(dir.file("b.txt"), 3000);
    setTime(dir.file("A.txt"), 1000);
    setTime(dir.file("file9"), 1000);
    setTime(dir.file("file10"), 2000);
    setTime(dir.file("あ.txt"), 500);
    setTime(dir.file("c-link"), 10);
    setTime(dir.file("real"), 10);
    setTime(dir.file("z"), 20);
    EXPECT_EQ(listed(false, FileTreeSortOrder::modifiedNewest),
              (QStringList{"z/", "real/", "b.txt", "file10", "A.txt", "file9", "あ.txt", "c-link"}))
        << "equal dates by name; a link by its target's date";

    ScriptedFileManager undated;
    undated.dropDatesOfUndated();
    dir.write("undated.txt", "x");
    setTime(dir.file("undated.txt"), 999999);
    const auto nodes = FileTreeNode::contents(dir.path(), false, FileTreeSortOrder::modifiedNewest, undated);
    EXPECT_EQ(nodes.back()->name(), QStringLiteral("undated.txt")) << "no date sorts after every dated file";

    ErrorInfo error;
    EXPECT_THROW(FileTreeNode::contents(dir.file("missing"), false, FileTreeSortOrder::nameAscending, files), ErrorInfo);
}

TEST(FileTreeModel, LoadsTheRootThenFoldersWhenAskedAndSaysWhatItShows)
{
    TempDir dir;
    dir.write("root/a.txt", "a");
    QDir().mkpath(dir.file("root/empty"));
    dir.write("root/sub/b.txt", "b");
    QDir().mkpath(dir.file("empty-root"));
    ScriptedFileManager files;
    FileTreeModel model(files);
    EXPECT_EQ(model.rowCount(), 0);

    model.setRoot(dir.file("root/../root/"));
    EXPECT_EQ(model.rootNode()->url, dir.file("root"));
    EXPECT_EQ(model.message(), FileTreeModel::loadingMessage);
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    EXPECT_EQ(names(model), (QStringList{"empty", "sub", "a.txt"}));
    EXPECT_EQ(model.message(), FileTreeModel::clickToOpenMessage);

    const QModelIndex sub = childNamed(model, "sub");
    EXPECT_TRUE(model.hasChildren(sub));
    EXPECT_EQ(model.rowCount(sub), 0);
    ASSERT_TRUE(model.canFetchMore(sub));
    model.fetchMore(sub);
    EXPECT_FALSE(model.canFetchMore(sub)) << "a load under way is not started twice";
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount(sub) == 1; }, 3000));
    EXPECT_EQ(model.index(0, 0, sub).data(FileTreeModel::urlRole).toString(), dir.file("root/sub/b.txt"));
    EXPECT_EQ(model.parent(model.index(0, 0, sub)), sub);

    const QModelIndex empty = childNamed(model, "empty");
    model.fetchMore(empty);
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model, model.node(empty)); }, 3000));
    EXPECT_FALSE(model.hasChildren(empty));
    EXPECT_EQ(model.message(), FileTreeModel::clickToOpenMessage) << "an empty subfolder is not the empty root";

    model.setRoot(dir.file("empty-root"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    EXPECT_EQ(model.message(), FileTreeModel::emptyFolderMessage);
}

TEST(FileTreeModel, HandsALargeFolderOverAPageAtATimeAndRevealsAnItemPastThePage)
{
    TempDir dir;
    const int total = FileTreeModel::pageRows + 7;
    QDir().mkpath(dir.file("root/sub"));
    for (int i = 0; i < total; ++i) QFile(dir.file(QStringLiteral("root/f%1.txt").arg(i, 5, 10, QLatin1Char('0')))).open(QIODevice::WriteOnly);
    const QString last = dir.file(QStringLiteral("root/f%1.txt").arg(total - 1, 5, 10, QLatin1Char('0')));
    FileTreeModel model(FileManager::defaultManager());
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.setRoot(dir.file("root"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 5000));
    EXPECT_EQ(model.rowCount(), FileTreeModel::pageRows);
    EXPECT_FALSE(model.index(FileTreeModel::pageRows, 0).isValid());
    ASSERT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), total + 1) << "the folder and every file";
    EXPECT_FALSE(model.canFetchMore({}));
    EXPECT_EQ(model.index(total, 0).data(FileTreeModel::urlRole).toString(), last);
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(1).toInt(), FileTreeModel::pageRows) << "the second page follows the first";

    // The remembered item past the first page gets a row before it is selected.
    QSignalSpy selected(&model, &FileTreeModel::selectRequested);
    model.setRoot(dir.file("root"), last);
    ASSERT_TRUE(QTest::qWaitFor([&] { return selected.count() == 1; }, 5000));
    const QModelIndex shown = selected.at(0).at(0).value<QModelIndex>();
    ASSERT_TRUE(shown.isValid());
    EXPECT_EQ(shown.data(FileTreeModel::urlRole).toString(), last);
    EXPECT_EQ(model.rowCount(), total + 1);
    EXPECT_EQ(model.parent(shown), QModelIndex());

    // A folder of one entry is handed over whole; an unloaded one still loads when asked.
    dir.write("root/sub/only.txt", "o");
    const QModelIndex sub = model.index(0, 0);
    ASSERT_TRUE(model.canFetchMore(sub));
    model.fetchMore(sub);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount(sub) == 1; }, 5000));
    EXPECT_FALSE(model.canFetchMore(sub));
}

TEST(FileTreeModel, ShowsTheReasonWhenAFolderCannotBeReadAndListsALinkedRoot)
{
    TempDir dir;
    dir.write("real/a.txt", "a");
    dir.write("real/locked/x.txt", "x");
    ASSERT_TRUE(QFile::link(dir.file("real"), dir.file("alias")));
    ScriptedFileManager files;
    files.fail(dir.file("alias/locked"));
    FileTreeModel model(files);

    // A root reached through a link is listed through its target, under the link's own path.
    model.setRoot(dir.file("alias"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    EXPECT_EQ(names(model), (QStringList{"locked", "a.txt"}));
    EXPECT_EQ(childNamed(model, "a.txt").data(FileTreeModel::urlRole).toString(), dir.file("alias/a.txt"));

    const QModelIndex locked = childNamed(model, "locked");
    model.fetchMore(locked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model, model.node(locked)); }, 3000));
    EXPECT_EQ(model.rowCount(locked), 0);
    EXPECT_EQ(model.message(), FileTreeModel::unreadablePrefix + QStringLiteral("アクセス権がありません。"));
    EXPECT_FALSE(model.canFetchMore(locked)) << "not retried until the next refresh";

    // A root that is no folder says so instead of loading for ever.
    for (const QString& root : {dir.file("real/a.txt"), dir.file("missing")}) {
        model.setRoot(root);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.message() != FileTreeModel::loadingMessage; }, 3000));
        EXPECT_TRUE(model.message().startsWith(FileTreeModel::unreadablePrefix)) << model.message().toStdString();
        EXPECT_EQ(model.rowCount(), 0);
    }
}

TEST(FileTreeModel, DropsAListingThatArrivesAfterAnotherRoot)
{
    TempDir dir;
    dir.write("slow/old.txt", "o");
    dir.write("fast/new.txt", "n");
    ScriptedFileManager files;
    files.hold(dir.file("slow"));
    FileTreeModel model(files);
    model.setRoot(dir.file("slow"));
    const quint64 first = model.generation();
    model.setRoot(dir.file("fast"));
    EXPECT_GT(model.generation(), first);
    files.release(dir.file("slow"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    QTest::qWait(30);
    EXPECT_EQ(names(model), QStringList{"new.txt"});
}

TEST(FileTreeModel, RevealsTheRememberedItemThroughItsFoldersAndKeepsItOnRefresh)
{
    TempDir dir;
    const QString deep = dir.write("root/a/b/deep.txt", "d");
    dir.write("root/a/other.txt", "o");
    dir.write("root/ab/decoy.txt", "x");
    FileTreeModel model(FileManager::defaultManager());
    QSignalSpy selected(&model, &FileTreeModel::selectRequested);
    QSignalSpy expanded(&model, &FileTreeModel::expandRequested);
    model.setRoot(dir.file("root"), dir.file("root/a/./b/deep.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return selected.count() == 1; }, 3000));
    EXPECT_EQ(selected.at(0).at(0).value<QModelIndex>().data(FileTreeModel::urlRole).toString(), deep);
    QStringList opened;
    for (const auto& call : expanded) opened << call.at(0).value<QModelIndex>().data().toString();
    EXPECT_EQ(opened, (QStringList{"a", "b"})) << "only the folders on the way, not the look-alike ab";

    // A refresh keeps the item the user selected, or else the remembered one.
    std::optional<QString> userSelection = dir.file("root/a/other.txt");
    model.selectedURL = [&] { return userSelection; };
    model.refreshTree();
    EXPECT_EQ(model.selectionURL(), userSelection);
    userSelection.reset();
    model.refreshTree();
    EXPECT_EQ(model.selectionURL(), dir.file("root/a/other.txt"));
}

TEST(FileTreeModel, FollowsChangesInTheRootOnlyAndReportsARootThatWent)
{
    TempDir dir;
    dir.write("root/a.txt", "a");
    QDir().mkpath(dir.file("root/sub"));
    FileTreeModel model(FileManager::defaultManager());
    model.setRoot(dir.file("root"), dir.file("root/a.txt"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    ASSERT_TRUE(model.isWatching());

    // Another program adds files in a burst: one refresh, after the quiet, keeping the selection.
    quint64 generation = model.generation();
    dir.write("root/b.txt", "b");
    dir.write("root/c.txt", "c");
    QTest::qWait(100);
    EXPECT_EQ(model.generation(), generation) << "not before 0.2 s of quiet";
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.generation() != generation && loaded(model); }, 3000));
    EXPECT_EQ(model.generation(), generation + 1);
    EXPECT_EQ(names(model), (QStringList{"sub", "a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(model.selectionURL(), dir.file("root/a.txt"));

    generation = model.generation();
    dir.write("root/sub/inside.txt", "i");
    QTest::qWait(400);
    EXPECT_EQ(model.generation(), generation) << "a change inside a subfolder does not refresh";

    ASSERT_TRUE(QFile::remove(dir.file("root/b.txt")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.generation() != generation && loaded(model); }, 3000));
    EXPECT_EQ(names(model), (QStringList{"sub", "a.txt", "c.txt"}));

    // The root given a new name, then deleted under a new root.
    ASSERT_TRUE(QFile::rename(dir.file("root"), dir.file("renamed")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rootNode() == nullptr; }, 3000));
    EXPECT_EQ(model.message(), FileTreeModel::rootGoneMessage);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.isWatching());

    model.setRoot(dir.file("renamed"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    ASSERT_TRUE(QDir(dir.file("renamed")).removeRecursively());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rootNode() == nullptr; }, 3000));
    EXPECT_EQ(model.message(), FileTreeModel::rootGoneMessage);
    model.refreshTree();  // nothing to refresh
    EXPECT_EQ(model.rootNode(), nullptr);
}

TEST(FileTreeModel, AListingOfARootThatWentIsDroppedUnused)
{
    TempDir dir;
    dir.write("root/sub/x.txt", "x");
    ScriptedFileManager files;
    FileTreeModel model(files);
    model.setRoot(dir.file("root"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    files.hold(dir.file("root/sub"));
    model.fetchMore(childNamed(model, "sub"));
    ASSERT_TRUE(QFile::rename(dir.file("root"), dir.file("gone")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rootNode() == nullptr; }, 3000));
    // The held listing now finishes for a node that no longer exists.
    files.release(dir.file("root/sub"));
    QTest::qWait(50);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(FileTreeModel, AFolderThatWentWhileListedHasNoChildrenAndRowsKeepTheirOwnFlags)
{
    TempDir dir;
    dir.write("root/sub/inner/x.txt", "x");
    dir.write("root/sub/y.png", "y");
    dir.write("root/a.txt", "a");
    dir.write("root/b.png", "b");
    ScriptedFileManager files;
    FileTreeModel model(files);
    model.openableCheck = [] { return [](const QString& url) { return url.endsWith(QStringLiteral(".txt")); }; };
    model.setRoot(dir.file("root"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 3000));
    const Qt::ItemFlags opens = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    EXPECT_EQ(model.flags(childNamed(model, "sub")), opens);
    EXPECT_EQ(model.flags(childNamed(model, "a.txt")), opens);
    EXPECT_EQ(model.flags(childNamed(model, "b.png")), Qt::NoItemFlags);
    EXPECT_FALSE(model.hasChildren(childNamed(model, "a.txt")));

    const QModelIndex sub = childNamed(model, "sub");
    model.fetchMore(sub);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount(sub) == 2; }, 3000));
    const QModelIndex inner = childNamed(model, "inner", sub);
    EXPECT_EQ(model.parent(inner), sub);
    EXPECT_EQ(model.node(inner)->url, dir.file("root/sub/inner"));
    EXPECT_EQ(model.flags(childNamed(model, "y.png", sub)), Qt::NoItemFlags);
    EXPECT_TRUE(model.hasChildren(inner)) << "not listed yet, so it may have some";

    // The folder goes while its listing waits: it then has nothing to open, and says so.
    files.hold(dir.file("root/sub/inner"));
    model.fetchMore(inner);
    ASSERT_TRUE(QDir(dir.file("root/sub/inner")).removeRecursively());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    files.release(dir.file("root/sub/inner"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model, model.node(inner)); }, 3000));
    EXPECT_EQ(model.rowCount(inner), 0);
    EXPECT_FALSE(model.hasChildren(inner));
    EXPECT_FALSE(model.canFetchMore(inner));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>(), inner);
    EXPECT_TRUE(model.message().startsWith(FileTreeModel::unreadablePrefix));
    EXPECT_TRUE(model.hasChildren(sub)) << "its parent keeps the rows it has";
}

TEST(FileTreeModel, ARefreshBetweenPagesStartsAgainAndEveryEntryArrivesInOrder)
{
    TempDir dir;
    const int total = 2 * FileTreeModel::pageRows + 3;
    QDir().mkpath(dir.file("root"));
    for (int i = 0; i < total; ++i) QFile(dir.file(QStringLiteral("root/n%1.txt").arg(i))).open(QIODevice::WriteOnly);
    FileTreeModel model(FileManager::defaultManager());
    model.setRoot(dir.file("root"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded(model); }, 5000));
    model.fetchMore({});
    ASSERT_EQ(model.rowCount(), 2 * FileTreeModel::pageRows);

    // Another file comes between pages: the tree is listed again from its first page.
    QFile(dir.file("root/n-added.txt")).open(QIODevice::WriteOnly);
    const quint64 before = model.generation();
    model.refreshTree();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.canFetchMore({})) << "nothing more to hand over until the listing is in";
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.generation() > before && loaded(model); }, 5000));
    EXPECT_EQ(model.rowCount(), FileTreeModel::pageRows);
    while (model.canFetchMore({})) model.fetchMore({});

    QStringList expected;
    for (const auto& node : FileTreeNode::contents(dir.file("root"), false, FileTreeSortOrder::nameAscending,
                                                   FileManager::defaultManager()))
        expected << node->name();
    ASSERT_EQ(expected.size(), total + 1);
    EXPECT_EQ(names(model), expected) << "every entry once, in the listing's order";
}

TEST(FileTreeModel, RevealsTheItemChosenWhileTheListingWasUnderWay)
{
    TempDir dir;
    dir.write("root/a.txt", "a");
    const QString later = dir.write("root/sub/later.txt", "l");
    ScriptedFileManager files;
    files.hold(dir.file("root"));
    FileTreeModel model(files);
    QSignalSpy selected(&model, &FileTreeModel::selectRequested);
    model.setRoot(dir.file("root"), dir.file("root/a.txt"));
    model.setSelectionURL(later);
    files.release(dir.file("root"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return selected.count() == 1; }, 3000));
    EXPECT_EQ(selected.at(0).at(0).value<QModelIndex>().data(FileTreeModel::urlRole).toString(), later);
}
