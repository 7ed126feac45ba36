#include "document/KoriDocument.h"
#include "filetree/FileTreeModel.h"
#include "filetree/FileTreeView.h"
#include "platform/documents/DocumentController.h"
#include "platform/documents/FileManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/FileIcons.h"
#include "platform/ui/FileManagerReveal.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "settings/EditorSettingsKeys.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QImage>
#include <QTreeView>

#include <atomic>
#include <mutex>
#include <thread>

using namespace korimado;
using korimado::test::TempDir;

namespace {

class TextController : public DocumentController {
public:
    using DocumentController::DocumentController;
    QString defaultType() const override { return KoriDocument::plainTextType; }
    std::unique_ptr<Document> makeDocument(const QString&) override { return std::make_unique<KoriDocument>(); }
};

// A sidebar on a folder of its own, with its prompts, panels and alerts answered by the test.
struct Sidebar {
    TempDir dir;
    QString root = dir.file("w");
    ScriptedAlertPresenter alerts;
    ScriptedFilePanels panels;
    FileTreeView tree;
    QStringList opened;
    std::vector<std::pair<QString, QString>> relocated;

    Sidebar()
    {
        QDir().mkpath(root);
        AlertPresenter::setShared(&alerts);
        FilePanels::setShared(&panels);
        tree.canOpenFile = [](const QString& url) { return url.endsWith(QStringLiteral(".txt")); };
        tree.onOpen = [this](const QString& url) { opened << url; };
        tree.onRelocate = [this](const QString& from, const QString& to) { relocated.emplace_back(from, to); };
    }
    ~Sidebar()
    {
        AlertPresenter::setShared(nullptr);
        FilePanels::setShared(nullptr);
    }
    QString at(const QString& relative) const { return root + "/" + relative; }
    QString write(const QString& relative, const QByteArray& bytes = "x") const { return dir.write("w/" + relative, bytes); }

    // Shows the root (or re-roots) and waits for the listing and the remembered item.
    bool show(const std::optional<QString>& selecting = std::nullopt)
    {
        tree.setRoot(root, selecting);
        return settle();
    }
    bool settle()
    {
        return QTest::qWaitFor([&] { return tree.rootNode() && tree.rootNode()->children.has_value(); }, 3000);
    }
    QModelIndex row(const QString& path) const
    {
        FileTreeModel* model = tree.model();
        QModelIndex parent;
        const QString relative = path.mid(root.size() + 1);
        QString walked = root;
        for (const QString& part : relative.split('/')) {
            walked += "/" + part;
            QModelIndex found;
            for (int r = 0; r < model->rowCount(parent); ++r) {
                if (model->index(r, 0, parent).data(FileTreeModel::urlRole).toString() == walked) found = model->index(r, 0, parent);
            }
            if (!found.isValid()) return {};
            parent = found;
        }
        return parent;
    }
    void select(const QString& path)
    {
        tree.outline()->selectionModel()->setCurrentIndex(row(path), QItemSelectionModel::ClearAndSelect);
    }
    QAction* item(const QString& title) const
    {
        for (QAction* action : tree.contextMenu()->actions()) {
            if (action->text() == title) return action;
        }
        return nullptr;
    }
};

}  // namespace

TEST(FileTreeView, CachesOpenableAnswersUntilTheRootChanges)
{
    TempDir dir;
    const QString file = dir.write(QStringLiteral("sub/a.txt"), "a");
    FileTreeView tree;
    EXPECT_EQ(tree.rootNode(), nullptr);

    std::atomic<int> asked{0};
    tree.canOpenFile = [&asked](const QString&) { return ++asked == 1; };
    tree.setRoot(dir.path() + QStringLiteral("/sub/../sub/"), file);
    ASSERT_NE(tree.rootNode(), nullptr);
    EXPECT_EQ(tree.rootNode()->url, FileTreeView::standardized(dir.file(QStringLiteral("sub"))));
    EXPECT_EQ(tree.headerText(), QStringLiteral("sub"));
    EXPECT_EQ(tree.pathFieldText(), FileTreeView::standardized(file));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree.rootNode()->children.has_value(); }, 3000));
    EXPECT_EQ(asked, 1) << "asked while listing";

    EXPECT_TRUE(tree.supportsOpening(file));
    EXPECT_TRUE(tree.supportsOpening(dir.path() + QStringLiteral("/sub/./a.txt"))) << "same file, cached";
    EXPECT_EQ(asked, 1);

    tree.setRoot(dir.path());
    EXPECT_FALSE(tree.supportsOpening(file)) << "a new root asks again";
    EXPECT_EQ(asked, 2);
}

