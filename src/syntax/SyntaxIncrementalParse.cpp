#include "syntax/SyntaxIncrementalParse.h"

#include "syntax/SyntaxParser.h"

#include <algorithm>

namespace korimado {

namespace {

using Tokens = std::vector<SyntaxTokenSpan>;

Tokens::const_iterator firstEndingAfter(const Tokens& tokens, qsizetype location)
{
    return std::partition_point(tokens.begin(), tokens.end(),
                                [location](const SyntaxTokenSpan& token) { return token.range.end() <= location; });
}

// Whether a token starts before location and ends after it.
bool crossed(const Tokens& tokens, qsizetype location)
{
    const auto it = firstEndingAfter(tokens, location);
    return it != tokens.end() && it->range.location < location;
}

}  // namespace

void SyntaxIncrementalParse::Dirty::add(TextRange editedRange, qsizetype changeInLength)
{
    const qsizetype a = editedRange.location;
    const qsizetype b = editedRange.end();
    const qsizetype oldB = b - changeInLength;  // the edit's end in the text before it
    if (!any) {
        start = a;
        end = b;
        delta = changeInLength;
        any = true;
        return;
    }
    const auto map = [&](qsizetype x, qsizetype inside) { return x <= a ? x : (x >= oldB ? x + changeInLength : inside); };
    start = std::min(map(start, a), a);
    end = std::max(map(end, b), b);
    delta += changeInLength;
}

SyntaxIncrementalParse::Result SyntaxIncrementalParse::afterEdits(const QString& text, const SyntaxLanguage& language,
                                                                  const Tokens& old, TextRange oldCoverage, const Dirty& dirty,
                                                                  qsizetype until, const std::function<bool()>& isCancelled)
{
    // Back to a point inside no old token, far enough before the edit for its context.
    qsizetype restart = std::max(oldCoverage.location, dirty.start - contextUnits);
    if (const auto it = firstEndingAfter(old, restart); it != old.end() && it->range.location < restart)
        restart = std::max(oldCoverage.location, it->range.location);
    return run(text, language, old, oldCoverage, dirty, restart, dirty.end + contextUnits, until, isCancelled);
}

SyntaxIncrementalParse::Result SyntaxIncrementalParse::resume(const QString& text, const SyntaxLanguage& language,
                                                              const Result& pending, qsizetype until,
                                                              const std::function<bool()>& isCancelled)
{
    if (!pending.pending) return pending;
    Dirty none;
    none.start = none.end = pending.pendingFrom;
    return run(text, language, pending.tokens, pending.coverage, none, pending.pendingFrom, pending.convergeFrom, until,
               isCancelled);
}

SyntaxIncrementalParse::Result SyntaxIncrementalParse::run(const QString& text, const SyntaxLanguage& language, const Tokens& old,
                                                           TextRange oldCoverage, const Dirty& dirty, qsizetype restart,
                                                           qsizetype convergeFrom, qsizetype until,
                                                           const std::function<bool()>& isCancelled)
{
    Result result;
    // The text may end before the coverage: then what lies past it stays pending.
    const qsizetype coverageEnd = dirty.mapOld(oldCoverage.end());
    result.coverage = TextRange::fromBounds(std::min(oldCoverage.location, coverageEnd), coverageEnd);
    until = std::min(std::max(until, convergeFrom), coverageEnd);

    // Where the new tokens agree with the old ones: the old parse, moved, takes over from there.
    bool agreed = false;
    const auto stopAt = [&](qsizetype location, qsizetype) {
        if (location >= coverageEnd) return agreed = true;
        if (location >= convergeFrom && !crossed(old, location - dirty.delta)) return agreed = true;
        return location >= until;
    };
    const qint64 limit = std::max<qint64>(SyntaxParser::maximumTokens(), 30000);
    SyntaxParser::Resumed fresh = SyntaxParser::sweepFrom(text, language, restart, stopAt, limit, isCancelled);
    if (fresh.cancelled) {
        result.cancelled = true;
        return result;
    }
    qsizetype stop = coverageEnd;
    if (fresh.stoppedByCaller || fresh.truncated) {
        stop = std::min(fresh.stop, coverageEnd);
    } else if (text.size() < coverageEnd) {
        // The text ran out, not its matches: one near its end may be cut. Only tokens well before
        // it are trusted, and the end of the last of them lies inside no token.
        const qsizetype trusted = std::min(until, text.size() - contextUnits);
        stop = restart;
        while (!fresh.tokens.empty() && fresh.tokens.back().range.end() > trusted) fresh.tokens.pop_back();
        if (!fresh.tokens.empty()) stop = std::max(restart, fresh.tokens.back().range.end());
    }

    result.tokens.assign(old.begin(), firstEndingAfter(old, restart));
    for (const SyntaxTokenSpan& token : fresh.tokens) {
        if (token.range.location >= coverageEnd) break;
        result.tokens.push_back({TextRange::fromBounds(token.range.location, std::min(token.range.end(), coverageEnd)), token.kind});
    }
    if (stop >= coverageEnd) return result;
    // The old tokens from the stop on, moved (none from inside the edit); one crossing it is dropped.
    const qsizetype oldStop = std::max(stop, dirty.end) - dirty.delta;
    auto tail = firstEndingAfter(old, oldStop);
    qsizetype guard = std::max(stop, convergeFrom);
    if (tail != old.end() && tail->range.location < oldStop) guard = dirty.mapOld((tail++)->range.end());
    for (; tail != old.end(); ++tail) result.tokens.push_back({TextRange(dirty.mapOld(tail->range.location), tail->range.length), tail->kind});
    if (!agreed) {
        result.pending = true;
        result.pendingFrom = stop;
        result.convergeFrom = guard;
    }
    return result;
}

}  // namespace korimado
