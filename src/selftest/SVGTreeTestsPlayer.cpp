// The SVG preview: the sanitiser, the drawing's window in three columns with its tree, the player
// (timeline, pause, CSS animations, restart, zoom) and the preview following an edit.
#include "selftest/SVGTreeRun.h"

#include "document/KoriDocument.h"
#include "filetree/FileTreeModel.h"
#include "filetree/FileTreeNode.h"
#include "filetree/FileTreeView.h"
#include "filetree/TreePath.h"
#include "platform/documents/DocumentController.h"
#include "platform/ui/WindowTracker.h"
#include "preview/PreviewWebView.h"
#include "preview/SVGPreview.h"
#include "selftest/SelfTestDocuments.h"
#include "selftest/SelfTestWindow.h"
#include "selftest/SuiteAwait.h"

#include <QAbstractScrollArea>
#include <QMainWindow>
#include <QPushButton>
#include <QTreeView>

#include <cmath>
#include <memory>
#include <optional>

namespace korimado {

namespace {

// Rows the outline shows: top-level items and the items of every expanded one.
int visibleRows(const QTreeView* outline, const QModelIndex& parent = {})
{
    const QAbstractItemModel* model = outline->model();
    if (!model) return 0;
    int rows = 0;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        ++rows;
        const QModelIndex index = model->index(row, 0, parent);
        if (outline->isExpanded(index)) rows += visibleRows(outline, index);
    }
    return rows;
}

std::optional<double> number(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return value.toDouble();
    default: return std::nullopt;
    }
}

FileTreeNode* childNamed(const FileTreeNode* parent, const QString& url)
{
    if (!parent || !parent->children) return nullptr;
    for (const auto& child : *parent->children)
        if (child->url == url) return child.get();
    return nullptr;
}

}  // namespace

void SVGTreeRun::checkSanitiser()
{
    checks_.check(QStringLiteral("valid SVG accepted"), SVGPreview::page(sampleSVG()).valid);
    checks_.check(QStringLiteral("invalid XML rejected"), !SVGPreview::page(QStringLiteral("<svg><circle></svg>")).valid);
    checks_.check(QStringLiteral("external entity rejected"),
                  !SVGPreview::page(QStringLiteral("<!DOCTYPE svg [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><svg>&x;</svg>")).valid);
    const QString html = SVGPreview::page(unsafeSVG()).html;
    checks_.check(QStringLiteral("unsafe SVG nodes and attributes removed"),
                  !html.contains(QStringLiteral("bad()")) && !html.contains(externalAddress)
                      && !html.contains(QStringLiteral("<foreignObject")));
}

SuiteTask<bool> SVGTreeRun::openDrawingWindow()
{
    QString error;
    const auto inRoot = [this](KoriDocument& document) { document.setRootDirectory(root_); };
    drawingWindow_ = SelfTestDocuments::openTextWindow(sample_, &error, inRoot);
    if (!drawingWindow_) co_return harnessError(error);
    drawing_ = drawingWindow_.document();
    WindowTracker::shared().makeKeyAndOrderFront(drawingWindow_.window());
    drawingWindow_.window()->activateWindow();

    const auto playable = [this] {
        return drawingWindow_ && previewCurrent() && drawingWindow_.playButton()->isEnabled();
    };
    co_await poll(60, 100, playable);
    if (windowClosed()) co_return false;
    FileTreeView* tree = drawingWindow_.fileTree();
    checks_.check(QStringLiteral("SVG opens in three columns"),
                  drawingWindow_.mode() == SelfTestWindow::Mode::split && tree->isVisible()
                      && drawingWindow_.scroll()->isVisible() && drawingWindow_.web()->isVisible());
    checks_.check(QStringLiteral("tree initial listing loads"), visibleRows(tree->outline()) > 1);

    const FileTreeNode* root = tree->rootNode();
    const FileTreeNode* folder = nullptr;
    if (root && root->children)
        for (const auto& child : *root->children)
            if (child->expandable) {
                folder = child.get();
                break;
            }
    if (!folder) {
        checks_.check(QStringLiteral("nested directory expands lazily"), false);
        co_return true;
    }
    const QString folderURL = folder->url;
    tree->outline()->expand(tree->model()->indexFor(folder));
    co_await sleepFor(300);
    if (windowClosed()) co_return false;
    // The tree may have been loaded again meanwhile: the folder is looked up afresh.
    const FileTreeNode* expanded = childNamed(tree->rootNode(), folderURL);
    checks_.check(QStringLiteral("nested directory expands lazily"),
                  childNamed(expanded, TreePath::standardized(note_)) && visibleRows(tree->outline()) > 2);
    co_return true;
}

