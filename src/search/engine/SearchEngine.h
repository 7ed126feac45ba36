#pragma once

#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchMatch.h"
#include "search/engine/SearchOptions.h"
#include "search/engine/SearchReplacementResult.h"
#include "search/engine/SearchRequest.h"

#include <QString>

#include <cstdint>

namespace korimado {

// The search core every surface stands on: the find panel, multi-rule replace, folder search and
// scripting. Static functions only; no state, nothing cached per text. Re-entrant: callers run it
// on their own queues with a snapshot of the text. All positions are UTF-16 offsets of the whole
// text, also with a scope. Failures throw SearchEngineError.
class SearchEngine {
public:
    SearchEngine() = delete;

    // Every match of the request, in text order, never overlapping. The scope is checked first
    // (invalidRange), also for an empty pattern, which then finds nothing without looking at the
    // token. A token cancelled before, during or after the search throws cancelled and nothing
    // partial is returned. revision is stored in the result unchanged.
    static SearchResultSet findAll(const QString& text, const SearchRequest& request, std::uint64_t revision,
                                   const SearchCancellationToken* cancellation = nullptr);

    // The text to insert for one match. Plain mode: the template as it stands. Expression mode:
    // $& and $0 are the match, $ followed by digits is the group of the whole run of digits
    // ($12 is group 12), a missing group is empty; a backslash takes the next character as it
    // is, or with unescapesReplacementString turns \n \r \t into the control characters. ${name}
    // is not a reference. Never fails.
    static QString expandedReplacement(const QString& replacementTemplate, const SearchMatch& match,
                                       const QString& source, const SearchOptions& options);

    // A replace-all computed without touching any document: the new content of the searched
    // range in one string and the list of edits. The request's line ending, when set, is given to
    // every expanded replacement. Throws what findAll throws, and cancelled between edits.
    static SearchReplacementResult replacingAll(const QString& text, const SearchRequest& request,
                                                const SearchCancellationToken* cancellation = nullptr);
};

}  // namespace korimado
