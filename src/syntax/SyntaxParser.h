#pragma once

#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxOutlineEntry.h"
#include "syntax/SyntaxTokenKind.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace korimado {

// Turns a text and its language into coloured spans and an outline. Stateless: safe on any
// thread; compiled expressions are shared through the process-wide expression cache.
class SyntaxParser {
public:
    struct Result {
        std::vector<SyntaxTokenSpan> tokens;  // ascending, non-overlapping
        std::vector<SyntaxOutlineEntry> outline;
        bool truncated = false;         // a token limit or the time budget cut the tokens short
        bool outlineTruncated = false;  // the outline holds only the entries found before a limit
    };

    // The default token limit: $KORIMADO_SYNTAX_TOKEN_LIMIT when it is an integer above 9, else 120000.
    static qint64 maximumTokens();

    // isCancelled is polled before each candidate and inside long searches; it must be cheap and
    // thread-safe. Without a limit, maximumTokens() applies; a limit below 10 counts as 10. One
    // time budget covers the whole call, tokens and outline together.
    static Result parse(const QString& text, const SyntaxLanguage& language, std::optional<qint64> tokenLimit = std::nullopt,
                        const std::function<bool()>& isCancelled = {});

    // The tokens parse() would find from `from` on, when `from` lies inside no token of parse(text):
    // the whole text stays the context of every match. Before a candidate at L is taken,
    // stopAt(L, end of the last token) may end the sweep at L.
    struct Resumed {
        std::vector<SyntaxTokenSpan> tokens;  // from `from` up to stop
        qsizetype stop = 0;                   // the tokens before it are final; no token crosses it
        bool stoppedByCaller = false;
        bool truncated = false;  // the limit or the budget ended it: stop is the end of the last token
        bool cancelled = false;
    };
    static Resumed sweepFrom(const QString& text, const SyntaxLanguage& language, qsizetype from,
                             const std::function<bool(qsizetype, qsizetype)>& stopAt, qint64 tokenLimit,
                             const std::function<bool()>& isCancelled = {});

    // Whether parse() finds nothing in any text of the language (plain text without outline
    // rules): a caller need not flatten the text for it.
    static bool findsNothingIn(const SyntaxLanguage& language);

    struct Outline {
        std::vector<SyntaxOutlineEntry> entries;
        bool truncated = false;  // the entry limit or the deadline was reached
    };
    // The outline: the language's imported rules, then its built-in expression, by position.
    // At most entryLimit entries; the searches end at the deadline.
    static Outline outline(const QString& text, const SyntaxLanguage& language, const std::function<bool()>& isCancelled,
                           qint64 entryLimit, std::chrono::steady_clock::time_point deadline);
    // The same with the default limit and a budget of its own.
    static std::vector<SyntaxOutlineEntry> outline(const QString& text, const SyntaxLanguage& language,
                                                   const std::function<bool()>& isCancelled = {});

    // Foundation's replacement template: "$n" is group n (as many digits as name a group),
    // a backslash takes the next character literally.
    static QString expandTemplate(const QString& templateText, const QString& text, const std::vector<qsizetype>& groupBounds);

    struct Pattern {
        QString pattern;
        SyntaxTokenKind kind;
        uint32_t options;
        int priority;  // smaller wins
        bool imported;
        // For the keyword expression: its words, so that it can be run as a scan of whole words.
        QStringList words = {};
    };
    // The ordered expressions of a language: imported rules first, then the built-in ones.
    static std::vector<Pattern> patterns(const SyntaxLanguage& language);
};

}  // namespace korimado
