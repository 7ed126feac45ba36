#include "platform/text/TextChanges.h"

#include <algorithm>

namespace korimado {

TextChanges::TextChanges(std::vector<TextChange> changes) : changes_(std::move(changes))
{
    deltaBefore_.reserve(changes_.size() + 1);
    qsizetype delta = 0;
    for (const TextChange& change : changes_) {
        deltaBefore_.push_back(delta);
        delta += change.delta();
    }
    deltaBefore_.push_back(delta);
}

qsizetype TextChanges::mapPosition(qsizetype position, InsertionBias bias) const
{
    // Every piece that ends before the position only shifts it.
    const auto first = std::partition_point(changes_.begin(), changes_.end(),
                                            [position](const TextChange& c) { return c.oldEnd() < position; });
    size_t i = static_cast<size_t>(first - changes_.begin());
    qsizetype delta = deltaBefore_.empty() ? 0 : deltaBefore_[i];
    for (; i < changes_.size(); ++i) {
        const TextChange& c = changes_[i];
        if (position < c.location) return position + delta;
        if (position == c.location && (c.oldLength > 0 || bias == InsertionBias::Before)) return position + delta;
        if (position >= c.oldEnd()) {
            delta += c.delta();
            continue;
        }
        return c.location + delta + c.newLength;
    }
    return position + delta;
}

qsizetype TextChanges::mapPosition(const TextChange& c, qsizetype position, InsertionBias bias)
{
    if (position < c.location) return position;
    if (position == c.location && (c.oldLength > 0 || bias == InsertionBias::Before)) return position;
    if (position >= c.oldEnd()) return position + c.delta();
    return c.location + c.newLength;
}

bool TextChanges::replaces(qsizetype position) const
{
    const auto it = std::partition_point(changes_.begin(), changes_.end(),
                                         [position](const TextChange& c) { return c.oldEnd() <= position; });
    return it != changes_.end() && it->location < position;
}

// Both lists become intervals of the text in between: what first made and what then replaced.
// Intervals that overlap form one piece; its place in the text before is found by undoing the
// shifts of the pieces of first before it, its new length by adding the shifts then made in it.
std::vector<TextChange> TextChanges::composed(const std::vector<TextChange>& first, const std::vector<TextChange>& then)
{
    struct Interval {
        qsizetype start;
        qsizetype end;
        qsizetype delta;
        bool ofFirst;
    };
    std::vector<Interval> made;
    made.reserve(first.size());
    qsizetype shift = 0;
    for (const TextChange& c : first) {
        if (c.oldLength == 0 && c.newLength == 0) continue;
        made.push_back({c.location + shift, c.location + shift + c.newLength, c.delta(), true});
        shift += c.delta();
    }
    std::vector<Interval> replaced;
    replaced.reserve(then.size());
    for (const TextChange& c : then) {
        if (c.oldLength == 0 && c.newLength == 0) continue;
        replaced.push_back({c.location, c.oldEnd(), c.delta(), false});
    }

    size_t i = 0;
    size_t j = 0;
    auto peek = [&]() -> const Interval* {
        const Interval* a = i < made.size() ? &made[i] : nullptr;
        const Interval* b = j < replaced.size() ? &replaced[j] : nullptr;
        if (!a || !b) return a ? a : b;
        const bool aFirst = a->start != b->start ? a->start < b->start : a->end <= b->end;
        return aFirst ? a : b;
    };
    auto take = [&](const Interval* interval) {
        if (interval->ofFirst) ++i;
        else ++j;
    };

    std::vector<TextChange> out;
    qsizetype firstShiftBefore = 0;
    while (const Interval* x = peek()) {
        take(x);
        const qsizetype start = x->start;
        qsizetype end = x->end;
        qsizetype firstShift = x->ofFirst ? x->delta : 0;
        qsizetype thenShift = x->ofFirst ? 0 : x->delta;
        while (const Interval* y = peek()) {
            if (y->start >= end) break;
            take(y);
            end = std::max(end, y->end);
            (y->ofFirst ? firstShift : thenShift) += y->delta;
        }
        const TextChange change{start - firstShiftBefore, end - start - firstShift, end - start + thenShift};
        firstShiftBefore += firstShift;
        if (change.oldLength == 0 && change.newLength == 0) continue;
        if (!out.empty() && out.back().oldLength == 0 && change.oldLength == 0 && out.back().location == change.location) {
            out.back().newLength += change.newLength;
            continue;
        }
        out.push_back(change);
    }
    return out;
}

void TextChanges::Builder::add(TextRange range, qsizetype newLength)
{
    if (range.length == 0 && newLength == 0) return;
    const TextChange change{range.location, range.length, newLength};
    const qsizetype before = delta_;
    delta_ += change.delta();
    if (changes_.empty()) {
        changes_.push_back(change);
        return;
    }
    // After every piece so far: its place in the text before is behind their shifts.
    TextChange& last = changes_.back();
    if (range.location >= last.oldEnd() + before) {
        const TextChange moved{range.location - before, range.length, newLength};
        if (moved.oldLength == 0 && last.oldLength == 0 && moved.location == last.location) last.newLength += newLength;
        else changes_.push_back(moved);
        return;
    }
    // Before every piece so far: nothing has moved there.
    TextChange& head = changes_.front();
    if (range.end() <= head.location) {
        if (change.oldLength == 0 && head.oldLength == 0 && change.location == head.location) head.newLength += newLength;
        else changes_.push_front(change);
        return;
    }
    const std::vector<TextChange> merged = composed(std::vector<TextChange>(changes_.begin(), changes_.end()), {change});
    changes_.assign(merged.begin(), merged.end());
}

std::vector<TextChange> TextChanges::Builder::take()
{
    std::vector<TextChange> out(changes_.begin(), changes_.end());
    changes_.clear();
    delta_ = 0;
    return out;
}

}  // namespace korimado
