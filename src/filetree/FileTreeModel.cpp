#include "filetree/FileTreeModel.h"

#include "filetree/DirectoryWatcher.h"
#include "filetree/TreePath.h"
#include "platform/documents/FileManager.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"

#include <QPointer>

namespace korimado {

struct FileTreeModel::Listing {
    std::optional<FileTreeNode::Children> children;
    ErrorInfo error;
    QHash<QString, bool> openable;
    std::vector<bool> opens;
    std::vector<bool> folders;
    // The remembered item when the listing started, and the row on the way to it.
    std::optional<QString> wanted;
    int wantedRow = -1;
};

FileTreeModel::FileTreeModel(FileManager& fileManager, QObject* parent)
    : QAbstractItemModel(parent),
      fileManager_(&fileManager),
      queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".filetree"))))
{
}

FileTreeModel::~FileTreeModel()
{
    if (watcherWork_) watcherWork_->cancel();
    watcher_.reset();
    // Waits for a listing under way; its result then finds no model.
    queue_.reset();
}

void FileTreeModel::setMessage(const QString& text)
{
    if (text == message_) return;
    message_ = text;
    Q_EMIT messageChanged(text);
}

void FileTreeModel::setRoot(const QString& folder, const std::optional<QString>& selecting)
{
    const QString root = TreePath::standardized(folder);
    generation_ += 1;
    tree_ += 1;
    selectionURL_ = selecting ? std::optional(TreePath::standardized(*selecting)) : std::nullopt;
    beginResetModel();
    std::shared_ptr<FileTreeNode> discarded(rootNode_.release());
    rootNode_ = FileTreeNode::root(root, *fileManager_);
    endResetModel();
    // Freeing a large tree takes milliseconds; nothing on this thread refers to it any more.
    if (discarded) queue_->async([discarded = std::move(discarded)] {});
    setMessage(loadingMessage);
    startWatching(root, generation_);
    load(rootNode_.get());
}

void FileTreeModel::refreshTree()
{
    if (!rootNode_) return;
    std::optional<QString> keep = selectedURL ? selectedURL() : std::nullopt;
    if (!keep) keep = selectionURL_;
    const QString root = rootNode_->url;
    if (setRootHandler) {
        setRootHandler(root, keep);
    } else {
        setRoot(root, keep);
    }
}

void FileTreeModel::load(FileTreeNode* node)
{
    // The root is listed even when it does not look like a folder, so that the reason shows.
    if (!node || (!node->expandable && node != rootNode_.get()) || node->loading || node->children) return;
    node->loading = true;
    const quint64 ticket = generation_;
    const quint64 tree = tree_;
    const bool hidden = showHidden;
    const FileTreeSortOrder order = sortOrder;
    const QString url = node->url;
    FileManager* files = fileManager_;
    OpenableCheck check = openableCheck ? openableCheck() : OpenableCheck();
    auto listing = std::make_shared<Listing>();
    listing->wanted = selectionURL_;
    QPointer<FileTreeModel> self(this);
    queue_->async([self, node, ticket, tree, hidden, order, url, files, check = std::move(check), listing] {
        try {
            listing->children = FileTreeNode::contents(url, hidden, order, *files);
        } catch (const ErrorInfo& error) {
            listing->error = error;
        }
        // Every step that visits each entry is done here: the main thread only takes the result.
        // The check may read a file's head, so it is asked here too, not when a row is laid out.
        if (listing->children) {
            FileTreeNode::Children& children = *listing->children;
            FileTreeNode::placeUnder(children, node);
            listing->openable.reserve(static_cast<qsizetype>(children.size()));
            listing->opens.reserve(children.size());
            listing->folders.reserve(children.size());
            for (const auto& child : children) {
                if (!child->expandable) {
                    child->openable = !check || check(child->url);
                    listing->openable.insert(child->url, *child->openable);
                }
                listing->opens.push_back(child->expandable || child->openable.value_or(true));
                listing->folders.push_back(child->expandable);
            }
            if (listing->wanted) listing->wantedRow = FileTreeNode::rowTowards(children, *listing->wanted);
        }
        MainQueue::async([self, node, ticket, tree, listing] {
            if (self) self->applyListing(node, ticket, tree, listing);
        });
    });
}

void FileTreeModel::applyListing(FileTreeNode* node, quint64 ticket, quint64 tree, const std::shared_ptr<Listing>& listing)
{
    // A listing of a discarded tree: its node may be gone, so it is not touched.
    if (ticket != generation_ || tree != tree_) return;
    node->loading = false;
    const bool isRoot = node == rootNode_.get();
    FileTreeNode::Children children;
    if (listing->children) {
        children = std::move(*listing->children);
        setMessage(children.empty() && isRoot ? emptyFolderMessage : clickToOpenMessage);
    } else {
        setMessage(unreadablePrefix + listing->error.description);
    }
    if (!listing->openable.isEmpty()) Q_EMIT openableAnswered(listing->openable);
    const QModelIndex parentIndex = indexFor(node);
    const int first = static_cast<int>(std::min<std::size_t>(children.size(), pageRows));
    if (first > 0) beginInsertRows(parentIndex, 0, first - 1);
    node->children = std::move(children);
    node->childOpens = std::move(listing->opens);
    node->childHasChildren = std::move(listing->folders);
    node->shown = first;
    if (first > 0) {
        endInsertRows();
    } else if (!isRoot) {
        if (node->parent && node->row < static_cast<int>(node->parent->childHasChildren.size()))
            node->parent->childHasChildren[static_cast<size_t>(node->row)] = false;
        Q_EMIT dataChanged(parentIndex, parentIndex);
    }
    // The listing looked for the remembered item unless another was chosen meanwhile.
    if (selectionURL_ && selectionURL_ == listing->wanted) {
        revealSelection(node, listing->wantedRow);
    } else {
        revealSelection(node);
    }
}

