#pragma once

#include "preview/PreviewBrowser.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace korimado {

class DispatchQueue;

// What the preview serves at "kori-preview://local/": the page of the last render at the
// preview's own address, and files beside an HTML document that may be shown in it. Files are
// read on its queue and answered on the main thread.
class HTMLPreviewResources {
public:
    using Answer = PreviewBrowser::Answer;

    HTMLPreviewResources();
    ~HTMLPreviewResources();
    HTMLPreviewResources(const HTMLPreviewResources&) = delete;
    HTMLPreviewResources& operator=(const HTMLPreviewResources&) = delete;

    // The folder whose files may be served; none for a document without a file.
    void setRoot(const std::optional<QString>& folder);
    std::optional<QString> root() const;
    // The page to serve next; returns the address to load it from. Older addresses are refused.
    QUrl setPage(const QString& html);

    // Answers one request, on the main thread: the page at once, a file once it was read. The
    // request takes the root that is current when it starts.
    void request(const QUrl& url, std::function<void(const Answer&)> answer);

private:
    mutable QMutex lock_;
    std::optional<QString> root_;  // guarded by lock_
    QByteArray page_;              // main thread only
    quint64 pageNumber_ = 0;
    std::unique_ptr<DispatchQueue> queue_;
};

}  // namespace korimado
