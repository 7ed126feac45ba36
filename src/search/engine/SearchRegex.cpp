#include "search/engine/SearchRegex.h"

#include "platform/foundation/MemoryAdvice.h"
#include "search/engine/SearchEngineError.h"
#include "search/engine/UnitScanner.h"

#include <unicode/utext.h>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace korimado {

namespace {

constexpr quint64 caseInsensitiveBit = 1;
constexpr quint64 commentsBit = 2;
constexpr quint64 ignoreMetacharactersBit = 4;
constexpr quint64 dotMatchesLineSeparatorsBit = 8;
constexpr quint64 anchorsMatchLinesBit = 16;
constexpr quint64 unixLineSeparatorsBit = 32;
constexpr quint64 unicodeWordBoundariesBit = 64;

const QString wordFenceBefore = QStringLiteral("(?<![\\p{L}\\p{M}\\p{N}_])(?:");
const QString wordFenceAfter = QStringLiteral(")(?![\\p{L}\\p{M}\\p{N}_])");

QString reason(UErrorCode code)
{
    switch (code) {
    case U_REGEX_RULE_SYNTAX: return QStringLiteral("書き方に誤りがあります");
    case U_REGEX_BAD_ESCAPE_SEQUENCE: return QStringLiteral("使えないエスケープがあります");
    case U_REGEX_PROPERTY_SYNTAX: return QStringLiteral("文字プロパティの書き方が正しくありません");
    case U_REGEX_UNIMPLEMENTED: return QStringLiteral("対応していない構文があります");
    case U_REGEX_MISMATCHED_PAREN: return QStringLiteral("括弧の対応が取れていません");
    case U_REGEX_NUMBER_TOO_BIG: return QStringLiteral("数が大きすぎます");
    case U_REGEX_BAD_INTERVAL: return QStringLiteral("繰り返し回数の書き方が正しくありません");
    case U_REGEX_MAX_LT_MIN: return QStringLiteral("繰り返し回数の上限が下限より小さくなっています");
    case U_REGEX_INVALID_BACK_REF: return QStringLiteral("ないグループを参照しています");
    case U_REGEX_INVALID_FLAG: return QStringLiteral("使えないフラグがあります");
    case U_REGEX_LOOK_BEHIND_LIMIT: return QStringLiteral("後読みの長さに上限がありません");
    case U_REGEX_SET_CONTAINS_STRING: return QStringLiteral("文字集合に文字列は入れられません");
    case U_REGEX_MISSING_CLOSE_BRACKET: return QStringLiteral("角括弧が閉じていません");
    case U_REGEX_INVALID_RANGE: return QStringLiteral("文字の範囲の順序が逆です");
    case U_REGEX_STACK_OVERFLOW: return QStringLiteral("照合に要る記憶域が上限を超えました");
    case U_REGEX_TIME_OUT: return QStringLiteral("照合が時間の上限を超えました");
    case U_REGEX_PATTERN_TOO_BIG: return QStringLiteral("正規表現が大きすぎます");
    case U_REGEX_INVALID_CAPTURE_GROUP_NAME: return QStringLiteral("グループ名が正しくありません");
    default: return QString::fromLatin1(u_errorName(code));
    }
}

// ICU reads a backslash before any character that is not a letter or digit as that character.
QString quoted(const QString& pattern)
{
    QString out;
    out.reserve(pattern.size() * 2);
    for (QChar c : pattern) {
        const char16_t u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u >= 0x80;
        if (!plain) out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

// Called by ICU at every start position: kept to one load of the flag.
UBool U_CALLCONV keepGoing(const void* context, int64_t)
{
    return !static_cast<const SearchCancellationToken*>(context)->isCancelled();
}

// ICU calls this every few thousand steps inside one attempt, where a backtracking expression
// spends its time without ever reaching the next start position.
UBool U_CALLCONV keepMatching(const void* context, int32_t)
{
    return !static_cast<const SearchCancellationToken*>(context)->isCancelled();
}

}  // namespace

uint32_t SearchRegex::icuFlags(quint64 bits)
{
    uint32_t flags = 0;
    if (bits & caseInsensitiveBit) flags |= UREGEX_CASE_INSENSITIVE;
    if (bits & commentsBit) flags |= UREGEX_COMMENTS;
    if (bits & ignoreMetacharactersBit) flags |= UREGEX_LITERAL;
    if (bits & dotMatchesLineSeparatorsBit) flags |= UREGEX_DOTALL;
    if (bits & anchorsMatchLinesBit) flags |= UREGEX_MULTILINE;
    if (bits & unixLineSeparatorsBit) flags |= UREGEX_UNIX_LINES;
    if (bits & unicodeWordBoundariesBit) flags |= UREGEX_UWORD;
    return flags;
}

std::unique_ptr<icu::RegexPattern> SearchRegex::regularExpression(const SearchRequest& request)
{
    return compiled(request, nullptr, nullptr);
}

std::unique_ptr<icu::RegexPattern> SearchRegex::compiled(const SearchRequest& request, QString* expressionOut,
                                                         uint32_t* flagsOut)
{
    const SearchOptions& o = request.options;
    quint64 bits = o.preservedRegexOptionsRawValue.value_or(0);
    if (o.usesUnicodeBoundaries) bits |= unicodeWordBoundariesBit;
    if (o.isMultiline) bits |= anchorsMatchLinesBit;
    if (!o.caseSensitive) bits |= caseInsensitiveBit;
    if (o.dotMatchesNewline) bits |= dotMatchesLineSeparatorsBit;
    uint32_t flags = icuFlags(bits);

    QString body = request.pattern;
    if (flags & UREGEX_LITERAL) {
        // Quote the pattern itself rather than the whole expression, so that the whole-word
        // fence keeps working.
        body = quoted(body);
        flags &= ~uint32_t(UREGEX_LITERAL);
    }
    const QString prefix = o.wholeWord ? wordFenceBefore : QString();
    const QString expression = o.wholeWord ? prefix + body + wordFenceAfter : body;

    UErrorCode status = U_ZERO_ERROR;
    UParseError parse{};
    const icu::UnicodeString source(reinterpret_cast<const UChar*>(expression.utf16()), int32_t(expression.size()));
    std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(source, flags, parse, status));
    if (U_FAILURE(status)) {
        QString where;
        qsizetype column = parse.offset;
        if (parse.line <= 1) column -= prefix.size();
        if (column < 1) column = 1;
        if (parse.line > 1) where = QString::number(parse.line) + QStringLiteral("行目の");
        where += QString::number(column) + QStringLiteral("文字目付近");
        throw SearchEngineError::invalidRegularExpression(reason(status) + QStringLiteral("（") + where
                                                          + QStringLiteral("）。"));
    }
    if (expressionOut) *expressionOut = expression;
    if (flagsOut) *flagsOut = flags;
    return pattern;
}

QStringList SearchRegex::namedCaptureNames(const QString& pattern)
{
    QStringList names;
    const qsizetype n = pattern.size();
    auto letter = [](QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
    for (qsizetype i = 0; i + 3 < n; ++i) {
        if (pattern[i] != u'(' || pattern[i + 1] != u'?' || pattern[i + 2] != u'<' || !letter(pattern[i + 3])) continue;
        qsizetype j = i + 4;
        while (j < n && (letter(pattern[j]) || (pattern[j] >= u'0' && pattern[j] <= u'9') || pattern[j] == u'_')) ++j;
        if (j < n && pattern[j] == u'>') names.push_back(pattern.mid(i + 3, j - i - 3));
    }
    return names;
}

QList<SearchMatch> SearchRegex::matches(const QString& text, const SearchRequest& request, TextRange range,
                                        const SearchCancellationToken* cancellation)
{
    QString expression;
    uint32_t flags = 0;
    const std::unique_ptr<icu::RegexPattern> pattern = compiled(request, &expression, &flags);
    const std::optional<RegexLiterals> literals = RegexLiterals::analyse(expression, flags);
    return matches(text, *pattern, request.pattern, range, literals ? &*literals : nullptr, cancellation);
}

QList<SearchMatch> SearchRegex::matches(const QString& text, const icu::RegexPattern& pattern,
                                        const QString& patternText, TextRange range, const RegexLiterals* literals,
                                        const SearchCancellationToken* cancellation)
{
    // A region per candidate must stay small when matches may cross lines. The literals still
    // prove there is no match where none of them occurs, which both roads must answer alike
    // (the expression alone may exhaust its stack on such a text).
    if (literals && !literals->singleLine && (!literals->maximumLength || *literals->maximumLength > maximumRegionSpan)) {
        const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16()) + range.location;
        bool occurs = false;
        for (const QString& literal : literals->literals) {
            if (UnitScanner(literal, literals->asciiCaseInsensitive).find(units, range.length, 0) >= 0) {
                occurs = true;
                break;
            }
        }
        if (!occurs) {
            if (cancellation && cancellation->isCancelled()) throw SearchEngineError::cancelled();
            return {};
        }
        literals = nullptr;
    }

    std::vector<std::pair<QString, int32_t>> named;
    for (const QString& name : namedCaptureNames(patternText)) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t group = pattern.groupNumberFromName(
            icu::UnicodeString(reinterpret_cast<const UChar*>(name.utf16()), int32_t(name.size())), status);
        if (U_SUCCESS(status) && group > 0) named.emplace_back(name, group);
    }

