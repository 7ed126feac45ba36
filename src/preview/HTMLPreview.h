#pragma once

#include <QString>
#include <QUrl>

namespace korimado {

// The preview page of an HTML document: the document itself with a content-security policy and a
// base element in its head. Pure, safe on any thread.
class HTMLPreview {
public:
    HTMLPreview() = delete;
    static QString page(const QString& html);
    // Where the page's relative references resolve: "kori-preview://local/".
    static const QUrl& baseURL();
    // The policy and base element put at the start of the head.
    static const QString& headText();
    // Where headText() goes so that the browser takes it into the head: after the head start tag
    // that opens the document (or after its html start tag), passing over the byte-order mark,
    // white space, comments and the document type first. -1 when the document has neither tag.
    static qsizetype headInsertionPoint(const QString& html, bool* afterHead);
};

}  // namespace korimado
