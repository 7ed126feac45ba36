#include "preview/HTMLPreviewResources.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace korimado {

void HTMLPreviewResources::registerScheme()
{
    QWebEngineUrlScheme entry(scheme);
    entry.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    entry.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(entry);
}

HTMLPreviewResources::HTMLPreviewResources(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

void HTMLPreviewResources::setRoot(const std::optional<QString>& folder)
{
    QMutexLocker guard(&lock_);
    if (!folder || folder->isEmpty()) {
        root_.reset();
        return;
    }
    const QFileInfo info(*folder);
    const QString resolved = info.canonicalFilePath();
    root_ = resolved.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : resolved;
}

std::optional<QString> HTMLPreviewResources::root() const
{
    QMutexLocker guard(&lock_);
    return root_;
}

void HTMLPreviewResources::requestStarted(QWebEngineUrlRequestJob* job)
{
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}

}  // namespace korimado
