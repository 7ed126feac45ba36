// Toolbar, sidebar hosting, settings application and closing.
#include "window/EditorWindowController.h"
#include "platform/foundation/FilePath.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "document/TextDocumentSupport.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "filetree/FileTreeView.h"
#include "platform/documents/DocumentController.h"
#include "platform/text/LayoutManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/WindowTabGroup.h"
#include "platform/ui/WindowTracker.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsSnapshot.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "theme/ThemeQColor.h"
#include "theme/EditorTheme.h"
#include "window/DetailPane.h"
#include "window/EditorPair.h"
#include "window/StatusLine.h"
#include "window/WindowToolbar.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QMainWindow>
#include <QSplitter>


namespace korimado {

// MARK: - Toolbar

QStringList EditorWindowController::toolbarDefaultItemIdentifiers()
{
    return WindowToolbar::defaultItemIdentifiers();
}

QStringList EditorWindowController::toolbarAllowedItemIdentifiers()
{
    return WindowToolbar::allowedItemIdentifiers();
}

QWidget* EditorWindowController::toolbarItem(const QString& identifier)
{
    return toolbar_->item(identifier);
}

// The settings window lives above the document windows: the toolbar's button goes the menu item's way.
void EditorWindowController::showSettings()
{
    ActionDispatcher::shared().sendAction(QStringLiteral("showSettings:"), nullptr, nullptr, window_.get());
}

// MARK: - Sidebar

void EditorWindowController::showSidebar()
{
    fileTree_->setHidden(false);
    const int total = std::max(workspaceSplit_->width(), sidebarDividerPosition + 1);
    workspaceSplit_->setSizes({sidebarDividerPosition, total - sidebarDividerPosition});
}

void EditorWindowController::toggleFileTree(MenuItem*)
{
    if (fileTree_->isHidden()) {
        showSidebar();
    } else {
        fileTree_->setHidden(true);
    }
}

void EditorWindowController::openFolder(MenuItem*)
{
    if (fileTree_->isHidden()) showSidebar();
    fileTree_->chooseFolder();
}

void EditorWindowController::showFileBrowser(MenuItem*)
{
    if (fileTree_->isHidden()) showSidebar();
}

bool EditorWindowController::isFileTreeHidden() const
{
    return fileTree_->isHidden();
}

int EditorWindowController::sidebarWidth() const
{
    return fileTree_->isHidden() ? 0 : workspaceSplit_->sizes().value(0);
}

bool EditorWindowController::canOpenFile(const QString& url)
{
    // Asked for every file a sidebar lists, on its listing queue.
    const std::shared_ptr<const CotSyntaxCatalog::FileNames> names = CotSyntaxCatalog::shared().fileNames();
    return TextDocumentSupport::canOpen(url, names->extensions, names->filenames);
}

void EditorWindowController::openTreeFile(const QString& url)
{
    if (!fileTree_->supportsOpening(url)) return;
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
                    first->fileTree_->setRoot(*root, url);
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
            if (!editorWindow) continue;
            editorWindow->fileTree_->followRelocation(oldURL, newURL);
            if (!editorWindow->fileTree_->rootNode()) continue;
            if (auto moved = rebased(editorWindow->fileTree_->rootNode()->url, oldURL, newURL)) {
                std::optional<QString> selecting;
                if (!document->fileURL().isEmpty()) selecting = document->fileURL();
                editorWindow->fileTree_->setRoot(*moved, selecting);
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
    toolbarWrap()->setChecked(settings.wrap);
    toggleWrap(settings.wrap);
    statusLine_->setTokenIndex(static_cast<int>(settings.tokenIndex));
    scheduleStatistics();
    applyEditorPreferences();
    for (TextCommands* each : {primaryCommands_.get(), secondaryCommands_.get()})
        if (each) each->syntaxHighlighter().applyVisibleTokens();
    syntax().setLanguage(syntax().language().id);
    editors_->updateRulers();
}

EditorOptions EditorWindowController::withSettings(EditorOptions options) const
{
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    const EditorTheme theme = EditorTheme::current();
    options.font = EditorPreferences::editorFont();
    options.tabWidth = static_cast<int>(std::clamp<qint64>(settings.tabWidth, 1, 16));
    options.usesSpacesForIndentation = settings.useSpaces;
    options.pageGuideColumn =
        settings.showPageGuide ? std::optional<int>(static_cast<int>(settings.pageGuideColumn)) : std::nullopt;
    options.rulersVisible = settings.lineNumbers;
    options.showsInvisibleCharacters = settings.invisibles;
    options.showsControlCharacters = settings.invisibles;
    options.backgroundColor = toQColor(theme.resolvedColor(QStringLiteral("background")));
    options.textColor = toQColor(theme.resolvedColor(QStringLiteral("text")));
    options.insertionPointColor = toQColor(theme.resolvedColor(QStringLiteral("insertionPoint")));
    options.selectedTextBackgroundColor = toQColor(theme.resolvedColor(QStringLiteral("selection")));
    return options;
}

// Font, colours, tabs, invisibles, guides and line numbers for both editors, the status line and
// the sidebar's own settings.
void EditorWindowController::applyEditorPreferences()
{
    for (EditorTextView* editor : editors_->editors()) editor->apply(withSettings(editor->options()));
    statusLine_->setShown(EditorSettingsSnapshot(UserDefaults::standard()).statusBar);
    fileTree_->applyPreferences();
}

// MARK: - Closing

void EditorWindowController::windowWillClose()
{
    closed_ = true;
    detailPane_->close();
    primaryCommands().syntaxHighlighter().invalidate();
    if (secondaryCommands_) secondaryCommands_->syntaxHighlighter().invalidate();
    releaseParses();
    statusLine_->invalidate();
}

}  // namespace korimado
