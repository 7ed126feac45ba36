// Toolbar, sidebar hosting, settings application and closing.
#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "document/TextDocumentSupport.h"
#include "editor/EditorView.h"
#include "editor/LineNumberRuler.h"
#include "filetree/FileTreeView.h"
#include "platform/documents/DocumentController.h"
#include "platform/text/LayoutManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowTabGroup.h"
#include "platform/ui/WindowTracker.h"
#include "preview/TextStatisticsEngine.h"
#include "search/SearchCancellationToken.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsSnapshot.h"
#include "settings/SettingsWindowController.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxHighlighter.h"
#include "window/SegmentedControl.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMainWindow>
#include <QSet>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include <mutex>

namespace korimado {

namespace {

const QString treeItem = QStringLiteral("tree");
const QString folderItem = QStringLiteral("folder");
const QString modeItem = QStringLiteral("mode");
const QString wrapItem = QStringLiteral("wrap");
const QString settingsItem = QStringLiteral("settings");
const QString flexibleSpaceItem = QStringLiteral("flexibleSpace");
const QString spaceItem = QStringLiteral("space");

QString standardizedPath(const QString& path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

}  // namespace

// MARK: - Toolbar

QStringList EditorWindowController::toolbarDefaultItemIdentifiers()
{
    return {treeItem, folderItem, flexibleSpaceItem, modeItem, wrapItem, settingsItem};
}

QStringList EditorWindowController::toolbarAllowedItemIdentifiers()
{
    return toolbarDefaultItemIdentifiers() << spaceItem;
}

QWidget* EditorWindowController::toolbarItem(const QString& identifier)
{
    auto symbolButton = [this](const QString& label, QStyle::StandardPixmap icon, const QString& description,
                               void (EditorWindowController::*action)(MenuItem*)) {
        auto* button = new QToolButton;
        button->setIcon(window_->style()->standardIcon(icon));
        button->setText(label);
        button->setToolTip(label);
        button->setAccessibleName(description);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setObjectName(label);
        connect(button, &QToolButton::clicked, this, [this, action] { (this->*action)(nullptr); });
        return static_cast<QWidget*>(button);
    };
    if (identifier == treeItem) {
        return symbolButton(QStringLiteral("サイドバー"), QStyle::SP_FileDialogListView,
                            QStringLiteral("サイドバーを表示／隠す"), &EditorWindowController::toggleFileTree);
    }
    if (identifier == folderItem) {
        return symbolButton(QStringLiteral("フォルダを開く"), QStyle::SP_DirOpenIcon, QStringLiteral("フォルダを開く"),
                            &EditorWindowController::openFolder);
    }
    if (identifier == settingsItem) {
        return symbolButton(QStringLiteral("設定"), QStyle::SP_FileDialogDetailedView, QStringLiteral("設定"),
                            &EditorWindowController::showSettings);
    }
    if (identifier == modeItem) {
        modePicker->setToolTip(QStringLiteral("表示モード"));
        return modePicker;
    }
    if (identifier == wrapItem) {
        toolbarWrap->setToolTip(QStringLiteral("行の折り返し"));
        return toolbarWrap;
    }
    if (identifier == flexibleSpaceItem) {
        auto* spacer = new QWidget;
        spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        return spacer;
    }
    if (identifier == spaceItem) {
        auto* spacer = new QWidget;
        spacer->setFixedWidth(16);
        return spacer;
    }
    return nullptr;
}

void EditorWindowController::buildToolbar()
{
    toolbar_ = new QToolBar;
    toolbar_->setObjectName(toolbarIdentifier);
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    for (const QString& identifier : toolbarDefaultItemIdentifiers()) {
        if (QWidget* item = toolbarItem(identifier)) {
            QAction* action = toolbar_->addWidget(item);
            action->setObjectName(identifier);
        }
    }
    window_->addToolBar(Qt::TopToolBarArea, toolbar_);
}

void EditorWindowController::showSettings(MenuItem* sender)
{
    SettingsWindowController& settings = SettingsWindowController::shared();
    settings.sync();
    settings.showWindow(sender);
    if (QWidget* w = settings.window()) WindowTracker::shared().makeKeyAndOrderFront(w);
}

// MARK: - Sidebar

void EditorWindowController::showSidebar()
{
    fileTree->setHidden(false);
    const int total = std::max(workspaceSplit->width(), sidebarDividerPosition + 1);
    workspaceSplit->setSizes({sidebarDividerPosition, total - sidebarDividerPosition});
}

void EditorWindowController::toggleFileTree(MenuItem*)
{
    if (fileTree->isHidden()) {
        showSidebar();
    } else {
        fileTree->setHidden(true);
    }
}

void EditorWindowController::openFolder(MenuItem*)
{
    if (fileTree->isHidden()) showSidebar();
    fileTree->chooseFolder();
}

void EditorWindowController::showFileBrowser(MenuItem*)
{
    if (fileTree->isHidden()) showSidebar();
}

bool EditorWindowController::isFileTreeHidden() const
{
    return fileTree->isHidden();
}

int EditorWindowController::sidebarWidth() const
{
    return fileTree->isHidden() ? 0 : workspaceSplit->sizes().value(0);
}

bool EditorWindowController::canOpenFile(const QString& url)
{
    QSet<QString> extensions;
    QSet<QString> filenames;
    {
        std::lock_guard guard(CotSyntaxCatalog::shared().lock);
        for (const SyntaxLanguage& language : CotSyntaxCatalog::shared().cachedLanguages) {
            for (const QString& extension : language.fileExtensions) extensions.insert(extension);
            for (const QString& name : language.filenames) filenames.insert(name);
        }
    }
    return TextDocumentSupport::canOpen(url, extensions, filenames);
}

void EditorWindowController::openTreeFile(const QString& url)
{
    if (!fileTree->supportsOpening(url)) return;
    if (standardizedPath(url) == standardizedPath(model->fileURL())) return;
    const std::optional<QString> root = sidebarRoot();
    DocumentController* controller = DocumentController::shared();
    if (!controller) return;
    QPointer<EditorWindowController> weak(this);
    controller->openDocument(url, false, [weak, root, url](Document* opened, bool, std::optional<ErrorInfo> error) {
        if (!weak) return;
        if (error) {
            if (weak->model) weak->model->presentError(*error);
            return;
        }
        if (!opened) return;
        auto* document = qobject_cast<KoriDocument*>(opened);
        if (document) document->setRootDirectory(root.value_or(QString()));
        if (opened->windowControllers().empty()) opened->makeWindowControllers();
        QWidget* other = nullptr;
        if (!opened->windowControllers().empty()) {
            if (auto* first = dynamic_cast<EditorWindowController*>(opened->windowControllers().front().get())) {
                other = first->window();
                if (root) {
                    first->fileTree->setRoot(*root, url);
                    first->showSidebar();
                }
            }
        }
        QWidget* own = weak->window();
        if (own && other && own != other) {
            const auto tabs = WindowTabGroup::tabbedWindows(own);
            if (!tabs || !tabs->contains(other)) {
                WindowTabGroup::addTabbedWindow(own, other, WindowTabGroup::Ordering::above);
            }
        }
        opened->showWindows();
        if (other) WindowTracker::shared().makeKeyAndOrderFront(other);
    });
}

std::optional<QString> EditorWindowController::rebased(const QString& url, const QString& oldURL,
                                                       const QString& newURL)
{
    if (url != oldURL && !url.startsWith(oldURL + QLatin1Char('/'))) return std::nullopt;
    QString remainder = url.mid(oldURL.size());
    while (remainder.startsWith(QLatin1Char('/'))) remainder.remove(0, 1);
    while (remainder.endsWith(QLatin1Char('/'))) remainder.chop(1);
    return remainder.isEmpty() ? newURL : newURL + QLatin1Char('/') + remainder;
}

void EditorWindowController::relocate(const QString& oldURL, const QString& newURL)
{
    DocumentController* controller = DocumentController::shared();
    if (!controller) return;
    for (Document* each : controller->documents()) {
        auto* document = qobject_cast<KoriDocument*>(each);
        if (!document) continue;
        if (!document->rootDirectory().isEmpty()) {
            if (auto moved = rebased(document->rootDirectory(), oldURL, newURL)) document->setRootDirectory(*moved);
        }
        for (const auto& window : document->windowControllers()) {
            auto* editorWindow = dynamic_cast<EditorWindowController*>(window.get());
            if (!editorWindow || !editorWindow->fileTree->rootNode()) continue;
            if (auto moved = rebased(editorWindow->fileTree->rootNode()->url, oldURL, newURL)) {
                std::optional<QString> selecting;
                if (!document->fileURL().isEmpty()) selecting = document->fileURL();
                editorWindow->fileTree->setRoot(*moved, selecting);
            }
        }
    }
}

// MARK: - Settings

void EditorWindowController::observePreferences()
{
    QPointer<EditorWindowController> weak(this);
    const auto token = NotificationCenter::defaultCenter().addObserver(
        preferencesChangedNotification, nullptr, [weak](const Notification&) {
            if (weak) weak->preferencesChanged();
        });
    preferencesObserver_ = NotificationCenter::Registration(NotificationCenter::defaultCenter(), token);
}

void EditorWindowController::preferencesChanged()
{
    CotSyntaxCatalog::shared().reloadIfNeeded();
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    toolbarWrap->setChecked(settings.wrap);
    toggleWrap(settings.wrap);
    tokenPicker->setCurrentIndex(static_cast<int>(settings.tokenIndex));
    scheduleStatistics();
    applyEditorPreferences();
    primaryCommands().syntaxHighlighter().applyVisibleTokens();
    if (secondaryCommands) secondaryCommands->syntaxHighlighter().applyVisibleTokens();
    for (TextCommands* each : {primaryCommands_.get(), secondaryCommands.get()}) {
        if (each) each->syntaxHighlighter().update(each->syntaxHighlighter().languageValue.id);
    }
    if (ruler) ruler->update();
    if (secondaryRuler) secondaryRuler->update();
}

void EditorWindowController::applyEditorPreferences()
{
    EditorPreferences::apply(*this);
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    const EditorPreferences::Theme theme = EditorPreferences::currentTheme();
    for (EditorTextView* editor : {textView, secondaryEditor}) {
        if (!editor) continue;
        editor->editingTabWidth = static_cast<int>(std::clamp<qint64>(settings.tabWidth, 1, 16));
        editor->usesSpacesForIndentation = settings.useSpaces;
        editor->setShowsInvisibleCharacters(settings.invisibles);
        editor->layoutManager()->setShowsInvisibleCharacters(settings.invisibles);
        editor->pageGuideColumn =
            settings.showPageGuide ? std::optional<int>(static_cast<int>(settings.pageGuideColumn)) : std::nullopt;
        editor->setBackgroundColor(theme.background);
        editor->setTextColor(theme.text);
        editor->setInsertionPointColor(theme.insertionPoint);
        editor->setSelectedTextBackgroundColor(theme.selection);
        editor->viewport()->update();
    }
    // The second editor shares the primary one's font, tab stops and line-number setting.
    if (secondaryEditor) {
        secondaryEditor->setFont(textView->font());
        secondaryEditor->setTabWidth(textView->tabWidth());
        secondaryEditor->setRulersVisible(textView->rulersVisible());
    }
    // The command objects keep the editors' settings for their menus and toggles.
    for (TextCommands* each : {primaryCommands_.get(), secondaryCommands.get()})
        if (each) each->adoptEditorSettings();
}

// MARK: - Closing

void EditorWindowController::windowWillClose()
{
    closed_ = true;
    if (inspectionWork) inspectionWork->cancel();
    if (inspectionCancellation) inspectionCancellation->cancel();
    primaryCommands().syntaxHighlighter().invalidate();
    if (secondaryCommands) secondaryCommands->syntaxHighlighter().invalidate();
    if (statisticsWork) statisticsWork->cancel();
    if (statistics) statistics->invalidate();
    if (previewWork) previewWork->cancel();
    ++renderToken;
}

}  // namespace korimado
