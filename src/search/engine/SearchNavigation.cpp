#include "search/engine/SearchNavigation.h"

#include <algorithm>

namespace korimado {

std::optional<SearchNavigationResult> SearchNavigation::navigate(const QList<SearchMatch>& matches, TextRange selection,
                                                                 qsizetype textLength, SearchDirection direction,
                                                                 bool wraps)
{
    if (matches.isEmpty()) return std::nullopt;
    qsizetype lower = 0;
    qsizetype upper = 0;
    if (!selection.isNotFound()) {
        lower = std::clamp<qsizetype>(selection.location, 0, textLength);
        upper = std::clamp<qsizetype>(std::max(lower, selection.location + selection.length), 0, textLength);
    }
    const bool empty = upper == lower;
    const qsizetype total = matches.size();
    if (direction == SearchDirection::forward) {
        for (qsizetype i = 0; i < total; ++i) {
            const TextRange r = matches[i].range;
            if (r.location < upper) continue;
            if (empty && r.isEmpty() && r.location == upper) continue;
            return SearchNavigationResult{matches[i], i, total, false};
        }
        if (wraps) return SearchNavigationResult{matches.first(), 0, total, true};
    } else {
        for (qsizetype i = total - 1; i >= 0; --i) {
            const TextRange r = matches[i].range;
            if (r.end() > lower) continue;
            if (r.isEmpty() && r.location == lower) continue;
            return SearchNavigationResult{matches[i], i, total, false};
        }
        if (wraps) return SearchNavigationResult{matches.last(), total - 1, total, true};
    }
    return std::nullopt;
}

std::optional<SearchNavigation::ReplaceTarget> SearchNavigation::replaceTarget(const QList<SearchMatch>& matches,
                                                                             TextRange selection, qsizetype textLength,
                                                                             bool wraps)
{
    for (qsizetype i = 0; i < matches.size(); ++i) {
        if (matches[i].range == selection) {
            return ReplaceTarget{SearchNavigationResult{matches[i], i, matches.size(), false}, true};
        }
    }
    if (auto next = navigate(matches, selection, textLength, SearchDirection::forward, wraps)) {
        return ReplaceTarget{*next, false};
    }
    return std::nullopt;
}

}  // namespace korimado
