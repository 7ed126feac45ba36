#include "app/DocumentStacking.h"

#include "document/KoriDocument.h"
#include "platform/ui/WindowController.h"
#include "platform/ui/WindowTracker.h"

#include <algorithm>
#include <limits>

namespace korimado {

std::vector<KoriDocument*> DocumentStacking::frontToBack(const std::vector<Document*>& documents,
                                                         const QList<QWidget*>& windows)
{
    struct Ranked {
        KoriDocument* document;
        qsizetype rank;    // place of its window in the stack; past the end when never key
        qsizetype opened;  // place in the order of opening
        bool hasWindow;
    };
    std::vector<Ranked> ranked;
    for (Document* document : documents) {
        auto* text = qobject_cast<KoriDocument*>(document);
        if (!text)
            continue;
        QWidget* window = WindowController::sheetWindowOf(text->windowControllers());
        const qsizetype at = window ? windows.indexOf(window) : -1;
        ranked.push_back({text, at < 0 ? std::numeric_limits<qsizetype>::max() : at, qsizetype(ranked.size()), window != nullptr});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.hasWindow != b.hasWindow)
            return a.hasWindow;
        if (a.rank != b.rank)
            return a.rank < b.rank;
        // Both never key: the newer window opened on top.
        return a.hasWindow && a.opened > b.opened;
    });
    std::vector<KoriDocument*> ordered;
    ordered.reserve(ranked.size());
    for (const Ranked& entry : ranked)
        ordered.push_back(entry.document);
    return ordered;
}

std::vector<KoriDocument*> DocumentStacking::frontToBack(const std::vector<Document*>& documents)
{
    return frontToBack(documents, WindowTracker::shared().orderedWindows());
}

}  // namespace korimado
