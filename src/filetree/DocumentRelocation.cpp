#include "filetree/DocumentRelocation.h"

#include "filetree/TreePath.h"
#include "platform/documents/Document.h"
#include "platform/documents/DocumentController.h"

namespace korimado::DocumentRelocation {

std::vector<Document*> openDocuments(const QString& url, const DocumentController* controller)
{
    std::vector<Document*> found;
    if (!controller) return found;
    const QString base = TreePath::standardized(url);
    for (Document* document : controller->documents()) {
        if (document->fileURL().isEmpty()) continue;
        if (TreePath::isAtOrUnder(TreePath::standardized(document->fileURL()), base)) found.push_back(document);
    }
    return found;
}

void relocate(const QString& oldURL, const QString& newURL, DocumentController* controller)
{
    const QString oldBase = TreePath::standardized(oldURL);
    const QString newBase = TreePath::standardized(newURL);
    for (Document* document : openDocuments(oldBase, controller)) {
        document->setFileURL(TreePath::rebased(TreePath::standardized(document->fileURL()), oldBase, newBase));
    }
}

}  // namespace korimado::DocumentRelocation
