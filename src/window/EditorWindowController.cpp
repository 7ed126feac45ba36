#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "document/LineEnding.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "window/FileDropTarget.h"
#include "filetree/FileTreeView.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/ControlFocus.h"
#include "platform/text/LayoutManager.h"
#include "platform/ui/MenuModel.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/MagnificationRecognizer.h"
#include "platform/ui/WindowFrameAutosave.h"
#include "platform/ui/WindowTracker.h"
#include "search/ui/SearchController.h"
#include "settings/EditorSettingsSnapshot.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "window/DetailPane.h"
#include "window/DetailPreview.h"
#include "window/EditorPair.h"
#include "window/RestorableStateCodec.h"
#include "window/SegmentedControl.h"
#include "window/WindowFonts.h"
#include "window/WindowToolbar.h"
#include "platform/ui/WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace korimado {

namespace {

std::vector<EditorWindowController*>& livingControllers()
{
    static std::vector<EditorWindowController*> list;
    return list;
}

std::function<void(EditorWindowController&)>& menuRefresher()
{
    static std::function<void(EditorWindowController&)> refresher;
    return refresher;
}

std::function<std::shared_ptr<WorkspaceCommands>(EditorWindowController&)>& workspaceFactory()
{
    static std::function<std::shared_ptr<WorkspaceCommands>(EditorWindowController&)> factory;
    return factory;
}

}  // namespace

// MARK: - Registration

std::optional<EditorWindowController::Mode> EditorWindowController::modeFromRawValue(qint64 raw)
{
    switch (raw) {
    case 0: return Mode::edit;
    case 1: return Mode::split;
    case 2: return Mode::preview;
    default: return std::nullopt;
    }
}

void EditorWindowController::install()
{
    KoriDocument::setWindowControllerFactory([](KoriDocument& document) -> std::unique_ptr<WindowController> {
        auto controller = std::make_unique<EditorWindowController>(document);
        const QString key = document.fileURL().isEmpty() ? document.rootDirectory() : document.fileURL();
        if (!key.isEmpty()) {
            if (auto state = savedRestorableState(key)) controller->restoreState(*state);
        }
        return controller;
    });
    static bool quitHooked = false;
    if (!quitHooked && QCoreApplication::instance()) {
        quitHooked = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] {
            for (EditorWindowController* controller : allControllers()) controller->saveRestorableState();
            RestorableStateCodec::store().synchronize();
        });
    }
}

void EditorWindowController::setCommandMenuRefresher(std::function<void(EditorWindowController&)> refresher)
{
    menuRefresher() = std::move(refresher);
}

void EditorWindowController::setWorkspaceCommandsFactory(
    std::function<std::shared_ptr<WorkspaceCommands>(EditorWindowController&)> factory)
{
    workspaceFactory() = std::move(factory);
}

EditorWindowController* EditorWindowController::controllerForWindow(const QWidget* window)
{
    for (EditorWindowController* controller : livingControllers()) {
        if (controller->window() == window) return controller;
    }
    return nullptr;
}

std::vector<EditorWindowController*> EditorWindowController::allControllers()
{
    return livingControllers();
}

// MARK: - Construction

EditorWindowController::EditorWindowController(KoriDocument& document) : model(&document)
{
    livingControllers().push_back(this);
    construct();
    setup();
}

EditorWindowController::~EditorWindowController()
{
    // A window the document let go of without closing it (another window of it stays) still
    // keeps its state for the next time.
    if (!closed_) {
        windowWillClose();
        saveRestorableState();
    }
    auto& list = livingControllers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (window_) {
        window_->removeEventFilter(this);
        ActionDispatcher::shared().setWindowController(window_.get(), nullptr);
    }
    releaseParses();
    // Command objects first: their highlighters let go of the editors they colour.
    secondarySearch_.reset();
    secondaryCommands_.reset();
    primarySearch_.reset();
    primaryCommands_.reset();
    workspaceCommands_.reset();
    // Pages before their profile (a child of this object, deleted afterwards).
    window_.reset();
}

