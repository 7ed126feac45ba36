#include "filetree/FileTreeView.h"

#include "filetree/DocumentRelocation.h"
#include "filetree/FileTreeModel.h"
#include "platform/foundation/Bundle.h"
#include "platform/documents/Document.h"
#include "platform/documents/DocumentController.h"
#include "platform/documents/FileManager.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FileIcons.h"
#include "platform/ui/FileManagerReveal.h"
#include "platform/ui/FilePanels.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QHash>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

namespace korimado {

namespace {

constexpr int rowHeight = 27;
constexpr int iconSide = 18;

// The tree with the desktop's icon for each file's type and for folders; items that cannot be
// opened get a faint one.
class OutlineModel : public FileTreeModel {
public:
    using FileTreeModel::FileTreeModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DecorationRole) return FileTreeModel::data(index, role);
        const FileTreeNode* item = node(index);
        if (!item) return {};
        const QIcon plain = item->expandable ? FileIcons::folderIcon() : FileIcons::iconForFile(item->url);
        return opens(*item) ? plain : faint(plain);
    }

private:
    // One faint copy per icon: a tree of thousands of rows has a few types.
    QIcon faint(const QIcon& plain) const
    {
        QIcon& icon = faintIcons_[plain.cacheKey()];
        if (!icon.isNull()) return icon;
        QPixmap pixmap(iconSide * 2, iconSide * 2);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setOpacity(FileTreeView::unopenableIconOpacity);
        plain.paint(&painter, pixmap.rect());
        painter.end();
        return icon = QIcon(pixmap);
    }

    mutable QHash<qint64, QIcon> faintIcons_;
};

class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), rowHeight};
    }
};

QFont systemFont(int points, bool semibold = false)
{
    QFont font = QApplication::font();
    font.setPointSize(points);
    if (semibold) font.setWeight(QFont::DemiBold);
    return font;
}

}  // namespace

FileTreeView::FileTreeView(QWidget* parent) : FileTreeView(FileManager::defaultManager(), parent) {}

FileTreeView::FileTreeView(FileManager& fileManager, QWidget* parent)
    : QWidget(parent), fileManager_(&fileManager), operations_(fileManager)
{
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    showHidden_ = settings.hiddenFiles;
    sortOrder_ = fileTreeSortOrder(settings.treeSortOrder);

    model_ = new OutlineModel(fileManager, this);
    model_->showHidden = showHidden_;
    model_->sortOrder = sortOrder_;
    // Listings ask on their queue, each with the check installed when it started.
    model_->openableCheck = [this]() -> FileTreeModel::OpenableCheck {
        if (canOpenFile) return canOpenFile;
        return [](const QString&) { return false; };
    };
    model_->selectedURL = [this]() -> std::optional<QString> {
        if (const FileTreeNode* node = selectedNode()) return node->url;
        return std::nullopt;
    };
    // Every refresh, also the watcher's, goes through setRoot so that openable files are asked again.
    model_->setRootHandler = [this](const QString& root, const std::optional<QString>& selecting) { setRoot(root, selecting); };
    model_->setMessage(initialMessage);
    buildControls();
    buildMenu();
    connect(model_, &FileTreeModel::messageChanged, message_, &QLabel::setText);
    // Each listing's answers are kept as they came: merging a large folder's into the cache would
    // visit every entry on this thread.
    connect(model_, &FileTreeModel::openableAnswered, this,
            [this](const QHash<QString, bool>& answers) { listedAnswers_.push_back(answers); });
    connect(model_, &FileTreeModel::selectRequested, this, &FileTreeView::selectRequested);
    connect(model_, &FileTreeModel::expandRequested, outline_, [this](const QModelIndex& index) { outline_->expand(index); });
}

FileTreeView::~FileTreeView() = default;