TEST(FileTreeView, OpenabilityIsAskedOnTheListingQueueNeverWhileRowsAreShown)
{
    Sidebar s;
    for (int i = 0; i < 50; ++i) s.write(QStringLiteral("f%1.%2").arg(i).arg(i % 2 ? "txt" : "bin"));
    QDir().mkpath(s.at("folder"));
    std::mutex guard;
    std::vector<std::thread::id> askers;
    s.tree.canOpenFile = [&](const QString& url) {
        const std::lock_guard lock(guard);
        askers.push_back(std::this_thread::get_id());
        return url.endsWith(QStringLiteral(".txt"));
    };
    s.tree.resize(300, 2000);
    s.tree.show();
    ASSERT_TRUE(s.show());
    {
        const std::lock_guard lock(guard);
        EXPECT_EQ(askers.size(), 50u) << "each file once, folders never";
        for (const std::thread::id& id : askers) EXPECT_NE(id, std::this_thread::get_id());
    }
    FileTreeModel* model = s.tree.model();
    int enabled = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (model->flags(index) & Qt::ItemIsEnabled) ++enabled;
        index.data(Qt::ToolTipRole);
        index.data(Qt::DecorationRole);
    }
    QImage image(s.tree.size(), QImage::Format_ARGB32_Premultiplied);
    s.tree.render(&image);
    EXPECT_EQ(enabled, 26) << "25 text files and the folder";
    EXPECT_TRUE(s.tree.supportsOpening(s.at("f1.txt")));
    EXPECT_FALSE(s.tree.supportsOpening(s.at("f2.bin")));
    const std::lock_guard lock(guard);
    EXPECT_EQ(askers.size(), 50u) << "rows, their icons and supportsOpening read the listing's answers";
}

TEST(FileTreeView, ChooseFolderSetsTheRootOnlyWhenConfirmed)
{
    TempDir dir;
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

TEST(FileTreeView, ContextMenuNeedsARootAndASelectedRowForItemCommands)
{
    Sidebar s;
    s.tree.menuWillOpen({});
    for (QAction* action : s.tree.contextMenu()->actions()) {
        if (!action->isSeparator()) {
            EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
        }
    }
    s.write("a.txt");
    ASSERT_TRUE(s.show());
    s.tree.menuWillOpen({});
    EXPECT_TRUE(s.item("新規ファイル…")->isEnabled());
    EXPECT_TRUE(s.item("更新")->isEnabled());
    EXPECT_FALSE(s.item("名前を変更…")->isEnabled());
    EXPECT_FALSE(s.item("パスをコピー")->isEnabled());
    s.tree.menuWillOpen(s.row(s.at("a.txt")));
    EXPECT_TRUE(s.item("名前を変更…")->isEnabled());
    EXPECT_TRUE(s.item("ゴミ箱に入れる…")->isEnabled());
}

TEST(FileTreeView, RightClickedRowIsTheOneRenamedAndTheTreeSelectsTheNewName)
{
    Sidebar s;
    s.write("a.txt");
    s.write("b.txt");
    ASSERT_TRUE(s.show());
    s.select(s.at("a.txt"));
    s.tree.menuWillOpen(s.row(s.at("b.txt")));
    EXPECT_EQ(s.tree.outline()->selectionModel()->selectedIndexes().value(0), s.row(s.at("b.txt")));
    s.alerts.enqueueFieldTexts({QStringLiteral("  名前.txt ")});
    s.tree.renameItem();
    ASSERT_EQ(s.alerts.shown().size(), 1);
    EXPECT_EQ(s.alerts.shown().at(0).messageText, QStringLiteral("名前を変更"));
    EXPECT_EQ(s.alerts.shownFields().at(0).at(0).text, QStringLiteral("b.txt")) << "the current name is offered";
    EXPECT_TRUE(QFileInfo::exists(s.at("名前.txt")));
    EXPECT_TRUE(QFileInfo::exists(s.at("a.txt")));
    ASSERT_EQ(s.relocated.size(), 1u);
    EXPECT_EQ(s.relocated[0], std::make_pair(s.at("b.txt"), s.at("名前.txt")));
    EXPECT_EQ(s.tree.model()->selectionURL(), s.at("名前.txt"));
    ASSERT_TRUE(s.settle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.tree.outline()->selectionModel()->selectedIndexes().value(0) == s.row(s.at("名前.txt")); }, 3000));

    // Cancelled, or refused: nothing changes and the reason shows.
    s.select(s.at("a.txt"));
    s.alerts.enqueueAnswer(1);
    s.tree.renameItem();
    EXPECT_TRUE(QFileInfo::exists(s.at("a.txt")));
    s.select(s.at("a.txt"));
    s.alerts.enqueueFieldTexts({QStringLiteral("a:b")});
    s.tree.renameItem();
    EXPECT_EQ(s.tree.messageText(), QStringLiteral("名前を入力してください。スラッシュ、コロン、改行は使えません。"));
    EXPECT_TRUE(QFileInfo::exists(s.at("a.txt")));
}