void EditorWindowController::construct()
{
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowTitle(QStringLiteral("Korimado"));
    window_->setObjectName(frameAutosaveName);
    window_->resize(1180, 760);
    window_->setMinimumSize(1000, 480);
    WindowPlacement::centreOnScreen(window_.get());
    WindowFrameAutosave::setFrameAutosaveName(window_.get(), frameAutosaveName);
    window_->installEventFilter(this);

    QPointer<EditorWindowController> weak(this);
    auto selection = [weak] { return weak ? weak->activeEditor()->selectedRange() : TextRange(); };
    editors_ = std::make_unique<EditorPair>(*model, *this);
    statusLine_ = std::make_unique<StatusLine>(*model, selection);
    detailPane_ = std::make_unique<DetailPane>(*model, selection, [weak]() -> const std::vector<SyntaxOutlineEntry>& {
        static const std::vector<SyntaxOutlineEntry> none;
        return weak ? weak->syntax().outline() : none;
    });
    detailPane_->setOutlineTruncated([weak] { return weak && weak->syntax().outlineWasTruncated(); });
    detailPane_->setPreviewHooks([weak] { return weak && weak->activeEditor()->hasMarkedText(); },
                                 [weak](const QString& status) {
                                     if (weak) weak->statusLine_->setPreviewStatus(status);
                                 });
    toolbar_ = std::make_unique<WindowToolbar>(
        *window_, WindowToolbar::Actions{[weak] { if (weak) weak->toggleFileTree(); },
                                         [weak] { if (weak) weak->openFolder(); },
                                         [weak] { if (weak) weak->showSettings(); }});

    codePane_ = new QWidget;
    navigationBar_ = new QWidget;
    syntaxButton_ = makeInlineButton(QStringLiteral("標準テキスト"));
    syntaxButton_->setMinimumWidth(0);
    syntaxButton_->setMaximumWidth(QWIDGETSIZE_MAX);  // its title follows the language
    outlineButton_ = makeInlineButton(QStringLiteral("アウトライン"));
    previousOutlineButton_ = makeInlineButton(QStringLiteral("↑"));
    nextOutlineButton_ = makeInlineButton(QStringLiteral("↓"));
    split_ = new QSplitter(Qt::Horizontal);
    workspaceSplit_ = new QSplitter(Qt::Horizontal);
    fileTree_ = new FileTreeView;
    mode_ = Mode::edit;
    // Files dropped anywhere but on the sidebar open; the sidebar has no drop of its own.
    new FileDropTarget(window_.get(), [weak](const QPoint& at) {
        FileTreeView* tree = weak ? weak->fileTree_ : nullptr;
        return tree && tree->isVisible() && tree->rect().contains(tree->mapFrom(weak->window_.get(), at));
    });
}

void EditorWindowController::setup()
{
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    EditorTextView* primary = textView();

    buildNavigationBar();
    buildContent();

    // Sidebar hooks.
    fileTree_->canOpenFile = [](const QString& url) { return canOpenFile(url); };
    fileTree_->supportedFileCache.clear();
    fileTree_->setMinimumWidth(sidebarMinimumWidth);
    QPointer<EditorWindowController> weak(this);
    fileTree_->onOpen = [weak](const QString& url) {
        if (weak) weak->openTreeFile(url);
    };
    fileTree_->onRelocate = [](const QString& oldURL, const QString& newURL) { relocate(oldURL, newURL); };

    // The parts' controls.
    connect(detailPane_.get(), &DetailPane::segmentClicked, this, &EditorWindowController::detailChanged);
    connect(detailPane_.get(), &DetailPane::outlineRowClicked, this, &EditorWindowController::selectOutlineRow);
    connect(toolbar_.get(), &WindowToolbar::modeClicked, this, &EditorWindowController::modeChanged);
    connect(toolbar_.get(), &WindowToolbar::wrapClicked, this, &EditorWindowController::toggleWrap);
    connect(statusLine_.get(), &StatusLine::encodingChosen, this, &EditorWindowController::encodingChanged);
    connect(statusLine_.get(), &StatusLine::endingChosen, this, &EditorWindowController::endingChanged);
    statusLine_->setTokenIndex(static_cast<int>(settings.tokenIndex));
    toolbarWrap()->setChecked(settings.wrap);
    detailPane_->previewer().svgPaused = !settings.autoplay;

    // Sidebar visibility and root.
    fileTree_->setHidden(model->rootDirectory().isEmpty());
    if (!model->rootDirectory().isEmpty()) {
        showSidebar();
        fileTree_->setRoot(model->rootDirectory());
    } else if (!model->fileURL().isEmpty()) {
        fileTree_->setRoot(QFileInfo(model->fileURL()).absolutePath(), model->fileURL());
    }

    // Mode, language and the outline chain.
    setMode(Mode::split);
    primaryCommands();
    syntaxButton_->setText(syntax().language().displayName);
    connect(&syntax(), &SyntaxModel::outlineChanged, this, [this] {
        refreshNavigation();
        // A hidden table is filled when its pane is chosen: an outline can hold tens of
        // thousands of rows.
        if (!detailPane().outlineTable()->isHidden()) reloadOutlineTable();
    });
    connect(&syntax(), &SyntaxModel::languageChanged, this, [this] {
        syntaxButton_->setText(syntax().language().displayName);
    });

    // Pop-ups, counts, wrap and settings. Background work waits until the text is on screen.
    statusLine_->selectFormatPopups();
    primary->viewport()->installEventFilter(this);
    new MagnificationRecognizer(primary, this, [this](MagnificationRecognizer& pinch) { magnifySource(pinch); });
    new MagnificationRecognizer(web(), this, [this](MagnificationRecognizer& pinch) { magnifyPreview(pinch); });
    toggleWrap(toolbarWrap()->isChecked());
    applyEditorPreferences();
    primaryCommands().syntaxHighlighter().applyVisibleTokens();

    // Settings changes, responder registration, focus.
    observePreferences();
    registerActions();
    ActionDispatcher::shared().setWindowController(window_.get(), this);
    connect(&WindowTracker::shared(), &WindowTracker::keyWindowChanged, this, [this](QWidget* key, QWidget*) {
        if (key && key == window_.get()) windowDidBecomeKey();
    });
    keepFocusOffControls(window_.get());
    makeFirstResponder(primary);
    afterFirstPaint([weak] {
        if (!weak) return;
        weak->refreshInspection();
        weak->scheduleStatistics();
    });
}

