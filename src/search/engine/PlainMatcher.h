#pragma once

#include "platform/text/TextRange.h"
#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchMatch.h"
#include "search/engine/SearchOptions.h"
#include "search/engine/TextFolding.h"

#include <QList>
#include <QString>

namespace korimado {

// Plain matching: the pattern (already given the document's line ending) compared with the text
// inside scope under the comparison options. Text and pattern are folded (TextFolding), the
// folded pattern is looked for in the folded text, and a hit counts only when it maps back to
// whole grapheme clusters of the whole text. Occurrences never overlap; one rejected by the
// whole-word test hides any occurrence that starts inside it. The text is folded a stretch at a
// time, so memory stays small whatever its length.
class PlainMatcher {
public:
    // How the text is walked: straight to each place where the piece of the pattern that every
    // match shows (PlainLiterals) stands, folding only around it; or folding all of it, the
    // slower way that gives the same matches.
    enum class Walk { toLiterals, foldingAll };

    // Throws SearchEngineError::cancelled when the token is set while it works.
    static QList<SearchMatch> matches(const QString& text, const QString& pattern, TextRange scope,
                                      const SearchOptions& options, const SearchCancellationToken* cancellation,
                                      Walk walk = Walk::toLiterals);

    // The comparison options in force, from the preserved textual bits and the Booleans. Only
    // the case (1), literal (2), diacritic (128) and width (256) bits change matching.
    static FoldingMode foldingMode(const SearchOptions& options);

    // Source units folded per stretch (more when the pattern is long).
    static constexpr qsizetype stretchLength = 1 << 18;
};

}  // namespace korimado