TEST(FileTreeView, NewItemsGoWhereTheSelectionSaysAndOpenableFilesOpen)
{
    Sidebar s;
    s.write("folder/inner.txt");
    s.write("beside/file.txt");
    ASSERT_TRUE(s.show());

    s.tree.createFile();  // nothing selected: the default name, in the root
    EXPECT_EQ(s.alerts.shownFields().at(0).at(0).text, QStringLiteral("名称未設定.txt"));
    EXPECT_TRUE(QFileInfo::exists(s.at("名称未設定.txt")));
    EXPECT_EQ(s.opened, QStringList{s.at("名称未設定.txt")});
    EXPECT_EQ(s.tree.model()->selectionURL(), s.at("名称未設定.txt"));

    ASSERT_TRUE(s.settle());
    s.tree.createFile();  // the same default again: refused, nothing made
    EXPECT_EQ(s.tree.messageText(), QStringLiteral("「名称未設定.txt」はすでに存在します。上書きはしていません。"));

    ASSERT_TRUE(s.settle());
    s.select(s.at("folder"));
    s.alerts.enqueueFieldTexts({QStringLiteral("data.bin")});
    s.tree.createFile();
    EXPECT_TRUE(QFileInfo::exists(s.at("folder/data.bin")));
    EXPECT_EQ(s.opened.size(), 1) << "a file of another type is only selected";

    ASSERT_TRUE(QTest::qWaitFor([&] { return s.row(s.at("beside")).isValid(); }, 3000));
    s.tree.model()->fetchMore(s.row(s.at("beside")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.row(s.at("beside/file.txt")).isValid(); }, 3000));
    s.select(s.at("beside/file.txt"));
    s.alerts.enqueueFieldTexts({QStringLiteral("sibling.txt")});
    s.tree.createFile();
    EXPECT_TRUE(QFileInfo::exists(s.at("beside/sibling.txt")));

    ASSERT_TRUE(s.settle());
    s.tree.outline()->selectionModel()->clear();
    s.tree.createFolder();
    EXPECT_EQ(s.alerts.shownFields().last().at(0).text, QStringLiteral("名称未設定フォルダ"));
    EXPECT_TRUE(QFileInfo(s.at("名称未設定フォルダ")).isDir());
    EXPECT_EQ(s.opened.size(), 2) << "a new folder is not opened";
}

TEST(FileTreeView, TypedPathsReRootOpenOrSayWhyNot)
{
    Sidebar s;
    s.write("a.txt");
    ASSERT_TRUE(s.show());
    const QString elsewhere = s.dir.write("else/where/note.txt", "n");
    s.dir.write("else/where/image.png", "p");

    s.tree.pathField()->setText(s.dir.file("else/where/image.png"));
    s.tree.openPath();
    EXPECT_EQ(s.tree.messageText(), FileTreeView::unsupportedFileMessage);
    EXPECT_EQ(s.tree.rootNode()->url, s.root);

    s.tree.pathField()->setText(QStringLiteral("relative"));
    s.tree.openPath();
    EXPECT_EQ(s.tree.messageText(), QStringLiteral("ファイルまたはフォルダのフルパスを入力してください。"));

    s.tree.pathField()->setText("'" + elsewhere + "'");
    s.tree.openPath();
    EXPECT_EQ(s.tree.rootNode()->url, s.dir.file("else/where"));
    EXPECT_EQ(s.tree.model()->selectionURL(), elsewhere);
    EXPECT_EQ(s.opened, QStringList{elsewhere});

    s.tree.pathField()->setText(s.dir.file("else"));
    s.tree.openPath();
    EXPECT_EQ(s.tree.rootNode()->url, s.dir.file("else"));
    EXPECT_EQ(s.opened.size(), 1);
}

