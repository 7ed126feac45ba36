#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "document/LineEnding.h"
#include "editor/EditorView.h"
#include "editor/LineNumberRuler.h"
#include "filetree/FileTreeView.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/text/LayoutManager.h"
#include "platform/ui/MenuModel.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowFrameAutosave.h"
#include "platform/ui/WindowTracker.h"
#include "preview/HTMLPreviewResources.h"
#include "preview/TextStatisticsEngine.h"
#include "search/SearchCancellationToken.h"
#include "search/SearchController.h"
#include "settings/EditorSettingsSnapshot.h"
#include "syntax/SyntaxHighlighter.h"
#include "window/SegmentedControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

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

QFont systemFont(qreal points, QFont::Weight weight = QFont::Normal)
{
    QFont font = QApplication::font();
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

// Qt 6.4 cannot ask for tabular digits; the system font's digits are already of equal width.
QFont monospacedDigitFont(qreal points)
{
    return systemFont(points);
}

QLabel* makeLabel(const QFont& font, bool secondary)
{
    auto* label = new QLabel;
    label->setFont(font);
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::WindowText));
        label->setPalette(palette);
    }
    return label;
}

QPushButton* makeInlineButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setFont(systemFont(11));
    button->setFlat(true);
    // A flat push button keeps the style's wide minimum; size it to its title instead.
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(title) + 20);
    return button;
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

std::vector<EditorWindowController::EncodingChoice> EditorWindowController::makeEncodingChoices()
{
    std::vector<EncodingChoice> choices{
        {QStringLiteral("Unicode (UTF-8)"), TextEncoding::utf8, false},
        {QStringLiteral("Unicode (UTF-8) (BOM付き)"), TextEncoding::utf8, true},
        {QStringLiteral("日本語 (Shift JIS)"), TextEncoding::shiftJIS, false},
        {QStringLiteral("日本語 (EUC)"), TextEncoding::eucJP, false},
        {QStringLiteral("日本語 (ISO-2022-JP)"), TextEncoding::iso2022JP, false},
        {QStringLiteral("Unicode (UTF-16 LE)"), TextEncoding::utf16LE, true},
        {QStringLiteral("Unicode (UTF-16 BE)"), TextEncoding::utf16BE, true},
        {QStringLiteral("UTF-16 LE (BOMなし)"), TextEncoding::utf16LE, false},
        {QStringLiteral("UTF-16 BE (BOMなし)"), TextEncoding::utf16BE, false},
    };
    const auto& all = TextEncoding::allCases();
    const auto after = std::find(all.begin(), all.end(), TextEncoding(TextEncoding::iso2022JP));
    for (auto it = after == all.end() ? all.end() : after + 1; it != all.end(); ++it) {
        const TextEncoding encoding = *it;
        choices.push_back({encoding.rawValue(), encoding, false});
        if (encoding == TextEncoding::utf32LE || encoding == TextEncoding::utf32BE) {
            choices.push_back({encoding.rawValue() + QStringLiteral(" (BOM付き)"), encoding, true});
        }
    }
    return choices;
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
            restorableStateStore().synchronize();
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

EditorWindowController::EditorWindowController(KoriDocument& document)
    : model(&document), encodingChoices(makeEncodingChoices())
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
    if (previewWork) previewWork->cancel();
    if (statisticsWork) statisticsWork->cancel();
    if (statistics) statistics->invalidate();
    auto& list = livingControllers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (window_) {
        window_->removeEventFilter(this);
        ActionDispatcher::shared().setWindowController(window_.get(), nullptr);
    }
    // Command objects first: their highlighters let go of the editors they colour.
    secondarySearch.reset();
    secondaryCommands.reset();
    primarySearch_.reset();
    primaryCommands_.reset();
    workspaceCommands_.reset();
    // Pages before their profile (a child of this object, deleted afterwards).
    window_.reset();
}

