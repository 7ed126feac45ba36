#include "preview/HTMLPreviewResources.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "preview/PreviewResourceLocator.h"

#include <QMutexLocker>
#include <QUrlQuery>

namespace korimado {

HTMLPreviewResources::HTMLPreviewResources()
    : queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".html-assets"))))
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

void HTMLPreviewResources::request(const QUrl& url, std::function<void(const Answer&)> answer)
{
    if (PreviewBrowser::isPageAddress(url)) {
        if (QUrlQuery(url).queryItemValue(QStringLiteral("page")) == QString::number(pageNumber_)) {
            answer({Answer::Status::served, page_, QByteArrayLiteral("text/html")});
        } else {
            answer({});
        }
        return;
    }
    queue_->async([url, root = this->root(), answer = std::move(answer)] {
        auto result = PreviewResourceLocator::load(url, root);
        Answer reply;
        if (auto* resource = std::get_if<PreviewResourceLocator::Resource>(&result)) {
            reply = {Answer::Status::served, std::move(resource->data), resource->mimeType};
        } else if (!std::get<PreviewResourceLocator::Failure>(result).refused) {
            reply.status = Answer::Status::failed;
        }
        MainQueue::async([answer, reply] { answer(reply); });
    });
}

}  // namespace korimado
