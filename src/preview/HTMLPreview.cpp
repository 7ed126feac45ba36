#include "preview/HTMLPreview.h"

namespace korimado {

QString HTMLPreview::page(const QString& html)
{
    return QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\"></head><body><pre>") + html.toHtmlEscaped()
           + QStringLiteral("</pre></body></html>");
}

const QUrl& HTMLPreview::baseURL()
{
    static const QUrl url(QStringLiteral("kori-preview://local/"));
    return url;
}

}  // namespace korimado
