#include "selftest/SelfTestDocuments.h"

#include "document/KoriDocument.h"
#include "platform/documents/DocumentController.h"
#include "selftest/SelfTestWindow.h"

#include <QSaveFile>

namespace korimado {

bool SelfTestDocuments::writeWhole(const QString& path, const QString& text, QString* error)
{
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    *error = path + QStringLiteral(": ") + file.errorString();
    return false;
}

SelfTestWindow SelfTestDocuments::openTextWindow(const QString& path, QString* error,
                                                 const std::function<void(KoriDocument&)>& prepare)
{
    auto owned = std::make_unique<KoriDocument>();
    if (prepare) prepare(*owned);
    ErrorInfo readError;
    if (!owned->readFromURL(path, KoriDocument::plainTextType, &readError)) {
        *error = readError.description;
        return {};
    }
    owned->setFileURL(path);
    owned->setFileType(KoriDocument::plainTextType);
    KoriDocument* document = owned.get();
    DocumentController::shared()->addDocument(std::move(owned));
    const SelfTestWindow controller = SelfTestWindow::open(*document);
    document->showWindows();
    return controller;
}

}  // namespace korimado
