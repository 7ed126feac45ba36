#include "editor/SelectionMath.h"

#include "platform/text/TextStorage.h"

#include "editor/TextReader.h"

#include <algorithm>

namespace korimado::selection {

namespace {

bool byLocationThenLength(TextRange a, TextRange b)
{
    return a.location != b.location ? a.location < b.location : a.length < b.length;
}

qsizetype overlapLength(TextRange a, TextRange b)
{
    return std::max<qsizetype>(0, std::min(a.end(), b.end()) - std::max(a.location, b.location));
}

}  // namespace

void sortRanges(std::vector<TextRange>& ranges)
{
    std::stable_sort(ranges.begin(), ranges.end(), byLocationThenLength);
}

std::vector<TextRange> normalized(const std::vector<TextRange>& ranges, qsizetype textLength)
{
    std::vector<TextRange> sorted;
    sorted.reserve(ranges.size());
    for (TextRange r : ranges) {
        if (r.location == TextRange::NotFound) sorted.emplace_back(0, 0);
        else sorted.push_back(r.clamped(textLength));
    }
    sortRanges(sorted);

    std::vector<TextRange> kept;
    kept.reserve(sorted.size());
    for (TextRange r : sorted) {
        if (!kept.empty() && overlapLength(kept.back(), r) > 0) continue;
        // Sorted input puts any equal kept range among the last ones sharing this location.
        bool repeated = false;
        for (auto it = kept.rbegin(); it != kept.rend() && it->location == r.location; ++it) {
            if (*it == r) {
                repeated = true;
                break;
            }
        }
        if (!repeated) kept.push_back(r);
    }
    if (kept.empty()) kept.emplace_back(0, 0);
    return kept;
}

std::vector<Replacement> applicableReplacements(const std::vector<TextRange>& ranges, const QStringList& strings,
                                                qsizetype textLength)
{
    std::vector<Replacement> pairs;
    if (static_cast<qsizetype>(ranges.size()) != strings.size()) return pairs;
    pairs.reserve(ranges.size());
    for (size_t i = 0; i < ranges.size(); ++i) {
        const TextRange r = ranges[i];
        const bool valid = r.location != TextRange::NotFound && r.location >= 0 && r.length >= 0
                           && r.location <= textLength && r.length <= textLength - r.location;
        if (valid) pairs.push_back({r, strings[static_cast<qsizetype>(i)]});
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Replacement& a, const Replacement& b) { return a.range.location < b.range.location; });

    std::vector<Replacement> kept;
    kept.reserve(pairs.size());
    for (Replacement& p : pairs) {
        if (!kept.empty()) {
            const TextRange last = kept.back().range;
            if (p.range.location < last.end() || p.range == last) continue;
        }
        kept.push_back(std::move(p));
    }
    return kept;
}

std::vector<TextRange> caretsAfter(const std::vector<Replacement>& replacements, bool atEnd)
{
    std::vector<TextRange> carets;
    carets.reserve(replacements.size());
    qsizetype delta = 0;
    for (const Replacement& r : replacements) {
        const qsizetype location = r.range.location + delta;
        carets.emplace_back(atEnd ? location + r.string.size() : location, 0);
        delta += r.string.size() - r.range.length;
    }
    return carets;
}

std::vector<TextRange> uniqueLineRanges(const std::vector<TextRange>& ranges, const TextReader& text)
{
    const qsizetype length = text.length();
    std::vector<TextRange> lines;
    for (TextRange r : ranges) {
        const qsizetype start = std::clamp<qsizetype>(r.location, 0, length);
        const qsizetype clampedLength = std::clamp<qsizetype>(r.length, 0, length - start);
        // A selection ending at a line start does not take that line: look at its last unit.
        const qsizetype last = clampedLength > 0 ? start + clampedLength - 1 : start;
        const TextRange line = TextRange::fromBounds(text.lineAt(start).start, text.lineAt(last).end);
        if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
    }
    std::stable_sort(lines.begin(), lines.end(), [](TextRange a, TextRange b) { return a.location < b.location; });
    return lines;
}

std::vector<TextRange> lineBlocks(const std::vector<TextRange>& ranges, const TextReader& text)
{
    std::vector<TextRange> blocks;
    for (TextRange line : uniqueLineRanges(ranges, text)) {
        if (!blocks.empty() && line.location < blocks.back().end()) blocks.back() = blocks.back().united(line);
        else blocks.push_back(line);
    }
    return blocks;
}

std::vector<TextRange> splitByLines(const std::vector<TextRange>& ranges, const TextReader& text)
{
    std::vector<TextRange> pieces;
    for (TextRange r : ranges) {
        if (r.isEmpty()) {
            pieces.push_back(r);
            continue;
        }
        qsizetype p = r.location;
        bool first = true;
        while (p < r.end()) {
            const TextReader::Line line = first ? text.lineAt(p) : text.lineFrom(p);
            first = false;
            const qsizetype from = std::max(p, line.start);
            pieces.push_back(TextRange::fromBounds(from, std::min(line.contentsEnd, r.end())));
            if (line.end <= p) break;
            p = line.end;
        }
    }
    return pieces;
}

std::vector<TextRange> deletionRanges(const std::vector<TextRange>& ranges, const TextReader& text, bool backward)
{
    std::vector<TextRange> result;
    result.reserve(ranges.size());
    for (TextRange r : ranges) {
        if (!r.isEmpty()) result.push_back(r);
        else if (backward) result.push_back(r.location > 0 ? text.composedCharacterRange(r.location - 1) : r);
        else result.push_back(r.location < text.length() ? text.composedCharacterRange(r.location) : r);
    }
    return result;
}

std::vector<TextRange> rangesAfterEdit(const std::vector<TextRange>& ranges, const TextStorageEdit& edit)
{
    std::vector<TextRange> moved;
    moved.reserve(ranges.size());
    for (TextRange r : ranges) {
        const TextRange m = TextRange::fromBounds(edit.mapPosition(r.location), edit.mapPosition(r.end()));
        if (std::find(moved.begin(), moved.end(), m) == moved.end()) moved.push_back(m);
    }
    sortRanges(moved);
    return moved;
}

}  // namespace korimado::selection
