// Expressions built from pieces of ICU syntax over text full of case pairs, case-folding traps
// (the Kelvin sign, the long s, "ß", ligatures), marks, line breaks of every kind and surrogates:
// the search that looks for required literals first finds exactly what the expression finds run
// over the whole range, captures included.
#include "FuzzSupport.h"

#include "search/engine/RegexLiterals.h"
#include "search/engine/SearchEngineError.h"
#include "search/engine/SearchRegex.h"

#include <chrono>
#include <mutex>
#include <thread>

using namespace korimado;

namespace {

QString patternOf(const std::uint8_t* data, std::size_t size)
{
    static const char16_t* const pieces[] = {
        u"a", u"b", u"ab", u"abc", u"k", u"K", u"s", u"st", u"ss", u"ß", u"ff", u"é", u"e\u0301", u"1", u"-", u" ",
        u"\\b", u"\\B", u"(?<=a)", u"(?<!b)", u"(?=c)", u"(?!a)", u"^", u"$", u".", u"\\n", u"\\r?\\n", u"\\R",
        u"[a-c]", u"[^a]", u"[\\p{L}]", u"\\w", u"\\s", u"\\S", u"\\d", u"\\h", u"*", u"+", u"?", u"*?", u"{2}",
        u"{1,3}", u"{0,2}", u"(", u"(?:", u"(?<n>", u")", u"|", u"\\Q.a\\E", u"\\x{61}", u"\\u00DF", u"\\1",
        u"\\.", u"\\-", u"\\X", u"(?i)", u"\\A", u"\\z", u"[\\s\\S]", u"\\p{Lu}", u"\\u2028", u"x",
    };
    QString out;
    for (std::size_t i = 0; i < size; ++i) out += QString::fromUtf16(pieces[data[i] % (sizeof pieces / sizeof *pieces)]);
    return out;
}

QString textOf(const std::uint8_t* data, std::size_t size)
{
    static const char16_t loneHigh[] = {0xD83D, 0};
    static const char16_t* const pieces[] = {
        u"a", u"b", u"c", u"A", u"B", u"C", u"k", u"K", u"\u212A", u"s", u"S", u"\u017F", u"t", u"\u00DF",
        u"\u1E9E", u"\uFB00", u"\uFB05", u"f", u"F", u"\u0130", u"i", u"e", u"\u00E9", u"\u0301", u"1", u"-",
        u" ", u"_", u".", u"\n", u"\r", u"\r\n", u"\u0085", u"\u2028", u"\u000B", u"\U0001F600", loneHigh,
        u"x", u"ab", u"abc", u"\u3042",
    };
    QString out;
    for (std::size_t i = 0; i < size; ++i) out += QString::fromUtf16(pieces[data[i] % (sizeof pieces / sizeof *pieces)]);
    return out;
}

// A random expression may backtrack exponentially even on a short text: an input whose search
// runs past a budget is given up on both roads alike, as a user would cancel it.
class Budget {
public:
    Budget()
    {
        std::thread([this] { watch(); }).detach();
    }

    SearchCancellationTokenPtr start()
    {
        std::lock_guard lock(mutex_);
        token_ = CancellationToken::make();
        deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
        return token_;
    }

private:
    void watch()
    {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::lock_guard lock(mutex_);
            if (token_ && std::chrono::steady_clock::now() > deadline_) token_->cancel();
        }
    }

    std::mutex mutex_;
    SearchCancellationTokenPtr token_;
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    const std::uint8_t bits = data[0];
    const std::size_t patternLength = std::min<std::size_t>(data[1] % 12, size - 4);
    SearchRequest request;
    request.pattern = patternOf(data + 4, patternLength);
    // Short texts: a random expression may backtrack exponentially, on both roads alike.
    const QString text = textOf(data + 4 + patternLength, std::min<std::size_t>(size - 4 - patternLength, 160));
    request.options.mode = SearchMode::regularExpression;
    request.options.caseSensitive = !(bits & 1);
    request.options.dotMatchesNewline = bits & 2;
    request.options.isMultiline = bits & 4;
    request.options.wholeWord = bits & 8;
    request.options.usesUnicodeBoundaries = bits & 16;
    if (bits & 32) request.options.preservedRegexOptionsRawValue = 32;  // Unix line separators
    TextRange range(0, text.size());
    if (bits & 64) {
        const qsizetype from = text.isEmpty() ? 0 : data[2] % (text.size() + 1);
        range = TextRange(from, (text.size() - from) == 0 ? 0 : data[3] % (text.size() - from + 1));
    }

    QString expression;
    uint32_t flags = 0;
    std::unique_ptr<icu::RegexPattern> pattern;
    try {
        pattern = SearchRegex::compiled(request, &expression, &flags);
    } catch (const SearchEngineError&) {
        return 0;
    }
    const std::optional<RegexLiterals> literals = RegexLiterals::analyse(expression, flags);
    if (!literals) return 0;
    if (!literals->singleLine && !literals->maximumLength) return 0;

    static Budget& budget = *new Budget;  // never destroyed: its thread outlives the statics
    QList<SearchMatch> plain;
    QList<SearchMatch> prefiltered;
    const SearchCancellationTokenPtr token = budget.start();
    try {
        plain = SearchRegex::matches(text, *pattern, request.pattern, range, nullptr, token.get());
    } catch (const SearchEngineError& error) {
        // Given up, or the expression exhausted ICU's stack over the whole range, where the
        // literals may let the other road skip the expression: there is no answer to compare.
        if (error.kind() != SearchEngineError::Kind::cancelled
            && error.kind() != SearchEngineError::Kind::expressionTooComplex)
            throw;
        return 0;
    }
    try {
        prefiltered = SearchRegex::matches(text, *pattern, request.pattern, range, &*literals, token.get());
    } catch (const SearchEngineError& error) {
        if (error.kind() != SearchEngineError::Kind::cancelled) throw;
        return 0;  // given up
    }
    if (plain != prefiltered) {
        std::fprintf(stderr, "expression %s flags %u: %lld matches, prefiltered %lld\n", expression.toUtf8().constData(),
                     flags, qlonglong(plain.size()), qlonglong(prefiltered.size()));
    }
    FUZZ_CHECK(plain == prefiltered);
    return 0;
}
