// Typed paths and the folder listing, as the sidebar's path field and tree use them.
#include "selftest/SVGTreeRun.h"

#include "filetree/FileTreeNode.h"
#include "filetree/FileTreeSortOrder.h"
#include "filetree/TreePath.h"
#include "platform/documents/FileManager.h"
#include "platform/foundation/ErrorInfo.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace korimado {

namespace {

bool rejected(const QString& text)
{
    try {
        TreePath::resolve(text);
        return false;
    } catch (const ErrorInfo&) {
        return true;
    }
}

bool hasHiddenTestFile(const FileTreeNode::Children& nodes)
{
    return std::any_of(nodes.begin(), nodes.end(),
                       [](const auto& node) { return QFileInfo(node->url).fileName() == QStringLiteral(".hidden-test"); });
}

}  // namespace

bool SVGTreeRun::checkPathParser()
{
    const QString note = TreePath::standardized(note_);
    try {
        const TreePath::Resolved full = TreePath::resolve(note_);
        checks_.check(QStringLiteral("full Japanese file path resolves"), full.url == note && !full.isDirectory);
        checks_.check(QStringLiteral("directory path resolves"), TreePath::resolve(root_).isDirectory);
        checks_.check(QStringLiteral("quoted path resolves"),
                      TreePath::resolve(QLatin1Char('"') + note_ + QLatin1Char('"')).url == note);
        const QString fileURL = QString::fromUtf8(QUrl::fromLocalFile(note_).toEncoded());
        checks_.check(QStringLiteral("file URL resolves"), TreePath::resolve(fileURL).url == note);
    } catch (const ErrorInfo& error) {
        return harnessError(error.description);
    }
    checks_.check(QStringLiteral("relative path rejected"), rejected(QStringLiteral("relative.txt")));
    checks_.check(QStringLiteral("missing path rejected"), rejected(root_ + QStringLiteral("/does-not-exist")));
    return true;
}

bool SVGTreeRun::checkListing()
{
    FileManager& files = FileManager::defaultManager();
    try {
        const FileTreeNode::Children listed = FileTreeNode::contents(root_, false, FileTreeSortOrder::nameAscending, files);
        checks_.check(QStringLiteral("directories sorted first"), !listed.empty() && listed.front()->expandable);
        checks_.check(QStringLiteral("hidden files hidden by default"), !hasHiddenTestFile(listed));
        const FileTreeNode::Children all = FileTreeNode::contents(root_, true, FileTreeSortOrder::nameAscending, files);
        checks_.check(QStringLiteral("hidden files can be shown"), hasHiddenTestFile(all));
    } catch (const ErrorInfo& error) {
        return harnessError(error.description);
    }
    return true;
}

}  // namespace korimado
