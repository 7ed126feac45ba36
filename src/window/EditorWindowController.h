#pragma once

#include "document/KoriDocumentWindow.h"
#include "editor/EditorHost.h"
#include "platform/foundation/DefaultsValue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/text/TextView.h"
#include "platform/ui/Responder.h"
#include "platform/ui/WindowController.h"
#include "settings/EditorSettingsKeys.h"
#include "window/StatusLine.h"
#include "window/WindowToolbar.h"

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
class QWidget;

namespace korimado {

class DetailPane;
class EditorPair;
class EditorTextView;
class FileTreeView;
class HTMLPreviewResources;
class KoriDocument;
class LayoutManager;
class LineNumberRuler;
class MagnificationRecognizer;
class PreviewWebView;
class MenuItem;
class SearchController;
class SegmentedControl;
class SyntaxModel;
class TextCommands;
class UserDefaults;
class WindowToolbar;
class WorkspaceCommands;
struct EditorOptions;

// One document window and everything in it: the sidebar, one or two editors on the document's
// shared storage, the navigation bar, the detail pane, the status line and the toolbar. The
// editors (EditorPair), the detail pane (DetailPane), the status line (StatusLine) and the
// toolbar (WindowToolbar) are parts with their own state; the window's restorable state goes
// through RestorableStateCodec. The controller ties them together: it is the window's responder
// for its actions (found by name, "showEdit:") and the delegate of its editors, and hands its
// editors out as DocumentEditor to callers outside the window (EditorHost).
class EditorWindowController : public QObject,
                               public WindowController,
                               public KoriDocumentWindow,
                               public EditorHost,
                               public Responder,
                               public TextViewDelegate {
    Q_OBJECT

public:
    enum class Mode { edit = 0, split = 1, preview = 2 };
    static std::optional<Mode> modeFromRawValue(qint64 raw);

    using EncodingChoice = StatusLine::EncodingChoice;
    static std::vector<EncodingChoice> makeEncodingChoices() { return StatusLine::makeEncodingChoices(); }

    // The keyed values a window saves of itself ("kori.mode" ...).
    using RestorableState = DefaultsValue::Dictionary;

    static constexpr int navigationBarHeight = 28;
    static constexpr int sidebarDividerPosition = 270;
    static constexpr int sidebarMinimumWidth = 250;
    static constexpr int startupLayoutVersion = 1;
    static inline const QString frameAutosaveName = QStringLiteral("Korimado.document");
    static inline const QString& toolbarIdentifier = WindowToolbar::identifier;
    static inline const QString preferencesChangedNotification = QString(editorPreferencesChanged);
    static inline const QString editModeStatus =
        QStringLiteral("ローカル編集   Ctrl+1 原案 / Ctrl+2 2カラム / Ctrl+3 プレビュー");

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
    QWidget* windowForSheet() const override;
    void closeWindow() override;
    void synchronizeWindowTitleWithDocumentName() override;

    // --- KoriDocumentWindow
    void reloadDocument() override;
    void documentTextDidChange(const TextStorageEdit& edit) override;
    void documentFormatDidChange() override;
    void setPreviewStatus(const QString& message) override;
    void setDocumentEdited(bool edited) override;
    bool isEditable() const override;
    EditorSelection activeEditorSelection() const override;
    void restoreEditorSelection(const EditorSelection& selection) override;

    // --- TextViewDelegate
    void textDidChange(TextView& view) override;
    void textViewDidChangeSelection(TextView& view) override;
    UndoManager* undoManagerForTextView(TextView& view) override;

    // --- Responder: validation of undo and redo
    std::optional<bool> validate(MenuItem& item) override;

    // --- EditorHost
    DocumentEditor* primaryEditor() const override;
    DocumentEditor* secondaryDocumentEditor() const override;
    DocumentEditor* focusedEditor() const override;
    std::vector<DocumentEditor*> documentEditors() const override;
    void toggleWrap(bool on) override;
    void changeDocumentSyntax(const QString& languageId) override;

    // --- editors and their command objects
    // The second editor when it has the keyboard focus, else the primary one.
    EditorTextView* activeEditor() const;
    SearchController& search();
    TextCommands& commands();
    // The primary editor's, whichever editor has the focus.
    TextCommands& primaryCommands();
    // nullptr until the application layer has installed its factory.
    WorkspaceCommands* workspaceCommands();
    bool isSplitOpen() const { return secondaryEditor() != nullptr; }
    // The editor that has (or last had) the window's keyboard focus.
    QWidget* firstResponder() const;
    void makeFirstResponder(QWidget* widget);

    // --- modes, second editor, navigation bar
    void setMode(Mode m);
    void modeChanged(int segment);
    void showEdit(MenuItem* sender = nullptr) { (void)sender, setMode(Mode::edit); }
    void showSplit(MenuItem* sender = nullptr) { (void)sender, wantPreview(), setMode(Mode::split); }
    void showPreview(MenuItem* sender = nullptr) { (void)sender, wantPreview(), setMode(Mode::preview); }
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
    QToolBar* toolbar() const;
    static QStringList toolbarDefaultItemIdentifiers();
    static QStringList toolbarAllowedItemIdentifiers();
    // The toolbar item for an identifier; nullptr for an unknown identifier.
    QWidget* toolbarItem(const QString& identifier);
    void showSettings();
    void toggleFileTree(MenuItem* sender = nullptr);
    void openFolder(MenuItem* sender = nullptr);
    void showFileBrowser(MenuItem* sender = nullptr);
    bool isFileTreeHidden() const;
    int sidebarWidth() const;
    void openTreeFile(const QString& url);
    // The sidebar moved or renamed old to new: rebase every document root and sidebar under it.
    static void relocate(const QString& oldURL, const QString& newURL);
    static std::optional<QString> rebased(const QString& url, const QString& oldURL, const QString& newURL);
    // Whether the sidebar offers the file: the built-in types and those of every syntax language.
    // Safe on any thread.
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
    void schedulePreview(bool immediate);
    // The preview was asked for (a mode or segment chosen, an edit, a previewable file on screen):
    // from now on it renders whenever it is shown, and the web engine may start.
    void wantPreview();
    // Runs the job once the primary editor has painted its text (at once after that).
    void afterFirstPaint(std::function<void()> job);
    bool hasPainted() const { return firstPaintDone_; }

    // --- SVG player
    void toggleSVGPlayback(MenuItem* sender = nullptr);
    void restartSVG(MenuItem* sender = nullptr);
    void zoomInSVG(MenuItem* sender = nullptr);
    void zoomOutSVG(MenuItem* sender = nullptr);
    void resetSVGZoom(MenuItem* sender = nullptr);

    // --- whole-document commands
    void encodingChanged(int tag);
    void endingChanged(int index);
    void undo(MenuItem* sender = nullptr);
    void redo(MenuItem* sender = nullptr);
    void inputBackSlash(MenuItem* sender = nullptr);
    void inputYenMark(MenuItem* sender = nullptr);
    // The selection as plain text and as RTF with the syntax colours.
    void copyWithStyle(MenuItem* sender = nullptr);
    // Re-selects the encoding and line-ending pop-ups from the document's format.
    void selectFormatPopups();

    // --- the parts, and the members other parts of the program reach through them
    KoriDocument* model = nullptr;  // never owned
    EditorPair& editors() const { return *editors_; }
    StatusLine& statusLine() const { return *statusLine_; }
    DetailPane& detailPane() const { return *detailPane_; }

    Mode mode() const { return mode_; }
    EditorTextView* textView() const;
    LayoutManager* layout() const;
    QAbstractScrollArea* scroll() const;  // textView scrolls itself
    LineNumberRuler* ruler() const;
    EditorTextView* secondaryEditor() const;
    LayoutManager* secondaryLayout() const;
    LineNumberRuler* secondaryRuler() const;
    TextCommands* secondaryCommands() const { return secondaryCommands_.get(); }
    SearchController* secondarySearch() const { return secondarySearch_.get(); }
    QSplitter* codeSplit() const;
    QWidget* codePane() const { return codePane_; }
    QWidget* navigationBar() const { return navigationBar_; }
    QPushButton* syntaxButton() const { return syntaxButton_; }
    QPushButton* previousOutlineButton() const { return previousOutlineButton_; }
    QPushButton* nextOutlineButton() const { return nextOutlineButton_; }
    QSplitter* split() const { return split_; }
    QSplitter* workspaceSplit() const { return workspaceSplit_; }
    FileTreeView* fileTree() const { return fileTree_; }

    QWidget* previewPane() const;
    SegmentedControl* detailPicker() const;
    QPlainTextEdit* inspectionText() const;
    QCheckBox* countSpaces() const;
    QCheckBox* countNewlines() const;
    QWidget* countOptions() const;
    std::uint64_t renderToken() const;
    QTableWidget* outlineTable() const;
    QWidget* playerBar() const;
    PreviewWebView* web() const;
    int previewTop() const;
    int inspectionTop() const;
    std::optional<std::uint64_t> previewRevision() const;
    qint64 renderCount() const;

    QLabel* status() const { return statusLine_->status(); }
    QLabel* byteStatus() const { return statusLine_->byteStatus(); }
    QLabel* tokenStatus() const { return statusLine_->tokenStatus(); }
    QComboBox* tokenPicker() const { return statusLine_->tokenPicker(); }
    QLabel* previewStatus() const { return statusLine_->previewStatus(); }
    QComboBox* encodingPicker() const { return statusLine_->encodingPicker(); }
    QComboBox* endingPicker() const { return statusLine_->endingPicker(); }
    const std::vector<EncodingChoice>& encodingChoices() const { return statusLine_->encodingChoices(); }
    QCheckBox* toolbarWrap() const;
    SegmentedControl* modePicker() const;

    // The schedules the window made since it was built, one counter per kind of work.
    struct ScheduleCounts {
        std::uint64_t statistics = 0;
        std::uint64_t inspection = 0;
        std::uint64_t highlighting = 0;
        std::uint64_t preview = 0;
        std::uint64_t menus = 0;
    };
    ScheduleCounts scheduleCounts() const;

    // Outline navigation and the navigation bar's menus.
    void navigateOutline(bool forward);
    void selectOutlineRow(int row);
    void reloadOutlineTable();
    void openOutlineMenu();
    void openSyntaxMenu();
    bool isSVG() const;
    bool isHTML() const;

    // Pinches, through the recognizers attached to each editor and to the preview: the editor's
    // font, or the preview's page zoom, grows by 1 + the recognizer's magnification.
    void magnifySource(MagnificationRecognizer& pinch);
    void magnifyPreview(MagnificationRecognizer& pinch);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void construct();
    void setup();
    void buildNavigationBar();
    void buildContent();
    void registerActions();
    void showSidebar();
    void setDetailSegment(int segment);
    void textViewDidPaint();
    void refreshMenus();
    // The editor that had the focus before the preview hid the editors; the primary one by default.
    EditorTextView* editorToRefocus() const;
    void observePreferences();
    // An editor's own options with what the settings decide put in: font, tabs, invisibles,
    // page guide, line numbers and theme colours. The Format menu's choices stay.
    EditorOptions withSettings(EditorOptions options) const;
    SearchController& primarySearch();
    SyntaxModel& syntax() const;
    void releaseParses();
    std::optional<QString> sidebarRoot() const;

    std::unique_ptr<QMainWindow> window_;
    Mode mode_ = Mode::edit;
    std::unique_ptr<EditorPair> editors_;
    std::unique_ptr<StatusLine> statusLine_;
    std::unique_ptr<DetailPane> detailPane_;
    std::unique_ptr<WindowToolbar> toolbar_;
    QWidget* codePane_ = nullptr;
    QWidget* navigationBar_ = nullptr;
    QPushButton* syntaxButton_ = nullptr;
    QPushButton* outlineButton_ = nullptr;
    QPushButton* previousOutlineButton_ = nullptr;
    QPushButton* nextOutlineButton_ = nullptr;
    QSplitter* split_ = nullptr;
    QSplitter* workspaceSplit_ = nullptr;
    FileTreeView* fileTree_ = nullptr;

    std::unique_ptr<SearchController> primarySearch_;
    std::unique_ptr<TextCommands> primaryCommands_;
    std::unique_ptr<SearchController> secondarySearch_;
    std::unique_ptr<TextCommands> secondaryCommands_;
    std::shared_ptr<WorkspaceCommands> workspaceCommands_;
    NotificationCenter::Registration preferencesObserver_;
    QPointer<QWidget> lastFocusedEditor_;
    // The editor whose commands the menus were last built for: a selection change refreshes them
    // only when it comes from the other editor (rebuilding every menu costs a keystroke dearly).
    QPointer<EditorTextView> menusEditor_;
    std::uint64_t menuRefreshes_ = 0;
    std::uint64_t highlightingSchedules_ = 0;
    bool holdsParses_ = false;  // until the primary editor has painted
    bool closed_ = false;
    bool firstPaintDone_ = false;
    bool firstPaintSeen_ = false;
    std::vector<std::function<void()>> afterFirstPaint_;
};

}  // namespace korimado
