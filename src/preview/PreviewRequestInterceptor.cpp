#include "preview/PreviewRequestInterceptor.h"

#include <QUrl>

namespace korimado {

bool PreviewRequestInterceptor::isAllowed(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("kori-preview") || scheme == QLatin1String("data") || scheme == QLatin1String("blob")
           || scheme == QLatin1String("about");
}

void PreviewRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (isAllowed(info.requestUrl())) return;
    ++blocked_;
    info.block(true);
}

}  // namespace korimado
