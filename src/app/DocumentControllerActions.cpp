#include "app/DocumentControllerActions.h"

#include "document/KoriDocumentController.h"
#include "platform/documents/Document.h"

namespace korimado {

DocumentControllerActions::DocumentControllerActions(KoriDocumentController& documents) : documents_(documents)
{
    registerAction(QStringLiteral("newDocument:"), [this](MenuItem*) { newDocument(); });
    registerAction(QStringLiteral("openDocument:"), [this](MenuItem*) { documents_.openDocument(); });
    registerAction(QStringLiteral("openWithEncoding:"), [this](MenuItem*) { documents_.openWithEncoding(); });
    registerAction(QStringLiteral("clearRecentDocuments:"), [this](MenuItem*) {
        documents_.clearRecentDocuments();
        if (recentDocumentsChanged)
            recentDocumentsChanged();
    });
}

Document* DocumentControllerActions::newDocument()
{
    return documents_.openUntitledDocumentAndDisplay(true);
}

}  // namespace korimado
