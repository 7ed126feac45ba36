#include "filetree/TreePath.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

using namespace korimado;
using korimado::test::TempDir;

namespace {

int errorCode(const QString& text)
{
    try {
        TreePath::resolve(text);
    } catch (const ErrorInfo& error) {
        EXPECT_EQ(error.domain, TreePath::errorDomain);
        return error.code;
    }
    return 0;
}

}  // namespace

TEST(TreePath, ResolvesQuotedPathsFileURLsAndTildes)
{
    TempDir dir;
    dir.write("フォルダ a/f.txt", "f");
    const QString folder = dir.file("フォルダ a");
    for (const QString& typed : QStringList{folder, "  " + folder + "/ \n", "'" + folder + "'", "\"" + folder + "\"",
                                 folder + "/../フォルダ a", "file://" + QString::fromLatin1(QUrl::toPercentEncoding(folder, "/")),
                                 "file://localhost" + folder}) {
        TreePath::Resolved found;
        try {
            found = TreePath::resolve(typed);
        } catch (const ErrorInfo& error) {
            ADD_FAILURE() << typed.toStdString() << ": " << error.debugDescription().toStdString();
        }
        EXPECT_EQ(found.url, folder) << typed.toStdString();
        EXPECT_TRUE(found.isDirectory) << typed.toStdString();
    }
    const TreePath::Resolved file = TreePath::resolve("'" + folder + "/f.txt'");
    EXPECT_FALSE(file.isDirectory);

    EXPECT_EQ(TreePath::resolve(QStringLiteral("~")).url, TreePath::standardized(QDir::homePath()));
    QDir().mkpath(QDir::homePath() + "/notes");
    EXPECT_EQ(TreePath::resolve(QStringLiteral("~/notes")).url, TreePath::standardized(QDir::homePath() + "/notes"));
    if (const passwd* me = getpwuid(getuid())) {
        const QString user = QString::fromLocal8Bit(me->pw_name);
        EXPECT_EQ(TreePath::resolve("~" + user).url, TreePath::standardized(QFile::decodeName(me->pw_dir)));
    }
}

TEST(TreePath, RefusesWhatIsNotAFullPathOfThisMachineAndWhatIsNotThere)
{
    TempDir dir;
    const QString folder = dir.path();
    EXPECT_EQ(errorCode("'" + folder + "\""), 1) << "mixed quotes stay in the text";
    EXPECT_EQ(errorCode("'" + folder), 1);
    EXPECT_EQ(errorCode(QStringLiteral("relative/path")), 1);
    EXPECT_EQ(errorCode(QString()), 1);
    EXPECT_EQ(errorCode("file://example.com" + folder), 1);
    EXPECT_EQ(errorCode("file://LOCALHOST" + folder), 1) << "the host is compared as written";
    EXPECT_EQ(errorCode("https://localhost" + folder), 1);
    EXPECT_EQ(errorCode(QStringLiteral("~no-such-user-here/x")), 1);
    EXPECT_EQ(errorCode(folder + "/missing"), 2);
    ASSERT_TRUE(QFile::link(dir.file("nowhere"), dir.file("dangling")));
    EXPECT_EQ(errorCode(dir.file("dangling")), 2);
    try {
        TreePath::resolve(folder + "/missing");
    } catch (const ErrorInfo& error) {
        EXPECT_EQ(error.description, QStringLiteral("指定されたパスが見つかりません。"));
    }
    try {
        TreePath::resolve(QStringLiteral("x"));
    } catch (const ErrorInfo& error) {
        EXPECT_EQ(error.description, QStringLiteral("ファイルまたはフォルダのフルパスを入力してください。"));
    }

    // A link to a folder is a folder; the link's own path is kept.
    dir.write("real/a.txt", "a");
    ASSERT_TRUE(QFile::link(dir.file("real"), dir.file("alias")));
    const TreePath::Resolved alias = TreePath::resolve(dir.file("alias"));
    EXPECT_EQ(alias.url, dir.file("alias"));
    EXPECT_TRUE(alias.isDirectory);
}

TEST(TreePath, ResolvedFollowsEveryLinkAndRebasedKeepsTheRemainder)
{
    TempDir dir;
    dir.write("real/sub/f.txt", "f");
    ASSERT_TRUE(QFile::link(dir.file("real"), dir.file("a")));
    ASSERT_TRUE(QFile::link("sub/../sub", dir.file("real/rel")));
    ASSERT_TRUE(QFile::link(dir.file("loop1"), dir.file("loop2")));
    ASSERT_TRUE(QFile::link(dir.file("loop2"), dir.file("loop1")));
    const QString real = TreePath::resolved(dir.file("real"));
    EXPECT_EQ(TreePath::resolved(dir.file("a/rel/f.txt")), real + "/sub/f.txt");
    EXPECT_EQ(TreePath::resolved(dir.file("a/rel/../missing/x")), real + "/missing/x");
    EXPECT_FALSE(TreePath::resolved(dir.file("loop1")).isEmpty()) << "a loop ends";

    EXPECT_TRUE(TreePath::isAtOrUnder("/a/b", "/a/b"));
    EXPECT_TRUE(TreePath::isAtOrUnder("/a/b/c", "/a/b"));
    EXPECT_TRUE(TreePath::isAtOrUnder("/a/b", "/"));
    EXPECT_FALSE(TreePath::isAtOrUnder("/a/bc", "/a/b"));
    EXPECT_EQ(TreePath::rebased("/w/src/a/b.txt", "/w/src", "/w/lib"), QStringLiteral("/w/lib/a/b.txt"));
    EXPECT_EQ(TreePath::rebased("/w/src", "/w/src", "/w/lib"), QStringLiteral("/w/lib"));
}
