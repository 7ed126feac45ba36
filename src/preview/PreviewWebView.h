#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace korimado {

class HTMLPreviewResources;
class PreviewRequestInterceptor;

// The preview's web view. It stands empty until a page is first shown: the web engine, its
// profile and its helper processes start only then. Every page is served through our scheme
// (no data: URL and its size limit), page scripts are off, nothing is kept on disk, and the
// network layer lets only our scheme and inline data through.
class PreviewWebView : public QWidget {
    Q_OBJECT

public:
    enum class Kind { markdown, html, svg };

    explicit PreviewWebView(QWidget* parent = nullptr);
    ~PreviewWebView() override;

    bool hasEngine() const { return view_ != nullptr; }
    // Starts the engine when needed, then loads the page; relative references of an HTML page
    // resolve to files under root.
    void showPage(const QString& html, Kind kind, const std::optional<QString>& root = std::nullopt);
    Kind kind() const { return kind_; }
    // A notice in place of a page; without a running engine it is shown as plain text, so that
    // a notice alone never starts one.
    void showNotice(const QString& html);
    QString noticeText() const;

    // Page zoom, always within 0.25 ... 4.0.
    double zoom() const { return zoom_; }
    void setZoom(double factor);
    // Runs script in the page's application world (page scripts stay off); done gets whether it ran.
    void runScript(const QString& script, std::function<void(bool)> done);

    // Whether the preview lets a navigation happen: not for links (http and https ones are handed
    // to linkActivated), only our own address and about: otherwise, our whole scheme for HTML.
    static bool allowsNavigation(const QUrl& url, bool linkActivation, Kind kind);

    // Nullptr until the engine runs.
    QWebEngineView* view() const { return view_; }
    HTMLPreviewResources* resources() const { return resources_; }
    PreviewRequestInterceptor* interceptor() const { return interceptor_; }

Q_SIGNALS:
    void loadFinished(bool ok);
    void linkActivated(const QUrl& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void startEngine();

    QWebEngineProfile* profile_ = nullptr;
    HTMLPreviewResources* resources_ = nullptr;
    PreviewRequestInterceptor* interceptor_ = nullptr;
    QWebEngineView* view_ = nullptr;
    QLabel* notice_ = nullptr;
    Kind kind_ = Kind::markdown;
    double zoom_ = 1.0;
};

}  // namespace korimado
