#pragma once

#include "document/LineEnding.h"
#include "document/TextEncoding.h"

namespace korimado {

// How a document's bytes are laid out: read with this format, written back with it.
struct TextFormat {
    TextEncoding encoding = TextEncoding::utf8;
    bool bom = false;
    LineEnding lineEnding = LineEnding::lf;
    bool mixedLineEndings = false;

    friend bool operator==(const TextFormat& a, const TextFormat& b)
    {
        return a.encoding == b.encoding && a.bom == b.bom && a.lineEnding == b.lineEnding
            && a.mixedLineEndings == b.mixedLineEndings;
    }
};

}  // namespace korimado