void EditorWindowController::construct()
{
    window_ = std::make_unique<QMainWindow>();

    textView = new EditorTextView(model->sharedStorage());
    layout = textView->layoutManager();
    scroll = textView;
    codeSplit = new QSplitter(Qt::Vertical);
    codePane = new QWidget;
    navigationBar = new QWidget;
    syntaxButton = makeInlineButton(QStringLiteral("標準テキスト"));
    syntaxButton->setMinimumWidth(0);
    syntaxButton->setMaximumWidth(QWIDGETSIZE_MAX);  // its title follows the language
    outlineButton = makeInlineButton(QStringLiteral("アウトライン"));
    previousOutlineButton = makeInlineButton(QStringLiteral("↑"));
    nextOutlineButton = makeInlineButton(QStringLiteral("↓"));

    split = new QSplitter(Qt::Horizontal);
    workspaceSplit = new QSplitter(Qt::Horizontal);
    fileTree = new FileTreeView;
    previewPane = new QWidget;

    detailPicker = new SegmentedControl({QStringLiteral("プレビュー"), QStringLiteral("文書"),
                                         QStringLiteral("アウトライン"), QStringLiteral("警告"),
                                         QStringLiteral("文字数")},
                                        previewPane);
    countSpaces = new QCheckBox(QStringLiteral("空白を含む"));
    countNewlines = new QCheckBox(QStringLiteral("改行を含む"));
    countOptions = new QWidget(previewPane);
    inspectionText = new QPlainTextEdit(previewPane);
    inspectionScroll = inspectionText;
    outlineTable = new QTableWidget(0, 1, previewPane);
    outlineScroll = outlineTable;
    inspectionQueue = std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".inspection")));

    playerBar = new QWidget(previewPane);
    playButton = makeInlineButton(QStringLiteral("一時停止"));

    // The preview keeps nothing on disk and runs no page scripts; local files reach it only
    // through our scheme.
    auto* profile = new QWebEngineProfile(this);
    htmlResources = new HTMLPreviewResources(profile);
    if (!QWebEngineUrlScheme::schemeByName(HTMLPreviewResources::scheme).name().isEmpty()) {
        profile->installUrlSchemeHandler(HTMLPreviewResources::scheme, htmlResources);
    }
    web = new QWebEngineView(previewPane);
    auto* page = new QWebEnginePage(profile, web);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    web->setPage(page);

    status = makeLabel(monospacedDigitFont(12), true);
    byteStatus = makeLabel(monospacedDigitFont(12), false);
    tokenStatus = makeLabel(monospacedDigitFont(11), true);
    previewStatus = makeLabel(systemFont(11), true);
    tokenPicker = new QComboBox;
    modePicker = new SegmentedControl(
        {QStringLiteral("原案"), QStringLiteral("2カラム"), QStringLiteral("プレビュー")});
    encodingPicker = new QComboBox;
    endingPicker = new QComboBox;

    mode = Mode::edit;
    renderQueue = std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".markdown")));
    statistics = std::make_unique<TextStatisticsEngine>();

    window_->setWindowTitle(QStringLiteral("Korimado"));
    window_->setObjectName(frameAutosaveName);
    window_->resize(1180, 760);
    window_->setMinimumSize(1000, 480);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window_->size());
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
    WindowFrameAutosave::setFrameAutosaveName(window_.get(), frameAutosaveName);
    window_->installEventFilter(this);
}

void EditorWindowController::configureEditor(EditorTextView& editor)
{
    editor.setDelegate(this);
    editor.setAllowsUndo(true);
    editor.setUndoManager(model->undoManager());
    editor.setWrapsLines(false);
    QPointer<EditorWindowController> weak(this);
    editor.preferredEnding = [weak] {
        if (!weak || !weak->model) return QStringLiteral("\n");
        return weak->model->format().lineEnding.breakString();
    };
}

