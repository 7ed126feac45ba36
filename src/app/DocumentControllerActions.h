#pragma once

#include "platform/ui/Responder.h"

#include <functional>

namespace korimado {

class KoriDocumentController;

// The document controller's place at the end of the responder chain: new, open, open with an
// encoding and clearing the recent documents.
class DocumentControllerActions : public Responder {
public:
    explicit DocumentControllerActions(KoriDocumentController& documents);

    // A new untitled document with its window; nullptr when none could be made.
    class Document* newDocument();

    // Called after the recent documents were cleared, so that the menu does not go on listing them.
    std::function<void()> recentDocumentsChanged;

private:
    KoriDocumentController& documents_;
};

}  // namespace korimado