void EditorWindowController::buildNavigationBar()
{
    auto* row = new QHBoxLayout(navigationBar_);
    row->setContentsMargins(12, 0, 12, 0);
    row->setSpacing(8);
    auto* title = new QLabel(QStringLiteral("原案"));
    title->setFont(systemFont(12, QFont::DemiBold));
    row->addWidget(title);
    row->addWidget(previousOutlineButton_);
    row->addWidget(nextOutlineButton_);
    row->addWidget(outlineButton_);
    row->addStretch(1);
    row->addWidget(syntaxButton_);
    navigationBar_->setFixedHeight(navigationBarHeight);
    connect(previousOutlineButton_, &QPushButton::clicked, this, [this] { navigateOutline(false); });
    connect(nextOutlineButton_, &QPushButton::clicked, this, [this] { navigateOutline(true); });
    connect(outlineButton_, &QPushButton::clicked, this, [this] { openOutlineMenu(); });
    connect(syntaxButton_, &QPushButton::clicked, this, [this] { openSyntaxMenu(); });
}

// The workspace (sidebar, editors with their navigation bar, detail pane) above the status rows.
void EditorWindowController::buildContent()
{
    auto* paneLayout = new QVBoxLayout(codePane_);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(navigationBar_);
    paneLayout->addWidget(editors_->split(), 1);
    split_->setHandleWidth(1);
    split_->addWidget(codePane_);
    split_->addWidget(detailPane_->widget());
    split_->setChildrenCollapsible(false);
    split_->installEventFilter(this);
    workspaceSplit_->setHandleWidth(1);
    workspaceSplit_->addWidget(fileTree_);
    workspaceSplit_->addWidget(split_);
    workspaceSplit_->setStretchFactor(1, 1);
    workspaceSplit_->setChildrenCollapsible(false);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(workspaceSplit_, 1);
    column->addWidget(statusLine_->band());
    window_->setCentralWidget(content);
}

// MARK: - Accessors

EditorTextView* EditorWindowController::textView() const { return editors_->primary(); }
LayoutManager* EditorWindowController::layout() const { return textView()->layoutManager(); }
QAbstractScrollArea* EditorWindowController::scroll() const { return textView(); }
LineNumberRuler* EditorWindowController::ruler() const { return editors_->primaryRuler(); }
EditorTextView* EditorWindowController::secondaryEditor() const { return editors_->secondary(); }
LineNumberRuler* EditorWindowController::secondaryRuler() const { return editors_->secondaryRuler(); }
QSplitter* EditorWindowController::codeSplit() const { return editors_->split(); }
QWidget* EditorWindowController::previewPane() const { return detailPane_->widget(); }
SegmentedControl* EditorWindowController::detailPicker() const { return detailPane_->detailPicker(); }
QPlainTextEdit* EditorWindowController::inspectionText() const { return detailPane_->inspectionText(); }
QTableWidget* EditorWindowController::outlineTable() const { return detailPane_->outlineTable(); }
QCheckBox* EditorWindowController::countSpaces() const { return detailPane_->countSpaces(); }
QCheckBox* EditorWindowController::countNewlines() const { return detailPane_->countNewlines(); }
QWidget* EditorWindowController::countOptions() const { return detailPane_->countOptions(); }
std::uint64_t EditorWindowController::renderToken() const { return detailPane_->renderToken(); }
QWidget* EditorWindowController::playerBar() const { return detailPane_->playerBar(); }
PreviewWebView* EditorWindowController::web() const { return detailPane_->web(); }
int EditorWindowController::previewTop() const { return detailPane_->previewTop(); }
int EditorWindowController::inspectionTop() const { return detailPane_->inspectionTop(); }
std::optional<std::uint64_t> EditorWindowController::previewRevision() const { return detailPane_->previewRevision(); }
qint64 EditorWindowController::renderCount() const { return detailPane_->renderCount(); }
QToolBar* EditorWindowController::toolbar() const { return toolbar_->toolbar(); }
QCheckBox* EditorWindowController::toolbarWrap() const { return toolbar_->wrap(); }
SegmentedControl* EditorWindowController::modePicker() const { return toolbar_->modePicker(); }

