#include "filetree/TreePath.h"
#include "filetree/WorkspaceFileOperations.h"
#include "platform/documents/FileManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <functional>

using namespace korimado;
using korimado::test::TempDir;

namespace {

// The real disk, with any step made to fail on request.
class FailingFileManager : public FileManager {
public:
    int moveFailure = 0;
    int createFailure = 0;
    std::function<void(const QString&)> beforeCreate;  // runs just before a creation, to race it
    int moves = 0;

    bool moveItem(const QString& source, const QString& destination, ErrorInfo* error) override
    {
        ++moves;
        if (moveFailure) {
            *error = ErrorInfo{QStringLiteral("POSIX"), moveFailure, QStringLiteral("ディスクの空き容量が足りません。"), {}};
            return false;
        }
        return FileManager::moveItem(source, destination, error);
    }
    bool createFile(const QString& path, ErrorInfo* error) override
    {
        if (beforeCreate) beforeCreate(path);
        if (createFailure) {
            *error = ErrorInfo{QStringLiteral("POSIX"), createFailure, QStringLiteral("アクセス権がありません。"), {}};
            return false;
        }
        return FileManager::createFile(path, error);
    }
    bool createDirectory(const QString& path, ErrorInfo* error) override
    {
        if (beforeCreate) beforeCreate(path);
        return FileManager::createDirectory(path, error);
    }
};

// Runs the operation and returns the refusal it threw; fails the test when it threw none.
template <typename Operation>
WorkspaceFileError refusal(Operation operation)
{
    try {
        operation();
    } catch (const WorkspaceFileError& error) {
        return error;
    }
    ADD_FAILURE() << "no error thrown";
    return WorkspaceFileError::invalidName();
}

struct Workspace {
    TempDir dir;
    QString root = dir.file("w");
    FailingFileManager files;
    WorkspaceFileOperations operations{files};
    Workspace() { QDir().mkpath(root); }
    QString at(const QString& relative) const { return root + "/" + relative; }
    QString write(const QString& relative, const QByteArray& bytes = "x") const { return dir.write("w/" + relative, bytes); }
    void mkdir(const QString& relative) const { QDir().mkpath(at(relative)); }
};

}  // namespace

TEST(WorkspaceFileOperations, NamesAreTrimmedAndRefusedWhenTheyCouldNotBeOneComponent)
{
    EXPECT_EQ(WorkspaceFileOperations::validatedName(QStringLiteral("  メモ.txt \n")), QStringLiteral("メモ.txt"));
    EXPECT_EQ(WorkspaceFileOperations::validatedName(QStringLiteral("...")), QStringLiteral("..."));
    EXPECT_EQ(WorkspaceFileOperations::validatedName(QStringLiteral(".hidden")), QStringLiteral(".hidden"));
    for (const QString& bad : {QString(), QStringLiteral("   "), QStringLiteral("\t\n"), QStringLiteral("."),
                               QStringLiteral(".."), QStringLiteral(" .. "), QStringLiteral("a/b"), QStringLiteral("a:b"),
                               QStringLiteral("a\nb"), QStringLiteral("a\rb"), QString(QStringLiteral("a")) + QChar(0) + "b"}) {
        const WorkspaceFileError error = refusal([&] { WorkspaceFileOperations::validatedName(bad); });
        EXPECT_EQ(error.errorCase(), WorkspaceFileError::Case::invalidName) << bad.toStdString();
        EXPECT_EQ(error.errorDescription(), QStringLiteral("名前を入力してください。スラッシュ、コロン、改行は使えません。"));
    }
}

TEST(WorkspaceFileOperations, ContainmentComparesWholeComponentsWithLinksFollowed)
{
    Workspace w;
    w.mkdir("inside");
    QDir().mkpath(w.dir.file("w2"));
    QDir().mkpath(w.dir.file("outside"));
    EXPECT_TRUE(WorkspaceFileOperations::isInside(w.root, w.root));
    EXPECT_TRUE(WorkspaceFileOperations::isInside(w.at("inside/../inside/x"), w.root + "/"));
    EXPECT_FALSE(WorkspaceFileOperations::isInside(w.dir.file("w2/f"), w.root)) << "a sibling sharing the prefix";
    EXPECT_FALSE(WorkspaceFileOperations::isInside(w.at("../outside"), w.root));

    ASSERT_TRUE(QFile::link(w.dir.file("outside"), w.at("escape")));
    ASSERT_TRUE(QFile::link("../outside/nowhere", w.at("dangling-out")));
    ASSERT_TRUE(QFile::link("inside/nowhere", w.at("dangling-in")));
    EXPECT_FALSE(WorkspaceFileOperations::isInside(w.at("escape"), w.root));
    EXPECT_FALSE(WorkspaceFileOperations::isInside(w.at("escape/f"), w.root));
    EXPECT_FALSE(WorkspaceFileOperations::isInside(w.at("dangling-out"), w.root));
    EXPECT_TRUE(WorkspaceFileOperations::isInside(w.at("dangling-in"), w.root));

    // A root reached through a link is the same folder as its target.
    ASSERT_TRUE(QFile::link(w.root, w.dir.file("alias")));
    EXPECT_TRUE(WorkspaceFileOperations::isInside(w.at("inside"), w.dir.file("alias")));
    EXPECT_TRUE(WorkspaceFileOperations::isInside(w.dir.file("alias/inside"), w.root));
}

