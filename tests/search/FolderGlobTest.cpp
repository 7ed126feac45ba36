#include "search/folder/FolderGlob.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(FolderGlob, StarsQuestionMarksAndTheNameTest)
{
    EXPECT_TRUE(FolderGlob::matches("**.txt", "a/b/c.txt"));    // through the whole path
    EXPECT_TRUE(FolderGlob::matches("*.txt", "a/b/c.txt"));     // through the name
    EXPECT_FALSE(FolderGlob::matches("a/*.txt", "a/b/c.txt"));  // neither crosses a slash
    EXPECT_TRUE(FolderGlob::matches("a/*.txt", "a/c.txt"));
    EXPECT_TRUE(FolderGlob::matches("build", "x/y/build"));     // a bare name at any depth
    EXPECT_FALSE(FolderGlob::matches("build", "x/build2"));
    EXPECT_FALSE(FolderGlob::matches("**/x.c", "x.c"));         // needs a slash before x.c
    EXPECT_TRUE(FolderGlob::matches("**/x.c", "d/x.c"));
    EXPECT_TRUE(FolderGlob::matches("***.c", "d/e/x.c"));       // "**" then "*"
    EXPECT_TRUE(FolderGlob::matches("?.c", "d/x.c"));
    EXPECT_FALSE(FolderGlob::matches("a?b", "a/b"));
    EXPECT_TRUE(FolderGlob::matches("??.c", QString::fromUtf16(u"d/\U0001F600\u00e9.c")));  // one scalar each
    EXPECT_FALSE(FolderGlob::matches("*.TXT", "a.txt"));        // case matters
}

TEST(FolderGlob, EverythingElseIsLiteral)
{
    EXPECT_TRUE(FolderGlob::matches("[ab].txt", "[ab].txt"));
    EXPECT_FALSE(FolderGlob::matches("[ab].txt", "a.txt"));
    EXPECT_TRUE(FolderGlob::matches("{x}\\.c", "{x}\\.c"));
    EXPECT_FALSE(FolderGlob::matches("a.c", "abc"));
    EXPECT_TRUE(FolderGlob::matches("^$(+)|", "^$(+)|"));
}

TEST(FolderGlob, EmptyAndBlankPatternsNeverMatch)
{
    EXPECT_FALSE(FolderGlob::matches("", ""));
    EXPECT_FALSE(FolderGlob::matches("", "a"));
    EXPECT_FALSE(FolderGlob::isExcluded("a", {"", "  ", "\n\t"}));
    EXPECT_FALSE(FolderGlob::isExcluded(" ", {"  "}));
    EXPECT_TRUE(FolderGlob::isExcluded("x/y.log", {"  ", " *.log\r\n"}));
}

TEST(FolderGlob, ManyStarsStayLinear)
{
    // A backtracking matcher takes exponential time on this.
    const QString path = QString(3000, u'a');
    EXPECT_FALSE(FolderGlob::matches(QString("*a").repeated(40) + "b", path));
    EXPECT_TRUE(FolderGlob::matches(QString("**a").repeated(40), path));
}
