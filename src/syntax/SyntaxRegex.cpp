#include "syntax/SyntaxRegex.h"

#include <QHash>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace korimado {

namespace {

// ICU counts time in engine steps (about ten thousand operations each): this cuts a single
// search at well under a second on this hardware; the deadline bounds the whole run.
constexpr int32_t untrustedStepLimit = 40000;
constexpr int32_t untrustedStackLimit = 8 * 1024 * 1024;
// Beyond this many expressions the cache starts again: it holds what the catalog's languages
// use, a few thousand at most, not whatever a stream of edited packages once held.
constexpr qsizetype cacheCapacity = 4096;

std::shared_ptr<const icu::RegexPattern> compile(const QString& pattern, uint32_t options)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(pattern.utf16()), static_cast<int32_t>(pattern.size()));
    std::shared_ptr<const icu::RegexPattern> compiled(icu::RegexPattern::compile(source, options, parseError, status));
    if (U_FAILURE(status)) return nullptr;
    return compiled;
}

// One expression's compiling, shared by every parse that asks for it meanwhile.
struct Compilation {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    bool refused = false;
    std::shared_ptr<const icu::RegexPattern> pattern;

    void publish(std::shared_ptr<const icu::RegexPattern> compiled)
    {
        {
            std::lock_guard guard(lock);
            pattern = std::move(compiled);
            done = true;
        }
        finished.notify_all();
    }
};

// The expression and its options; the top bit marks an untrusted one.
using CacheKey = std::pair<QString, quint64>;

struct ExpressionCache {
    std::mutex lock;
    QHash<CacheKey, std::shared_ptr<Compilation>> entries;
};

ExpressionCache& expressionCache()
{
    static auto* cache = new ExpressionCache;  // compiling threads may outlive static destruction
    return *cache;
}

}  // namespace

SyntaxRegex::SyntaxRegex(const QString& pattern, uint32_t options) : pattern_(compile(pattern, options)) {}

SyntaxRegex SyntaxRegex::cached(const QString& pattern, uint32_t options, bool untrusted)
{
    const auto asked = Clock::now();
    ExpressionCache& cache = expressionCache();
    std::shared_ptr<Compilation> compilation;
    bool compileHere = false;
    {
        std::lock_guard guard(cache.lock);
        const CacheKey key{pattern, quint64(options) | (untrusted ? quint64(1) << 63 : 0)};
        auto found = cache.entries.constFind(key);
        if (found != cache.entries.constEnd()) {
            compilation = *found;
        } else {
            if (cache.entries.size() >= cacheCapacity) cache.entries.clear();
            compilation = std::make_shared<Compilation>();
            cache.entries.insert(key, compilation);
            compileHere = true;
        }
    }

    if (compileHere) {
        bool started = false;
        if (untrusted) {
            // ICU cannot be interrupted while it compiles: an expression that takes too long is
            // left to its own thread, so that the parse waiting for it can go on without it.
            try {
                std::thread([compilation, pattern, options] { compilation->publish(compile(pattern, options)); }).detach();
                started = true;
            } catch (const std::system_error&) {
            }
        }
        if (!started) compilation->publish(compile(pattern, options));
    }

    SyntaxRegex regex;
    std::unique_lock guard(compilation->lock);
    if (compilation->refused) return regex;
    if (untrusted) {
        if (!compilation->finished.wait_until(guard, asked + compileBudget, [&] { return compilation->done; })) {
            compilation->refused = true;
            return regex;
        }
    } else {
        compilation->finished.wait(guard, [&] { return compilation->done; });
    }
    regex.pattern_ = compilation->pattern;
    return regex;
}

void SyntaxRegex::clearCache()
{
    ExpressionCache& cache = expressionCache();
    std::lock_guard guard(cache.lock);
    cache.entries.clear();
}