TEST(WorkspaceFileOperations, NewItemsNeverReplaceAnythingNorFollowADanglingLink)
{
    Workspace w;
    w.mkdir("sub");
    const QString made = w.operations.createFile(w.at("sub"), QStringLiteral(" 新規.txt "), w.root);
    EXPECT_EQ(made, w.at("sub/新規.txt"));
    EXPECT_TRUE(QFileInfo(made).isFile());
    EXPECT_EQ(QFileInfo(made).size(), 0);
    EXPECT_EQ(w.operations.createFolder(w.root, QStringLiteral("フォルダ"), w.root), w.at("フォルダ"));
    EXPECT_TRUE(QFileInfo(w.at("フォルダ")).isDir());

    w.write("sub/名称未設定.txt", "keep");
    WorkspaceFileError error = refusal([&] { w.operations.createFile(w.at("sub"), QStringLiteral("名称未設定.txt"), w.root); });
    EXPECT_EQ(error.errorDescription(), QStringLiteral("「名称未設定.txt」はすでに存在します。上書きはしていません。"));
    EXPECT_EQ(test::readFile(w.at("sub/名称未設定.txt")), "keep");

    // A dangling link pointing out of the root: creating through it would write outside.
    ASSERT_TRUE(QFile::link(w.dir.file("victim.txt"), w.at("trap.txt")));
    error = refusal([&] { w.operations.createFile(w.root, QStringLiteral("trap.txt"), w.root); });
    EXPECT_EQ(error.errorCase(), WorkspaceFileError::Case::destinationExists);
    EXPECT_FALSE(QFileInfo::exists(w.dir.file("victim.txt")));

    // The same when the link appears between the check and the creation.
    w.files.beforeCreate = [&](const QString& path) { QFile::link(w.dir.file("victim2.txt"), path); };
    error = refusal([&] { w.operations.createFile(w.root, QStringLiteral("race.txt"), w.root); });
    EXPECT_EQ(error.errorDescription(), QStringLiteral("「race.txt」はすでに存在します。上書きはしていません。"));
    EXPECT_FALSE(QFileInfo::exists(w.dir.file("victim2.txt")));
    error = refusal([&] { w.operations.createFolder(w.root, QStringLiteral("race-folder"), w.root); });
    EXPECT_EQ(error.errorCase(), WorkspaceFileError::Case::destinationExists);
    w.files.beforeCreate = nullptr;

    w.files.createFailure = EACCES;
    error = refusal([&] { w.operations.createFile(w.root, QStringLiteral("denied.txt"), w.root); });
    EXPECT_EQ(error.errorDescription(), QStringLiteral("ファイルを作成できませんでした。アクセス権がありません。"));
}

TEST(WorkspaceFileOperations, NewItemsAreRefusedOutsideTheRootOrInAFileInThatOrder)
{
    Workspace w;
    w.write("file.txt");
    QDir().mkpath(w.dir.file("outside"));
    ASSERT_TRUE(QFile::link(w.dir.file("outside"), w.at("escape")));
    EXPECT_EQ(refusal([&] { w.operations.destination(w.dir.file("outside"), QStringLiteral("a"), w.root); }).errorCase(),
              WorkspaceFileError::Case::outsideWorkspace);
    EXPECT_EQ(refusal([&] { w.operations.createFile(w.at("escape"), QStringLiteral("a"), w.root); }).errorCase(),
              WorkspaceFileError::Case::outsideWorkspace);
    // Outside before a bad name; not a folder before a bad name.
    EXPECT_EQ(refusal([&] { w.operations.destination(w.dir.file("outside"), QStringLiteral("a/b"), w.root); }).errorCase(),
              WorkspaceFileError::Case::outsideWorkspace);
    const WorkspaceFileError notFolder = refusal([&] { w.operations.destination(w.at("file.txt"), QStringLiteral(":"), w.root); });
    EXPECT_EQ(notFolder.errorDescription(), QStringLiteral("「file.txt」はフォルダではありません。"));
    EXPECT_EQ(refusal([&] { w.operations.destination(w.root, QStringLiteral(".."), w.root); }).errorCase(),
              WorkspaceFileError::Case::invalidName);
    EXPECT_FALSE(QFileInfo::exists(w.dir.file("outside/a")));
}

