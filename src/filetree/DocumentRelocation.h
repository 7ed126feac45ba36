#pragma once

#include <QString>

#include <vector>

namespace korimado {

class Document;
class DocumentController;

// Open documents following an item that the file browser moved or gave a new name.
namespace DocumentRelocation {

// The documents of the controller, in its order, whose file is url or lies under it (standardised
// paths, links not followed). None without a controller.
std::vector<Document*> openDocuments(const QString& url, const DocumentController* controller);

// Gives each of those documents its new location; the document then watches the file there.
// Unsaved edits stay: only the location changes.
void relocate(const QString& oldURL, const QString& newURL, DocumentController* controller);

}  // namespace DocumentRelocation

}  // namespace korimado
