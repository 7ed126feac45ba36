#include "preview/Markdown.h"

namespace korimado {

QString Markdown::body(const QString& markdown)
{
    return QStringLiteral("<pre>") + markdown.toHtmlEscaped() + QStringLiteral("</pre>");
}

}  // namespace korimado