TEST(WorkspaceFileOperations, RenamesAndMovesStayInsideAndNeverOverwrite)
{
    Workspace w;
    w.write("src/a/b.txt", "b");
    w.write("other/b.txt", "other");
    w.mkdir("dest");

    EXPECT_EQ(w.operations.move(w.at("src"), w.root, QStringLiteral(" lib "), w.root), w.at("lib"));
    EXPECT_TRUE(QFileInfo::exists(w.at("lib/a/b.txt")));
    EXPECT_EQ(w.operations.move(w.at("lib/a/b.txt"), w.at("dest"), std::nullopt, w.root), w.at("dest/b.txt"));

    // Same name, same place: returned at once, nothing touched.
    const int moves = w.files.moves;
    EXPECT_EQ(w.operations.move(w.at("dest/b.txt"), w.at("dest"), QStringLiteral("b.txt"), w.root), w.at("dest/b.txt"));
    EXPECT_EQ(w.operations.move(w.at("dest/./b.txt"), w.at("dest/"), std::nullopt, w.root), w.at("dest/b.txt"));
    EXPECT_EQ(w.files.moves, moves);

    const WorkspaceFileError exists = refusal([&] { w.operations.move(w.at("dest/b.txt"), w.at("other"), std::nullopt, w.root); });
    EXPECT_EQ(exists.errorDescription(), QStringLiteral("「b.txt」はすでに存在します。上書きはしていません。"));
    EXPECT_EQ(test::readFile(w.at("other/b.txt")), "other");
    EXPECT_EQ(test::readFile(w.at("dest/b.txt")), "b");

    // A dangling link at the destination is an item too, never replaced.
    ASSERT_TRUE(QFile::link(w.dir.file("nowhere"), w.at("other/c.txt")));
    EXPECT_EQ(refusal([&] { w.operations.move(w.at("dest/b.txt"), w.at("other"), QStringLiteral("c.txt"), w.root); }).errorCase(),
              WorkspaceFileError::Case::destinationExists);
    EXPECT_TRUE(QFileInfo(w.at("other/c.txt")).isSymLink());

    const WorkspaceFileError missing = refusal([&] { w.operations.move(w.at("gone.txt"), w.root, QStringLiteral("/"), w.root); });
    EXPECT_EQ(missing.errorDescription(), QStringLiteral("「gone.txt」が見つかりません。ツリーを更新してください。"))
        << "a missing source is reported before a bad name";
    EXPECT_EQ(refusal([&] { w.operations.move(w.at("dest/b.txt"), w.dir.path(), std::nullopt, w.root); }).errorDescription(),
              QStringLiteral("開いているフォルダの外へは移動できません。"));
    EXPECT_EQ(refusal([&] { w.operations.move(w.at("dest/b.txt"), w.at("other/b.txt"), std::nullopt, w.root); }).errorCase(),
              WorkspaceFileError::Case::notDirectory);
}

TEST(WorkspaceFileOperations, FoldersCannotMoveIntoThemselvesAndTheRootCannotMove)
{
    Workspace w;
    w.write("a/b/c/f.txt");
    for (const QString& into : {w.at("a"), w.at("a/b"), w.at("a/b/c")}) {
        const WorkspaceFileError error = refusal([&] { w.operations.move(w.at("a"), into, std::nullopt, w.root); });
        EXPECT_EQ(error.errorDescription(), QStringLiteral("フォルダをそのフォルダ自身の中へ移動できません。")) << into.toStdString();
    }
    // Into a sibling whose name only starts the same is fine.
    w.mkdir("ab");
    EXPECT_EQ(w.operations.move(w.at("a"), w.at("ab"), std::nullopt, w.root), w.at("ab/a"));

    EXPECT_EQ(refusal([&] { w.operations.move(w.root, w.root, QStringLiteral("x"), w.root); }).errorCase(),
              WorkspaceFileError::Case::rootOperation);
    ASSERT_TRUE(QFile::link(w.root, w.at("self")));
    const WorkspaceFileError root = refusal([&] { w.operations.move(w.at("self"), w.at("ab"), std::nullopt, w.root); });
    EXPECT_EQ(root.errorDescription(), QStringLiteral("開いているフォルダ自体の名前変更や移動はできません。"));
}

