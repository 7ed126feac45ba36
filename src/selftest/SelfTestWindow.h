#pragma once

#include "platform/foundation/DefaultsValue.h"

#include <QList>
#include <QPointer>
#include <QObject>

#include <cstdint>
#include <optional>

class QAbstractScrollArea;
class QComboBox;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableWidget;
class QWidget;

namespace korimado {

class EditorHost;
class FileTreeView;
class KoriDocument;
class LayoutManager;
class MagnificationRecognizer;
class PreviewWebView;
class SearchController;
class SegmentedControl;
class TextCommands;
class TextView;
class UserDefaults;

// What the self-tests drive of one document window as a user would: its top-level window, its
// mode, its panes, panels, sidebar and menu commands, its preview, and its editors' text views for
// keys and input methods. Its editors otherwise come as DocumentEditor through editors(). The
// handle is empty once the window is gone: then every accessor answers nullptr, false or nothing
// and every command does nothing.
class SelfTestWindow {
public:
    enum class Mode { edit, split, preview };
    // The keyed values a window saves of itself ("kori.mode" ...).
    using RestorableState = DefaultsValue::Dictionary;

    SelfTestWindow() = default;
    // The first editor window of the document; an empty handle when it has none.
    static SelfTestWindow of(const KoriDocument& document);
    // Gives the document a new editor window (shown with the document's windows).
    static SelfTestWindow open(KoriDocument& document);

    explicit operator bool() const { return !controller_.isNull(); }

    QMainWindow* window() const;
    KoriDocument* document() const;
    EditorHost* editors() const;
    // The primary editor's view.
    TextView* textView() const;
    // The editors' views the code pane shows now, the primary one first.
    QList<TextView*> visibleTextViews() const;
    QWidget* firstResponder() const;
    void makeFirstResponder(QWidget* widget) const;
    // The command objects of the editor with the focus, and of the primary editor.
    TextCommands* commands() const;
    TextCommands* primaryCommands() const;
    SearchController* search() const;
    LayoutManager* layout() const;
    // The primary editor's scroll area (the view scrolls itself).
    QAbstractScrollArea* scroll() const;

    Mode mode() const;
    void setMode(Mode mode) const;
    SegmentedControl* modePicker() const;
    void openSplitTextView() const;
    void closeSplitTextView() const;
    // The window's columns: the sidebar, the code pane and the detail pane.
    QSplitter* workspaceSplit() const;
    QWidget* codePane() const;
    QWidget* previewPane() const;

    QWidget* navigationBar() const;
    void toggleNavigationBar() const;
    bool isNavigationBarHidden() const;
    void navigateOutline(bool forward) const;

    bool isFileTreeHidden() const;
    FileTreeView* fileTree() const;
    void openTreeFile(const QString& url) const;

    void showOutlineInspector() const;
    QTableWidget* outlineTable() const;
    void showAdvancedCounter() const;
    QPlainTextEdit* inspectionText() const;

    QComboBox* endingPicker() const;
    // What choosing the line ending at the pop-up's index does.
    void endingChanged(int index) const;
    // Applies the settings as they stand now, as a change of them would.
    void preferencesChanged() const;

    void saveRestorableState() const;
    void restoreState(const RestorableState& state) const;
    // The file the windows keep their states in.
    static UserDefaults& restorableStateStore();

    // Pinches through a recognizer of the source or of the preview.
    void magnifySource(MagnificationRecognizer& pinch) const;
    void magnifyPreview(MagnificationRecognizer& pinch) const;

    PreviewWebView* web() const;
    bool isHTML() const;
    std::optional<std::uint64_t> previewRevision() const;
    qint64 renderCount() const;
    double lastRenderMilliseconds() const;
    // The preview's part of the status line.
    QString previewStatus() const;

    // The SVG player.
    QPushButton* playButton() const;
    bool isSVGPaused() const;
    void toggleSVGPlayback() const;
    void restartSVG() const;
    void zoomInSVG() const;
    void resetSVGZoom() const;

private:
    explicit SelfTestWindow(QObject* controller);

    QPointer<QObject> controller_;
};

}  // namespace korimado
