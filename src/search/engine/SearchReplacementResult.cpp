#include "search/engine/SearchReplacementResult.h"

namespace korimado {

qsizetype SearchReplacementResult::mapPosition(qsizetype position, bool trailing) const
{
    qsizetype d = 0;
    for (const SearchReplacement& edit : edits) {
        const qsizetype f = edit.originalRange.location;
        const qsizetype g = edit.originalRange.length;
        const qsizetype l = edit.replacement.size();
        if (position < f) break;
        if ((g == 0 && position == f) || (g > 0 && position < f + g)) return f + d + (trailing ? l : 0);
        d += l - g;
    }
    return position + d;
}

}  // namespace korimado
