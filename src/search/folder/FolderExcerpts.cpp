#include "search/folder/FolderExcerpts.h"

#include "platform/text/TextBoundaries.h"
#include "search/engine/GraphemeProbe.h"
#include "search/engine/SearchEngineError.h"

#include <algorithm>

namespace korimado {

namespace {

constexpr qsizetype hitExcerptLimit = 240;
constexpr qsizetype previewExcerptLimit = 500;

bool isNewline(char16_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

}  // namespace

QString FolderExcerpts::truncated(const QString& text, qsizetype begin, qsizetype end, qsizetype limit)
{
    if (end - begin <= limit) return text.sliced(begin, end - begin);
    GraphemeProbe probe(text);
    qsizetype clusters = 0;
    qsizetype cut = begin;
    for (qsizetype position = begin + 1; position <= end; ++position) {
        if (position < end && !probe.isBoundary(position)) continue;
        ++clusters;
        if (clusters == limit - 3) cut = position;
        if (clusters > limit) return text.sliced(begin, cut - begin) + QChar(0x2026);
    }
    return text.sliced(begin, end - begin);
}

QString FolderExcerpts::truncated(const QString& text, qsizetype limit)
{
    // Fewer units than the limit are fewer characters too. Otherwise only the first limit
    // clusters are walked, so that a minified one-line file costs no more than a short line.
    if (text.size() <= limit) return text;
    GraphemeProbe probe(text);
    const qsizetype size = text.size();
    qsizetype clusters = 0;
    qsizetype cut = 0;
    for (qsizetype position = 1; position <= size; ++position) {
        if (position < size && !probe.isBoundary(position)) continue;
        ++clusters;
        if (clusters == limit - 3) cut = position;
        if (clusters > limit) return text.left(cut) + QChar(0x2026);
    }
    return text;
}

QString FolderExcerpts::hitExcerpt(const QString& text, qsizetype lineStart, qsizetype lineEnd, qsizetype location)
{
    const qsizetype size = text.size();
    // An empty match after a final line break stands on the empty line the break begins.
    if (location >= size && size > 0 && TextBoundaries::isLineBreak(text[size - 1].unicode())) return QString();
    // The line's range takes its break along (CR LF whole); the trim takes it off again.
    qsizetype begin = lineStart;
    while (begin < lineEnd && isNewline(text[begin].unicode())) ++begin;
    qsizetype last = lineEnd;
    while (last > begin && isNewline(text[last - 1].unicode())) --last;
    return truncated(text, begin, last, hitExcerptLimit);
}

QList<FolderSearchHit> FolderExcerpts::placedHits(const QString& text, const std::vector<qsizetype>& starts,
                                                  const QList<SearchMatch>& matches, qsizetype excerptCount,
                                                  const SearchCancellationToken* cancellation)
{
    QList<FolderSearchHit> hits;
    hits.reserve(matches.size());
    for (const SearchMatch& match : matches) {
        if (hits.size() % 4096 == 4095 && cancellation && cancellation->isCancelled())
            throw SearchEngineError::cancelled();
        const qsizetype location = match.range.location;
        const auto after = std::upper_bound(starts.begin(), starts.end(), location);
        const qsizetype line = qsizetype(after - starts.begin());
        const qsizetype lineStart = starts[size_t(line - 1)];
        const qsizetype lineEnd = after == starts.end() ? text.size() : *after;
        FolderSearchHit hit{match.range, line, location - lineStart + 1, QString()};
        if (hits.size() < excerptCount) hit.excerpt = hitExcerpt(text, lineStart, lineEnd, location);
        hits.push_back(std::move(hit));
    }
    return hits;
}

QString FolderExcerpts::previewExcerpt(const QString& text)
{
    const auto withLineFeeds = [](QString s) {
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        s.replace(u'\r', u'\n');
        return s;
    };
    // Only the head is shown, so only the head is converted: enough units for the limit in
    // plain text. A head cut short of the limit by long clusters falls back to the whole text.
    constexpr qsizetype headUnits = previewExcerptLimit * 8;
    if (text.size() > headUnits) {
        const QString head = withLineFeeds(text.left(headUnits));
        const QString shown = truncated(head, previewExcerptLimit);
        if (shown.size() < head.size()) return shown;
    }
    return truncated(withLineFeeds(text), previewExcerptLimit);
}

}  // namespace korimado
