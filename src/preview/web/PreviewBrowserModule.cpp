// The preview's web engine, built as a module of its own and loaded with the first preview shown.
// It links to Qt alone: what it needs of the program arrives through PreviewBrowser::Host.
#include "preview/PreviewBrowser.h"

#include <QBuffer>
#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <QQuickWindow>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineHistory>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <atomic>

namespace korimado {

namespace {

// Once, before the engine's first profile and view. The scheme registry locks when the first
// profile is made. The view draws through a software scene graph: an OpenGL one would make the
// window it joins switch to an OpenGL surface, which replaces the window's native window (keys in
// flight are lost, the input method lets go) and puts every later paint of the editor through
// OpenGL.
void prepareEngine()
{
    static const bool prepared = [] {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        QWebEngineUrlScheme entry(PreviewBrowser::scheme);
        entry.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        entry.setFlags(QWebEngineUrlScheme::SecureScheme);
        QWebEngineUrlScheme::registerScheme(entry);
        return true;
    }();
    (void)prepared;
}

// Called on the engine's network thread.
class Interceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (PreviewBrowser::allowsRequest(info.requestUrl())) return;
        ++blocked;
        info.block(true);
    }

    std::atomic<int> blocked{0};
};

class SchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    SchemeHandler(const PreviewBrowser::Host& host, QObject* parent) : QWebEngineUrlSchemeHandler(parent), host_(host) {}

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        // The engine deletes a job it stops: the pointer then answers nothing.
        QPointer<QWebEngineUrlRequestJob> pending(job);
        host_.request(job->requestUrl(), [pending](const PreviewBrowser::Answer& answer) {
            if (!pending) return;
            switch (answer.status) {
            case PreviewBrowser::Answer::Status::served: {
                // The buffer must outlive the job's reading of it.
                auto* buffer = new QBuffer(pending);
                buffer->setData(answer.data);
                buffer->open(QIODevice::ReadOnly);
                QByteArray type = answer.mimeType;
                if (type.startsWith("text/")) type += ";charset=utf-8";
                pending->reply(type, buffer);
                break;
            }
            case PreviewBrowser::Answer::Status::refused: pending->fail(QWebEngineUrlRequestJob::RequestDenied); break;
            case PreviewBrowser::Answer::Status::failed: pending->fail(QWebEngineUrlRequestJob::RequestFailed); break;
            }
        });
    }

private:
    const PreviewBrowser::Host& host_;
};

// Offers an http or https link to the host, after the engine's callback has returned: a dialog
// must not run inside it.
void offerLink(QObject* context, const PreviewBrowser::Host& host, const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) return;
    QMetaObject::invokeMethod(context, [&host, url] {
        if (host.linkActivated) host.linkActivated(url);
    }, Qt::QueuedConnection);
}

// Stands for the window a link with a target (target="_blank") asks for. It is never shown: the
// address it is sent to is offered as any other link, and the page goes.
class NewWindowPage : public QWebEnginePage {
public:
    NewWindowPage(QWebEngineProfile* profile, QObject* parent, const PreviewBrowser::Host& host)
        : QWebEnginePage(profile, parent), host_(host)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        if (!done_) {
            done_ = true;
            offerLink(parent(), host_, url);
            deleteLater();
        }
        return false;
    }

private:
    const PreviewBrowser::Host& host_;
    bool done_ = false;
};

class Page : public QWebEnginePage {
public:
    Page(QWebEngineProfile* profile, QObject* parent, const PreviewBrowser::Host& host, const PreviewBrowser::Kind& kind)
        : QWebEnginePage(profile, parent), host_(host), kind_(kind)
    {
    }

protected:
    // The program keeps no log: what a page says on its console goes nowhere.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override {}

    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override
    {
        const bool link = type == NavigationTypeLinkClicked;
        if (link) offerLink(this, host_, url);
        return PreviewBrowser::allowsNavigation(url, link, kind_);
    }

    QWebEnginePage* createWindow(WebWindowType) override { return new NewWindowPage(profile(), this, host_); }

private:
    const PreviewBrowser::Host& host_;
    const PreviewBrowser::Kind& kind_;
};

class Browser final : public PreviewBrowser {
public:
    Browser(QWidget* parent, Host host) : host_(std::move(host))
    {
        prepareEngine();
        // No storage name: an off-the-record profile keeps nothing on disk.
        profile_ = new QWebEngineProfile;
        handler_ = new SchemeHandler(host_, profile_);
        profile_->installUrlSchemeHandler(QByteArray(scheme), handler_);
        interceptor_ = new Interceptor(profile_);
        profile_->setUrlRequestInterceptor(interceptor_);

        view_ = new QWebEngineView(parent);
        auto* page = new Page(profile_, view_, host_, kind_);
        QWebEngineSettings* settings = page->settings();
        settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        view_->setPage(page);
        // Neither the engine's own menu (its "Back" would leave the preview blank) nor any history:
        // each page replaces the one before.
        view_->setContextMenuPolicy(Qt::NoContextMenu);
        QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool ok) {
            if (view_) view_->page()->history()->clear();
            if (host_.loadFinished) host_.loadFinished(ok);
        });
    }

    ~Browser() override
    {
        // Pages (the view's children) go before their profile.
        delete view_.data();
        delete profile_;
    }

    QWidget* widget() override { return view_.data(); }

    void load(const QUrl& url, Kind kind, bool keepPosition) override
    {
        kind_ = kind;
        if (!view_) return;
        // The reader's place: the new page scrolls where the old one stood as soon as its
        // document is parsed, before it is first painted.
        QWebEngineScriptCollection& scripts = view_->page()->scripts();
        for (const QWebEngineScript& old : scripts.find(QLatin1String(positionScript))) scripts.remove(old);
        const QPointF at = view_->page()->scrollPosition();
        if (keepPosition && (at.x() > 0 || at.y() > 0)) {
            QWebEngineScript restore;
            restore.setName(QLatin1String(positionScript));
            restore.setWorldId(QWebEngineScript::ApplicationWorld);
            restore.setInjectionPoint(QWebEngineScript::DocumentReady);
            restore.setRunsOnSubFrames(false);
            restore.setSourceCode(QStringLiteral("window.scrollTo(%1, %2);").arg(at.x()).arg(at.y()));
            scripts.insert(restore);
        }
        view_->load(url);
    }

    void setZoom(double factor) override
    {
        if (view_) view_->setZoomFactor(factor);
    }

    void setBackground(quint32 rgb) override
    {
        if (view_) view_->page()->setBackgroundColor(QColor::fromRgb(rgb));
    }

    void evaluate(const QString& script, std::function<void(const QVariant&)> done) override
    {
        if (!view_) return;
        QPointer<QWebEngineView> view(view_);
        view_->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [view, done](const QVariant& value) {
            if (view && done) done(value);
        });
    }

    int blockedRequests() const override { return interceptor_->blocked.load(); }

private:
    static constexpr const char* positionScript = "korimado-reading-position";

    Host host_;
    Kind kind_ = Kind::markdown;
    QWebEngineProfile* profile_ = nullptr;
    SchemeHandler* handler_ = nullptr;
    Interceptor* interceptor_ = nullptr;
    QPointer<QWebEngineView> view_;  // a child of the parent widget
};

}  // namespace

}  // namespace korimado

extern "C" Q_DECL_EXPORT korimado::PreviewBrowser* korimado_makePreviewBrowser(QWidget* parent,
                                                                               korimado::PreviewBrowser::Host host)
{
    return new korimado::Browser(parent, std::move(host));
}