void FileTreeView::buildControls()
{
    header_ = new QLabel(QStringLiteral("フォルダ"), this);
    header_->setFont(systemFont(13, true));
    // A long folder name must not widen the sidebar.
    header_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    pathField_ = new QLineEdit(this);
    pathField_->setPlaceholderText(QStringLiteral("フルパスを入力してEnter"));
    pathField_->setAccessibleName(QStringLiteral("ファイルまたはフォルダのフルパス"));
    pathField_->setFont(systemFont(11));
    connect(pathField_, &QLineEdit::returnPressed, this, &FileTreeView::openPath);

    auto* chooseButton = new QPushButton(QStringLiteral("フォルダを開く…"), this);
    auto* refreshButton = new QPushButton(QStringLiteral("更新"), this);
    connect(chooseButton, &QPushButton::clicked, this, &FileTreeView::chooseFolder);
    connect(refreshButton, &QPushButton::clicked, this, &FileTreeView::refreshTree);

    message_ = new QLabel(model_->message(), this);
    message_->setWordWrap(true);
    message_->setFont(systemFont(11));
    message_->setForegroundRole(QPalette::PlaceholderText);
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    outline_ = new QTreeView(this);
    outline_->setModel(model_);
    outline_->setHeaderHidden(true);
    outline_->setUniformRowHeights(true);
    outline_->setIndentation(14);
    outline_->setIconSize(QSize(iconSide, iconSide));
    outline_->setItemDelegate(new RowDelegate(outline_));
    outline_->setAccessibleName(QStringLiteral("フォルダとファイルのツリー"));
    outline_->setFrameShape(QFrame::NoFrame);
    outline_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    outline_->setSelectionMode(QAbstractItemView::SingleSelection);
    outline_->setContextMenuPolicy(Qt::CustomContextMenu);
    outline_->viewport()->setAutoFillBackground(false);
    connect(outline_, &QTreeView::clicked, this, &FileTreeView::selected);
    // The outline asks for more rows only of the root when it scrolls to the end: an open folder's
    // next page is asked here, once its last row given is in sight.
    connect(outline_->verticalScrollBar(), &QScrollBar::valueChanged, this, &FileTreeView::schedulePageCheck);
    connect(outline_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &FileTreeView::schedulePageCheck);
    connect(outline_, &QTreeView::expanded, this, &FileTreeView::schedulePageCheck);
    outline_->installEventFilter(this);
    connect(outline_, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        menuWillOpen(outline_->indexAt(point));
        menu_->exec(outline_->viewport()->mapToGlobal(point));
        clickedRow_ = QPersistentModelIndex();
    });

    hiddenButton_ = new QCheckBox(QStringLiteral("隠しファイル"), this);
    hiddenButton_->setChecked(showHidden_);
    connect(hiddenButton_, &QCheckBox::clicked, this, &FileTreeView::toggleHidden);
    sortPicker_ = new QComboBox(this);
    sortPicker_->addItems(fileTreeSortOrderTitles());
    sortPicker_->setCurrentIndex(static_cast<int>(sortOrder_));
    sortPicker_->setAccessibleName(QStringLiteral("ファイルの並び順"));
    sortPicker_->setFont(systemFont(11));
    connect(sortPicker_, &QComboBox::activated, this, &FileTreeView::changeSortOrder);

    auto* firstRow = new QHBoxLayout;
    firstRow->setSpacing(8);
    firstRow->addWidget(chooseButton);
    firstRow->addWidget(refreshButton);
    firstRow->addStretch(1);
    auto* secondRow = new QHBoxLayout;
    secondRow->setSpacing(8);
    secondRow->setContentsMargins(4, 0, 0, 0);
    secondRow->addWidget(hiddenButton_);
    secondRow->addWidget(sortPicker_);
    secondRow->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 10, 8, 10);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addSpacing(8);
    layout->addWidget(pathField_);
    layout->addSpacing(8);
    layout->addLayout(firstRow);
    layout->addSpacing(6);
    layout->addWidget(message_);
    layout->addSpacing(6);
    layout->addWidget(outline_, 1);
    layout->addSpacing(6);
    layout->addLayout(secondRow);
}

void FileTreeView::buildMenu()
{
    menu_ = new QMenu(QStringLiteral("ファイル操作"), this);
    menu_->addAction(QStringLiteral("新規ファイル…"), this, &FileTreeView::createFile);
    menu_->addAction(QStringLiteral("新規フォルダ…"), this, &FileTreeView::createFolder);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("名前を変更…"), this, &FileTreeView::renameItem);
    menu_->addAction(QStringLiteral("フォルダへ移動…"), this, &FileTreeView::moveItem);
    menu_->addAction(QStringLiteral("ゴミ箱に入れる…"), this, &FileTreeView::moveItemToTrash);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("ファイルマネージャで表示"), this, &FileTreeView::revealInFinder);
    menu_->addAction(QStringLiteral("パスをコピー"), this, &FileTreeView::copyPath);
    menu_->addAction(QStringLiteral("更新"), this, &FileTreeView::refreshTree);
    connect(menu_, &QMenu::aboutToShow, this, &FileTreeView::validateMenu);
}

