#pragma once

#include <QWebEngineUrlRequestInterceptor>

#include <atomic>

namespace korimado {

// The preview's network layer: whatever a page's policy says, only our own scheme and inline
// data reach the engine; every other request is blocked before it leaves.
class PreviewRequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    // Called on the engine's network thread.
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    static bool isAllowed(const QUrl& url);

    int blockedCount() const { return blocked_.load(); }

private:
    std::atomic<int> blocked_{0};
};

}  // namespace korimado
