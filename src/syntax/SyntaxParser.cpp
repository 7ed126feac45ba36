#include "syntax/SyntaxParser.h"

#include "syntax/SyntaxRegex.h"

#include <QSet>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <queue>

namespace korimado {

namespace {

constexpr int defaultMaximumTokens = 120000;
constexpr int minimumTokenLimit = 10;

// The string expression of a built-in language that has one of its own; nothing for the others.
const QString* ownStringPattern(const QString& id)
{
    static const QString python = QStringLiteral(
        R"((?s)(?:[rubfRUBF]{0,2})(?:""".*?"""|'''.*?'''|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*'))");
    static const QString script = QStringLiteral(R"((?s)`(?:\\.|[^`\\])*`|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*')");
    static const QString shell = QStringLiteral(R"("(?:\\.|[^"\\])*"|'[^']*')");
    static const QString sql = QStringLiteral(R"('(?:''|[^'])*'|"(?:""|[^"])*")");
    if (id == QLatin1String("python")) return &python;
    if (id == QLatin1String("javascript") || id == QLatin1String("typescript")) return &script;
    if (id == QLatin1String("shell")) return &shell;
    if (id == QLatin1String("sql")) return &sql;
    return nullptr;
}

const QString& genericStringPattern()
{
    static const QString pattern = QStringLiteral(R"("(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*')");
    return pattern;
}

using Kind = SyntaxTokenKind;

struct FixedPattern {
    const char16_t* pattern;
    Kind kind;
    int priority;
};

const FixedPattern markdownPatterns[] = {
    {uR"((?s)<!--.*?-->)", Kind::comment, 0},
    {uR"((?ms)^(```|~~~).*?^\1[ \t]*$)", Kind::string, 0},
    {uR"((?m)^[ \t]{0,3}#{1,6}[ \t]+.*$|^[ \t]{0,3}(?:=+|-+)[ \t]*$)", Kind::heading, 1},
    {uR"(`[^`\n]+`)", Kind::string, 1},
    {uR"(!?\[[^\]\n]*\]\([^\)\n]+\))", Kind::attribute, 2},
    {uR"((?m)^[ \t]{0,3}(?:>|[-+*]|\d+[.)])[ \t]+)", Kind::keyword, 3},
};

const FixedPattern htmlPatterns[] = {
    {uR"((?s)<!--.*?-->)", Kind::comment, 0},
    // Quoted attribute values only: apostrophes in prose are not quotes.
    {uR"((?<==\s{0,4})(?:"[^"]*"|'[^']*'))", Kind::string, 1},
    {uR"((?i)</?[A-Za-z][A-Za-z0-9:-]*\b|/?>)", Kind::tag, 2},
    {uR"((?i)\b[A-Za-z_:][-A-Za-z0-9_:.]*(?=\s*=))", Kind::attribute, 3},
    {uR"(&#?(?:[A-Za-z][A-Za-z0-9]+|x[0-9A-Fa-f]+|\d+);)", Kind::number, 4},
};

const FixedPattern cssPatterns[] = {
    {uR"((?s)/\*.*?\*/)", Kind::comment, 0},
    {uR"("(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*')", Kind::string, 1},
    {uR"(#[0-9A-Fa-f]{3,8}\b|\b\d+(?:\.\d+)?(?:%|px|em|rem|vh|vw|s|ms|deg)?\b)", Kind::number, 2},
    {uR"((?m)^\s*[-A-Za-z]+(?=\s*:)|(?<=[;{])\s*[-A-Za-z]+(?=\s*:))", Kind::property, 3},
    {uR"(--[-A-Za-z0-9_]+|\$[-A-Za-z0-9_]+)", Kind::variable, 3},
    {uR"(@[A-Za-z-]+)", Kind::keyword, 4},
};

template <size_t N>
void appendFixed(std::vector<SyntaxParser::Pattern>& list, const FixedPattern (&table)[N])
{
    for (const FixedPattern& p : table) list.push_back({QString::fromUtf16(p.pattern), p.kind, 0, p.priority, false});
}

// ICU's \w: alphabetic, marks, decimal digits, connector punctuation, ZWNJ and ZWJ.
bool isWordCharacter(char32_t c)
{
    if (c == 0x200C || c == 0x200D) return true;
    if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC)) return true;
    const int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK
           || type == U_DECIMAL_DIGIT_NUMBER || type == U_CONNECTOR_PUNCTUATION;
}

// Characters ICU's \b looks through, as if they were not there.
bool isTransparentToWordBoundary(char32_t c)
{
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_GRAPHEME_EXTEND) || u_charType(static_cast<UChar32>(c)) == U_FORMAT_CHAR;
}

QString foldedCase(QStringView text)
{
    std::u16string folded(static_cast<size_t>(text.size()) * 3 + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()), text.utf16(),
                                         static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) return text.toString();
    return QString::fromUtf16(folded.data(), length);
}

// The words of a keyword expression, looked up as whole words (case-folded when ignoring case).
class KeywordSet {
public:
    // Nothing when a word is empty or holds a character that is not a word character: then
    // only the expression itself gives the right matches.
    static std::optional<KeywordSet> make(const QStringList& words, bool ignoreCase)
    {
        KeywordSet set;
        set.ignoreCase_ = ignoreCase;
        for (const QString& word : words) {
            if (word.isEmpty()) return std::nullopt;
            for (const char32_t c : word.toUcs4()) {
                if (!isWordCharacter(c)) return std::nullopt;
            }
            const QString key = ignoreCase ? foldedCase(word) : word;
            set.longest_ = std::max(set.longest_, key.size());
            set.words_.insert(key);
        }
        return set;
    }
    bool contains(QStringView word) const
    {
        // Folding never shortens a text, so a longer word cannot be one of them.
        if (word.size() > longest_) return false;
        return ignoreCase_ ? words_.contains(foldedCase(word)) : words_.contains(word.toString());
    }

private:
    QSet<QString> words_;
    qsizetype longest_ = 0;
    bool ignoreCase_ = false;
};

char32_t codePointAt(const char16_t* data, qsizetype size, qsizetype i, qsizetype* next)
{
    const char16_t c = data[i];
    if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(data[i + 1])) {
        *next = i + 2;
        return QChar::surrogateToUcs4(c, data[i + 1]);
    }
    *next = i + 1;
    return c;
}

// The matches of "\b\w+\b" that are keywords, found without the expression: ICU's backtracking
// stack overflows on a word of about a million characters, which would end the whole pass.
class WordScanner {
public:
    WordScanner(const QString& text, KeywordSet keywords)
        : data_(reinterpret_cast<const char16_t*>(text.utf16())), size_(text.size()), keywords_(std::move(keywords))
    {
    }

    bool find(qsizetype from)
    {
        qsizetype i = std::max<qsizetype>(from, 0);
        bool afterWord = wordBefore(i);
        while (i < size_) {
            qsizetype next = 0;
            const char32_t c = codePointAt(data_, size_, i, &next);
            if (isTransparentToWordBoundary(c)) {
                i = next;
                continue;
            }
            const bool word = isWordCharacter(c);
            if (word && !afterWord) {
                // A word begins here; it matches when its end is a boundary, that is, unless
                // the character after it is one that \b looks through.
                qsizetype end = next;
                while (end < size_) {
                    qsizetype after = 0;
                    if (!isWordCharacter(codePointAt(data_, size_, end, &after))) break;
                    end = after;
                }
                qsizetype ignored = 0;
                const bool boundary = end == size_ || !isTransparentToWordBoundary(codePointAt(data_, size_, end, &ignored));
                if (boundary && keywords_.contains(QStringView(data_ + i, end - i))) {
                    start_ = i;
                    end_ = end;
                    return true;
                }
                i = end;
                afterWord = true;
                continue;
            }
            afterWord = word;
            i = next;
        }
        return false;
    }
    qsizetype start() const { return start_; }
    qsizetype end() const { return end_; }

private:
    // Whether the last character before i that \b does not look through is a word character.
    bool wordBefore(qsizetype i) const
    {
        while (i > 0) {
            qsizetype start = i - 1;
            if (start > 0 && QChar::isLowSurrogate(data_[start]) && QChar::isHighSurrogate(data_[start - 1])) --start;
            qsizetype ignored = 0;
            const char32_t c = codePointAt(data_, size_, start, &ignored);
            if (!isTransparentToWordBoundary(c)) return isWordCharacter(c);
            i = start;
        }
        return false;
    }

    const char16_t* data_;
    qsizetype size_;
    KeywordSet keywords_;
    qsizetype start_ = 0;
    qsizetype end_ = 0;
};

// The matches of one pattern in the order the sweep asks for them.
class CandidateStream {
public:
    CandidateStream(const SyntaxParser::Pattern& pattern, const QString& text, bool ignoreCaseWords,
                    const std::function<bool()>* isCancelled, SyntaxRegex::Clock::time_point deadline)
        : kind(pattern.kind), priority(pattern.priority)
    {
        // An alternation of many words costs a full attempt at every letter; when every word is
        // made of word characters, its matches are exactly the whole words found in the list.
        if (!pattern.words.isEmpty()) {
            if (std::optional<KeywordSet> set = KeywordSet::make(pattern.words, ignoreCaseWords)) {
                words_ = std::make_unique<WordScanner>(text, std::move(*set));
                return;
            }
        }
        const SyntaxRegex regex = SyntaxRegex::cached(pattern.pattern, pattern.options, pattern.imported);
        if (!regex.isValid()) return;
        matcher_ = std::make_unique<SyntaxRegex::Matcher>(regex, text, isCancelled, pattern.imported, deadline);
    }

    bool isValid() const { return words_ || matcher_; }
    // The next non-empty match after the current one.
    bool next() { return fetch(std::nullopt); }
    // The first non-empty match starting at or after `start`.
    bool nextFrom(qsizetype start) { return fetch(start); }
    bool stoppedEarly() const { return matcher_ && matcher_->stoppedEarly(); }

    qsizetype start = 0;
    qsizetype end = 0;
    const SyntaxTokenKind kind;
    const int priority;

private:
    bool fetch(std::optional<qsizetype> from)
    {
        if (words_) {
            if (!words_->find(from.value_or(end))) return false;
            start = words_->start();
            end = words_->end();
            return true;
        }
        if (!matcher_) return false;
        bool found = from ? matcher_->find(*from) : matcher_->find();
        while (found && matcher_->end() <= matcher_->start()) found = matcher_->find();
        if (!found) return false;
        start = matcher_->start();
        end = matcher_->end();
        return true;
    }

    std::unique_ptr<WordScanner> words_;
    std::unique_ptr<SyntaxRegex::Matcher> matcher_;
};

// A stream's pending match as the sweep orders them: by location, then priority, then the
// longer first, then the earlier pattern.
struct Pending {
    qsizetype location;
    qsizetype length;
    int priority;
    size_t stream;
};

struct LaterPending {
    bool operator()(const Pending& a, const Pending& b) const
    {
        if (a.location != b.location) return a.location > b.location;
        if (a.priority != b.priority) return a.priority > b.priority;
        if (a.length != b.length) return a.length < b.length;
        return a.stream > b.stream;
    }
};

std::vector<std::unique_ptr<CandidateStream>> makeStreams(const QString& text, const SyntaxLanguage& language,
                                                          const std::function<bool()>& isCancelled,
                                                          SyntaxRegex::Clock::time_point deadline)
{
    std::vector<std::unique_ptr<CandidateStream>> streams;
    const bool sql = language.id == QLatin1String("sql");
    for (const SyntaxParser::Pattern& pattern : SyntaxParser::patterns(language)) {
        if (isCancelled && isCancelled()) return {};
        auto stream = std::make_unique<CandidateStream>(pattern, text, sql, &isCancelled, deadline);
        if (stream->isValid()) streams.push_back(std::move(stream));
    }
    return streams;
}

struct Sweep {
    std::vector<SyntaxTokenSpan> tokens;
    bool truncated = false;
    bool cancelled = false;
    // Where the sweep was told to stop (see SyntaxParser::sweepFrom); the text's length when it ran out of matches.
    qsizetype stop = 0;
    bool stoppedAtCanStop = false;
};

// Accepts candidates in order from `from` on: a pattern whose next match starts inside an accepted
// token is searched again from the token's end, so that a delimiter inside a comment or string
// cannot pair with one after it. Before accepting a candidate at L, stopAt(L, cursor) may end the
// sweep: then L is the stop.
Sweep sweepStreams(std::vector<std::unique_ptr<CandidateStream>>& streams, qsizetype from, qint64 limit,
                   const std::function<bool(qsizetype, qsizetype)>& stopAt, const std::function<bool()>& cancelled)
{
    Sweep result;
    const qint64 candidateLimit = limit > std::numeric_limits<qint64>::max() / 2 ? std::numeric_limits<qint64>::max() : limit * 2;
    std::priority_queue<Pending, std::vector<Pending>, LaterPending> pending;
    qint64 candidates = 0;
    const auto offer = [&](size_t index, bool found) {
        if (!found) return;
        const CandidateStream& stream = *streams[index];
        pending.push({stream.start, stream.end - stream.start, stream.priority, index});
        if (++candidates >= candidateLimit) result.truncated = true;
    };
    for (size_t i = 0; i < streams.size() && !result.truncated; ++i)
        offer(i, from == 0 ? streams[i]->next() : streams[i]->nextFrom(from));

    qsizetype cursor = from;
    while (!pending.empty() && !result.truncated) {
        if (cancelled()) {
            result.cancelled = true;
            return result;
        }
        const Pending candidate = pending.top();
        pending.pop();
        CandidateStream& stream = *streams[candidate.stream];
        if (candidate.location < cursor) {
            offer(candidate.stream, stream.nextFrom(cursor));
            continue;
        }
        if (stopAt && stopAt(candidate.location, cursor)) {
            result.stop = candidate.location;
            result.stoppedAtCanStop = true;
            return result;
        }
        result.tokens.push_back({TextRange(candidate.location, candidate.length), stream.kind});
        cursor = candidate.location + candidate.length;
        if (static_cast<qint64>(result.tokens.size()) >= limit) {
            result.truncated = true;
            break;
        }
        offer(candidate.stream, stream.next());
    }
    if (cancelled()) result.cancelled = true;
    result.stop = result.truncated ? cursor : -1;
    return result;
}

}  // namespace

qint64 SyntaxParser::maximumTokens()
{
    // A decimal integer with an optional sign and nothing else, not even spaces.
    const QString value = qEnvironmentVariable("KORIMADO_SYNTAX_TOKEN_LIMIT");
    qsizetype i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == QLatin1Char('+') || value[i] == QLatin1Char('-'))) negative = value[i++] == QLatin1Char('-');
    if (i == value.size()) return defaultMaximumTokens;
    qint64 parsed = 0;
    for (; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        if (c < u'0' || c > u'9') return defaultMaximumTokens;
        const int digit = c - u'0';
        if (parsed > (std::numeric_limits<qint64>::max() - digit) / 10) return defaultMaximumTokens;
        parsed = parsed * 10 + digit;
    }
    if (negative) return defaultMaximumTokens;
    return parsed > 9 ? parsed : defaultMaximumTokens;
}

std::vector<SyntaxParser::Pattern> SyntaxParser::patterns(const SyntaxLanguage& language)
{
    std::vector<Pattern> list;
    bool importsStrings = false;
    for (const SyntaxRegexRule& rule : language.importedHighlightRules) {
        const QString text = rule.ignoreCase ? QStringLiteral("(?i:") + rule.pattern + QLatin1Char(')') : rule.pattern;
        uint32_t options = SyntaxRegex::anchorsMatchLines;
        if (rule.multiline) options |= SyntaxRegex::dotMatchesLineSeparators;
        list.push_back({text, rule.kind, options, importedRulePriority(rule.kind), true});
        importsStrings = importsStrings || rule.kind == Kind::string;
    }

    const QString& id = language.id;
    if (id == QLatin1String("markdown")) {
        appendFixed(list, markdownPatterns);
        return list;
    }
    if (id == QLatin1String("html")) {
        appendFixed(list, htmlPatterns);
        return list;
    }
    if (id == QLatin1String("css")) {
        appendFixed(list, cssPatterns);
        return list;
    }

    const bool shell = id == QLatin1String("shell");
    if (language.blockComment) {
        list.push_back({QStringLiteral("(?s)") + SyntaxRegex::escapedPattern(language.blockComment->first) + QStringLiteral(".*?")
                            + SyntaxRegex::escapedPattern(language.blockComment->second),
                        Kind::comment, 0, 0, false});
    }
    if (language.lineComment) {
        // In the shell a comment starts only where a word does: "$#", "a#b" and "${#x}" are not comments.
        const QString start = shell && *language.lineComment == QLatin1String("#") ? QStringLiteral("(?<![^\\s;&|()<>])") : QString();
        list.push_back({QStringLiteral("(?m)") + start + SyntaxRegex::escapedPattern(*language.lineComment) + QStringLiteral(".*$"),
                        Kind::comment, 0, 0, false});
    }
    // The quotes that every language gets are only a guess: a package that says what its strings
    // are knows better (lifetimes, primes and apostrophes in prose are not strings).
    if (const QString* own = ownStringPattern(id)) {
        list.push_back({*own, Kind::string, 0, 1, false});
    } else if (!importsStrings) {
        list.push_back({genericStringPattern(), Kind::string, 0, 1, false});
    }
    list.push_back({QStringLiteral(R"(\b(?:0[xX][0-9A-Fa-f]+|0[bB][01]+|\d+(?:\.\d+)?(?:[eE][+-]?\d+)?)\b)"), Kind::number, 0, 2, false});
    if (!language.keywords.isEmpty()) {
        QStringList escaped;
        escaped.reserve(language.keywords.size());
        for (const QString& keyword : language.keywords) escaped.append(SyntaxRegex::escapedPattern(keyword));
        QString pattern = QStringLiteral("\\b(?:") + escaped.join(QLatin1Char('|')) + QStringLiteral(")\\b");
        if (id == QLatin1String("sql")) pattern.prepend(QStringLiteral("(?i)"));
        list.push_back({pattern, Kind::keyword, 0, 3, false, language.keywords});
    }
    if (id == QLatin1String("swift") || id == QLatin1String("javascript") || id == QLatin1String("typescript") || id == QLatin1String("c")) {
        list.push_back({QStringLiteral(R"(\b[A-Z][A-Za-z0-9_]*\b)"), Kind::type, 0, 4, false});
    } else if (id == QLatin1String("python")) {
        list.push_back({QStringLiteral("@[A-Za-z_][A-Za-z0-9_.]*"), Kind::attribute, 0, 4, false});
    } else if (shell) {
        list.push_back({QStringLiteral(R"(\$(?:[A-Za-z_][A-Za-z0-9_]*|\{[^}\n]+\}|[#?$!@*0-9-]))"), Kind::variable, 0, 4, false});
    }
    return list;
}

SyntaxParser::Result SyntaxParser::parse(const QString& text, const SyntaxLanguage& language, std::optional<qint64> tokenLimit,
                                         const std::function<bool()>& isCancelled)
{
    const qint64 limit = std::max<qint64>(tokenLimit.value_or(maximumTokens()), minimumTokenLimit);
    // Rules from a package share the shorter budget; ICU's step limit stops a single slow search.
    const bool untrusted = !language.importedHighlightRules.empty() || !language.importedOutlineRules.empty();
    const auto deadline = SyntaxRegex::Clock::now() + SyntaxRegex::budget(untrusted, text.size());
    const auto finishOutline = [&](Result& result) {
        Outline found = outline(text, language, isCancelled, limit, deadline);
        result.outline = std::move(found.entries);
        result.outlineTruncated = found.truncated;
    };

    Result result;
    if (language.id == QLatin1String("plain") || text.isEmpty()) {
        finishOutline(result);
        return result;
    }
    const auto cancelled = [&] { return isCancelled && isCancelled(); };
    std::vector<std::unique_ptr<CandidateStream>> streams = makeStreams(text, language, isCancelled, deadline);
    Sweep sweep = sweepStreams(streams, 0, limit, {}, cancelled);
    if (sweep.cancelled) return {};
    result.tokens = std::move(sweep.tokens);
    result.truncated = sweep.truncated;
    if (cancelled()) return {};
    // A pattern stopped by the time budget or the engine left the rest of the text without its
    // tokens: the result must say it is incomplete, so that the part on screen gets a parse of its own.
    for (const auto& stream : streams) result.truncated = result.truncated || stream->stoppedEarly();

    finishOutline(result);
    return result;
}

SyntaxParser::Resumed SyntaxParser::sweepFrom(const QString& text, const SyntaxLanguage& language, qsizetype from,
                                              const std::function<bool(qsizetype, qsizetype)>& stopAt, qint64 tokenLimit,
                                              const std::function<bool()>& isCancelled)
{
    Resumed resumed;
    resumed.stop = text.size();
    if (language.id == QLatin1String("plain") || from >= text.size()) return resumed;
    const bool untrusted = !language.importedHighlightRules.empty();
    const auto deadline = SyntaxRegex::Clock::now() + SyntaxRegex::budget(untrusted, text.size() - from);
    const auto cancelled = [&] { return isCancelled && isCancelled(); };
    std::vector<std::unique_ptr<CandidateStream>> streams = makeStreams(text, language, isCancelled, deadline);
    Sweep sweep = sweepStreams(streams, std::max<qsizetype>(from, 0), std::max<qint64>(tokenLimit, minimumTokenLimit), stopAt,
                               cancelled);
    if (sweep.cancelled) {
        resumed.cancelled = true;
        return resumed;
    }
    resumed.tokens = std::move(sweep.tokens);
    resumed.stoppedByCaller = sweep.stoppedAtCanStop;
    bool stoppedEarly = false;
    for (const auto& stream : streams) stoppedEarly = stoppedEarly || stream->stoppedEarly();
    // Cut short: only what precedes the end of the last token is known.
    if (sweep.truncated || (stoppedEarly && !sweep.stoppedAtCanStop)) {
        resumed.truncated = true;
        resumed.stop = resumed.tokens.empty() ? from : resumed.tokens.back().range.end();
    } else if (sweep.stoppedAtCanStop) {
        resumed.stop = sweep.stop;
    }
    return resumed;
}

}  // namespace korimado
