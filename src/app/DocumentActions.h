#pragma once

#include "platform/documents/Document.h"
#include "platform/ui/Responder.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace korimado {


// A document's place in its window's responder chain: saving and reverting. Lives as long as
// the window it is registered for.
class DocumentActions : public QObject, public Responder {
    Q_OBJECT

public:
    // Registers actions for document in window's chain, once per window; returns the responder.
    static DocumentActions* install(QWidget* window, Document* document);

    Document* document() const { return document_; }

private:
    DocumentActions(QWidget* window, Document* document);

    QPointer<Document> document_;
};

}  // namespace korimado