void FileTreeView::schedulePageCheck()
{
    if (pageCheckPending_) return;
    pageCheckPending_ = true;
    QPointer<FileTreeView> self(this);
    MainQueue::async([self] {
        if (!self) return;
        self->pageCheckPending_ = false;
        self->fetchPagesInSight();
    });
}

void FileTreeView::fetchPagesInSight()
{
    const int bottom = outline_->viewport()->height();
    for (QModelIndex row = outline_->indexAt(QPoint(0, 0)); row.isValid(); row = outline_->indexBelow(row)) {
        if (outline_->visualRect(row).top() > bottom) break;
        const QModelIndex parent = row.parent();
        if (parent.isValid() && row.row() == model_->rowCount(parent) - 1 && model_->canFetchMore(parent))
            model_->fetchMore(parent);
    }
}

FileTreeNode* FileTreeView::rootNode() const
{
    return model_->rootNode();
}

void FileTreeView::setRoot(const QString& folder, const std::optional<QString>& selecting)
{
    supportedFileCache.clear();
    listedAnswers_.clear();
    clickedRow_ = QPersistentModelIndex();
    model_->setRoot(folder, selecting);
    const QString root = model_->rootNode()->url;
    const QString name = QFileInfo(root).fileName();
    header_->setText(name.isEmpty() ? root : name);
    header_->setToolTip(root);
    const QString shown = selecting ? *selecting : root;
    pathField_->setText(shown);
    pathField_->setToolTip(shown);
}

void FileTreeView::refreshTree()
{
    model_->refreshTree();
}

void FileTreeView::chooseFolder()
{
    FilePanels* panels = FilePanels::shared();
    if (!panels) return;
    OpenPanelOptions options;
    options.parent = window();
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    options.message = chooseFolderMessage;
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (result.confirmed && !result.paths.isEmpty()) setRoot(result.paths.first());
}

bool FileTreeView::shouldSelect(const FileTreeNode& node) const
{
    // A node the listing has not answered for (one made apart from the tree) is asked here.
    if (!node.expandable && !node.openable && model_->openableCheck) {
        if (const FileTreeModel::OpenableCheck check = model_->openableCheck()) return check(node.url);
    }
    return model_->opens(node);
}

bool FileTreeView::supportsOpening(const QString& file)
{
    return cachedAnswer(standardized(file), file);
}

bool FileTreeView::cachedAnswer(const QString& key, const QString& file)
{
    if (const auto cached = supportedFileCache.constFind(key); cached != supportedFileCache.constEnd()) return *cached;
    for (const QHash<QString, bool>& answers : listedAnswers_) {
        if (const auto listed = answers.constFind(key); listed != answers.constEnd()) return *listed;
    }
    const bool answer = canOpenFile ? canOpenFile(file) : false;
    supportedFileCache.insert(key, answer);
    return answer;
}

void FileTreeView::applyPreferences()
{
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    const FileTreeSortOrder order = fileTreeSortOrder(settings.treeSortOrder);
    hiddenButton_->setChecked(settings.hiddenFiles);
    sortPicker_->setCurrentIndex(static_cast<int>(order));
    if (settings.hiddenFiles == showHidden_ && order == sortOrder_) return;
    showHidden_ = model_->showHidden = settings.hiddenFiles;
    sortOrder_ = model_->sortOrder = order;
    refreshTree();
}

void FileTreeView::toggleHidden()
{
    showHidden_ = model_->showHidden = hiddenButton_->isChecked();
    UserDefaults::standard().setBool(EditorSettingsKey::hiddenFiles, showHidden_);
    refreshTree();
}

void FileTreeView::changeSortOrder()
{
    sortOrder_ = model_->sortOrder = fileTreeSortOrder(sortPicker_->currentIndex());
    UserDefaults::standard().setInteger(EditorSettingsKey::treeSortOrder, static_cast<int>(sortOrder_));
    refreshTree();
}

QString FileTreeView::pathFieldText() const
{
    return pathField_->text();
}

QString FileTreeView::headerText() const
{
    return header_->text();
}

QString FileTreeView::messageText() const
{
    return message_->text();
}

void FileTreeView::showError(const QString& description)
{
    model_->setMessage(description);
    QApplication::beep();
}

