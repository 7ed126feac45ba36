#pragma once

#include "platform/text/TextRange.h"
#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchMatch.h"
#include "search/engine/RegexLiterals.h"
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

    // The same over an expression already compiled (patternText is what the user wrote, for the
    // group names), looking first for the literals every match holds when they are given.
    static QList<SearchMatch> matches(const QString& text, const icu::RegexPattern& pattern, const QString& patternText,
                                      TextRange range, const RegexLiterals* literals,
                                      const SearchCancellationToken* cancellation);

    // The longest match, in units, for which a multi-line expression is still run only around
    // its literals.
    static constexpr qsizetype maximumRegionSpan = 4096;

    // ICU flags for the option bits of the platform layout (bit 0 case-insensitive ... bit 6
    // Unicode word boundaries).
    static uint32_t icuFlags(quint64 bits);

    // regularExpression, also giving the expression as compiled and its ICU flags.
    static std::unique_ptr<icu::RegexPattern> compiled(const SearchRequest& request, QString* expression,
                                                       uint32_t* flags);
};

}  // namespace korimado
