#pragma once

#include <QList>

#include <vector>

class QWidget;

namespace korimado {

class Document;
class KoriDocument;

// The text documents in the order a script counts them: front to back, as their windows are
// stacked now. "document 1" and a command without a target mean the front one.
struct DocumentStacking {
    // windows: the windows front to back (most recently key first). A document whose window was
    // never key (one opened behind the others, or on a platform that activates nothing) comes
    // after those that were, the newest first; one without a window comes last.
    static std::vector<KoriDocument*> frontToBack(const std::vector<Document*>& documents,
                                                  const QList<QWidget*>& windows);
    // The same, with the windows as the program tracks them.
    static std::vector<KoriDocument*> frontToBack(const std::vector<Document*>& documents);
};

}  // namespace korimado
