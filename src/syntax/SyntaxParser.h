#pragma once

#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxOutlineEntry.h"
#include "syntax/SyntaxTokenKind.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace korimado {

// Turns a text and its language into coloured spans and an outline. Stateless: safe on any
// thread; every call compiles its expressions afresh.
class SyntaxParser {
public:
    struct Result {
        std::vector<SyntaxTokenSpan> tokens;  // ascending, non-overlapping
        std::vector<SyntaxOutlineEntry> outline;
        bool truncated = false;  // a token limit or a time budget cut it short
    };

    // The default token limit: $KORIMADO_SYNTAX_TOKEN_LIMIT when it is an integer above 9, else 120000.
    static int maximumTokens();

    // isCancelled is polled before each expression and for each match; it must be cheap and
    // thread-safe. Without a limit, maximumTokens() applies; a limit below 10 counts as 10.
    static Result parse(const QString& text, const SyntaxLanguage& language, std::optional<int> tokenLimit = std::nullopt,
                        const std::function<bool()>& isCancelled = {});

    // The outline: the language's imported rules, then its built-in expression, by position.
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
