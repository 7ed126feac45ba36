#pragma once

#include <QPointer>
#include <QObject>

#include <cstdint>
#include <optional>

class QMainWindow;
class QWidget;

namespace korimado {

class EditorHost;
class EditorWindowController;
class KoriDocument;
class PreviewWebView;
class TextView;

// What the self-tests drive of one document window as a user would: its top-level window, its
// mode, its preview, and its primary editor's text view for keys and input methods. Its editors
// otherwise come as DocumentEditor through editors(). The handle is empty once the window is gone.
class SelfTestWindow {
public:
    enum class Mode { edit, split, preview };

    SelfTestWindow() = default;
    // The first editor window of the document; an empty handle when it has none.
    static SelfTestWindow of(const KoriDocument& document);
    // Gives the document a new editor window (shown with the document's windows).
    static SelfTestWindow open(KoriDocument& document);

    explicit operator bool() const { return !controller_.isNull(); }

    QMainWindow* window() const;
    KoriDocument* document() const;
    EditorHost* editors() const;
    TextView* textView() const;
    void makeFirstResponder(QWidget* widget) const;

    Mode mode() const;
    void setMode(Mode mode) const;
    bool isFileTreeHidden() const;

    PreviewWebView* web() const;
    std::optional<std::uint64_t> previewRevision() const;
    qint64 renderCount() const;
    double lastRenderMilliseconds() const;
    // The preview's part of the status line.
    QString previewStatus() const;

    // The controller itself, for the suites the boundary check lets include its header (they
    // drive the window's panels, sidebar and menus); nullptr once the window is gone.
    EditorWindowController* controller() const;

private:
    explicit SelfTestWindow(EditorWindowController* controller);

    QPointer<QObject> controller_;
};

}  // namespace korimado
