#pragma once

#include <QString>

#include <unicode/regex.h>
#include <unicode/utext.h>

#include <chrono>
#include <functional>
#include <memory>

namespace korimado {

// An ICU expression run over a QString in place (offsets are UTF-16 indices), polled for
// cancellation while it searches. Every pass has a time budget, so that a pathological pattern
// (or a built-in one meeting unusual text) ends instead of holding a worker; expressions read
// from syntax packages get a shorter budget and ICU's own step and stack limits as well.
class SyntaxRegex {
public:
    using CancelPoll = std::function<bool()>;

    enum Option : uint32_t {
        caseInsensitive = UREGEX_CASE_INSENSITIVE,
        anchorsMatchLines = UREGEX_MULTILINE,
        dotMatchesLineSeparators = UREGEX_DOTALL,
    };

    // Wall-clock budgets of one expression over one text, growing with its length so that an
    // ordinary pass over a very large text is not cut short.
    static constexpr std::chrono::milliseconds untrustedBudget{1500};
    static constexpr std::chrono::milliseconds builtInBudget{3000};
    static constexpr std::chrono::milliseconds budgetPerMebiUnit{100};
    static std::chrono::milliseconds budget(bool untrusted, qsizetype textLength);

    SyntaxRegex(const QString& pattern, uint32_t options);
    bool isValid() const { return pattern_ != nullptr; }

    // Makes `pattern` literal, escaping the characters Foundation escapes.
    static QString escapedPattern(const QString& pattern);

    // One pass over a text. The text must outlive the matcher.
    class Matcher {
    public:
        // untrusted: an expression from a package, with the shorter budget and ICU's limits.
        Matcher(const SyntaxRegex& regex, const QString& text, const CancelPoll* isCancelled, bool untrusted);
        ~Matcher();
        Matcher(const Matcher&) = delete;
        Matcher& operator=(const Matcher&) = delete;

        // The next match; false at the end, on cancellation, on time-out or on an engine error.
        bool find();
        // True when the last find() ended for another reason than reaching the end of the text.
        bool stoppedEarly() const { return stopped_; }
        int groupCount() const;
        // Bounds of a group of the current match; start is -1 when the group did not take part.
        qsizetype start(int group = 0) const;
        qsizetype end(int group = 0) const;

    private:
        static UBool matchCallback(const void* context, int32_t steps);
        static UBool findProgressCallback(const void* context, int64_t index);
        bool shouldStop() const;

        std::unique_ptr<icu::RegexMatcher> matcher_;
        UText text_ = UTEXT_INITIALIZER;
        const CancelPoll* isCancelled_;
        bool untrusted_;
        std::chrono::steady_clock::time_point deadline_;
        mutable unsigned pollCounter_ = 0;
        bool stopped_ = false;
    };

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
};

}  // namespace korimado
