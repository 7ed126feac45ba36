#include "filetree/FileTreeView.h"
#include "platform/foundation/FilePath.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/ui/FilePanels.h"
#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsSnapshot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>

namespace korimado {

namespace {

FileTreeSortOrder sortOrderFromSetting(qint64 value)
{
    switch (value) {
    case 1:
        return FileTreeSortOrder::nameDescending;
    case 2:
        return FileTreeSortOrder::modifiedNewest;
    default:
        return FileTreeSortOrder::nameAscending;
    }
}

}  // namespace

FileTreeView::FileTreeView(QWidget* parent)
    : QWidget(parent), queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".filetree"))))
{
    header_ = new QLabel(this);
    hiddenBox_ = new QCheckBox(QStringLiteral("不可視ファイルを表示"), this);
    hiddenBox_->setEnabled(false);
    sortPopup_ = new QComboBox(this);
    sortPopup_->addItems({QStringLiteral("名前順"), QStringLiteral("名前の逆順"), QStringLiteral("更新日の新しい順")});
    sortPopup_->setEnabled(false);
    pathField_ = new QLineEdit(this);
    pathField_->setReadOnly(true);
    model_ = new QFileSystemModel(this);
    model_->setReadOnly(true);
    tree_ = new QTreeView(this);
    tree_->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) {
        tree_->hideColumn(column);
    }
    tree_->header()->hide();
    connect(tree_, &QTreeView::activated, this, &FileTreeView::activated);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(header_);
    layout->addWidget(hiddenBox_);
    layout->addWidget(sortPopup_);
    layout->addWidget(pathField_);
    layout->addWidget(tree_, 1);

    const EditorSettingsSnapshot settings(UserDefaults::standard());
    hiddenFiles_ = settings.hiddenFiles;
    sortOrder_ = sortOrderFromSetting(settings.treeSortOrder);
    hiddenBox_->setChecked(hiddenFiles_);
    sortPopup_->setCurrentIndex(static_cast<int>(sortOrder_));
}

FileTreeView::~FileTreeView() = default;

QString FileTreeView::standardized(const QString& path)
{
    return standardizedPath(path);
}

void FileTreeView::setRoot(const QString& folder, const std::optional<QString>& selecting)
{
    supportedFileCache.clear();
    const QString root = standardized(folder);
    pendingSelection_ = selecting ? std::optional(standardized(*selecting)) : std::nullopt;
    rootNode_ = std::make_unique<FileTreeNode>(FileTreeNode{root});
    const QString name = QFileInfo(root).fileName();
    header_->setText(name.isEmpty() ? root : name);
    header_->setToolTip(root);
    pathField_->setText(pendingSelection_ ? *pendingSelection_ : root);
    reload();
}

void FileTreeView::reload()
{
    if (!rootNode_) {
        return;
    }
    QDir::Filters filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::AllDirs;
    if (hiddenFiles_) {
        filters |= QDir::Hidden;
    }
    model_->setFilter(filters);
    tree_->setRootIndex(model_->setRootPath(rootNode_->url));
    switch (sortOrder_) {
    case FileTreeSortOrder::nameAscending:
        model_->sort(0, Qt::AscendingOrder);
        break;
    case FileTreeSortOrder::nameDescending:
        model_->sort(0, Qt::DescendingOrder);
        break;
    case FileTreeSortOrder::modifiedNewest:
        model_->sort(3, Qt::DescendingOrder);
        break;
    }
    if (pendingSelection_) {
        const QModelIndex index = model_->index(*pendingSelection_);
        if (index.isValid()) {
            tree_->setCurrentIndex(index);
            tree_->scrollTo(index);
        }
    }
}

void FileTreeView::chooseFolder()
{
    FilePanels* panels = FilePanels::shared();
    if (!panels) {
        return;
    }
    OpenPanelOptions options;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.message = chooseFolderMessage;
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (result.confirmed && !result.paths.isEmpty()) {
        setRoot(result.paths.first());
    }
}

bool FileTreeView::supportsOpening(const QString& file)
{
    const QString key = standardized(file);
    const auto cached = supportedFileCache.constFind(key);
    if (cached != supportedFileCache.constEnd()) {
        return cached.value();
    }
    const bool answer = canOpenFile ? canOpenFile(key) : false;
    supportedFileCache.insert(key, answer);
    return answer;
}

void FileTreeView::applyPreferences()
{
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    const FileTreeSortOrder order = sortOrderFromSetting(settings.treeSortOrder);
    const bool changed = settings.hiddenFiles != hiddenFiles_ || order != sortOrder_;
    hiddenFiles_ = settings.hiddenFiles;
    sortOrder_ = order;
    hiddenBox_->setChecked(hiddenFiles_);
    sortPopup_->setCurrentIndex(static_cast<int>(sortOrder_));
    if (changed) {
        reload();
    }
}

QString FileTreeView::pathFieldText() const
{
    return pathField_->text();
}

QString FileTreeView::headerText() const
{
    return header_->text();
}

void FileTreeView::activated(const QModelIndex& index)
{
    const QString path = standardized(model_->filePath(index));
    if (model_->isDir(index)) {
        return;
    }
    pathField_->setText(path);
    if (onOpen && supportsOpening(path)) {
        onOpen(path);
    }
}

}  // namespace korimado
