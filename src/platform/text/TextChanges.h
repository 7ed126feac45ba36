#pragma once

#include "platform/text/TextRange.h"

#include <deque>
#include <vector>

namespace korimado {

// Where a position standing exactly where text was inserted goes: it stays before the new text
// (a caret, the end of a coloured run) or moves after it (the start of a coloured run).
enum class InsertionBias { Before, After };

// One replaced piece: where it stood in the text before, how long it was there and how long it
// became.
struct TextChange {
    qsizetype location = 0;
    qsizetype oldLength = 0;
    qsizetype newLength = 0;

    qsizetype oldEnd() const { return location + oldLength; }
    qsizetype delta() const { return newLength - oldLength; }
    friend bool operator==(const TextChange&, const TextChange&) = default;
};

// The pieces one edit replaced, in the coordinates of the text before it: sorted, never
// overlapping, and never two insertions at one place. Maps positions of the old text to the new
// one piece by piece, so that what lies between the pieces stays put.
class TextChanges {
public:
    TextChanges() = default;
    // changes as described above.
    explicit TextChanges(std::vector<TextChange> changes);

    const std::vector<TextChange>& changes() const { return changes_; }
    bool isEmpty() const { return changes_.empty(); }
    qsizetype size() const { return static_cast<qsizetype>(changes_.size()); }
    // Where change i begins in the new text.
    qsizetype newLocation(qsizetype i) const { return changes_[size_t(i)].location + deltaBefore_[size_t(i)]; }

    // A position before a piece stays, after it shifts by the pieces before; inside replaced text
    // it goes to the end of the new text; at the start of a replaced piece it stays at its start.
    qsizetype mapPosition(qsizetype position, InsertionBias bias = InsertionBias::Before) const;
    // Whether position lay inside a replaced piece, its text gone (not at either end).
    bool replaces(qsizetype position) const;
    // The same for one piece alone.
    static qsizetype mapPosition(const TextChange& change, qsizetype position, InsertionBias bias);
    static bool replaces(const TextChange& change, qsizetype position)
    {
        return change.location < position && position < change.oldEnd();
    }

    // The single change first followed by the changes then (in the text first produced), as
    // changes of the text before first. Pieces that overlap in between become one.
    static std::vector<TextChange> composed(const std::vector<TextChange>& first, const std::vector<TextChange>& then);

    // Gathers the pieces of an edit made of several replacements, each given in the text as it
    // stands then: in constant time when they come in ascending or descending order.
    class Builder {
    public:
        void add(TextRange range, qsizetype newLength);
        bool isEmpty() const { return changes_.empty(); }
        qsizetype size() const { return static_cast<qsizetype>(changes_.size()); }
        std::vector<TextChange> take();

    private:
        std::deque<TextChange> changes_;
        qsizetype delta_ = 0;  // of every piece so far
    };

private:
    std::vector<TextChange> changes_;
    std::vector<qsizetype> deltaBefore_;  // changes_.size() + 1 entries
};

}  // namespace korimado