LayoutManager* EditorWindowController::secondaryLayout() const
{
    return secondaryEditor() ? secondaryEditor()->layoutManager() : nullptr;
}

EditorWindowController::ScheduleCounts EditorWindowController::scheduleCounts() const
{
    return {statusLine_->statisticsSchedules(), detailPane_->inspectionSchedules(), highlightingSchedules_,
            detailPane_->previewSchedules(), menuRefreshes_};
}

DocumentEditor* EditorWindowController::primaryEditor() const { return textView(); }
DocumentEditor* EditorWindowController::secondaryDocumentEditor() const { return secondaryEditor(); }
DocumentEditor* EditorWindowController::focusedEditor() const { return activeEditor(); }

std::vector<DocumentEditor*> EditorWindowController::documentEditors() const
{
    std::vector<DocumentEditor*> editors;
    for (EditorTextView* editor : editors_->editors()) editors.push_back(editor);
    return editors;
}

EditorTextView* EditorWindowController::activeEditor() const
{
    EditorTextView* second = secondaryEditor();
    if (second && firstResponder() == second) return second;
    return textView();
}

QWidget* EditorWindowController::firstResponder() const
{
    if (!window_) return nullptr;
    if (QWidget* focus = window_->focusWidget()) return focus;
    return lastFocusedEditor_;
}

void EditorWindowController::makeFirstResponder(QWidget* widget)
{
    lastFocusedEditor_ = widget;
    if (widget) widget->setFocus(Qt::OtherFocusReason);
}

SearchController& EditorWindowController::primarySearch()
{
    if (!primarySearch_) {
        QPointer<EditorWindowController> weak(this);
        primarySearch_ = std::make_unique<SearchController>(textView(), model, [weak] { return weak ? weak->sidebarRoot() : std::nullopt; });
    }
    return *primarySearch_;
}

TextCommands& EditorWindowController::primaryCommands()
{
    if (!primaryCommands_) {
        // A full parse flattens the whole text on another thread: not while the first paint waits.
        if (!firstPaintDone_ && !holdsParses_) {
            syntax().holdParses();
            holdsParses_ = true;
        }
        primaryCommands_ = std::make_unique<TextCommands>(textView(), *model);
    }
    return *primaryCommands_;
}

SyntaxModel& EditorWindowController::syntax() const
{
    return SyntaxModel::of(*model);
}

void EditorWindowController::releaseParses()
{
    if (!holdsParses_) return;
    holdsParses_ = false;
    syntax().releaseParses();
}

SearchController& EditorWindowController::search()
{
    if (secondaryEditor() && firstResponder() == secondaryEditor() && secondarySearch_) return *secondarySearch_;
    return primarySearch();
}

TextCommands& EditorWindowController::commands()
{
    if (secondaryEditor() && firstResponder() == secondaryEditor() && secondaryCommands_) return *secondaryCommands_;
    return primaryCommands();
}

WorkspaceCommands* EditorWindowController::workspaceCommands()
{
    if (!workspaceCommands_ && workspaceFactory()) workspaceCommands_ = workspaceFactory()(*this);
    return workspaceCommands_.get();
}

std::optional<QString> EditorWindowController::sidebarRoot() const
{
    if (!fileTree_ || !fileTree_->rootNode()) return std::nullopt;
    return fileTree_->rootNode()->url;
}

void EditorWindowController::refreshMenus()
{
    menusEditor_ = activeEditor();
    ++menuRefreshes_;
    if (menuRefresher()) menuRefresher()(*this);
}

// MARK: - WindowController

QWidget* EditorWindowController::windowForSheet() const
{
    return window_.get();
}

