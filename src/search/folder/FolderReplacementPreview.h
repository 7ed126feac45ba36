#pragma once

#include "search/folder/FolderSearchResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace korimado {

// One file of a replacement preview: the new text and the bytes apply will write.
struct FolderReplacementFile {
    FolderSearchFile source;    // the file as the search saw it
    QByteArray replacementData; // the new text in the file's own format
    QString replacementText;
    qsizetype replacementCount = 0;
    QString beforeExcerpt;  // the beginning of the old text, breaks as LF, at most 500 characters
    QString afterExcerpt;   // the same of the new text
};

struct FolderReplacementPreview {
    QString rootURL;  // the root of the search result it was made from
    QList<FolderReplacementFile> files;  // search-result order; files without replacements left out
};

}  // namespace korimado
