#pragma once

#include "platform/documents/DocumentController.h"

namespace korimado {

class KoriDocument;

// The process's document controller: every document is a KoriDocument, folders open as folder
// documents in a window of their own, and a file can be opened with an encoding of the user's choice.
class KoriDocumentController : public DocumentController {
    Q_OBJECT

public:
    explicit KoriDocumentController(UserDefaults* defaults = nullptr);

    QString defaultType() const override;
    std::unique_ptr<Document> makeDocument(const QString& type) override;

    // The Open command: files and folders, several at once.
    void openDocument();
    void openDocument(const QString& path, bool display, const OpenCompletion& completion) override;
    // The open-with-encoding command.
    void openWithEncoding();

    KoriDocument* folderDocument(const QString& path) const;
};

}  // namespace korimado
