#pragma once

#include "platform/text/TextRange.h"
#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchMatch.h"
#include "search/engine/SearchRequest.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <unicode/regex.h>

#include <memory>

namespace korimado {

// Regular-expression matching on ICU, over the text's own UTF-16 (never a copy).
class SearchRegex {
public:
    // The compiled expression of a request: with wholeWord the pattern is fenced so that no
    // letter, mark, number or underscore touches the match; the option bits (preserved regex
    // bits, then the Booleans) become ICU flags. Throws SearchEngineError::invalidRegularExpression
    // with ICU's reason in Japanese. Also what a saved-rule check compiles.
    static std::unique_ptr<icu::RegexPattern> regularExpression(const SearchRequest& request);

    // The names of the named groups written in a pattern, in order, duplicates kept. A textual
    // scan: an escaped group opener is listed too.
    static QStringList namedCaptureNames(const QString& pattern);

    // Every match inside range (its edges act as anchoring bounds; lookaround does not see past
    // them). Polls the token at every match, every progress callback and every step callback of
    // ICU, so a long stretch without a match, or one long backtracking attempt, stops too.
    // Throws SearchEngineError.
    static QList<SearchMatch> matches(const QString& text, const SearchRequest& request, TextRange range,
                                      const SearchCancellationToken* cancellation);

    // ICU flags for the option bits of the platform layout (bit 0 case-insensitive ... bit 6
    // Unicode word boundaries).
    static uint32_t icuFlags(quint64 bits);
};

}  // namespace korimado
