#pragma once

#include "preview/PreviewBrowser.h"

#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;

namespace korimado {

class HTMLPreviewResources;

// The preview's web view. It stands empty until a page is first shown: the web engine, its
// profile and its helper processes start only then. Every page is served through our scheme
// (no data: URL and its size limit), page scripts are off, nothing is kept on disk, and the
// network layer lets only our scheme and inline data through.
class PreviewWebView : public QWidget {
    Q_OBJECT

public:
    using Kind = PreviewBrowser::Kind;

    explicit PreviewWebView(QWidget* parent = nullptr);
    ~PreviewWebView() override;

    bool hasEngine() const { return browser_ != nullptr; }
    // Starts the engine when needed, then loads the page; relative references of an HTML page
    // resolve to files under root.
    void showPage(const QString& html, Kind kind, const std::optional<QString>& root = std::nullopt);
    Kind kind() const { return kind_; }
    // A notice in place of a page; without a running engine it is shown as plain text, so that
    // a notice alone never starts one.
    void showNotice(const QString& html);
    QString noticeText() const;
    // Whether the program's appearance is dark, judged from the colours the widget is given.
    bool isDark() const;
    // A page asked for has not finished loading (each load ends, also one replaced by the next).
    bool isLoading() const { return pendingLoads_ > 0; }

    // Page zoom, always within 0.25 ... 4.0.
    double zoom() const { return zoom_; }
    void setZoom(double factor);
    // A pinch: the zoom grows by 1 + magnification, when that is a positive finite factor.
    void magnify(double magnification);
    // Runs script in the page's application world (page scripts stay off); done gets whether it ran.
    void runScript(const QString& script, std::function<void(bool)> done);
    // The same, with the script's value.
    void evaluate(const QString& script, std::function<void(const QVariant&)> done);

    static bool allowsNavigation(const QUrl& url, bool linkActivation, Kind kind)
    {
        return PreviewBrowser::allowsNavigation(url, linkActivation, kind);
    }

    HTMLPreviewResources& resources() const { return *resources_; }
    // Requests the network layer refused; 0 without an engine.
    int blockedRequests() const;

Q_SIGNALS:
    void loadFinished(bool ok);
    void linkActivated(const QUrl& url);
    // The appearance turned from light to dark or back.
    void appearanceChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool startEngine();
    quint32 background(Kind kind) const;
    QLabel* notice();

    std::unique_ptr<HTMLPreviewResources> resources_;
    std::unique_ptr<PreviewBrowser> browser_;
    QLabel* notice_ = nullptr;
    Kind kind_ = Kind::markdown;
    bool hasPage_ = false;
    int pendingLoads_ = 0;
    double zoom_ = 1.0;
    bool dark_ = false;
};

}  // namespace korimado
