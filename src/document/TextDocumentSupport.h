#pragma once

#include "document/TextCodec.h"

#include <QSet>
#include <QString>

namespace korimado {

// Which files count as openable text: by extension, by name, by content type and, for files
// without an extension, by a look at their first bytes. Safe on any thread.
class TextDocumentSupport {
public:
    TextDocumentSupport() = delete;

    static constexpr qint64 maximumFileSize = TextCodec::maximumFileSize;
    static constexpr qsizetype sniffLength = 4096;

    static bool canOpen(const QString& path, const QSet<QString>& extraExtensions = {},
                        const QSet<QString>& extraFilenames = {});

    static const QSet<QString>& extensions();
    static const QSet<QString>& filenames();
    // The verdict on the head of an extension-less file.
    static bool looksLikeText(const QByteArray& head);
};

}  // namespace korimado
