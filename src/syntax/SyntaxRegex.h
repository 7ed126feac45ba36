#pragma once

#include <QString>

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <chrono>
#include <functional>
#include <memory>

namespace korimado {

// An ICU expression run over a QString in place (offsets are UTF-16 indices), polled for
// cancellation while it searches. Every run has a deadline, so that a pathological pattern (or a
// built-in one meeting unusual text) ends instead of holding a worker; expressions read from
// syntax packages also get ICU's own step and stack limits.
class SyntaxRegex {
public:
    using CancelPoll = std::function<bool()>;
    using Clock = std::chrono::steady_clock;

    enum Option : uint32_t {
        caseInsensitive = UREGEX_CASE_INSENSITIVE,
        anchorsMatchLines = UREGEX_MULTILINE,
        dotMatchesLineSeparators = UREGEX_DOTALL,
    };

    // Wall-clock budgets of a whole parse (or outline) of one text, growing with its length so
    // that an ordinary parse of a very large text is not cut short.
    static constexpr std::chrono::milliseconds untrustedBudget{1500};
    static constexpr std::chrono::milliseconds builtInBudget{3000};
    static constexpr std::chrono::milliseconds budgetPerMebiUnit{100};
    static std::chrono::milliseconds budget(bool untrusted, qsizetype textLength);
    // An expression from a package whose compiling takes longer than this is refused.
    static constexpr std::chrono::milliseconds compileBudget{500};

    SyntaxRegex() = default;
    SyntaxRegex(const QString& pattern, uint32_t options);
    bool isValid() const { return pattern_ != nullptr; }

    // The compiled expression, compiled once per process and shared by every parse. An untrusted
    // expression that does not compile within compileBudget is refused (invalid) from then on; its
    // compiling is left to finish on its own thread.
    static SyntaxRegex cached(const QString& pattern, uint32_t options, bool untrusted);
    // Forgets the compiled expressions (the syntax catalog was rebuilt).
    static void clearCache();

    // Makes `pattern` literal, escaping the characters Foundation escapes.
    static QString escapedPattern(const QString& pattern);

    // One run over a text. The text must outlive the matcher.
    class Matcher {
    public:
        // untrusted: an expression from a package, which gets ICU's step and stack limits.
        Matcher(const SyntaxRegex& regex, const QString& text, const CancelPoll* isCancelled, bool untrusted,
                Clock::time_point deadline);
        // With a deadline of its own, the budget of one run over this text.
        Matcher(const SyntaxRegex& regex, const QString& text, const CancelPoll* isCancelled, bool untrusted);
        ~Matcher();
        Matcher(const Matcher&) = delete;
        Matcher& operator=(const Matcher&) = delete;

        // The next match; false at the end, on cancellation, on time-out or on an engine error.
        bool find();
        // The first match starting at or after `start`, the text before it still seen by
        // look-behinds, anchors and word boundaries.
        bool find(qsizetype start);
        // True when a find() ended for another reason than reaching the end of the text.
        bool stoppedEarly() const { return stopped_; }
        int groupCount() const;
        // Bounds of a group of the current match; start is -1 when the group did not take part.
        qsizetype start(int group = 0) const;
        qsizetype end(int group = 0) const;

    private:
        static UBool matchCallback(const void* context, int32_t steps);
        static UBool findProgressCallback(const void* context, int64_t index);
        bool shouldStop() const;
        bool finish(bool found, UErrorCode status);

        std::shared_ptr<const icu::RegexPattern> pattern_;
        std::unique_ptr<icu::RegexMatcher> matcher_;
        UText text_ = UTEXT_INITIALIZER;
        qsizetype length_ = 0;
        const CancelPoll* isCancelled_;
        bool untrusted_;
        Clock::time_point deadline_;
        mutable unsigned pollCounter_ = 0;
        bool stopped_ = false;
    };

private:
    std::shared_ptr<const icu::RegexPattern> pattern_;
};

}  // namespace korimado
