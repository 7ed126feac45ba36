#pragma once

#include "document/LineEnding.h"
#include "platform/text/TextRange.h"
#include "search/engine/SearchOptions.h"

#include <QString>

#include <optional>

namespace korimado {

// One search as a surface hands it to the engine.
struct SearchRequest {
    QString pattern;      // empty: finds nothing, never an error
    QString replacement;  // verbatim in plain mode, a template in expression mode
    SearchOptions options;
    std::optional<TextRange> scope;         // none: the whole text; UTF-16 units of the whole text
    std::optional<LineEnding> lineEnding;   // the document's: a plain pattern's breaks and every
                                            // expanded replacement's breaks are converted to it

    friend bool operator==(const SearchRequest&, const SearchRequest&) = default;
};

}  // namespace korimado
