#include "preview/PreviewWebView.h"

#include "preview/HTMLPreviewResources.h"
#include "preview/PreviewRequestInterceptor.h"

#include <QLabel>
#include <QPointer>
#include <QTextDocumentFragment>
#include <QResizeEvent>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>

namespace korimado {

namespace {

bool isOwnAddress(const QUrl& url)
{
    return url.scheme() == QLatin1String("kori-preview") && url.host() == QLatin1String("local")
           && (url.path().isEmpty() || url.path() == QLatin1String("/")) && QUrlQuery(url).hasQueryItem(QStringLiteral("page"));
}

class PreviewPage : public QWebEnginePage {
public:
    PreviewPage(QWebEngineProfile* profile, PreviewWebView* owner) : QWebEnginePage(profile, owner), owner_(owner) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override
    {
        const bool link = type == NavigationTypeLinkClicked;
        if (link && owner_) {
            const QString scheme = url.scheme().toLower();
            if (scheme == QLatin1String("https") || scheme == QLatin1String("http")) {
                // Asked after this call returns: a dialog must not run inside the engine's callback.
                QMetaObject::invokeMethod(owner_, [owner = owner_, url] {
                    if (owner) Q_EMIT owner->linkActivated(url);
                }, Qt::QueuedConnection);
            }
        }
        return owner_ && PreviewWebView::allowsNavigation(url, link, owner_->kind());
    }

private:
    QPointer<PreviewWebView> owner_;
};

}  // namespace

PreviewWebView::PreviewWebView(QWidget* parent) : QWidget(parent) {}

PreviewWebView::~PreviewWebView()
{
    // Pages go before their profile.
    if (view_) {
        QWebEnginePage* page = view_->page();
        delete view_;
        delete page;
        view_ = nullptr;
    }
    delete profile_;
}

bool PreviewWebView::allowsNavigation(const QUrl& url, bool linkActivation, Kind kind)
{
    if (linkActivation) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("about")) return true;
    if (scheme != QLatin1String("kori-preview")) return false;
    return kind == Kind::html || isOwnAddress(url);
}

void PreviewWebView::startEngine()
{
    if (view_) return;
    // No storage name: an off-the-record profile keeps nothing on disk.
    profile_ = new QWebEngineProfile;
    resources_ = new HTMLPreviewResources(profile_);
    if (!QWebEngineUrlScheme::schemeByName(HTMLPreviewResources::scheme).name().isEmpty()) {
        profile_->installUrlSchemeHandler(HTMLPreviewResources::scheme, resources_);
    }
    interceptor_ = new PreviewRequestInterceptor(profile_);
    profile_->setUrlRequestInterceptor(interceptor_);

    view_ = new QWebEngineView(this);
    auto* page = new PreviewPage(profile_, this);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    page->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    view_->setPage(page);
    view_->setAccessibleName(accessibleName());
    view_->setAccessibleDescription(accessibleDescription());
    view_->setGeometry(rect());
    view_->setZoomFactor(zoom_);
    connect(view_, &QWebEngineView::loadFinished, this, &PreviewWebView::loadFinished);
    view_->show();
}

void PreviewWebView::showPage(const QString& html, Kind kind, const std::optional<QString>& root)
{
    startEngine();
    if (notice_) notice_->hide();
    kind_ = kind;
    resources_->setRoot(kind == Kind::html ? root : std::nullopt);
    view_->load(resources_->setPage(html));
}

void PreviewWebView::showNotice(const QString& html)
{
    if (view_) {
        showPage(html, Kind::markdown);
        return;
    }
    if (!notice_) {
        notice_ = new QLabel(this);
        notice_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        notice_->setWordWrap(true);
        notice_->setMargin(16);
        notice_->setGeometry(rect());
    }
    notice_->setText(QTextDocumentFragment::fromHtml(html).toPlainText());
    notice_->show();
}

QString PreviewWebView::noticeText() const
{
    return notice_ && !notice_->isHidden() ? notice_->text() : QString();
}

void PreviewWebView::setZoom(double factor)
{
    if (!std::isfinite(factor)) return;
    zoom_ = std::clamp(factor, 0.25, 4.0);
    if (view_) view_->setZoomFactor(zoom_);
}

void PreviewWebView::runScript(const QString& script, std::function<void(bool)> done)
{
    if (!view_) {
        if (done) done(false);
        return;
    }
    // Errors inside the script are not reported back: it answers true only when it ran through.
    const QString wrapped = QStringLiteral("(() => { try { ") + script + QStringLiteral("; return true; } catch (e) { return false; } })()");
    QPointer<PreviewWebView> self(this);
    view_->page()->runJavaScript(wrapped, QWebEngineScript::ApplicationWorld, [self, done](const QVariant& result) {
        if (self && done) done(result.toBool());
    });
}

void PreviewWebView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (view_) view_->setGeometry(rect());
    if (notice_) notice_->setGeometry(rect());
}

}  // namespace korimado
