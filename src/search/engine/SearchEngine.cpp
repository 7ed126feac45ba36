#include "search/engine/SearchEngine.h"

#include "platform/foundation/MemoryAdvice.h"
#include "search/engine/PlainMatcher.h"
#include "search/engine/SearchEngineError.h"
#include "search/engine/SearchRegex.h"


#include <chrono>
#include <limits>

namespace korimado {

namespace {

double nowSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Outputs from this many units on are worth backing with large pages.
constexpr qsizetype largeOutput = 4 << 20;

bool hasLineBreak(QStringView s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == 0x0A || u == 0x0D || u == 0x0085 || u == 0x2028 || u == 0x2029) return true;
    }
    return false;
}

void appendGroup(QString& out, const SearchMatch& match, const QString& source, quint64 number)
{
    TextRange r;
    if (number == 0) {
        r = match.range;
    } else if (number <= quint64(match.captureRanges.size())) {
        r = match.captureRanges[qsizetype(number - 1)];
    } else {
        return;
    }
    if (r.isNotFound() || r.location < 0 || r.end() > source.size()) return;
    out.append(QStringView(source).mid(r.location, r.length));
}

}  // namespace

SearchResultSet SearchEngine::findAll(const QString& text, const SearchRequest& request, std::uint64_t revision,
                                      const SearchCancellationToken* cancellation)
{
    const double started = nowSeconds();
    SearchResultSet result;
    result.revision = revision;
    if (request.scope) {
        const TextRange s = *request.scope;
        if (s.location < 0 || s.isNotFound() || s.length < 0 || s.location > text.size() - s.length)
            throw SearchEngineError::invalidRange();
        result.searchedRange = s;
    } else {
        result.searchedRange = TextRange(0, text.size());
    }
    if (request.pattern.isEmpty()) return result;
    if (cancellation && cancellation->isCancelled()) throw SearchEngineError::cancelled();

    if (request.options.mode == SearchMode::regularExpression) {
        result.matches = SearchRegex::matches(text, request, result.searchedRange, cancellation);
    } else {
        const QString pattern = request.lineEnding ? request.lineEnding->replacing(request.pattern) : request.pattern;
        result.matches = PlainMatcher::matches(text, pattern, result.searchedRange, request.options, cancellation);
    }
    if (cancellation && cancellation->isCancelled()) throw SearchEngineError::cancelled();
    result.elapsedMilliseconds = (nowSeconds() - started) * 1000.0;
    return result;
}

QString SearchEngine::expandedReplacement(const QString& replacementTemplate, const SearchMatch& match,
                                          const QString& source, const SearchOptions& options)
{
    if (options.mode == SearchMode::text) return replacementTemplate;
    const QString& t = replacementTemplate;
    const qsizetype n = t.size();
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n;) {
        const QChar c = t[i];
        if (c == u'\\') {
            if (i + 1 >= n) {
                out += c;
                ++i;
                continue;
            }
            const QChar next = t[i + 1];
            if (options.unescapesReplacementString && next == u'n') out += QChar(u'\n');
            else if (options.unescapesReplacementString && next == u'r') out += QChar(u'\r');
            else if (options.unescapesReplacementString && next == u't') out += QChar(u'\t');
            else if (next.isHighSurrogate() && i + 2 < n && t[i + 2].isLowSurrogate()) {
                out += next;  // the escaped character is a whole pair
                out += t[i + 2];
                ++i;
            } else out += next;
            i += 2;
            continue;
        }
        if (c == u'$' && i + 1 < n) {
            const QChar next = t[i + 1];
            if (next == u'&') {
                appendGroup(out, match, source, 0);
                i += 2;
                continue;
            }
            if (next >= u'0' && next <= u'9') {
                qsizetype j = i + 1;
                quint64 number = 0;
                bool tooLarge = false;
                for (; j < n && t[j] >= u'0' && t[j] <= u'9'; ++j) {
                    const quint64 d = quint64(t[j].unicode() - u'0');
                    if (number > (quint64(std::numeric_limits<qint64>::max()) - d) / 10) tooLarge = true;
                    else number = number * 10 + d;
                }
                if (!tooLarge) appendGroup(out, match, source, number);
                i = j;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

SearchReplacementResult SearchEngine::replacingAll(const QString& text, const SearchRequest& request,
                                                   const SearchCancellationToken* cancellation)
{
    const SearchResultSet found = findAll(text, request, 0, cancellation);
    SearchReplacementResult result;
    result.searchedRange = found.searchedRange;
    QString& out = result.replacement;
    out.reserve(found.searchedRange.length);
    if (found.searchedRange.length >= largeOutput) adviseLargeBuffer(out.data(), size_t(out.capacity()) * sizeof(QChar));
    result.edits.reserve(found.matches.size());
    qsizetype cursor = found.searchedRange.location;
    for (const SearchMatch& match : found.matches) {
        if (cancellation && cancellation->isCancelled()) throw SearchEngineError::cancelled();
        if (match.range.location > cursor) out.append(QStringView(text).mid(cursor, match.range.location - cursor));
        QString expanded = expandedReplacement(request.replacement, match, text, request.options);
        if (request.lineEnding && hasLineBreak(expanded)) expanded = request.lineEnding->replacing(expanded);
        out.append(expanded);
        result.edits.push_back(SearchReplacement{match.range, std::move(expanded)});
        cursor = match.range.end();
    }
    if (cursor < found.searchedRange.end()) out.append(QStringView(text).mid(cursor, found.searchedRange.end() - cursor));
    result.matchCount = result.edits.size();
    return result;
}

}  // namespace korimado