void EditorWindowController::setup()
{
    QWidget* content = new QWidget;
    const EditorSettingsSnapshot settings(UserDefaults::standard());

    // 1-2. The primary editor and its ruler.
    configureEditor(*textView);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(settings.fontSize);
    font.setWeight(QFont::Normal);
    textView->setFont(font);
    textView->setTextColor(QApplication::palette().color(QPalette::Text));
    textView->setBackgroundColor(QApplication::palette().color(QPalette::Base));
    textView->setAccessibleName(QStringLiteral("原案"));
    textView->setAccessibleDescription(QStringLiteral("2本指のピンチ操作で文字を拡大・縮小できます。"));
    textView->setFrameShape(QFrame::NoFrame);
    ruler = new LineNumberRuler(textView, model->lines());
    textView->setRulersVisible(true);
    connect(textView, &TextView::visibleRectDidChange, this, [this] {
        if (primaryCommands_) primaryCommands_->syntaxHighlighter().applyVisibleTokens();
    });

    // 3-6. Split views and the navigation bar.
    split->setOrientation(Qt::Horizontal);
    split->setHandleWidth(1);
    codeSplit->setOrientation(Qt::Vertical);
    codeSplit->setHandleWidth(1);
    codeSplit->addWidget(textView);
    buildNavigationBar();
    auto* paneLayout = new QVBoxLayout(codePane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(navigationBar);
    paneLayout->addWidget(codeSplit, 1);
    split->addWidget(codePane);
    split->addWidget(previewPane);
    split->setChildrenCollapsible(false);
    workspaceSplit->setOrientation(Qt::Horizontal);
    workspaceSplit->setHandleWidth(1);
    workspaceSplit->addWidget(fileTree);
    workspaceSplit->addWidget(split);
    workspaceSplit->setStretchFactor(1, 1);
    workspaceSplit->setChildrenCollapsible(false);

    // 7. Sidebar hooks.
    fileTree->canOpenFile = [](const QString& url) { return canOpenFile(url); };
    fileTree->supportedFileCache.clear();
    fileTree->setHidden(model->rootDirectory().isEmpty());
    fileTree->setMinimumWidth(sidebarMinimumWidth);
    QPointer<EditorWindowController> weak(this);
    fileTree->onOpen = [weak](const QString& url) {
        if (weak) weak->openTreeFile(url);
    };
    fileTree->onRelocate = [](const QString& oldURL, const QString& newURL) { relocate(oldURL, newURL); };

    // 8-11. Detail pane.
    buildDetailPane();

    // 12-17. Status-line and toolbar controls.
    modePicker->setSelectedSegment(0);
    modePicker->setAccessibleName(QStringLiteral("表示モード"));
    connect(modePicker, &SegmentedControl::segmentClicked, this, &EditorWindowController::modeChanged);

    auto* encodingModel = new QStandardItemModel(encodingPicker);
    auto* header = new QStandardItem(QStringLiteral("テキストエンコーディング"));
    header->setData(-1, Qt::UserRole);
    header->setEnabled(false);
    encodingModel->appendRow(header);
    for (std::size_t i = 0; i < encodingChoices.size(); ++i) {
        auto* item = new QStandardItem(encodingChoices[i].title);
        item->setData(static_cast<int>(i), Qt::UserRole);
        encodingModel->appendRow(item);
    }
    encodingPicker->setModel(encodingModel);
    encodingPicker->insertSeparator(encodingPicker->findData(5, Qt::UserRole));
    encodingPicker->insertSeparator(encodingPicker->findData(2, Qt::UserRole));
    encodingPicker->setAccessibleName(QStringLiteral("保存する文字コード"));
    connect(encodingPicker, &QComboBox::activated, this, [this](int index) {
        encodingChanged(encodingPicker->itemData(index, Qt::UserRole).toInt());
    });

    for (const LineEnding ending : LineEnding::allCases()) endingPicker->addItem(ending.rawValue());
    endingPicker->setAccessibleName(QStringLiteral("改行コード"));
    connect(endingPicker, &QComboBox::activated, this, &EditorWindowController::endingChanged);

    for (const TokenEncoding encoding : allTokenEncodings) tokenPicker->addItem(rawValue(encoding));
    tokenPicker->setCurrentIndex(static_cast<int>(settings.tokenIndex));
    tokenPicker->setFont(systemFont(11));
    tokenPicker->setAccessibleName(QStringLiteral("トークン分割方式"));
    tokenPicker->setToolTip(QStringLiteral("OpenAI公開の分割方式で、文章だけをローカル計数します。会話形式、"
                                           "画像、ツール呼び出しなどの追加分は含みません。"));
    connect(tokenPicker, &QComboBox::activated, this, &EditorWindowController::tokenModeChanged);

    byteStatus->setToolTip(QStringLiteral("現在の文字コードとBOM設定で保存した場合のバイト数"));
    status->setAccessibleName(QStringLiteral("文書と選択範囲の文字数"));
    previewStatus->setWordWrap(true);
    previewStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    previewStatus->setMaximumHeight(2 * previewStatus->fontMetrics().lineSpacing() + 2);

    toolbarWrap = new QCheckBox(QStringLiteral("折り返す"));
    toolbarWrap->setChecked(settings.wrap);
    connect(toolbarWrap, &QCheckBox::clicked, this, &EditorWindowController::toggleWrap);
    svgPaused = !settings.autoplay;

    // 18. Toolbar.
    buildToolbar();

    // 19-20. Content: the workspace above the two status rows.
    buildStatusLine(content);
    window_->setCentralWidget(content);

    // 21-22. Sidebar visibility and root.
    if (!model->rootDirectory().isEmpty()) showSidebar();
    fileTree->setHidden(model->rootDirectory().isEmpty());
    if (!model->rootDirectory().isEmpty()) {
        fileTree->setRoot(model->rootDirectory());
    } else if (!model->fileURL().isEmpty()) {
        fileTree->setRoot(QFileInfo(model->fileURL()).absolutePath(), model->fileURL());
    }

    // 23-24. Mode, language and the outline chain.
    setMode(Mode::split);
    primaryCommands().reloadSyntaxFromDocument();
    syntaxButton->setText(primaryCommands().syntaxHighlighter().languageValue.displayName);
    SyntaxHighlighter& highlighter = primaryCommands().syntaxHighlighter();
    auto previous = highlighter.onOutlineChange;
    highlighter.onOutlineChange = [weak, previous](const std::vector<SyntaxOutlineEntry>& entries) {
        if (previous) previous(entries);
        if (!weak) return;
        weak->refreshNavigation();
        weak->reloadOutlineTable();
    };

    // 25-26. Pop-ups, counts, wrap and settings.
    selectFormatPopups();
    scheduleStatistics();
    toggleWrap(toolbarWrap->isChecked());
    applyEditorPreferences();
    primaryCommands().syntaxHighlighter().applyVisibleTokens();
    ruler->update();

    // 27. Settings changes, responder registration, focus.
    observePreferences();
    registerActions();
    ActionDispatcher::shared().setWindowController(window_.get(), this);
    connect(&WindowTracker::shared(), &WindowTracker::keyWindowChanged, this, [this](QWidget* key, QWidget*) {
        if (key && key == window_.get()) windowDidBecomeKey();
    });
    makeFirstResponder(textView);
}

void EditorWindowController::buildNavigationBar()
{
    auto* row = new QHBoxLayout(navigationBar);
    row->setContentsMargins(12, 0, 12, 0);
    row->setSpacing(8);
    auto* title = new QLabel(QStringLiteral("原案"));
    title->setFont(systemFont(12, QFont::DemiBold));
    row->addWidget(title);
    row->addWidget(previousOutlineButton);
    row->addWidget(nextOutlineButton);
    row->addWidget(outlineButton);
    row->addStretch(1);
    row->addWidget(syntaxButton);
    navigationBar->setFixedHeight(navigationBarHeight);
    connect(previousOutlineButton, &QPushButton::clicked, this, [this] { navigateOutline(false); });
    connect(nextOutlineButton, &QPushButton::clicked, this, [this] { navigateOutline(true); });
    connect(outlineButton, &QPushButton::clicked, this, [this] { openOutlineMenu(); });
    connect(syntaxButton, &QPushButton::clicked, this, [this] { openSyntaxMenu(); });
}

void EditorWindowController::buildDetailPane()
{
    // SVG playback belongs to the SVG preview; the bar is laid out here and stays idle.
    auto* bar = new QHBoxLayout(playerBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(8);
    bar->addWidget(playButton);
    for (const QString& title :
         {QStringLiteral("最初から"), QStringLiteral("\u2212"), QStringLiteral("100%"), QStringLiteral("\uFF0B")}) {
        bar->addWidget(makeInlineButton(title));
    }
    bar->addStretch(1);

    detailPicker->setSelectedSegment(0);
    detailPicker->setSmall(true);
    connect(detailPicker, &SegmentedControl::segmentClicked, this, &EditorWindowController::detailChanged);

    inspectionText->setReadOnly(true);
    inspectionText->setFont(systemFont(13));
    inspectionText->document()->setDocumentMargin(16);
    inspectionText->setFrameShape(QFrame::NoFrame);

    auto* counts = new QHBoxLayout(countOptions);
    counts->setContentsMargins(0, 0, 0, 0);
    counts->setSpacing(14);
    for (QCheckBox* box : {countSpaces, countNewlines}) {
        box->setChecked(true);
        box->setFont(systemFont(11));
        counts->addWidget(box);
        connect(box, &QCheckBox::clicked, this, [this] { refreshInspection(); });
    }
    counts->addStretch(1);

    outlineTable->setHorizontalHeaderLabels({QStringLiteral("アウトライン")});
    outlineTable->horizontalHeaderItem(0)->setData(Qt::UserRole, QStringLiteral("outline"));
    outlineTable->setColumnWidth(0, 400);
    outlineTable->horizontalHeader()->setStretchLastSection(true);
    outlineTable->horizontalHeader()->hide();
    outlineTable->verticalHeader()->hide();
    outlineTable->verticalHeader()->setDefaultSectionSize(28);
    outlineTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    outlineTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    outlineTable->setSelectionMode(QAbstractItemView::SingleSelection);
    outlineTable->setFrameShape(QFrame::NoFrame);
    connect(outlineTable, &QTableWidget::cellClicked, this, [this](int row, int) { selectOutlineRow(row); });

    const bool svg = isSVG();
    previewTop = svg ? 74 : 34;
    playerBar->setHidden(!svg);
    web->setAccessibleName(svg ? QStringLiteral("SVG再生プレイヤー")
                               : isHTML() ? QStringLiteral("HTMLプレビュー")
                                          : QStringLiteral("Markdownプレビュー"));
    web->setAccessibleDescription(QStringLiteral("2本指のピンチ操作でプレビューを拡大・縮小できます。"));
    previewPane->installEventFilter(this);
    layoutPreviewPane();
}

// The detail pane's views overlap by design; they are placed by fixed offsets from its top.
void EditorWindowController::layoutPreviewPane()
{
    const int w = previewPane->width();
    const int h = previewPane->height();
    detailPicker->setGeometry(10, 5, std::max(0, w - 20), 24);
    playerBar->setGeometry(8, 5 + 24 + 6, std::max(0, std::min(playerBar->sizeHint().width(), w - 16)), 28);
    web->setGeometry(0, previewTop, w, std::max(0, h - previewTop));
    inspectionScroll->setGeometry(0, inspectionTop, w, std::max(0, h - inspectionTop));
    outlineScroll->setGeometry(0, 34, w, std::max(0, h - 34));
    countOptions->setGeometry(16, 5 + 24 + 8, std::max(0, w - 32), 24);
}

void EditorWindowController::buildStatusLine(QWidget* content)
{
    auto* first = new QHBoxLayout;
    first->setContentsMargins(16, 0, 16, 0);
    first->setSpacing(12);
    first->addWidget(status);
    first->addStretch(1);
    first->addWidget(byteStatus);
    first->addWidget(encodingPicker);
    first->addWidget(endingPicker);
    auto* firstRow = new QWidget;
    firstRow->setLayout(first);
    firstRow->setFixedHeight(28);

    auto* second = new QHBoxLayout;
    second->setContentsMargins(16, 0, 16, 0);
    second->setSpacing(12);
    second->addWidget(previewStatus, 1);
    second->addStretch(0);
    second->addWidget(tokenStatus);
    second->addWidget(tokenPicker);
    auto* secondRow = new QWidget;
    secondRow->setLayout(second);
    secondRow->setFixedHeight(20);

    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 8);
    column->setSpacing(0);
    column->addWidget(workspaceSplit, 1);
    column->addSpacing(8);
    column->addWidget(firstRow);
    column->addSpacing(4);
    column->addWidget(secondRow);
}

// MARK: - Accessors

EditorTextView* EditorWindowController::activeEditor() const
{
    if (secondaryEditor && firstResponder() == secondaryEditor) return secondaryEditor;
    return textView;
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
        primarySearch_ = std::make_unique<SearchController>(textView, model, [weak] { return weak ? weak->sidebarRoot() : std::nullopt; });
    }
    return *primarySearch_;
}