TEST(FileTreeView, FilesThatCannotBeOpenedAreDimmedAndClicksOnThemDoNothing)
{
    Sidebar s;
    s.write("image.png");
    s.write("note.txt");
    ASSERT_TRUE(s.show());
    const QModelIndex image = s.row(s.at("image.png"));
    EXPECT_EQ(s.tree.model()->flags(image), Qt::NoItemFlags);
    EXPECT_TRUE(image.data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("この形式はKorimadoで開けません。\n")));
    s.tree.selected(image);
    EXPECT_TRUE(s.opened.isEmpty());
    s.tree.selected(s.row(s.at("note.txt")));
    EXPECT_EQ(s.opened, QStringList{s.at("note.txt")});
    EXPECT_EQ(s.tree.pathFieldText(), s.at("note.txt"));
}

TEST(FileTreeView, ReturnOpensTheCurrentFileAndThePathFieldFollowsARename)
{
    Sidebar s;
    s.write("note.txt");
    s.write("image.png");
    QDir().mkpath(s.at("sub"));
    ASSERT_TRUE(s.show(s.at("image.png")));
    QTreeView* outline = s.tree.outline();
    outline->setCurrentIndex(s.row(s.at("sub")));
    QTest::keyClick(outline, Qt::Key_Return);
    EXPECT_TRUE(s.opened.isEmpty()) << "a folder row opens nothing";
    s.select(s.at("note.txt"));
    QTest::keyClick(outline, Qt::Key_Return);
    EXPECT_EQ(s.opened, QStringList{s.at("note.txt")});
    EXPECT_EQ(s.tree.pathFieldText(), s.at("note.txt"));
    QTest::keyClick(outline, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(s.opened.size(), 2) << "the keypad's Enter too";

    s.tree.followRelocation(s.at("image.png"), s.at("picture.png"));
    EXPECT_EQ(s.tree.pathFieldText(), s.at("note.txt")) << "another item's move leaves the field";
    s.tree.followRelocation(s.at("note.txt"), s.at("renamed.txt"));
    EXPECT_EQ(s.tree.pathFieldText(), s.at("renamed.txt"));
    EXPECT_EQ(s.tree.pathField()->toolTip(), s.at("renamed.txt"));
    EXPECT_EQ(s.tree.model()->selectionURL(), s.at("renamed.txt"));
    s.tree.followRelocation(s.root, s.dir.file("moved"));
    EXPECT_EQ(s.tree.pathFieldText(), s.dir.file("moved") + "/renamed.txt") << "a folder around it moved";
}

// Each row shows the desktop's icon for its file's type (folders their folder icon); rows that
// cannot be opened show a faint copy of theirs.
TEST(FileTreeView, RowsShowTheIconOfTheirFilesType)
{
    Sidebar s;
    s.write("note.txt");
    s.write("b.txt");
    s.write("logo.png");
    QDir().mkpath(s.at("sub"));
    ASSERT_TRUE(s.show());
    const auto icon = [&](const char* name) { return s.row(s.at(name)).data(Qt::DecorationRole).value<QIcon>(); };
    EXPECT_EQ(icon("note.txt").cacheKey(), FileIcons::iconForFile(s.at("note.txt")).cacheKey());
    EXPECT_EQ(icon("note.txt").cacheKey(), icon("b.txt").cacheKey()) << "one icon per type";
    EXPECT_EQ(icon("sub").cacheKey(), FileIcons::folderIcon().cacheKey());
    const QIcon faint = icon("logo.png");
    EXPECT_NE(faint.cacheKey(), FileIcons::iconForFile(s.at("logo.png")).cacheKey());
    EXPECT_EQ(faint.cacheKey(), icon("logo.png").cacheKey()) << "made once";
}

TEST(FileTreeView, TrashAsksFirstAndRefusesFoldersHoldingOpenDocuments)
{
    Sidebar s;
    UserDefaults defaults;
    TextController controller(&defaults);
    controller.setAlertPresenter(&s.alerts);
    const QString open = s.write("docs/open.txt", "o");
    s.write("loose.txt", "l");
    controller.openDocument(open, false, [](Document*, bool, std::optional<ErrorInfo>) {});
    ASSERT_TRUE(s.show());

    s.select(s.at("docs"));
    s.tree.moveItemToTrash();
    EXPECT_EQ(s.tree.messageText(), QStringLiteral("「docs」またはその中の文書を開いています。文書を閉じてからゴミ箱に入れてください。"));
    EXPECT_TRUE(s.alerts.shown().isEmpty()) << "refused before asking";

    s.select(s.at("loose.txt"));
    s.alerts.enqueueAnswer(1);
    s.tree.moveItemToTrash();
    ASSERT_EQ(s.alerts.shown().size(), 1);
    EXPECT_EQ(s.alerts.shown().at(0).messageText, QStringLiteral("「loose.txt」をゴミ箱に入れますか？"));
    EXPECT_TRUE(QFileInfo::exists(s.at("loose.txt")));

    s.select(s.at("loose.txt"));
    s.tree.moveItemToTrash();
    EXPECT_FALSE(QFileInfo::exists(s.at("loose.txt")));
    const QString trashed = test::testDataHome() + "/Trash/files/loose.txt";
    EXPECT_TRUE(QFileInfo::exists(trashed)) << "the test's own freedesktop trash";
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.settle() && !s.row(s.at("loose.txt")).isValid(); }, 3000));
    for (Document* document : std::vector<Document*>(controller.documents())) document->close();
}