void FileTreeModel::showThrough(FileTreeNode* node, int last)
{
    if (!node || !node->children) return;
    last = std::min(last, static_cast<int>(node->children->size()) - 1);
    if (last < node->shown) return;
    beginInsertRows(indexFor(node), node->shown, last);
    node->shown = last + 1;
    endInsertRows();
}

void FileTreeModel::revealSelection(FileTreeNode* node)
{
    if (!selectionURL_ || !node->children) return;
    revealSelection(node, FileTreeNode::rowTowards(*node->children, *selectionURL_));
}

void FileTreeModel::revealSelection(FileTreeNode* node, int row)
{
    if (!selectionURL_ || !node->children || row < 0 || row >= static_cast<int>(node->children->size())) return;
    FileTreeNode* child = (*node->children)[static_cast<size_t>(row)].get();
    showThrough(node, row);
    if (child->url == *selectionURL_) {
        Q_EMIT selectRequested(indexFor(child));
        return;
    }
    Q_EMIT expandRequested(indexFor(child));
    if (child->children) {
        revealSelection(child);
    } else {
        load(child);
    }
}

void FileTreeModel::startWatching(const QString& url, quint64 ticket)
{
    if (watcherWork_) watcherWork_->cancel();
    watcherWork_.reset();
    QPointer<FileTreeModel> self(this);
    // The new watch is made before the old one goes, so a refresh keeps the kernel watch.
    auto next = DirectoryWatcher::make(url, [self, ticket](FileWatchHub::Events events) {
        if (self) self->watcherFired(ticket, events);
    });
    watcher_ = std::move(next);
}

void FileTreeModel::watcherFired(quint64 ticket, FileWatchHub::Events events)
{
    if (ticket != generation_) return;
    if (watcherWork_) watcherWork_->cancel();
    QPointer<FileTreeModel> self(this);
    watcherWork_ = WorkItem::make([self, ticket, events] {
        if (!self || ticket != self->generation_ || !self->rootNode_) return;
        const bool gone = events & (FileWatchHub::deleted | FileWatchHub::moved | FileWatchHub::revoked);
        if (!gone && self->fileManager_->itemExists(self->rootNode_->url)) {
            self->refreshTree();
        } else {
            self->rootGone();
        }
    });
    MainQueue::after(watcherDelayMs, watcherWork_);
}

void FileTreeModel::rootGone()
{
    watcher_.reset();
    beginResetModel();
    rootNode_.reset();
    tree_ += 1;
    endResetModel();
    setMessage(rootGoneMessage);
}

// An index carries its parent's node, so that the flags of a row are read from the parent's
// list without a visit to the row's own node.
FileTreeNode* FileTreeModel::node(const QModelIndex& index) const
{
    if (!index.isValid()) return rootNode_.get();
    const auto* owner = static_cast<const FileTreeNode*>(index.internalPointer());
    const auto row = static_cast<size_t>(index.row());
    if (!owner->children || row >= owner->children->size()) return nullptr;
    return (*owner->children)[row].get();
}

QModelIndex FileTreeModel::indexFor(const FileTreeNode* node) const
{
    if (!node || node == rootNode_.get() || !node->parent) return {};
    return createIndex(node->row, 0, node->parent);
}

bool FileTreeModel::opens(const FileTreeNode& item) const
{
    return item.expandable || item.openable.value_or(true);
}

QModelIndex FileTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const FileTreeNode* owner = node(parent);
    if (!owner || column != 0 || !owner->children || row < 0 || row >= owner->shown) {
        return {};
    }
    return createIndex(row, 0, owner);
}

QModelIndex FileTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid()) return {};
    return indexFor(static_cast<const FileTreeNode*>(child.internalPointer()));
}

int FileTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0) return 0;
    const FileTreeNode* owner = node(parent);
    return owner && owner->children ? owner->shown : 0;
}

int FileTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool FileTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid()) return rootNode_ && rootNode_->children && !rootNode_->children->empty();
    // An unloaded folder may have children: the outline offers to open it, and opening loads it.
    const auto* owner = static_cast<const FileTreeNode*>(parent.internalPointer());
    const auto row = static_cast<size_t>(parent.row());
    return row < owner->childHasChildren.size() && owner->childHasChildren[row];
}

bool FileTreeModel::canFetchMore(const QModelIndex& parent) const
{
    const FileTreeNode* owner = node(parent);
    if (!owner) return false;
    if (owner->children) return owner->shown < static_cast<int>(owner->children->size());
    return owner->expandable && !owner->loading;
}

void FileTreeModel::fetchMore(const QModelIndex& parent)
{
    FileTreeNode* owner = node(parent);
    if (owner && owner->children) {
        showThrough(owner, owner->shown + pageRows - 1);
        return;
    }
    load(owner);
}

QVariant FileTreeModel::data(const QModelIndex& index, int role) const
{
    const FileTreeNode* item = index.isValid() ? node(index) : nullptr;
    if (!item) return {};
    switch (role) {
    case Qt::DisplayRole: return item->name();
    case Qt::ToolTipRole:
        if (opens(*item)) return item->url;
        return QStringLiteral("この形式はKorimadoで開けません。\n") + item->url;
    case urlRole: return item->url;
    case expandableRole: return item->expandable;
    default: return {};
    }
}

Qt::ItemFlags FileTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    const auto* owner = static_cast<const FileTreeNode*>(index.internalPointer());
    const auto row = static_cast<size_t>(index.row());
    if (row >= owner->childOpens.size()) return Qt::NoItemFlags;
    return owner->childOpens[row] ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace korimado
