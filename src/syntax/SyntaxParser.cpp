#include "syntax/SyntaxParser.h"

#include "syntax/SyntaxRegex.h"

#include <QSet>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <limits>

namespace korimado {

namespace {

constexpr int defaultMaximumTokens = 120000;
constexpr int minimumTokenLimit = 10;

struct Candidate {
    qsizetype location;
    qsizetype length;
    int priority;
    SyntaxTokenKind kind;
};

const QString& stringPattern(const QString& id)
{
    static const QString python = QStringLiteral(
        R"((?s)(?:[rubfRUBF]{0,2})(?:""".*?"""|'''.*?'''|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*'))");
    static const QString script = QStringLiteral(R"((?s)`(?:\\.|[^`\\])*`|"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*')");
    static const QString shell = QStringLiteral(R"("(?:\\.|[^"\\])*"|'[^']*')");
    static const QString sql = QStringLiteral(R"('(?:''|[^'])*'|"(?:""|[^"])*")");
    static const QString other = QStringLiteral(R"("(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*')");
    if (id == QLatin1String("python")) return python;
    if (id == QLatin1String("javascript") || id == QLatin1String("typescript")) return script;
    if (id == QLatin1String("shell")) return shell;
    if (id == QLatin1String("sql")) return sql;
    return other;
}

using Kind = SyntaxTokenKind;

struct FixedPattern {
    const char16_t* pattern;
    Kind kind;
    int priority;
};

const FixedPattern markdownPatterns[] = {
    {uR"((?s)<!--.*?-->)", Kind::comment, 0},
    {uR"((?ms)^(```|~~~).*?^\1\s*$)", Kind::string, 0},
    {uR"((?m)^\s{0,3}#{1,6}\s+.*$|^\s{0,3}(?:=+|-+)\s*$)", Kind::heading, 1},
    {uR"(`[^`\n]+`)", Kind::string, 1},
    {uR"(!?\[[^\]\n]*\]\([^\)\n]+\))", Kind::attribute, 2},
    {uR"((?m)^\s{0,3}(?:>|[-+*]|\d+[.)])\s+)", Kind::keyword, 3},
};

const FixedPattern htmlPatterns[] = {
    {uR"((?s)<!--.*?-->)", Kind::comment, 0},
    {uR"("(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*')", Kind::string, 1},
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

const QString& wholeWordPattern()
{
    static const QString pattern = QStringLiteral(R"(\b\w+\b)");
    return pattern;
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
            set.words_.insert(ignoreCase ? foldedCase(word) : word);
        }
        return set;
    }
    bool contains(QStringView word) const
    {
        return ignoreCase_ ? words_.contains(foldedCase(word)) : words_.contains(word.toString());
    }

private:
    QSet<QString> words_;
    bool ignoreCase_ = false;
};

}  // namespace

int SyntaxParser::maximumTokens()
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
        parsed = parsed * 10 + (c - u'0');
        if (parsed > std::numeric_limits<int>::max()) return defaultMaximumTokens;
    }
    if (negative) return defaultMaximumTokens;
    return parsed > 9 ? static_cast<int>(parsed) : defaultMaximumTokens;
}

std::vector<SyntaxParser::Pattern> SyntaxParser::patterns(const SyntaxLanguage& language)
{
    std::vector<Pattern> list;
    for (const SyntaxRegexRule& rule : language.importedHighlightRules) {
        const QString text = rule.ignoreCase ? QStringLiteral("(?i:") + rule.pattern + QLatin1Char(')') : rule.pattern;
        uint32_t options = SyntaxRegex::anchorsMatchLines;
        if (rule.multiline) options |= SyntaxRegex::dotMatchesLineSeparators;
        list.push_back({text, rule.kind, options, importedRulePriority(rule.kind), true});
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

    if (language.blockComment) {
        list.push_back({QStringLiteral("(?s)") + SyntaxRegex::escapedPattern(language.blockComment->first) + QStringLiteral(".*?")
                            + SyntaxRegex::escapedPattern(language.blockComment->second),
                        Kind::comment, 0, 0, false});
    }
    if (language.lineComment) {
        list.push_back({QStringLiteral("(?m)") + SyntaxRegex::escapedPattern(*language.lineComment) + QStringLiteral(".*$"),
                        Kind::comment, 0, 0, false});
    }
    list.push_back({stringPattern(id), Kind::string, 0, 1, false});
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
    } else if (id == QLatin1String("shell")) {
        list.push_back({QStringLiteral(R"(\$(?:[A-Za-z_][A-Za-z0-9_]*|\{[^}\n]+\}))"), Kind::variable, 0, 4, false});
    }
    return list;
}

SyntaxParser::Result SyntaxParser::parse(const QString& text, const SyntaxLanguage& language, std::optional<int> tokenLimit,
                                         const std::function<bool()>& isCancelled)
{
    Result result;
    if (language.id == QLatin1String("plain") || text.isEmpty()) {
        result.outline = outline(text, language, isCancelled);
        return result;
    }
    const size_t limit = static_cast<size_t>(std::max(tokenLimit.value_or(maximumTokens()), minimumTokenLimit));
    const size_t candidateLimit = limit * 2;
    const auto cancelled = [&] { return isCancelled && isCancelled(); };

    std::vector<Candidate> candidates;
    bool passCutShort = false;
    for (const Pattern& pattern : patterns(language)) {
        if (cancelled()) return {};
        // An alternation of many words costs a full attempt at every letter; when every word is
        // made of word characters, its matches are exactly the whole words found in the list.
        std::optional<KeywordSet> keywordSet;
        if (!pattern.words.isEmpty()) keywordSet = KeywordSet::make(pattern.words, language.id == QLatin1String("sql"));
        const SyntaxRegex regex(keywordSet ? wholeWordPattern() : pattern.pattern, keywordSet ? 0 : pattern.options);
        if (!regex.isValid()) continue;
        SyntaxRegex::Matcher matcher(regex, text, &isCancelled, pattern.imported);
        while (matcher.find()) {
            if (keywordSet && !keywordSet->contains(QStringView(text).mid(matcher.start(), matcher.end() - matcher.start()))) continue;
            const qsizetype start = matcher.start();
            const qsizetype length = matcher.end() - start;
            if (length <= 0) continue;
            if (cancelled()) break;
            candidates.push_back({start, length, pattern.priority, pattern.kind});
            if (candidates.size() >= candidateLimit) {
                result.truncated = true;
                break;
            }
        }
        if (result.truncated) break;
        // A pass its time budget ended left the rest of the text without these tokens: the
        // result must say it is incomplete, so that the part on screen gets a parse of its own.
        if (matcher.stoppedEarly() && !cancelled()) passCutShort = true;
    }
    result.truncated = result.truncated || passCutShort;

    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.location != b.location) return a.location < b.location;
        if (a.priority != b.priority) return a.priority < b.priority;
        return a.length > b.length;
    });

    qsizetype cursor = 0;
    for (const Candidate& candidate : candidates) {
        if (candidate.location < cursor) continue;
        result.tokens.push_back({TextRange(candidate.location, candidate.length), candidate.kind});
        cursor = candidate.location + candidate.length;
        if (result.tokens.size() >= limit) {
            result.truncated = true;
            break;
        }
    }

    result.outline = outline(text, language, isCancelled);
    return result;
}

}  // namespace korimado