void FileTreeView::openPath()
{
    try {
        const TreePath::Resolved target = TreePath::resolve(pathField_->text());
        if (target.isDirectory) {
            setRoot(target.url);
            return;
        }
        if (!supportsOpening(target.url)) {
            throw ErrorInfo{Bundle::configuration().errorDomain, 415, unsupportedFileMessage, {}};
        }
        setRoot(QFileInfo(target.url).path(), target.url);
        if (onOpen) onOpen(target.url);
    } catch (const ErrorInfo& error) {
        showError(error.description);
    }
}

void FileTreeView::selected(const QModelIndex& index)
{
    const FileTreeNode* node = index.isValid() ? model_->node(index) : nullptr;
    if (!node || node->expandable || !supportsOpening(node->url)) return;
    if (fileManager_->attributes(node->url).isDirectory) return;
    model_->setSelectionURL(node->url);
    pathField_->setText(node->url);
    pathField_->setToolTip(node->url);
    if (onOpen) onOpen(node->url);
}

void FileTreeView::openCurrentRow()
{
    selected(outline_->currentIndex());
}

bool FileTreeView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == outline_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            openCurrentRow();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FileTreeView::followRelocation(const QString& oldURL, const QString& newURL)
{
    const QString oldBase = standardized(oldURL);
    const QString newBase = standardized(newURL);
    const QString shown = pathField_->text();
    if (!shown.isEmpty() && TreePath::isAtOrUnder(standardized(shown), oldBase)) {
        const QString moved = TreePath::rebased(standardized(shown), oldBase, newBase);
        pathField_->setText(moved);
        pathField_->setToolTip(moved);
    }
    if (const auto remembered = model_->selectionURL(); remembered && TreePath::isAtOrUnder(*remembered, oldBase))
        model_->setSelectionURL(TreePath::rebased(*remembered, oldBase, newBase));
}

void FileTreeView::selectRequested(const QModelIndex& index)
{
    if (!index.isValid()) return;
    outline_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    outline_->scrollTo(index);
}

FileTreeNode* FileTreeView::selectedNode() const
{
    if (clickedRow_.isValid()) return model_->node(clickedRow_);
    const QModelIndexList rows = outline_->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? nullptr : model_->node(rows.first());
}

std::optional<QString> FileTreeView::targetDirectory() const
{
    if (!rootNode()) return std::nullopt;
    const FileTreeNode* node = selectedNode();
    if (!node) return rootNode()->url;
    return node->expandable ? node->url : QFileInfo(node->url).path();
}

void FileTreeView::menuWillOpen(const QModelIndex& clicked)
{
    clickedRow_ = QPersistentModelIndex(clicked);
    if (clicked.isValid()) outline_->selectionModel()->setCurrentIndex(clicked, QItemSelectionModel::ClearAndSelect);
    validateMenu();
}

void FileTreeView::validateMenu()
{
    const bool hasRoot = rootNode() != nullptr;
    const bool hasItem = selectedNode() != nullptr;
    static const QStringList needItem = {QStringLiteral("名前を変更…"), QStringLiteral("フォルダへ移動…"),
                                         QStringLiteral("ゴミ箱に入れる…"), QStringLiteral("ファイルマネージャで表示"),
                                         QStringLiteral("パスをコピー")};
    for (QAction* action : menu_->actions()) {
        if (action->isSeparator()) continue;
        action->setEnabled(hasRoot && (hasItem || !needItem.contains(action->text())));
    }
}

std::optional<QString> FileTreeView::promptForName(const QString& title, const QString& message, const QString& defaultValue)
{
    // Without anyone to ask, nothing is created or renamed.
    AlertPresenter* presenter = AlertPresenter::shared();
    if (!presenter) return std::nullopt;
    const AlertField field{defaultValue, QString(), QStringLiteral("名前"), 320};
    const Alert alert{title, message, {QStringLiteral("実行"), QStringLiteral("キャンセル")}, Alert::Style::informational};
    QStringList typed;
    if (presenter->runModal(alert, {field}, typed) != 0 || typed.isEmpty()) return std::nullopt;
    return typed.first();
}

void FileTreeView::createFile()
{
    const auto name = promptForName(QStringLiteral("新規ファイル"), QStringLiteral("ファイル名を入力してください。"),
                                    Document::untitledBaseName + QStringLiteral(".txt"));
    if (!name || !rootNode()) return;
    const auto folder = targetDirectory();
    if (!folder) return;
    const QString root = rootNode()->url;
    try {
        const QString made = operations_.createFile(*folder, *name, root);
        setRoot(root, made);
        if (supportsOpening(made) && onOpen) onOpen(made);
    } catch (const WorkspaceFileError& error) {
        showError(error.errorDescription());
    }
}

