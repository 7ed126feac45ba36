#include "platform/text/LayoutManager.h"

#include "platform/text/LayoutManagerParagraph.h"

#include <algorithm>
#include <limits>

namespace korimado {

// MARK: Temporary attributes

namespace {

// Cuts runs so that none crosses [start, end) and returns the index range of those inside.
template <typename Runs>
std::pair<size_t, size_t> isolate(Runs& runs, qsizetype start, qsizetype end)
{
    auto splitAt = [&](qsizetype at) {
        auto it = std::upper_bound(runs.begin(), runs.end(), at, [](qsizetype x, const auto& r) { return x < r.end; });
        if (it != runs.end() && it->start < at) {
            auto copy = *it;
            it->end = at;
            copy.start = at;
            runs.insert(it + 1, copy);
        }
    };
    splitAt(start);
    splitAt(end);
    auto first = std::lower_bound(runs.begin(), runs.end(), start, [](const auto& r, qsizetype x) { return r.start < x; });
    auto last = std::lower_bound(first, runs.end(), end, [](const auto& r, qsizetype x) { return r.start < x; });
    return {static_cast<size_t>(first - runs.begin()), static_cast<size_t>(last - runs.begin())};
}

}  // namespace

std::vector<LayoutManager::Run>& LayoutManager::runsOf(Owner owner)
{
    auto entry = std::find_if(temporaryAttributes_.begin(), temporaryAttributes_.end(), [&](const auto& e) { return e.first == owner; });
    if (entry == temporaryAttributes_.end()) {
        temporaryAttributes_.emplace_back(owner, std::vector<Run>());
        entry = temporaryAttributes_.end() - 1;
    }
    return entry->second;
}

void LayoutManager::mergeRun(std::vector<Run>& runs, const TemporaryAttributes& attributes, TextRange r)
{
    if (runs.empty() || runs.back().end <= r.location) {
        runs.push_back({r.location, r.end(), attributes});  // the usual case: ranges added in order
        return;
    }
    auto [first, last] = isolate(runs, r.location, r.end());
    // Merge into the runs already there, then fill the gaps between them.
    std::vector<Run> merged;
    qsizetype pos = r.location;
    for (size_t i = first; i < last; ++i) {
        Run run = runs[i];
        if (run.start > pos) merged.push_back({pos, run.start, attributes});
        if (attributes.foreground) run.attributes.foreground = attributes.foreground;
        if (attributes.background) run.attributes.background = attributes.background;
        if (attributes.font) run.attributes.font = attributes.font;
        merged.push_back(run);
        pos = run.end;
    }
    if (pos < r.end()) merged.push_back({pos, r.end(), attributes});
    runs.erase(runs.begin() + static_cast<qsizetype>(first), runs.begin() + static_cast<qsizetype>(last));
    runs.insert(runs.begin() + static_cast<qsizetype>(first), merged.begin(), merged.end());
}

// Only the segments that show the range lose their layout: a long paragraph keeps the rest of
// its layout and its heights, so colouring a few screens never lays out the whole line again.
void LayoutManager::temporaryAttributesChanged(TextRange range)
{
    const qsizetype p0 = paragraphIndex(range.location);
    const qsizetype p1 = paragraphIndex(range.end());
    for (auto it = cache_.lower_bound(p0); it != cache_.end() && it->first <= p1; ++it) {
        std::vector<Segment>& segments = it->second->segments;
        const qsizetype base = paragraphStart(it->first);
        auto segment = std::partition_point(segments.begin(), segments.end(),
                                            [&](const Segment& s) { return base + s.end() <= range.location; });
        for (; segment != segments.end() && base + segment->start < range.end(); ++segment) segment->layout.reset();
    }
    Q_EMIT needsDisplay(QRectF(0, paragraphTop(p0), containerWidth(), paragraphTop(p1) - paragraphTop(p0) + rowsOfParagraph(p1) * rowHeight_));
}

void LayoutManager::addTemporaryAttributes(Owner owner, const TemporaryAttributes& attributes, TextRange range)
{
    const TextRange r = range.clamped(storage_.length());
    if (r.isEmpty()) return;
    mergeRun(runsOf(owner), attributes, r);
    temporaryAttributesChanged(r);
}

void LayoutManager::addTemporaryAttributes(Owner owner, const std::vector<TemporaryAttributeRange>& ranges)
{
    std::vector<Run>* runs = nullptr;
    qsizetype start = std::numeric_limits<qsizetype>::max();
    qsizetype end = 0;
    for (const TemporaryAttributeRange& added : ranges) {
        const TextRange r = added.range.clamped(storage_.length());
        if (r.isEmpty()) continue;
        if (!runs) runs = &runsOf(owner);
        mergeRun(*runs, added.attributes, r);
        start = std::min(start, r.location);
        end = std::max(end, r.end());
    }
    if (runs) temporaryAttributesChanged(TextRange::fromBounds(start, end));
}

void LayoutManager::setTemporaryAttributes(Owner owner, const std::vector<TemporaryAttributeRange>& ranges)
{
    std::vector<Run> fresh;
    for (const TemporaryAttributeRange& added : ranges) {
        const TextRange r = added.range.clamped(storage_.length());
        if (!r.isEmpty()) mergeRun(fresh, added.attributes, r);
    }
    std::vector<Run>& runs = runsOf(owner);
    const auto same = [](const Run& a, const Run& b) { return a.start == b.start && a.end == b.end && a.attributes == b.attributes; };
    // Colouring a screen again after a keystroke mostly gives the runs it had, moved with the edit:
    // what lies between the common head and tail is what changed.
    size_t head = 0;
    while (head < runs.size() && head < fresh.size() && same(runs[head], fresh[head])) ++head;
    size_t tail = 0;
    while (tail < runs.size() - head && tail < fresh.size() - head
           && same(runs[runs.size() - 1 - tail], fresh[fresh.size() - 1 - tail]))
        ++tail;
    qsizetype start = std::numeric_limits<qsizetype>::max();
    qsizetype end = 0;
    for (const std::vector<Run>* list : {&runs, &fresh}) {
        for (size_t i = head; i + tail < list->size(); ++i) {
            start = std::min(start, (*list)[i].start);
            end = std::max(end, (*list)[i].end);
        }
    }
    runs = std::move(fresh);
    if (start < end) temporaryAttributesChanged(TextRange::fromBounds(start, end));
}

void LayoutManager::removeTemporaryAttributes(Owner owner, TextRange range)
{
    auto entry = std::find_if(temporaryAttributes_.begin(), temporaryAttributes_.end(), [&](const auto& e) { return e.first == owner; });
    if (entry == temporaryAttributes_.end()) return;
    const TextRange r = range.clamped(storage_.length());
    if (r.isEmpty()) return;
    auto [first, last] = isolate(entry->second, r.location, r.end());
    if (first == last) return;
    entry->second.erase(entry->second.begin() + static_cast<qsizetype>(first), entry->second.begin() + static_cast<qsizetype>(last));
    temporaryAttributesChanged(r);
}

void LayoutManager::removeTemporaryAttributes(Owner owner)
{
    auto entry = std::find_if(temporaryAttributes_.begin(), temporaryAttributes_.end(), [&](const auto& e) { return e.first == owner; });
    if (entry == temporaryAttributes_.end()) return;
    const std::vector<Run> runs = std::move(entry->second);
    temporaryAttributes_.erase(entry);
    if (!runs.empty()) temporaryAttributesChanged(TextRange::fromBounds(runs.front().start, runs.back().end));
}

void LayoutManager::enumerateTemporaryAttributes(Owner owner, TextRange range,
                                                 const std::function<void(TextRange, const TemporaryAttributes&)>& fn) const
{
    auto entry = std::find_if(temporaryAttributes_.begin(), temporaryAttributes_.end(), [&](const auto& e) { return e.first == owner; });
    if (entry == temporaryAttributes_.end()) return;
    const auto& runs = entry->second;
    auto it = std::upper_bound(runs.begin(), runs.end(), range.location, [](qsizetype at, const Run& r) { return at < r.end; });
    for (; it != runs.end() && it->start < range.end(); ++it) {
        const TextRange part = TextRange::fromBounds(it->start, it->end).intersected(range);
        if (!part.isEmpty()) fn(part, it->attributes);
    }
}

// Runs after an edited piece move with it; runs inside replaced text shrink or vanish; text typed
// inside a run takes the run's attributes.
void LayoutManager::moveTemporaryAttributes(const TextStorageEdit& edit)
{
    const qsizetype loc = edit.editedRange.location;
    for (auto& [owner, runs] : temporaryAttributes_) {
        auto it = std::upper_bound(runs.begin(), runs.end(), loc, [](qsizetype at, const Run& r) { return at < r.end; });
        // Text inserted inside a run takes its colour; text inserted at either end does not.
        for (; it != runs.end(); ++it) {
            it->start = edit.mapPosition(it->start, InsertionBias::After);
            it->end = edit.mapPosition(it->end, InsertionBias::Before);
            if (it->start > it->end) it->start = it->end;
        }
        runs.erase(std::remove_if(runs.begin(), runs.end(), [](const Run& r) { return r.end <= r.start; }), runs.end());
    }
}

}  // namespace korimado
