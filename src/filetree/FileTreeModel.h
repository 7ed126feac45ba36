#pragma once

#include "filetree/FileTreeNode.h"
#include "filetree/FileTreeSortOrder.h"
#include "filetree/TreePath.h"
#include "platform/documents/FileWatchHub.h"
#include "platform/foundation/WorkItem.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace korimado {

class DirectoryWatcher;
class DispatchQueue;
class FileManager;

// The sidebar's tree of one folder: folders are listed on the ".filetree" queue when first
// asked for, each result applied only while its generation is current; the root folder is
// watched and a burst of changes answered once, 0.2 s after the last event.
class FileTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    static constexpr int watcherDelayMs = 200;
    // The outline lays out every row it has been given on the main thread at once: a folder's
    // children are handed over a page at a time, the next when the outline reaches the last.
    static constexpr int pageRows = 5000;
    enum Role { urlRole = Qt::UserRole + 1, expandableRole };

    static inline const QString loadingMessage = QStringLiteral("読み込み中…");
    static inline const QString emptyFolderMessage = QStringLiteral("このフォルダには項目がありません。");
    static inline const QString clickToOpenMessage = QStringLiteral("ファイルをクリックして開く");
    static inline const QString unreadablePrefix = QStringLiteral("読み込めません。");
    static inline const QString rootGoneMessage =
        QStringLiteral("開いていたフォルダが移動または削除されました。別のフォルダを開いてください。");

    explicit FileTreeModel(FileManager& fileManager, QObject* parent = nullptr);
    ~FileTreeModel() override;

    // Shows folder as a new, unloaded tree; item is revealed and selected once its folders load.
    void setRoot(const QString& folder, const std::optional<QString>& selecting = std::nullopt);
    // Loads the root again, keeping the selection: the current one when selectedURL gives one.
    void refreshTree();
    void load(FileTreeNode* node);

    FileTreeNode* rootNode() const { return rootNode_.get(); }
    FileTreeNode* node(const QModelIndex& index) const;
    QModelIndex indexFor(const FileTreeNode* node) const;
    // A folder, or a file the check accepted while it was listed; never asks the disk.
    bool opens(const FileTreeNode& item) const;
    quint64 generation() const { return generation_; }
    std::optional<QString> selectionURL() const { return selectionURL_; }
    void setSelectionURL(const QString& url) { selectionURL_ = TreePath::standardized(url); }
    QString message() const { return message_; }
    void setMessage(const QString& text);
    bool isWatching() const { return watcher_ != nullptr; }

    bool showHidden = false;
    FileTreeSortOrder sortOrder = FileTreeSortOrder::nameAscending;
    // Which files may be opened; files that may not are shown but cannot be selected. Taken on
    // the main thread when a listing starts and asked on the listing queue for each file listed,
    // so the check must be safe on any thread. None: every file may be opened.
    using OpenableCheck = std::function<bool(const QString& url)>;
    std::function<OpenableCheck()> openableCheck;
    // The item the user has selected, kept by a refresh.
    std::function<std::optional<QString>()> selectedURL;
    // Where a refresh re-roots, when the owner has more to do on every new root.
    std::function<void(const QString& root, const std::optional<QString>& selecting)> setRootHandler;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    void messageChanged(const QString& text);
    // The check's answers for the files of a listing just shown, by standardised path.
    void openableAnswered(const QHash<QString, bool>& answers);
    // The remembered item has a row now, or a folder on the way to it should open.
    void selectRequested(const QModelIndex& index);
    void expandRequested(const QModelIndex& index);

private:
    struct Listing;
    void applyListing(FileTreeNode* node, quint64 ticket, quint64 tree, const std::shared_ptr<Listing>& listing);
    void revealSelection(FileTreeNode* node);
    // Reveals the remembered item through node's child at row, found already.
    void revealSelection(FileTreeNode* node, int row);
    // Hands the outline the node's children up to row `last`, or one page more.
    void showThrough(FileTreeNode* node, int last);
    void startWatching(const QString& url, quint64 ticket);
    void watcherFired(quint64 ticket, FileWatchHub::Events events);
    void rootGone();

    FileManager* fileManager_;
    std::unique_ptr<DispatchQueue> queue_;
    std::unique_ptr<FileTreeNode> rootNode_;
    quint64 generation_ = 0;
    quint64 tree_ = 0;  // which tree a listing belongs to; a root that went keeps its generation
    std::optional<QString> selectionURL_;
    QString message_;
    std::unique_ptr<DirectoryWatcher> watcher_;
    WorkItemPtr watcherWork_;
};

}  // namespace korimado