TEST(WorkspaceFileOperations, LinksLeadingOutsideCanNeitherMoveNorBeRenamed)
{
    Workspace w;
    QDir().mkpath(w.dir.file("outside"));
    w.mkdir("dest");
    ASSERT_TRUE(QFile::link(w.dir.file("outside"), w.at("escape")));
    ASSERT_TRUE(QFile::link(w.dir.file("outside/none"), w.at("dangling")));
    for (const QString& link : {w.at("escape"), w.at("dangling")}) {
        EXPECT_EQ(refusal([&] { w.operations.move(link, w.root, QStringLiteral("renamed"), w.root); }).errorCase(),
                  WorkspaceFileError::Case::outsideWorkspace);
        EXPECT_EQ(refusal([&] { w.operations.move(link, w.at("dest"), std::nullopt, w.root); }).errorCase(),
                  WorkspaceFileError::Case::outsideWorkspace);
    }
    // Moving into a folder through a link that leaves the root is refused too.
    w.write("f.txt");
    EXPECT_EQ(refusal([&] { w.operations.move(w.at("f.txt"), w.at("escape"), std::nullopt, w.root); }).errorCase(),
              WorkspaceFileError::Case::outsideWorkspace);
    EXPECT_TRUE(QFileInfo::exists(w.at("f.txt")));

    // A link that stays inside moves as a link.
    ASSERT_TRUE(QFile::link("dest", w.at("inner-link")));
    EXPECT_EQ(w.operations.move(w.at("inner-link"), w.root, QStringLiteral("renamed-link"), w.root), w.at("renamed-link"));
    EXPECT_TRUE(QFileInfo(w.at("renamed-link")).isSymLink());
}

TEST(WorkspaceFileOperations, AFailedMoveIsReportedWithItsReasonAndChangesNothing)
{
    Workspace w;
    w.write("f.txt", "f");
    w.mkdir("dest");
    w.files.moveFailure = ENOSPC;
    const WorkspaceFileError error = refusal([&] { w.operations.move(w.at("f.txt"), w.at("dest"), std::nullopt, w.root); });
    EXPECT_EQ(error.errorCase(), WorkspaceFileError::Case::operationFailed);
    EXPECT_EQ(error.errorDescription(), QStringLiteral("移動できませんでした。ディスクの空き容量が足りません。"));
    EXPECT_EQ(test::readFile(w.at("f.txt")), "f");
}

TEST(FileManager, MovesRefuseExistingDestinationsAndCreationsRefuseLinks)
{
    TempDir dir;
    FileManager& files = FileManager::defaultManager();
    const QString a = dir.write("a.txt", "a");
    const QString b = dir.write("b.txt", "b");
    ErrorInfo error;
    EXPECT_FALSE(files.moveItem(a, b, &error));
    EXPECT_EQ(error.code, EEXIST);
    EXPECT_EQ(test::readFile(b), "b");
    ASSERT_TRUE(QFile::link(dir.file("missing"), dir.file("dangling")));
    EXPECT_TRUE(files.itemExists(dir.file("dangling")));
    EXPECT_FALSE(files.attributes(dir.file("dangling")).isDirectory);
    EXPECT_FALSE(files.createFile(dir.file("dangling"), &error));
    EXPECT_FALSE(files.createDirectory(dir.file("dangling"), &error));
    EXPECT_FALSE(QFileInfo::exists(dir.file("missing")));

    // Folders move whole; their contents come along.
    dir.write("tree/x/y.txt", "y");
    EXPECT_TRUE(files.moveItem(dir.file("tree"), dir.file("moved"), &error));
    EXPECT_EQ(test::readFile(dir.file("moved/x/y.txt")), "y");
}

TEST(FileManager, TrashesIntoTheTestsOwnFreedesktopTrash)
{
    // The test main points HOME and XDG_DATA_HOME at temporary folders: this is not the user's trash.
    const QString dataHome = test::testDataHome();
    ASSERT_FALSE(dataHome.isEmpty());
    ASSERT_TRUE(dataHome.startsWith(QDir::tempPath()));
    TempDir dir;
    const QString doomed = dir.write("doomed.txt", "bye");
    ErrorInfo error;
    if (!FileManager::defaultManager().trashItem(doomed, &error)) {
        GTEST_SKIP() << "no trash on this file system: " << error.debugDescription().toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(doomed));
    EXPECT_FALSE(FileManager::defaultManager().trashItem(doomed, &error));
}