SuiteTask<bool> SVGTreeRun::checkPlayer()
{
    if (windowClosed()) co_return false;
    QPointer<PreviewWebView> web = drawingWindow_.web();
    const auto paused = [this] { return drawingWindow_ && drawingWindow_.isSVGPaused(); };
    const QString roots = QStringLiteral("document.querySelectorAll('svg').length");
    const QString clock = QStringLiteral("document.querySelector('svg').getCurrentTime()");
    const QString allPaused = QStringLiteral("document.getAnimations().every(a=>a.playState==='paused')");
    // Seven scripts; one that fails ends the run.
    std::optional<QString> failed;
    const auto inPage = [web, &failed](const QString& script) -> SuiteTask<QVariant> {
        const ScriptResult result = co_await evaluate(web, script);
        if (!result.ok && !failed) failed = result.error;
        co_return result.value;
    };

    const QVariant count = co_await inPage(roots);
    if (failed) co_return harnessError(*failed);
    if (windowClosed()) co_return false;
    checks_.check(QStringLiteral("SVG root rendered"), number(count) == 1.0);

    const QVariant first = co_await inPage(clock);
    co_await sleepFor(250);
    const QVariant second = co_await inPage(clock);
    if (failed) co_return harnessError(*failed);
    if (windowClosed()) co_return false;
    checks_.check(QStringLiteral("SMIL timeline advances"), number(first).value_or(-1) < number(second).value_or(-1));

    drawingWindow_.toggleSVGPlayback();
    co_await sleepFor(100);
    if (windowClosed()) co_return false;
    const QVariant pausedAt = co_await inPage(clock);
    co_await sleepFor(250);
    const QVariant stillAt = co_await inPage(clock);
    if (failed) co_return harnessError(*failed);
    if (windowClosed()) co_return false;
    const double p1 = number(pausedAt).value_or(-1);
    const double p2 = number(stillAt).value_or(-1);
    checks_.check(QStringLiteral("SMIL pause holds timeline"), std::abs(p2 - p1) < 0.04 && paused());

    const QVariant allHeld = co_await inPage(allPaused);
    if (failed) co_return harnessError(*failed);
    if (windowClosed()) co_return false;
    checks_.check(QStringLiteral("CSS animation paused"), allHeld.typeId() == QMetaType::Bool && allHeld.toBool());

    drawingWindow_.restartSVG();
    co_await sleepFor(100);
    if (windowClosed()) co_return false;
    const QVariant restarted = co_await inPage(clock);
    if (failed) co_return harnessError(*failed);
    if (windowClosed()) co_return false;
    const std::optional<double> r = number(restarted);
    checks_.check(QStringLiteral("restart resets and resumes"), r && *r >= 0 && *r < 0.5 && !paused());

    drawingWindow_.zoomInSVG();
    checks_.check(QStringLiteral("zoom increases"), web && web->zoom() > 1.0);
    drawingWindow_.resetSVGZoom();
    checks_.check(QStringLiteral("zoom resets"), web && web->zoom() == 1.0);
    co_return true;
}

SuiteTask<> SVGTreeRun::checkLiveEdit()
{
    typeAtEnd(QStringLiteral("\n<!-- 未保存の変更 -->"));
    const auto current = [this] { return previewCurrent(); };
    co_await poll(40, 100, current);
    if (!drawingWindow_) co_return;
    const std::optional<std::uint64_t> shown = drawingWindow_.previewRevision();
    checks_.check(QStringLiteral("live SVG edit updates preview"), drawing_ && shown && *shown == drawing_->revision());
}

}  // namespace korimado
