#include "preview/HTMLPreviewResources.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "preview/PreviewResourceLocator.h"

#include <QBuffer>
#include <QMutexLocker>
#include <QPointer>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace korimado {

namespace {

void answer(QWebEngineUrlRequestJob* job, const QByteArray& data, QByteArray mimeType)
{
    if (mimeType.startsWith("text/")) mimeType += ";charset=utf-8";
    // The buffer must outlive the job's reading of it.
    auto* buffer = new QBuffer(job);
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    job->reply(mimeType, buffer);
}

}  // namespace

void HTMLPreviewResources::registerScheme()
{
    QWebEngineUrlScheme entry(scheme);
    entry.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    entry.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(entry);
}

HTMLPreviewResources::HTMLPreviewResources(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent),
      queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".html-assets"))))
{
}

HTMLPreviewResources::~HTMLPreviewResources() = default;

void HTMLPreviewResources::setRoot(const std::optional<QString>& folder)
{
    const std::optional<QString> root = PreviewResourceLocator::standardizedRoot(folder);
    QMutexLocker guard(&lock_);
    root_ = root;
}

std::optional<QString> HTMLPreviewResources::root() const
{
    QMutexLocker guard(&lock_);
    return root_;
}

QUrl HTMLPreviewResources::setPage(const QString& html)
{
    page_ = html.toUtf8();
    ++pageNumber_;
    QUrl url(QStringLiteral("kori-preview://local/"));
    url.setQuery(QStringLiteral("page=") + QString::number(pageNumber_));
    return url;
}

void HTMLPreviewResources::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    // The preview's own address: the root path with the page's number.
    if (url.host() == PreviewResourceLocator::host && (url.path().isEmpty() || url.path() == QLatin1String("/"))
        && url.hasQuery()) {
        if (QUrlQuery(url).queryItemValue(QStringLiteral("page")) == QString::number(pageNumber_)) {
            answer(job, page_, QByteArrayLiteral("text/html"));
        } else {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
        }
        return;
    }
    const std::optional<QString> root = this->root();
    QPointer<QWebEngineUrlRequestJob> pending(job);
    queue_->async([pending, url, root] {
        auto result = PreviewResourceLocator::load(url, root);
        MainQueue::async([pending, result = std::move(result)] {
            if (!pending) return;  // the web view stopped the request
            if (const auto* resource = std::get_if<PreviewResourceLocator::Resource>(&result)) {
                answer(pending, resource->data, resource->mimeType);
            } else {
                const auto& failure = std::get<PreviewResourceLocator::Failure>(result);
                pending->fail(failure.refused ? QWebEngineUrlRequestJob::RequestDenied
                                              : QWebEngineUrlRequestJob::RequestFailed);
            }
        });
    });
}

}  // namespace korimado
