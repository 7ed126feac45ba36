#pragma once

#include "document/KoriDocumentWindow.h"
#include "document/TextEncoding.h"
#include "document/TextFormat.h"
#include "platform/foundation/DefaultsValue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Responder.h"
#include "platform/text/TextView.h"
#include "platform/ui/WindowController.h"
#include "platform/foundation/WorkItem.h"
#include "preview/TokenEncoding.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAbstractScrollArea;
class QCheckBox;
class QComboBox;
class QLabel;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableWidget;
class QToolBar;
class QWebEngineView;
class QWidget;

namespace korimado {

class DispatchQueue;
class EditorTextView;
class FileTreeView;
class HTMLPreviewResources;
class KoriDocument;
class LayoutManager;
class LineNumberRuler;
class MenuItem;
class SearchCancellationToken;
class SearchController;
class SegmentedControl;
class TextCommands;
class TextStatisticsEngine;
class UserDefaults;
class WorkspaceCommands;

// One document window and everything in it: the sidebar, one or two editors on the document's
// shared storage, the navigation bar, the detail pane, the status line and the toolbar. It is the
// window's responder for its actions (found by name, "showEdit:") and the delegate of its editors.
class EditorWindowController : public QObject,
                               public WindowController,
                               public KoriDocumentWindow,
                               public Responder,
                               public TextViewDelegate {
    Q_OBJECT

public:
    enum class Mode { edit = 0, split = 1, preview = 2 };
    static std::optional<Mode> modeFromRawValue(qint64 raw);

    // One entry of the encoding pop-up; its index is the item's tag.
    struct EncodingChoice {
        QString title;
        TextEncoding encoding;
        bool bom = false;
    };
    static std::vector<EncodingChoice> makeEncodingChoices();

    // The keyed values a window saves of itself ("kori.mode" ...).
    using RestorableState = DefaultsValue::Dictionary;

    static constexpr int navigationBarHeight = 28;
    static constexpr int sidebarDividerPosition = 270;
    static constexpr int sidebarMinimumWidth = 250;
    static constexpr int startupLayoutVersion = 1;
    static inline const QString frameAutosaveName = QStringLiteral("Korimado.document");
    static inline const QString toolbarIdentifier = QStringLiteral("Korimado.main");
    static inline const QString preferencesChangedNotification = QStringLiteral("Korimado.preferencesChanged");
    static inline const QString editModeStatus =
        QStringLiteral("ローカル編集   ⌘1 原案 / ⌘2 2カラム / ⌘3 プレビュー");

    // Makes every KoriDocument open its windows as editor windows, restored from the state saved
    // for its file or folder. Called once at start-up.
    static void install();
    // Called with the window whenever its window-dependent menus must be rebuilt (key window,
    // second editor opened or closed, selection moved while split). Set by the application delegate.
    static void setCommandMenuRefresher(std::function<void(EditorWindowController&)> refresher);
    // Makes the window's WorkspaceCommands on first use. Set by the application layer.
    static void setWorkspaceCommandsFactory(
        std::function<std::shared_ptr<WorkspaceCommands>(EditorWindowController&)> factory);
    // The controller of a top-level window, or nullptr.
    static EditorWindowController* controllerForWindow(const QWidget* window);
    // Every living editor window controller, oldest first.
    static std::vector<EditorWindowController*> allControllers();

    explicit EditorWindowController(KoriDocument& document);
    ~EditorWindowController() override;
    EditorWindowController(const EditorWindowController&) = delete;
    EditorWindowController& operator=(const EditorWindowController&) = delete;

    QMainWindow* window() const { return window_.get(); }
    KoriDocument* document() const { return model; }

    // --- WindowController
    void showWindow() override;
    void closeWindow() override;
    void synchronizeWindowTitleWithDocumentName() override;

    // --- KoriDocumentWindow
    void reloadDocument() override;
    void documentTextDidChange(const TextStorageEdit& edit) override;
    void documentFormatDidChange() override;
    void setPreviewStatus(const QString& message) override;
    EditorSelection activeEditorSelection() const override;
    void restoreEditorSelection(const EditorSelection& selection) override;

    // --- TextViewDelegate
    void textDidChange(TextView& view) override;
    void textViewDidChangeSelection(TextView& view) override;
    UndoManager* undoManagerForTextView(TextView& view) override;

    // --- Responder: validation of undo and redo
    std::optional<bool> validate(MenuItem& item) override;

    // --- editors and their command objects
    // The second editor when it has the keyboard focus, else the primary one.
    EditorTextView* activeEditor() const;
    SearchController& search();
    TextCommands& commands();
    // nullptr until the application layer has installed its factory.
    WorkspaceCommands* workspaceCommands();
    bool isSplitOpen() const { return secondaryEditor != nullptr; }
    // The editor that has (or last had) the window's keyboard focus.
    QWidget* firstResponder() const;
    void makeFirstResponder(QWidget* widget);

    // --- modes, second editor, navigation bar
    void setMode(Mode m);
    void modeChanged(int segment);
    void showEdit(MenuItem* sender = nullptr) { (void)sender, setMode(Mode::edit); }
    void showSplit(MenuItem* sender = nullptr) { (void)sender, setMode(Mode::split); }
    void showPreview(MenuItem* sender = nullptr) { (void)sender, setMode(Mode::preview); }
    void openSplitTextView(MenuItem* sender = nullptr);
    void closeSplitTextView(MenuItem* sender = nullptr);
    void toggleSplitOrientation(MenuItem* sender = nullptr);
    bool isSplitVertical() const;  // editors side by side
    void focusNextEditor(MenuItem* sender = nullptr);
    void toggleNavigationBar(MenuItem* sender = nullptr);
    void setNavigationBarHidden(bool hidden);
    bool isNavigationBarHidden() const;
    int navigationHeight() const;  // 28, or 0 while hidden
    void refreshNavigation();
    void windowDidBecomeKey();

    // --- restorable state
    void encodeRestorableState(RestorableState& coder) const;
    void restoreState(const RestorableState& coder);
    // Keeps the state under the document's file or folder path; untitled documents keep none.
    void saveRestorableState() const;
    static std::optional<RestorableState> savedRestorableState(const QString& path);
    // The JSON file under XDG_STATE_HOME the states are kept in.
    static UserDefaults& restorableStateStore();

    // --- toolbar, sidebar, settings
    QToolBar* toolbar() const { return toolbar_; }
    static QStringList toolbarDefaultItemIdentifiers();
    static QStringList toolbarAllowedItemIdentifiers();
    // The toolbar item for an identifier; nullptr for an unknown identifier.
    QWidget* toolbarItem(const QString& identifier);
    void showSettings(MenuItem* sender = nullptr);
    void toggleFileTree(MenuItem* sender = nullptr);
    void openFolder(MenuItem* sender = nullptr);
    void showFileBrowser(MenuItem* sender = nullptr);
    bool isFileTreeHidden() const;
    int sidebarWidth() const;
    void openTreeFile(const QString& url);
    // The sidebar moved or renamed old to new: rebase every document root and sidebar under it.
    static void relocate(const QString& oldURL, const QString& newURL);
    static std::optional<QString> rebased(const QString& url, const QString& oldURL, const QString& newURL);
    static bool canOpenFile(const QString& url);
    void preferencesChanged();
    void applyEditorPreferences();
    void windowWillClose();

    // --- detail pane and status line
    void detailChanged(int segment);
    void updateDetailVisibility();
    void showDocumentInspector(MenuItem* sender = nullptr);
    void showOutlineInspector(MenuItem* sender = nullptr);
    void showWarningsInspector(MenuItem* sender = nullptr);
    void showAdvancedCounter(MenuItem* sender = nullptr);
    void toggleInspector(MenuItem* sender = nullptr);
    void refreshInspection();
    void scheduleStatistics();
    void tokenModeChanged(int index);
    void schedulePreview(bool immediate);

    // --- whole-document commands
    void encodingChanged(int tag);
    void endingChanged(int index);
    void undo(MenuItem* sender = nullptr);
    void redo(MenuItem* sender = nullptr);
    void toggleWrap(bool on);
    void inputBackSlash(MenuItem* sender = nullptr);
    void inputYenMark(MenuItem* sender = nullptr);
    // Re-selects the encoding and line-ending pop-ups from the document's format.
    void selectFormatPopups();
    void updateLayoutPolicy();

    // --- members: the document is never owned; views belong to the window
    KoriDocument* model = nullptr;
    std::unique_ptr<SearchController> secondarySearch;
    std::unique_ptr<TextCommands> secondaryCommands;

    EditorTextView* textView = nullptr;
    LayoutManager* layout = nullptr;       // textView's
    QAbstractScrollArea* scroll = nullptr;  // textView scrolls itself
    QSplitter* codeSplit = nullptr;
    QWidget* codePane = nullptr;
    QWidget* navigationBar = nullptr;
    QPushButton* syntaxButton = nullptr;
    QPushButton* outlineButton = nullptr;
    QPushButton* previousOutlineButton = nullptr;
    QPushButton* nextOutlineButton = nullptr;

    EditorTextView* secondaryEditor = nullptr;
    QAbstractScrollArea* secondaryScroll = nullptr;
    LayoutManager* secondaryLayout = nullptr;
    LineNumberRuler* secondaryRuler = nullptr;

    QSplitter* split = nullptr;
    QSplitter* workspaceSplit = nullptr;
    FileTreeView* fileTree = nullptr;
    QWidget* previewPane = nullptr;
    SegmentedControl* detailPicker = nullptr;
    QCheckBox* countSpaces = nullptr;
    QCheckBox* countNewlines = nullptr;
    QWidget* countOptions = nullptr;
    int inspectionTop = 34;
    QPlainTextEdit* inspectionScroll = nullptr;  // scrolls itself
    QPlainTextEdit* inspectionText = nullptr;
    QTableWidget* outlineScroll = nullptr;  // scrolls itself
    QTableWidget* outlineTable = nullptr;
    std::uint64_t inspectionGeneration = 0;
    std::unique_ptr<DispatchQueue> inspectionQueue;
    WorkItemPtr inspectionWork;
    std::shared_ptr<SearchCancellationToken> inspectionCancellation;

    QWidget* playerBar = nullptr;
    int previewTop = 34;
    QPushButton* playButton = nullptr;
    bool svgPaused = false;
    bool svgReady = false;
    bool svgPlayable = false;
    QWebEngineView* web = nullptr;
    HTMLPreviewResources* htmlResources = nullptr;

    QLabel* status = nullptr;
    QLabel* byteStatus = nullptr;
    QLabel* tokenStatus = nullptr;
    QComboBox* tokenPicker = nullptr;
    QLabel* previewStatus = nullptr;
    QCheckBox* toolbarWrap = nullptr;
    SegmentedControl* modePicker = nullptr;
    QComboBox* encodingPicker = nullptr;
    QComboBox* endingPicker = nullptr;
    const std::vector<EncodingChoice> encodingChoices;
    Mode mode = Mode::edit;

    WorkItemPtr previewWork;
    std::unique_ptr<DispatchQueue> renderQueue;
    bool rendering = false;
    bool renderPending = false;
    std::uint64_t renderToken = 0;
    std::optional<std::uint64_t> previewRevision;
    double lastRenderMilliseconds = 0;
    qint64 renderCount = 0;

    LineNumberRuler* ruler = nullptr;
    std::unique_ptr<TextStatisticsEngine> statistics;
    WorkItemPtr statisticsWork;
    std::optional<std::pair<std::uint64_t, QString>> statisticsText;
    struct StatisticsKey {
        std::uint64_t revision = 0;
        TextRange selection;
        TextFormat format;
        TokenEncoding encoding = TokenEncoding::off;
        friend bool operator==(const StatisticsKey&, const StatisticsKey&) = default;
    };
    std::optional<StatisticsKey> statisticsKey;

    // Outline navigation and the navigation bar's menus.
    void navigateOutline(bool forward);
    void selectOutlineRow(int row);
    void reloadOutlineTable();
    void openOutlineMenu();
    void openSyntaxMenu();
    void changeDocumentSyntax(const QString& languageId);
    bool isSVG() const;
    bool isHTML() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void construct();
    void layoutPreviewPane();
    void setup();
    void buildNavigationBar();
    void buildDetailPane();
    void buildStatusLine(QWidget* content);
    void buildToolbar();
    void registerActions();
    void configureEditor(EditorTextView& editor);
    void showSidebar();
    void setDetailSegment(int segment);
    void refreshMenus();
    void observePreferences();
    SearchController& primarySearch();
    TextCommands& primaryCommands();
    std::optional<QString> sidebarRoot() const;

    std::unique_ptr<QMainWindow> window_;
    QToolBar* toolbar_ = nullptr;
    std::unique_ptr<SearchController> primarySearch_;
    std::unique_ptr<TextCommands> primaryCommands_;
    std::shared_ptr<WorkspaceCommands> workspaceCommands_;
    NotificationCenter::Registration preferencesObserver_;
    QPointer<QWidget> lastFocusedEditor_;
    bool closed_ = false;
};

}  // namespace korimado
