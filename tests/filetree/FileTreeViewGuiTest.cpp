#include "filetree/FileTreeView.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(FileTreeView, CachesOpenableAnswersUntilTheRootChanges)
{
    test::TempDir dir;
    const QString file = dir.write(QStringLiteral("sub/a.txt"), "a");
    FileTreeView tree;
    EXPECT_EQ(tree.rootNode(), nullptr);

    int asked = 0;
    tree.canOpenFile = [&asked](const QString&) { return ++asked == 1; };
    tree.setRoot(dir.path() + QStringLiteral("/sub/../sub/"), file);
    ASSERT_NE(tree.rootNode(), nullptr);
    EXPECT_EQ(tree.rootNode()->url, FileTreeView::standardized(dir.file(QStringLiteral("sub"))));
    EXPECT_EQ(tree.headerText(), QStringLiteral("sub"));
    EXPECT_EQ(tree.pathFieldText(), FileTreeView::standardized(file));

    EXPECT_TRUE(tree.supportsOpening(file));
    EXPECT_TRUE(tree.supportsOpening(dir.path() + QStringLiteral("/sub/./a.txt"))) << "same file, cached";
    EXPECT_EQ(asked, 1);

    tree.setRoot(dir.path());
    EXPECT_FALSE(tree.supportsOpening(file)) << "a new root asks again";
    EXPECT_EQ(asked, 2);
}

TEST(FileTreeView, ChooseFolderSetsTheRootOnlyWhenConfirmed)
{
    test::TempDir dir;
    ScriptedFilePanels panels;
    FilePanels::setShared(&panels);
    FileTreeView tree;
    tree.chooseFolder();  // cancelled
    EXPECT_EQ(tree.rootNode(), nullptr);
    panels.enqueueOpen({true, {dir.path()}, -1});
    tree.chooseFolder();
    FilePanels::setShared(nullptr);

    ASSERT_NE(tree.rootNode(), nullptr);
    EXPECT_EQ(tree.rootNode()->url, FileTreeView::standardized(dir.path()));
    const OpenPanelOptions& shown = panels.openPanels().at(0);
    EXPECT_FALSE(shown.canChooseFiles);
    EXPECT_TRUE(shown.canChooseDirectories);
    EXPECT_EQ(shown.message, FileTreeView::chooseFolderMessage);
}
