#pragma once

#include "platform/foundation/WorkItem.h"
#include "preview/PreviewWebView.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QPushButton;

namespace korimado {

class DispatchQueue;
class KoriDocument;

// The preview segment's work: when a page is built (debounced, one build at a time, stopped above
// 2,000,000 UTF-16 units), how it reaches the web view, links the user follows, and the SVG player.
// Nothing is rendered, and the web engine does not start, before the window's text has painted.
class DetailPreview : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        std::function<bool()> isOnScreen;              // the pane shown on the preview segment
        std::function<bool()> isComposing;             // an input method is composing
        std::function<void(const QString&)> setStatus;  // the preview status line
    };

    DetailPreview(KoriDocument& document, PreviewWebView& web, QPushButton& playButton, Hooks hooks,
                  QObject* parent = nullptr);
    ~DetailPreview() override;

    static constexpr qsizetype slowLength = 200'000;
    static constexpr qsizetype maximumLength = 2'000'000;
    static int delay(qsizetype length, bool immediate);
    // How a link the user follows in the preview is opened; tests replace it.
    static void setLinkOpener(std::function<void(const QUrl&)> opener);

    void schedule(bool immediate);
    // Drops a pending render and any page still being built.
    void cancel();
    void close();
    void want();
    void setPainted();
    bool hasPainted() const { return painted_; }

    void openLink(const QUrl& url);
    void toggleSVGPlayback();
    void restartSVG();
    void zoomIn();
    void zoomOut();
    void resetZoom();

    // State for the window, the self-test and the tests.
    std::uint64_t renderToken() const { return renderToken_; }
    std::optional<std::uint64_t> previewRevision() const { return previewRevision_; }
    qint64 renderCount() const { return renderCount_; }
    double lastRenderMilliseconds() const { return lastRenderMilliseconds_; }
    std::uint64_t schedules() const { return schedules_; }
    bool isRendering() const { return rendering_; }
    bool svgPaused = false;
    bool svgReady() const { return svgReady_; }

private:
    void render();
    void didFinishLoading(bool ok);
    void applySVGPlayback(bool restart);
    bool isSVG() const;
    bool isHTML() const;

    KoriDocument* document_;
    QPointer<PreviewWebView> web_;  // the window's widget tree owns it
    QPushButton* playButton_;
    Hooks hooks_;
    std::unique_ptr<DispatchQueue> renderQueue_;
    WorkItemPtr work_;
    bool wanted_ = false;
    bool painted_ = false;
    bool closed_ = false;
    bool rendering_ = false;
    bool renderPending_ = false;
    bool showingStopped_ = false;
    bool svgReady_ = false;
    bool svgPlayable_ = false;
    std::uint64_t renderToken_ = 0;
    std::optional<std::uint64_t> previewRevision_;
    double lastRenderMilliseconds_ = 0;
    qint64 renderCount_ = 0;
    std::uint64_t schedules_ = 0;
};

}  // namespace korimado
