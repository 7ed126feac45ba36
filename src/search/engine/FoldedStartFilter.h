#pragma once

#include "search/engine/TextFolding.h"

#include <QStringView>

#include <cstdint>
#include <optional>

namespace korimado {

// Where, in text not yet folded, an occurrence of a folded pattern may begin: a position whose
// own fold begins with the pattern's first unit and whose next one's with its second (both
// looked at in ASCII and CJK text eight units at a time), or one beside a code point that folds
// with its neighbours (a mark) or one beyond the BMP that does not fold to itself. Every occurrence begins at such a position; most text
// holds few of them, so only the text around them need be folded.
class FoldedStartFilter {
public:
    // None for a pattern of fewer than two folded units.
    static std::optional<FoldedStartFilter> make(const TextFolding& folding, QStringView foldedPattern);

    // The first such position in [from, n), or n.
    qsizetype next(const char16_t* text, qsizetype n, qsizetype from) const;

    struct Unit {
        char16_t first = 0;   // the first unit of its fold
        char16_t second = 0;  // the second, or 0 for a fold of one unit
        bool special = false; // folds with its neighbours, to nothing, or is a surrogate
    };
    struct ModeTable;

private:
    explicit FoldedStartFilter(const TextFolding& folding) : folding_(folding) {}
    bool mayBeginAt(const char16_t* text, qsizetype n, qsizetype i) const;
    qsizetype firstInBlock(const char16_t* text, qsizetype n, qsizetype i, std::uint64_t quiet, std::uint64_t first,
                           std::uint64_t second, std::uint64_t starts) const;
#if defined(__x86_64__)
    // Sixteen starts at a time where the processor can: a position found, or -1 with i moved to
    // where the narrower loop goes on.
    qsizetype nextWide(const char16_t* text, qsizetype n, qsizetype& i) const;
#endif
    bool mayBeginAtCodePoints(const char16_t* text, qsizetype n, qsizetype i) const;
    Unit codePointAt(const char16_t* text, qsizetype n, qsizetype i, int& length) const;

    TextFolding folding_;
    const ModeTable* table_ = nullptr;
    char16_t first_ = 0;
    char16_t second_ = 0;
    bool cjkQuiet_ = false;  // CJK units are compared eight at a time, as ASCII ones are
    bool emojiQuiet_ = false;  // so are emoji
};

}  // namespace korimado
