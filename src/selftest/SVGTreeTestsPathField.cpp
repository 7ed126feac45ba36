// The sidebar's path field: a typed file opens as a second document in the same tab group and the
// drawing keeps its unsaved edit; a typed folder re-roots the tree; an absent path changes nothing.
#include "selftest/SVGTreeRun.h"

#include "document/KoriDocument.h"
#include "filetree/FileTreeModel.h"
#include "filetree/FileTreeNode.h"
#include "filetree/FileTreeView.h"
#include "filetree/TreePath.h"
#include "platform/documents/DocumentController.h"
#include "platform/ui/WindowTabGroup.h"
#include "selftest/SelfTestWindow.h"
#include "selftest/SuiteAwait.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTreeView>

namespace korimado {

namespace {

KoriDocument* documentFor(const QString& path)
{
    DocumentController* documents = DocumentController::shared();
    return documents ? qobject_cast<KoriDocument*>(documents->documentForURL(path)) : nullptr;
}

SelfTestWindow firstWindow(const KoriDocument* document)
{
    return document ? SelfTestWindow::of(*document) : SelfTestWindow();
}

void typePath(FileTreeView* tree, const QString& path)
{
    tree->pathField()->setText(path);
    tree->openPath();
}

QString rootOf(const FileTreeView* tree)
{
    const FileTreeNode* root = tree->rootNode();
    return root ? root->url : QString();
}

const FileTreeNode* selectedNode(const FileTreeView* tree)
{
    QItemSelectionModel* selection = tree->outline()->selectionModel();
    if (!selection) return nullptr;
    const QModelIndexList rows = selection->selectedIndexes();
    return rows.isEmpty() ? nullptr : tree->model()->node(rows.front());
}

}  // namespace

SuiteTask<> SVGTreeRun::checkPathField()
{
    if (!drawingWindow_) co_return;
    typePath(drawingWindow_.fileTree(), note_);
    const auto shown = [this] {
        const SelfTestWindow opened = firstWindow(documentFor(note_));
        return opened && opened.window() && opened.window()->isVisible();
    };
    co_await poll(50, 100, shown);
    if (!drawingWindow_) co_return;

    const QString note = TreePath::standardized(note_);
    KoriDocument* document = documentFor(note_);
    checks_.check(QStringLiteral("path entry opens exact file"),
                  document && document->string().startsWith(QStringLiteral("# パスから開く")));
    const SelfTestWindow second = firstWindow(document);
    checks_.check(QStringLiteral("path entry shows parent folder"),
                  second && second.fileTree()->rootNode() && rootOf(second.fileTree()) == QFileInfo(note).path());
    checks_.check(QStringLiteral("previous unsaved edits retained"),
                  drawing_ && drawing_->isDocumentEdited() && drawing_->string().contains(QStringLiteral("未保存の変更")));
    const std::optional<QList<QWidget*>> tabs = WindowTabGroup::tabbedWindows(drawingWindow_.window());
    checks_.check(QStringLiteral("documents share native tab group"), second && tabs && tabs->contains(second.window()));
    if (!second) co_return;

    co_await sleepFor(300);
    if (!second) co_return;
    const FileTreeNode* selected = selectedNode(second.fileTree());
    checks_.check(QStringLiteral("path file is selected in tree"), selected && selected->url == note);
    const QString root = TreePath::standardized(root_);
    typePath(second.fileTree(), root_);
    co_await sleepFor(300);
    if (!second) co_return;
    checks_.check(QStringLiteral("folder path updates tree without changing document"),
                  rootOf(second.fileTree()) == root && second.document()
                      && TreePath::standardized(second.document()->fileURL()) == note);
    typePath(second.fileTree(), root_ + QStringLiteral("/absent"));
    checks_.check(QStringLiteral("invalid path keeps existing tree"),
                  rootOf(second.fileTree()) == root
                      && second.fileTree()->messageText().contains(QStringLiteral("見つかりません")));
    second.openTreeFile(sample_);
    co_await sleepFor(300);
}

}  // namespace korimado
