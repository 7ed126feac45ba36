#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <memory>
#include <optional>

namespace korimado {

class DispatchQueue;

// The web view's handler of "kori-preview://local/": it serves the page of the last render at the
// preview's own address, and files beside an HTML document that may be shown in it. Files are read
// on its queue; a request the web view has given up on gets no answer.
class HTMLPreviewResources : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    static inline const QByteArray scheme = QByteArrayLiteral("kori-preview");
    // Must run before the application object is made.
    static void registerScheme();

    explicit HTMLPreviewResources(QObject* parent = nullptr);
    ~HTMLPreviewResources() override;

    // The folder whose files may be served; none for a document without a file.
    void setRoot(const std::optional<QString>& folder);
    std::optional<QString> root() const;
    // The page to serve next; returns the address to load it from.
    QUrl setPage(const QString& html);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    mutable QMutex lock_;
    std::optional<QString> root_;  // guarded by lock_
    QByteArray page_;              // main thread only
    quint64 pageNumber_ = 0;
    std::unique_ptr<DispatchQueue> queue_;
};

}  // namespace korimado
