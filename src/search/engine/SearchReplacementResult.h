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

// The outcome of a replace-all: the caller applies one replacement of searchedRange.
struct SearchReplacementResult {
    TextRange searchedRange;  // in the text before
    QString replacement;      // the complete new content of searchedRange
    QList<SearchReplacement> edits;  // text order, disjoint
    qsizetype matchCount = 0;        // edits.size()

    // Carries a position in the text before the replace-all to the text after it. A position
    // inside an edit (or at an empty edit) goes to the start of its replacement, or to its end
    // with trailing; the end of a non-empty replaced range counts as after the edit.
    qsizetype mapPosition(qsizetype position, bool trailing) const;
};

}  // namespace korimado
