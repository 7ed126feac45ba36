#pragma once

#include <QString>

namespace korimado {

// The short texts the folder search window shows for a file.
class FolderExcerpts {
public:
    FolderExcerpts() = delete;

    // The line of a match at location, which begins at lineStart, with line breaks trimmed from
    // both ends (indentation kept), at most 240 characters: longer lines keep 237 and "…".
    static QString hitExcerpt(const QString& text, qsizetype lineStart, qsizetype location);
    // The beginning of a whole text with CR LF and CR made LF, at most 500 characters: longer
    // texts keep 497 and "…".
    static QString previewExcerpt(const QString& text);
    // text cut to limit user-perceived characters: longer texts keep limit - 3 and "…".
    static QString truncated(const QString& text, qsizetype limit);
};

}  // namespace korimado
