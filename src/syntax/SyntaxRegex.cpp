#include "syntax/SyntaxRegex.h"

namespace korimado {

namespace {

// ICU counts time in engine steps (about ten thousand operations each): this cuts a single
// search at well under a second on this hardware; the wall-clock budget bounds the whole pass.
constexpr int32_t untrustedStepLimit = 40000;
constexpr int32_t untrustedStackLimit = 8 * 1024 * 1024;

}  // namespace

SyntaxRegex::SyntaxRegex(const QString& pattern, uint32_t options)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(pattern.utf16()), static_cast<int32_t>(pattern.size()));
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(source, options, parseError, status));
    if (U_SUCCESS(status)) pattern_ = std::move(compiled);
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
    : isCancelled_(isCancelled), untrusted_(untrusted), deadline_(std::chrono::steady_clock::now() + budget(untrusted, text.size()))
{
    if (!regex.pattern_) {
        stopped_ = true;
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    utext_openUChars(&text_, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    matcher_.reset(regex.pattern_->matcher(status));
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
    return std::chrono::steady_clock::now() > deadline_;
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

bool SyntaxRegex::Matcher::find()
{
    if (stopped_ || !matcher_) return false;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher_->find(status);
    if (U_FAILURE(status)) {
        stopped_ = true;
        return false;
    }
    return found;
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