QString SyntaxRegex::escapedPattern(const QString& pattern)
{
    static const QString metacharacters = QStringLiteral("*?+[(){}^$|\\./");
    QString escaped;
    escaped.reserve(pattern.size() * 2);
    for (const QChar c : pattern) {
        if (metacharacters.contains(c)) escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

std::chrono::milliseconds SyntaxRegex::budget(bool untrusted, qsizetype textLength)
{
    return (untrusted ? untrustedBudget : builtInBudget) + budgetPerMebiUnit * (textLength >> 20);
}

SyntaxRegex::Matcher::Matcher(const SyntaxRegex& regex, const QString& text, const CancelPoll* isCancelled, bool untrusted)
    : Matcher(regex, text, isCancelled, untrusted, Clock::now() + budget(untrusted, text.size()))
{
}

SyntaxRegex::Matcher::Matcher(const SyntaxRegex& regex, const QString& text, const CancelPoll* isCancelled, bool untrusted,
                              Clock::time_point deadline)
    : pattern_(regex.pattern_), length_(text.size()), isCancelled_(isCancelled), untrusted_(untrusted), deadline_(deadline)
{
    if (!pattern_) {
        stopped_ = true;
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    utext_openUChars(&text_, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    matcher_.reset(pattern_->matcher(status));
    if (U_FAILURE(status) || !matcher_) {
        matcher_.reset();
        stopped_ = true;
        return;
    }
    matcher_->reset(&text_);
    if (untrusted_) {
        matcher_->setTimeLimit(untrustedStepLimit, status);
        matcher_->setStackLimit(untrustedStackLimit, status);
    }
    matcher_->setMatchCallback(&Matcher::matchCallback, this, status);
    matcher_->setFindProgressCallback(&Matcher::findProgressCallback, this, status);
    if (U_FAILURE(status)) {
        matcher_.reset();
        stopped_ = true;
    }
}

SyntaxRegex::Matcher::~Matcher()
{
    matcher_.reset();
    utext_close(&text_);
}

bool SyntaxRegex::Matcher::shouldStop() const
{
    if (isCancelled_ && *isCancelled_ && (*isCancelled_)()) return true;
    return Clock::now() > deadline_;
}

UBool SyntaxRegex::Matcher::matchCallback(const void* context, int32_t)
{
    return !static_cast<const Matcher*>(context)->shouldStop();
}

UBool SyntaxRegex::Matcher::findProgressCallback(const void* context, int64_t)
{
    // Called for every start position tried: poll only now and then.
    const auto* self = static_cast<const Matcher*>(context);
    if ((++self->pollCounter_ & 0xFFF) != 0) return true;
    return !self->shouldStop();
}

bool SyntaxRegex::Matcher::finish(bool found, UErrorCode status)
{
    if (U_FAILURE(status)) {
        stopped_ = true;
        return false;
    }
    return found;
}

bool SyntaxRegex::Matcher::find()
{
    if (stopped_ || !matcher_) return false;
    if (Clock::now() > deadline_) {
        stopped_ = true;
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher_->find(status);
    return finish(found, status);
}

bool SyntaxRegex::Matcher::find(qsizetype start)
{
    if (stopped_ || !matcher_) return false;
    if (start >= length_) return false;
    if (Clock::now() > deadline_) {
        stopped_ = true;
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher_->find(static_cast<int64_t>(start), status);
    return finish(found, status);
}

int SyntaxRegex::Matcher::groupCount() const
{
    return matcher_ ? matcher_->groupCount() : 0;
}

qsizetype SyntaxRegex::Matcher::start(int group) const
{
    UErrorCode status = U_ZERO_ERROR;
    const int64_t value = matcher_->start64(group, status);
    return U_SUCCESS(status) ? static_cast<qsizetype>(value) : -1;
}

qsizetype SyntaxRegex::Matcher::end(int group) const
{
    UErrorCode status = U_ZERO_ERROR;
    const int64_t value = matcher_->end64(group, status);
    return U_SUCCESS(status) ? static_cast<qsizetype>(value) : -1;
}

}  // namespace korimado
