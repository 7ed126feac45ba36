#include "app/DocumentActions.h"

#include "document/KoriDocument.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/documents/Document.h"

#include <QWidget>

namespace korimado {

DocumentActions* DocumentActions::install(QWidget* window, Document* document)
{
    if (!window || !document)
        return nullptr;
    window = window->window();
    if (auto* existing = dynamic_cast<DocumentActions*>(ActionDispatcher::shared().windowDocument(window)))
        if (existing->document() == document)
            return existing;
    auto* actions = new DocumentActions(window, document);
    ActionDispatcher::shared().setWindowDocument(window, actions);
    return actions;
}

DocumentActions::DocumentActions(QWidget* window, Document* document) : QObject(window), document_(document)
{
    // A folder document only shows its folder: there is no text to save or file to go back to.
    const auto hasText = [this](MenuItem&) -> std::optional<bool> {
        const auto* text = qobject_cast<KoriDocument*>(document_.data());
        return document_ && !(text && text->isFolderDocument());
    };
    registerAction(
        QStringLiteral("saveDocument:"),
        [this](MenuItem*) {
            if (document_)
                document_->saveDocument();
        },
        hasText);
    registerAction(
        QStringLiteral("saveDocumentAs:"),
        [this](MenuItem*) {
            if (document_)
                document_->saveDocumentAs();
        },
        hasText);
    registerAction(
        QStringLiteral("revertDocumentToSaved:"),
        [this](MenuItem*) {
            if (document_)
                document_->revertDocumentToSaved();
        },
        [this](MenuItem&) -> std::optional<bool> { return document_ && !document_->fileURL().isEmpty(); });
}

}  // namespace korimado
