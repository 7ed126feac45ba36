#pragma once

#include <QMutex>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

#include <optional>

namespace korimado {

// Serves files beside an HTML document to the preview under "kori-preview://local/".
// Stand-in: refuses every request until the file serving is built.
class HTMLPreviewResources : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    static inline const QByteArray scheme = QByteArrayLiteral("kori-preview");
    // Must run before the application object is made.
    static void registerScheme();

    explicit HTMLPreviewResources(QObject* parent = nullptr);

    // The folder whose files may be served; none for a document without a file.
    void setRoot(const std::optional<QString>& folder);
    std::optional<QString> root() const;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    mutable QMutex lock_;
    std::optional<QString> root_;
};

}  // namespace korimado
