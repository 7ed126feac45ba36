#pragma once

#include "platform/text/TextRange.h"

#include <QString>

#include <functional>
#include <vector>

namespace korimado {

// How many characters (extended grapheme clusters, CharacterClusters) a text holds, kept in
// blocks of about blockUnits UTF-16 units beside the line table, so that a script asking for the
// length or a character position of a 62 MB text counts one block, not the text.
//
// A block ends where no cluster can run on whatever the text holds: after a line break, or between
// two ASCII units that are not CR LF. Both rules look only at the two units beside the cut, so an
// edit leaves every cut it does not touch valid: it marks the blocks it touches (and a neighbour
// whose cut it touches) for counting again, and the next question counts them and cuts them anew.
class CharacterCounts {
public:
    static constexpr qsizetype blockUnits = 16384;
    // Gives the units in [from, to); callers keep 0 <= from <= to <= length. What it gives is read
    // at once and not kept, so it may point into the text rather than copy it.
    using Fetch = std::function<QString(qsizetype from, qsizetype to)>;

    CharacterCounts() = default;

    // The text is counted when first asked.
    void reset(qsizetype length);
    // One replacement: range in the old text, newLength units in its place.
    void replace(TextRange oldRange, qsizetype newLength);

    qsizetype count(const Fetch& fetch) const;
    // The characters that start before offset.
    qsizetype charactersBefore(qsizetype offset, const Fetch& fetch) const;
    // Where the character with index characters starts; the length from count() on.
    qsizetype offset(qsizetype characters, const Fetch& fetch) const;

    // Blocks now and blocks counted since the last reset, for tests.
    qsizetype blockCount() const { return qsizetype(blocks_.size()); }
    qsizetype countedUnits() const { return countedUnits_; }

    // Whether a cluster can never run across the cut between units a and b.
    static bool isSafeCut(char16_t a, char16_t b);

private:
    struct Block {
        qsizetype units = 0;
        mutable qsizetype characters = -1;  // -1: to be counted
    };
    void settle(const Fetch& fetch) const;
    void settleStarts() const;
    // The block holding offset (the last for the length), and its start.
    qsizetype blockAt(qsizetype offset) const;

    mutable std::vector<Block> blocks_;
    // starts_[i] = start of block i, valid for i < startsValid_; characterStarts_ likewise.
    mutable std::vector<qsizetype> starts_;
    mutable std::vector<qsizetype> characterStarts_;
    mutable qsizetype startsValid_ = 0;
    mutable bool dirty_ = false;
    mutable qsizetype countedUnits_ = 0;
    qsizetype length_ = 0;
};

}  // namespace korimado