    // The matcher sees the searched range alone: ICU's lookbehind reads past a region's start
    // even with opaque bounds, so the range's edges are made the text's own edges instead. Still
    // no copy: the UText points into the text.
    UErrorCode status = U_ZERO_ERROR;
    UText ut = UTEXT_INITIALIZER;
    const qsizetype base = range.location;
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16()) + base;
    const qsizetype n = range.length;
    utext_openUChars(&ut, reinterpret_cast<const UChar*>(units), n, &status);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(status));
    QList<SearchMatch> found;
    if (U_FAILURE(status)) {
        utext_close(&ut);
        throw SearchEngineError::invalidRegularExpression(reason(status) + QStringLiteral("。"));
    }
    matcher->reset(&ut);
    // Without a token nothing can stop the search, and the calls per start position cost time.
    if (cancellation) {
        matcher->setFindProgressCallback(keepGoing, cancellation, status);
        matcher->setMatchCallback(keepMatching, cancellation, status);
    }

    const int32_t groups = matcher->groupCount();
    const auto record = [&] {
        SearchMatch match;
        const int64_t start = matcher->start64(status);
        match.range = TextRange(base + start, matcher->end64(status) - start);
        match.captureRanges.reserve(groups);
        for (int32_t g = 1; g <= groups; ++g) {
            const int64_t s = matcher->start64(g, status);
            match.captureRanges.push_back(s < 0 ? TextRange(TextRange::NotFound, 0)
                                                : TextRange(base + s, matcher->end64(g, status) - s));
        }
        for (const auto& [name, group] : named) {
            const TextRange r = match.captureRanges[group - 1];
            if (!r.isNotFound()) match.namedCaptureRanges.insert(name, r);
        }
        makeRoomAtEnd(found);
        found.push_back(std::move(match));
    };

    bool cancelled = false;
    if (!literals) {
        while (U_SUCCESS(status) && matcher->find(status)) {
            if (cancellation && cancellation->isCancelled()) {
                cancelled = true;
                break;
            }
            record();
        }
    } else {
        // Every match holds one of the literals. The expression runs only on a region around each
        // occurrence, with transparent bounds so that anchors, lookaround and \b see the real
        // text beyond it. Single-line expressions take the occurrence's line and every match in
        // it; others the span a match around the occurrence can reach, and only a match that
        // starts by the occurrence (a later one may be cut short by the region's end).
        std::vector<UnitScanner> scanners;
        std::vector<qsizetype> next;  // the next occurrence of each literal, or -1 once none is left
        qsizetype shortest = std::numeric_limits<qsizetype>::max();
        for (const QString& literal : literals->literals) {
            scanners.emplace_back(literal, literals->asciiCaseInsensitive);
            next.push_back(-2);
            shortest = std::min(shortest, literal.size());
        }
        const qsizetype span = literals->maximumLength ? qsizetype(*literals->maximumLength) : 0;
        qsizetype pos = 0;
        int polled = 0;
        while (U_SUCCESS(status)) {
            if (++polled % 64 == 0 && cancellation && cancellation->isCancelled()) {
                cancelled = true;
                break;
            }
            qsizetype c = -1;
            for (size_t k = 0; k < scanners.size(); ++k) {
                if (next[k] == -1) continue;
                if (next[k] < pos) next[k] = scanners[k].find(units, n, pos);
                if (next[k] >= 0 && (c < 0 || next[k] < c)) c = next[k];
            }
            if (c < 0) break;
            if (literals->singleLine) {
                qsizetype a = c;
                while (a > pos && !RegexLiterals::isLineTerminator(units[a - 1])) --a;
                const qsizetype b = UnitScanner::findLineTerminator(units, n, c);
                matcher->region(a, b, status);
                matcher->useTransparentBounds(true);
                matcher->useAnchoringBounds(false);
                while (U_SUCCESS(status) && matcher->find(status)) {
                    if (cancellation && cancellation->isCancelled()) {
                        cancelled = true;
                        break;
                    }
                    record();
                }
                if (cancelled) break;
                pos = b + 1;
                continue;
            }
            const qsizetype a = std::max(pos, c + shortest - span);
            const qsizetype b = std::min(n, c + span);
            matcher->region(a, b, status);
            matcher->useTransparentBounds(true);
            matcher->useAnchoringBounds(false);
            if (U_SUCCESS(status) && matcher->find(status) && matcher->start64(status) <= c) {
                if (cancellation && cancellation->isCancelled()) {
                    cancelled = true;
                    break;
                }
                record();
                pos = qsizetype(matcher->end64(status));
            } else {
                pos = c + 1;
            }
        }
    }
    matcher.reset();
    utext_close(&ut);
    if (cancelled || status == U_REGEX_STOPPED_BY_CALLER) throw SearchEngineError::cancelled();
    if (status == U_REGEX_STACK_OVERFLOW || status == U_REGEX_TIME_OUT) throw SearchEngineError::expressionTooComplex();
    if (status == U_MEMORY_ALLOCATION_ERROR) throw SearchEngineError::textTooLarge();
    if (U_FAILURE(status)) throw SearchEngineError::invalidRegularExpression(reason(status) + QStringLiteral("。"));
    return found;
}

}  // namespace korimado