void FileTreeView::createFolder()
{
    const auto name = promptForName(QStringLiteral("新規フォルダ"), QStringLiteral("フォルダ名を入力してください。"),
                                    Document::untitledBaseName + QStringLiteral("フォルダ"));
    if (!name || !rootNode()) return;
    const auto folder = targetDirectory();
    if (!folder) return;
    const QString root = rootNode()->url;
    try {
        setRoot(root, operations_.createFolder(*folder, *name, root));
    } catch (const WorkspaceFileError& error) {
        showError(error.errorDescription());
    }
}

void FileTreeView::renameItem()
{
    const FileTreeNode* node = selectedNode();
    if (!node) return;
    const QString item = node->url;
    const auto name = promptForName(QStringLiteral("名前を変更"), QStringLiteral("新しい名前を入力してください。"),
                                    QFileInfo(item).fileName());
    if (!name || !rootNode()) return;
    const QString root = rootNode()->url;
    try {
        const QString moved = operations_.move(item, QFileInfo(item).path(), *name, root);
        finishRelocation(item, moved);
        setRoot(root, moved);
    } catch (const WorkspaceFileError& error) {
        showError(error.errorDescription());
    }
}

void FileTreeView::moveItem()
{
    const FileTreeNode* node = selectedNode();
    FilePanels* panels = FilePanels::shared();
    if (!node || !rootNode() || !panels) return;
    const QString item = node->url;
    const QString root = rootNode()->url;
    OpenPanelOptions options;
    options.parent = window();
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    options.directory = QFileInfo(item).path();
    options.message = QStringLiteral("「") + QFileInfo(item).fileName() +
                      QStringLiteral("」の移動先を、開いているフォルダ内から選んでください。");
    options.prompt = QStringLiteral("移動");
    const OpenPanelResult result = panels->runOpenPanel(options);
    if (!result.confirmed || result.paths.isEmpty()) return;
    try {
        const QString moved = operations_.move(item, result.paths.first(), std::nullopt, root);
        finishRelocation(item, moved);
        setRoot(root, moved);
    } catch (const WorkspaceFileError& error) {
        showError(error.errorDescription());
    }
}

void FileTreeView::moveItemToTrash()
{
    const FileTreeNode* node = selectedNode();
    if (!node || !rootNode()) return;
    const QString item = node->url;
    const QString name = QFileInfo(item).fileName();
    const QString root = rootNode()->url;
    if (!DocumentRelocation::openDocuments(item, DocumentController::shared()).empty()) {
        showError(WorkspaceFileError::openDocument(name).errorDescription());
        return;
    }
    // Nothing is trashed without the user's answer.
    AlertPresenter* presenter = AlertPresenter::shared();
    if (!presenter) return;
    const Alert alert{QStringLiteral("「") + name + QStringLiteral("」をゴミ箱に入れますか？"),
                      QStringLiteral("必要な場合はゴミ箱から戻せます。"),
                      {QStringLiteral("ゴミ箱に入れる"), QStringLiteral("キャンセル")},
                      Alert::Style::warning};
    if (presenter->runModal(alert) != 0) return;
    ErrorInfo error;
    const bool trashed = fileManager_->trashItem(item, &error);
    QPointer<FileTreeView> self(this);
    MainQueue::async([self, trashed, error, root] {
        if (!self) return;
        if (trashed) {
            self->setRoot(root);
        } else {
            self->showError(WorkspaceFileError::operationFailed(QStringLiteral("ゴミ箱へ移動"), error).errorDescription());
        }
    });
}

void FileTreeView::revealInFinder()
{
    const FileTreeNode* node = selectedNode();
    if (!node) node = rootNode();
    if (node) FileManagerReveal::reveal(node->url);
}

void FileTreeView::copyPath()
{
    const FileTreeNode* node = selectedNode();
    if (!node) node = rootNode();
    if (!node) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(node->url);
    model_->setMessage(copiedPathMessage);
}

void FileTreeView::finishRelocation(const QString& oldURL, const QString& newURL)
{
    DocumentRelocation::relocate(oldURL, newURL, DocumentController::shared());
    if (onRelocate) onRelocate(oldURL, newURL);
}

}  // namespace korimado
