#pragma once

#include "filetree/FileTreeNode.h"
#include "filetree/FileTreeSortOrder.h"
#include "filetree/TreePath.h"
#include "filetree/WorkspaceFileOperations.h"

#include <QHash>
#include <QPersistentModelIndex>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace korimado {

class Document;
class FileManager;
class FileTreeModel;

// The file-browser sidebar of a window: the lazily loaded tree of one folder, a path field, and
// the file commands of its context menu, all confined to that folder. The window connects it
// through onOpen, canOpenFile and onRelocate.
class FileTreeView : public QWidget {
    Q_OBJECT

public:
    explicit FileTreeView(QWidget* parent = nullptr);
    // fileManager: where the disk is touched; tests make it fail.
    FileTreeView(FileManager& fileManager, QWidget* parent);
    ~FileTreeView() override;

    // Shows folder as the root and remembers selecting, to reveal and select once loaded.
    void setRoot(const QString& folder, const std::optional<QString>& selecting = std::nullopt);
    // Loads the root again, keeping the selection.
    void refreshTree();
    // Lets the user pick the root folder with an open panel.
    void chooseFolder();
    FileTreeNode* rootNode() const;

    std::function<void(const QString& file)> onOpen;
    std::function<void(const QString& oldURL, const QString& newURL)> onRelocate;
    // Which files the sidebar may open; installed by the window.
    std::function<bool(const QString& file)> canOpenFile;
    // Answers of canOpenFile by standardised path asked here, beside those of the listings; both
    // are emptied when the root changes.
    QHash<QString, bool> supportedFileCache;
    bool supportsOpening(const QString& file);
    // Whether a node's row may be selected: folders, and files the window can open.
    bool shouldSelect(const FileTreeNode& node) const;
    static constexpr double unopenableIconOpacity = 0.35;

    // Reads the hidden-files and sort settings; refreshes the tree only when they changed.
    void applyPreferences();

    // Actions of the controls and the context menu.
    void openPath();
    void toggleHidden();
    void changeSortOrder();
    void selected(const QModelIndex& index);
    // Return or Enter in the outline: the current row, as a click on it.
    void openCurrentRow();
    // An item moved from oldURL to newURL: the path field and the remembered item follow it
    // when they named it or something inside it.
    void followRelocation(const QString& oldURL, const QString& newURL);
    void createFile();
    void createFolder();
    void renameItem();
    void moveItem();
    void moveItemToTrash();
    void revealInFinder();
    void copyPath();

    // Before the context menu opens for the row at index (none for empty space): that row alone
    // is selected, and the items are validated.
    void menuWillOpen(const QModelIndex& clicked);
    QMenu* contextMenu() const { return menu_; }

    FileTreeSortOrder sortOrder() const { return sortOrder_; }
    QString pathFieldText() const;
    QString headerText() const;
    QString messageText() const;
    QLineEdit* pathField() const { return pathField_; }
    QTreeView* outline() const { return outline_; }
    FileTreeModel* model() const { return model_; }

    static QString standardized(const QString& path) { return TreePath::standardized(path); }
    static inline const QString chooseFolderMessage = QStringLiteral("サイドバーに表示するフォルダを選んでください。");
    static inline const QString initialMessage = QStringLiteral("フォルダを開くと、ここにファイルを表示します。");
    static inline const QString unsupportedFileMessage =
        QStringLiteral("この形式はKorimadoで開けません。テキスト、コード、SVGファイルを選んでください。");
    static inline const QString copiedPathMessage = QStringLiteral("パスをコピーしました。");

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void validateMenu();
    FileTreeNode* selectedNode() const;
    std::optional<QString> targetDirectory() const;
    std::optional<QString> promptForName(const QString& title, const QString& message, const QString& defaultValue);
    void showError(const QString& description);
    void finishRelocation(const QString& oldURL, const QString& newURL);
    void selectRequested(const QModelIndex& index);
    bool cachedAnswer(const QString& key, const QString& file);
    void schedulePageCheck();
    // Hands the outline the next page of each open folder whose last row given is on screen.
    void fetchPagesInSight();

    FileManager* fileManager_;
    std::vector<QHash<QString, bool>> listedAnswers_;
    WorkspaceFileOperations operations_;
    bool showHidden_ = false;
    FileTreeSortOrder sortOrder_ = FileTreeSortOrder::nameAscending;
    QPersistentModelIndex clickedRow_;
    bool pageCheckPending_ = false;

    FileTreeModel* model_ = nullptr;
    QLabel* header_ = nullptr;
    QLineEdit* pathField_ = nullptr;
    QLabel* message_ = nullptr;
    QTreeView* outline_ = nullptr;
    QCheckBox* hiddenButton_ = nullptr;
    QComboBox* sortPicker_ = nullptr;
    QMenu* menu_ = nullptr;
};

}  // namespace korimado
