#pragma once

#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchMatch.h"
#include "search/folder/FolderSearchResult.h"

#include <QList>
#include <QString>

#include <vector>

namespace korimado {

// The short texts the folder search window shows for a file.
class FolderExcerpts {
public:
    FolderExcerpts() = delete;

    // The line of a match at location, which spans [lineStart, lineEnd) with its break, with line
    // breaks trimmed from both ends (indentation kept), at most 240 characters: longer lines keep
    // 237 and "…". Costs the excerpt's length, not the line's.
    static QString hitExcerpt(const QString& text, qsizetype lineStart, qsizetype lineEnd, qsizetype location);
    // The hits of matches in text with its line starts: line and column of each, and the excerpts
    // of the first excerptCount of them. Polls the token every few thousand hits; throws
    // SearchEngineError::cancelled.
    static QList<FolderSearchHit> placedHits(const QString& text, const std::vector<qsizetype>& lineStarts,
                                             const QList<SearchMatch>& matches, qsizetype excerptCount,
                                             const SearchCancellationToken* cancellation);
    // The beginning of a whole text with CR LF and CR made LF, at most 500 characters: longer
    // texts keep 497 and "…".
    static QString previewExcerpt(const QString& text);
    // text cut to limit user-perceived characters: longer texts keep limit - 3 and "…".
    static QString truncated(const QString& text, qsizetype limit);

private:
    // text[begin, end) cut so, with clusters taken from the whole text.
    static QString truncated(const QString& text, qsizetype begin, qsizetype end, qsizetype limit);
};

}  // namespace korimado
