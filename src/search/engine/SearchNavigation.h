#pragma once

#include "platform/text/TextRange.h"
#include "search/engine/SearchMatch.h"

#include <QList>

#include <optional>

namespace korimado {

enum class SearchDirection { forward, backward };

// Which match a find-next, find-previous or replace goes to from the current selection. Pure, so
// the panel can run it on its queue beside the search.
class SearchNavigation {
public:
    SearchNavigation() = delete;

    // The next match after the selection (forward) or the last one before it (backward); with
    // wraps, the first (last) match when none qualifies, marked wrapped. An empty match exactly at
    // the caret is passed over, so that repeated find-next moves on.
    static std::optional<SearchNavigationResult> navigate(const QList<SearchMatch>& matches, TextRange selection,
                                                          qsizetype textLength, SearchDirection direction, bool wraps);

    // The match a replace acts on: the one that is exactly the selection (wrapped false, the
    // caller replaces it), else what forward navigation gives (the caller selects it first).
    struct ReplaceTarget {
        SearchNavigationResult result;
        bool isSelection = false;
    };
    static std::optional<ReplaceTarget> replaceTarget(const QList<SearchMatch>& matches, TextRange selection,
                                                      qsizetype textLength, bool wraps);
};

}  // namespace korimado
