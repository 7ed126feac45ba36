#pragma once

#include "platform/text/TextRange.h"

#include <QList>
#include <QString>

namespace korimado {

// One edit of a replace-all.
struct SearchReplacement {
    TextRange originalRange;  // in the text before the replacement
    QString replacement;      // after template expansion and line-ending conversion

    friend bool operator==(const SearchReplacement&, const SearchReplacement&) = default;
};

// The outcome of a replace-all: the edits, and the new content of the searched range as a whole
// for callers that write a text of their own (a file, the next rule).
struct SearchReplacementResult {
    TextRange searchedRange;  // in the text before
    QString replacement;      // the complete new content of searchedRange
    QList<SearchReplacement> edits;  // text order, disjoint
    qsizetype matchCount = 0;        // edits.size()
};

}  // namespace korimado