void EditorWindowController::showWindow()
{
    synchronizeWindowTitleWithDocumentName();
    const bool firstShow = !window_->isVisible() && !window_->testAttribute(Qt::WA_WState_ExplicitShowHide);
    window_->show();
    if (firstShow) {
        // The halves set before the window had its size are redone at its real width.
        if (QLayout* frame = window_->layout()) frame->activate();
        if (mode_ == Mode::split) {
            const int width = std::max(split_->width(), 2);
            split_->setSizes({width / 2, width - width / 2});
        }
    }
    WindowTracker::shared().makeKeyAndOrderFront(window_.get());
    makeFirstResponder(activeEditor());
}

void EditorWindowController::closeWindow()
{
    if (!closed_) windowWillClose();
    saveRestorableState();
    window_->hide();
}

void EditorWindowController::synchronizeWindowTitleWithDocumentName()
{
    if (!model) return;
    const QString name = !model->fileURL().isEmpty() || model->rootDirectory().isEmpty()
                             ? model->displayName()
                             : QFileInfo(model->rootDirectory()).fileName();
    setWindowTitle(name);
    // Where the platform marks an edited document ("名称未設定*").
    window_->setWindowTitle(name + QStringLiteral("[*]"));
}

void EditorWindowController::setDocumentEdited(bool edited)
{
    if (window_) window_->setWindowModified(edited);
}

bool EditorWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == split_ && event->type() == QEvent::Resize && mode_ == Mode::split && !window_->isVisible()) {
        // A window laid out or drawn without being shown gets its halves at the width it has.
        const int width = std::max(split_->width(), 2);
        split_->setSizes({width / 2, width - width / 2});
    }
    if (!firstPaintSeen_ && event->type() == QEvent::Paint && watched == textView()->viewport()) {
        // Noted once the paint is done and on its way to the screen.
        firstPaintSeen_ = true;
        QPointer<EditorWindowController> weak(this);
        QTimer::singleShot(0, this, [weak] {
            if (weak) weak->textViewDidPaint();
        });
    } else if (watched == window_.get() && event->type() == QEvent::Close && !closed_) {
        // The document decides (it may ask to save); the window stays until it agrees.
        event->ignore();
        QTimer::singleShot(0, this, [this] {
            if (Document* owner = WindowController::document()) owner->shouldCloseWindowController(this);
        });
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// MARK: - Document window

void EditorWindowController::reloadDocument()
{
    syntax().detectLanguage();
    for (EditorTextView* editor : editors_->editors()) editor->viewport()->update();
    editors_->updateRulers();
    detailPane_->documentKindChanged();
    selectFormatPopups();
    scheduleStatistics();
    refreshInspection();
    schedulePreview(false);
}

// The one notice of a character edit, after every view has followed it: each kind of work is
// scheduled once.
void EditorWindowController::documentTextDidChange(const TextStorageEdit&)
{
    // One parse of the document's text, whichever editors show it.
    syntax().textDidChange();
    ++highlightingSchedules_;
    refreshInspection();
    scheduleStatistics();
    schedulePreview(false);
}

void EditorWindowController::documentFormatDidChange()
{
    selectFormatPopups();
    scheduleStatistics();
}

void EditorWindowController::setPreviewStatus(const QString& message)
{
    statusLine_->setPreviewStatus(message);
}

bool EditorWindowController::isEditable() const
{
    return textView()->isEditable();
}

KoriDocumentWindow::EditorSelection EditorWindowController::activeEditorSelection() const
{
    EditorTextView* editor = activeEditor();
    return {editor == secondaryEditor() && secondaryEditor(), editor->selectedRange()};
}

void EditorWindowController::restoreEditorSelection(const EditorSelection& selection)
{
    EditorTextView* editor = selection.secondaryEditor && secondaryEditor() ? secondaryEditor() : textView();
    const qsizetype length = editor->textLength();
    const qsizetype location = std::clamp<qsizetype>(selection.range.location, 0, length);
    editor->setSelectedRange({location, std::clamp<qsizetype>(selection.range.length, 0, length - location)});
}

// MARK: - Text delegate

void EditorWindowController::textDidChange(TextView&)
{
    wantPreview();
}

void EditorWindowController::textViewDidChangeSelection(TextView& view)
{
    (void)view;
    selectFormatPopups();
    scheduleStatistics();
    refreshNavigation();
    detailPane_->selectionDidChange();
    if (secondaryEditor() && activeEditor() != menusEditor_) refreshMenus();
}

UndoManager* EditorWindowController::undoManagerForTextView(TextView&)
{
    return model ? model->undoManager() : nullptr;
}

}  // namespace korimado
