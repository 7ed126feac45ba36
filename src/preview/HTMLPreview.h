#pragma once

#include <QString>
#include <QUrl>

namespace korimado {

// The preview page of an HTML document; pure, safe on any thread.
// Stand-in: shows the source as preformatted text, so no markup or script of the document runs.
class HTMLPreview {
public:
    HTMLPreview() = delete;
    static QString page(const QString& html);
    // Where the page's relative references resolve: "kori-preview://local/".
    static const QUrl& baseURL();
};

}  // namespace korimado
