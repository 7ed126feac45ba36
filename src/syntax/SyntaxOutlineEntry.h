#pragma once

#include "platform/text/TextRange.h"

#include <QString>

namespace korimado {

// One outline item found in a document.
struct SyntaxOutlineEntry {
    QString title;
    int line = 1;      // 1-based line where the match starts
    TextRange range;   // the whole match
    int level = 1;     // heading depth, 1 or more

    friend bool operator==(const SyntaxOutlineEntry&, const SyntaxOutlineEntry&) = default;
};

}  // namespace korimado
