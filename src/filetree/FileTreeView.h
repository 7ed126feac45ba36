#pragma once

#include "filetree/FileTreeSortOrder.h"

#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QModelIndex;
class QTreeView;

namespace korimado {

class DispatchQueue;

// One item of the sidebar's tree.
struct FileTreeNode {
    QString url;  // standardized path
};

// The file-browser sidebar of a window: the tree of one folder, opened files reported through onOpen.
// Stand-in: a plain tree over the file system; no file operations, context menu or watching of
// its own yet.
class FileTreeView : public QWidget {
    Q_OBJECT

public:
    explicit FileTreeView(QWidget* parent = nullptr);
    ~FileTreeView() override;

    // Shows folder as the root and remembers selection to reveal once loaded.
    void setRoot(const QString& folder, const std::optional<QString>& selecting = std::nullopt);
    // Lets the user pick the root folder with an open panel.
    void chooseFolder();
    FileTreeNode* rootNode() const { return rootNode_.get(); }

    std::function<void(const QString& file)> onOpen;
    std::function<void(const QString& oldURL, const QString& newURL)> onRelocate;
    // Which files the sidebar may open; installed by the window.
    std::function<bool(const QString& file)> canOpenFile;
    // Answers of canOpenFile by standardized path; emptied when the root changes.
    QHash<QString, bool> supportedFileCache;
    bool supportsOpening(const QString& file);

    // Reads the hidden-files and sort settings; reloads the tree only when they changed.
    void applyPreferences();

    bool showsHiddenFiles() const { return hiddenFiles_; }
    FileTreeSortOrder sortOrder() const { return sortOrder_; }
    QString pathFieldText() const;
    QString headerText() const;

    static QString standardized(const QString& path);
    static inline const QString chooseFolderMessage = QStringLiteral("サイドバーに表示するフォルダを選んでください。");

private:
    void reload();
    void activated(const QModelIndex& index);

    std::unique_ptr<FileTreeNode> rootNode_;
    std::optional<QString> pendingSelection_;
    bool hiddenFiles_ = false;
    FileTreeSortOrder sortOrder_ = FileTreeSortOrder::nameAscending;
    std::unique_ptr<DispatchQueue> queue_;

    QLabel* header_ = nullptr;
    QCheckBox* hiddenBox_ = nullptr;
    QComboBox* sortPopup_ = nullptr;
    QLineEdit* pathField_ = nullptr;
    QTreeView* tree_ = nullptr;
    QFileSystemModel* model_ = nullptr;
};

}  // namespace korimado