TextCommands& EditorWindowController::primaryCommands()
{
    if (!primaryCommands_) primaryCommands_ = std::make_unique<TextCommands>(textView, model);
    return *primaryCommands_;
}

SearchController& EditorWindowController::search()
{
    if (secondaryEditor && firstResponder() == secondaryEditor && secondarySearch) return *secondarySearch;
    return primarySearch();
}

TextCommands& EditorWindowController::commands()
{
    if (secondaryEditor && firstResponder() == secondaryEditor && secondaryCommands) return *secondaryCommands;
    return primaryCommands();
}

WorkspaceCommands* EditorWindowController::workspaceCommands()
{
    if (!workspaceCommands_ && workspaceFactory()) workspaceCommands_ = workspaceFactory()(*this);
    return workspaceCommands_.get();
}

std::optional<QString> EditorWindowController::sidebarRoot() const
{
    if (!fileTree || !fileTree->rootNode()) return std::nullopt;
    return fileTree->rootNode()->url;
}

void EditorWindowController::refreshMenus()
{
    if (menuRefresher()) menuRefresher()(*this);
}

// MARK: - WindowController

void EditorWindowController::showWindow()
{
    synchronizeWindowTitleWithDocumentName();
    const bool firstShow = !window_->isVisible() && !window_->testAttribute(Qt::WA_WState_ExplicitShowHide);
    window_->show();
    if (firstShow) {
        // The halves set before the window had its size are redone at its real width.
        if (QLayout* frame = window_->layout()) frame->activate();
        if (mode == Mode::split) {
            const int width = std::max(split->width(), 2);
            split->setSizes({width / 2, width - width / 2});
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
    window_->setWindowTitle(name);
}

bool EditorWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == previewPane && event->type() == QEvent::Resize) {
        layoutPreviewPane();
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
    updateLayoutPolicy();
    primaryCommands().reloadSyntaxFromDocument();
    if (secondaryCommands) secondaryCommands->reloadSyntaxFromDocument();
    syntaxButton->setText(primaryCommands().syntaxHighlighter().languageValue.displayName);
    for (EditorTextView* editor : {textView, secondaryEditor}) {
        if (editor) editor->viewport()->update();
    }
    if (ruler) ruler->update();
    if (secondaryRuler) secondaryRuler->update();
    selectFormatPopups();
    scheduleStatistics();
    refreshInspection();
    schedulePreview(true);
}

void EditorWindowController::documentTextDidChange(const TextStorageEdit&)
{
    updateLayoutPolicy();
    primaryCommands().syntaxHighlighter().schedule();
    if (secondaryCommands) secondaryCommands->syntaxHighlighter().schedule();
    if (ruler) ruler->update();
    if (secondaryRuler) secondaryRuler->update();
    refreshInspection();
    scheduleStatistics();
}

void EditorWindowController::documentFormatDidChange()
{
    selectFormatPopups();
    scheduleStatistics();
}

void EditorWindowController::setPreviewStatus(const QString& message)
{
    previewStatus->setText(message);
}

KoriDocumentWindow::EditorSelection EditorWindowController::activeEditorSelection() const
{
    EditorTextView* editor = activeEditor();
    return {editor == secondaryEditor && secondaryEditor, editor->selectedRange()};
}

void EditorWindowController::restoreEditorSelection(const EditorSelection& selection)
{
    EditorTextView* editor = selection.secondaryEditor && secondaryEditor ? secondaryEditor : textView;
    const qsizetype length = editor->textLength();
    const qsizetype location = std::clamp<qsizetype>(selection.range.location, 0, length);
    editor->setSelectedRange({location, std::clamp<qsizetype>(selection.range.length, 0, length - location)});
}

void EditorWindowController::updateLayoutPolicy()
{
    // Our layout manager always lays out only what is shown, whatever the length: there is no
    // contiguous mode to switch away from.
}

// MARK: - Text delegate

void EditorWindowController::textDidChange(TextView&)
{
    model->noteEdit();
    schedulePreview(false);
}

void EditorWindowController::textViewDidChangeSelection(TextView& view)
{
    (void)view;
    selectFormatPopups();
    scheduleStatistics();
    refreshNavigation();
    refreshInspection();
    if (secondaryEditor) refreshMenus();
}

UndoManager* EditorWindowController::undoManagerForTextView(TextView&)
{
    return model ? model->undoManager() : nullptr;
}

}  // namespace korimado