TEST(FileTreeView, RenamingAnOpenFileMovesItsDocumentAndMovingRefusesTheOutside)
{
    Sidebar s;
    UserDefaults defaults;
    TextController controller(&defaults);
    controller.setAlertPresenter(&s.alerts);
    const QString file = s.write("a.txt", "a");
    s.write("sub/keep.txt");
    Document* document = nullptr;
    controller.openDocument(file, false, [&](Document* opened, bool, std::optional<ErrorInfo>) { document = opened; });
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(s.show(file));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.tree.outline()->selectionModel()->selectedIndexes().isEmpty(); }, 3000));

    s.alerts.enqueueFieldTexts({QStringLiteral("b.txt")});
    s.tree.renameItem();
    EXPECT_EQ(document->fileURL(), s.at("b.txt"));

    ASSERT_TRUE(s.settle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.row(s.at("b.txt")).isValid(); }, 3000));
    s.select(s.at("b.txt"));
    s.panels.enqueueOpen({true, {s.at("sub")}, -1});
    s.tree.moveItem();
    EXPECT_EQ(s.panels.openPanels().last().message, QStringLiteral("「b.txt」の移動先を、開いているフォルダ内から選んでください。"));
    EXPECT_EQ(s.panels.openPanels().last().directory, s.root);
    EXPECT_EQ(document->fileURL(), s.at("sub/b.txt"));
    EXPECT_EQ(s.tree.model()->selectionURL(), s.at("sub/b.txt"));

    ASSERT_TRUE(s.settle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.row(s.at("sub/b.txt")).isValid(); }, 3000));
    s.select(s.at("sub/b.txt"));
    s.panels.enqueueOpen({true, {s.dir.path()}, -1});
    s.tree.moveItem();
    EXPECT_EQ(s.tree.messageText(), QStringLiteral("開いているフォルダの外へは移動できません。"));
    EXPECT_EQ(document->fileURL(), s.at("sub/b.txt"));
    document->close();
}

TEST(FileTreeView, CopiesAndRevealsTheSelectionOrTheRoot)
{
    Sidebar s;
    s.write("a.txt");
    ASSERT_TRUE(s.show());
    s.tree.copyPath();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), s.root);
    EXPECT_EQ(s.tree.messageText(), FileTreeView::copiedPathMessage);
    QStringList revealed;
    FileManagerReveal::setHandler([&](const QString& path) { revealed << path; });
    s.tree.revealInFinder();
    s.select(s.at("a.txt"));
    s.tree.revealInFinder();
    FileManagerReveal::setHandler(nullptr);
    EXPECT_EQ(revealed, (QStringList{s.root, s.at("a.txt")}));
}

