#pragma once

#include "search/engine/SearchRequest.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

namespace korimado {

// The folder search's first look at a file's bytes: a file that the codec would read as UTF-8
// (well-formed, no NUL, no escape byte that could make it ISO-2022-JP) and that holds none of the
// literals every match must show cannot have a hit, nor a reason to be skipped, so it need not be
// decoded at all. Everything else takes the whole road.
class FolderBytePrefilter {
public:
    // None when the request proves no literal (or its expression does not compile: the search
    // reports that itself).
    static std::optional<FolderBytePrefilter> forRequest(const SearchRequest& request);

    // True when data certainly has no hit and decodes as UTF-8.
    bool provesNoHit(QByteArrayView data) const;

    // True for bytes the codec refuses at sight: a NUL without a byte-order mark (binaries,
    // compressed pages), so that the search need not make it throw.
    static bool isRefusedByCodec(QByteArrayView data);

    // Well-formed UTF-8 (shortest forms, no surrogates, nothing past U+10FFFF) without a NUL or
    // ESC byte.
    static bool isPlainUtf8(QByteArrayView data);

private:
    bool containsLiteral(QByteArrayView data) const;

    std::vector<QByteArray> literals_;  // UTF-8; lower case when compared in either ASCII case
    bool asciiCaseInsensitive_ = false;
};

}  // namespace korimado