TEST(FileTreeView, HiddenFilesAndSortOrderAreSavedAndAppliedOnlyWhenChanged)
{
    Sidebar s;
    s.write(".hidden");
    s.write("b.txt");
    s.write("a.txt");
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setBool(EditorSettingsKey::hiddenFiles, false);
    defaults.setInteger(EditorSettingsKey::treeSortOrder, 0);
    s.tree.applyPreferences();
    ASSERT_TRUE(s.show());
    EXPECT_FALSE(s.row(s.at(".hidden")).isValid());

    auto* hidden = s.tree.findChild<QCheckBox*>();
    hidden->click();
    EXPECT_TRUE(defaults.boolean(EditorSettingsKey::hiddenFiles));
    ASSERT_TRUE(s.settle());
    EXPECT_TRUE(s.row(s.at(".hidden")).isValid());

    auto* sort = s.tree.findChild<QComboBox*>();
    EXPECT_EQ(sort->itemText(2), QStringLiteral("更新日時（新しい順）"));
    sort->setCurrentIndex(1);
    s.tree.changeSortOrder();
    EXPECT_EQ(defaults.integer(EditorSettingsKey::treeSortOrder), 1);
    ASSERT_TRUE(s.settle());
    EXPECT_EQ(s.tree.model()->index(0, 0).data().toString(), QStringLiteral("b.txt"));

    const quint64 generation = s.tree.model()->generation();
    s.tree.applyPreferences();
    EXPECT_EQ(s.tree.model()->generation(), generation) << "unchanged settings do not reload";
    defaults.setBool(EditorSettingsKey::hiddenFiles, false);
    defaults.setInteger(EditorSettingsKey::treeSortOrder, 0);
    s.tree.applyPreferences();
    EXPECT_GT(s.tree.model()->generation(), generation);
    EXPECT_FALSE(hidden->isChecked());
    EXPECT_EQ(sort->currentIndex(), 0);
}

TEST(FileTreeView, AnotherProgramsChangesShowAndTheSelectionStays)
{
    Sidebar s;
    s.write("a.txt");
    ASSERT_TRUE(s.show(s.at("a.txt")));
    s.select(s.at("a.txt"));
    s.write("新しい.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.row(s.at("新しい.txt")).isValid(); }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.tree.outline()->selectionModel()->selectedIndexes().value(0) == s.row(s.at("a.txt")); }, 3000));
    ASSERT_TRUE(QFile::remove(s.at("a.txt")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.settle() && !s.row(s.at("a.txt")).isValid(); }, 3000));
    ASSERT_TRUE(QDir(s.root).removeRecursively());
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.tree.rootNode() == nullptr; }, 3000));
    EXPECT_EQ(s.tree.messageText(), FileTreeModel::rootGoneMessage);
}

TEST(FileTreeView, AnOpenFolderHandsOverEveryPageAsItIsScrolledAndItsAnswersAreKept)
{
    Sidebar s;
    const int total = 2 * FileTreeModel::pageRows + 7;
    QDir().mkpath(s.at("big"));
    for (int i = 0; i < total; ++i) QFile(s.at(QStringLiteral("big/e%1.txt").arg(i))).open(QIODevice::WriteOnly);
    s.write("z.txt");
    std::atomic<int> asked{0};
    s.tree.canOpenFile = [&asked](const QString& url) {
        ++asked;
        return url.endsWith(QStringLiteral(".txt"));
    };
    s.tree.resize(300, 600);
    s.tree.show();
    ASSERT_TRUE(s.show());
    const QPersistentModelIndex big(s.row(s.at("big")));
    ASSERT_TRUE(big.isValid());
    s.tree.outline()->expand(big);
    FileTreeModel* model = s.tree.model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(big) > 0; }, 5000));

    // Dragged to the bottom again and again, as a user would, until nothing more comes.
    auto scrolled = [&] {
        s.tree.outline()->scrollToBottom();
        return !model->canFetchMore(big);
    };
    ASSERT_TRUE(QTest::qWaitFor(scrolled, 10000)) << model->rowCount(big) << " rows shown";
    QStringList expected;
    for (const auto& node :
         FileTreeNode::contents(s.at("big"), false, FileTreeSortOrder::nameAscending, FileManager::defaultManager()))
        expected << node->name();
    QStringList shown;
    for (int row = 0; row < model->rowCount(big); ++row) shown << model->index(row, 0, big).data().toString();
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(model->rowCount(), 2) << "the folder and the file after it stay";

    const int listed = asked;
    EXPECT_EQ(listed, total + 1);
    EXPECT_TRUE(s.tree.supportsOpening(s.at("big/e0.txt")));
    EXPECT_TRUE(s.tree.supportsOpening(s.at("z.txt")));
    EXPECT_EQ(asked, listed) << "both listings' answers are used";
    s.tree.setRoot(s.at("big"));
    EXPECT_TRUE(s.tree.supportsOpening(s.at("z.txt")));
    EXPECT_EQ(asked, listed + 1) << "a new root asks again";
}
