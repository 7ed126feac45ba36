#pragma once

#include <QtGlobal>

#include <algorithm>

namespace korimado {

// A range of UTF-16 units: location and length, like every offset in the text system.
// location == NotFound means "no range".
struct TextRange {
    static constexpr qsizetype NotFound = static_cast<qsizetype>(~0ULL >> 1);

    qsizetype location = 0;
    qsizetype length = 0;

    constexpr TextRange() = default;
    constexpr TextRange(qsizetype loc, qsizetype len) : location(loc), length(len) {}

    static constexpr TextRange fromBounds(qsizetype start, qsizetype end)
    {
        return TextRange(start, end > start ? end - start : 0);
    }

    constexpr qsizetype end() const { return location + length; }
    constexpr bool isEmpty() const { return length == 0; }
    constexpr bool isNotFound() const { return location == NotFound; }
    constexpr bool contains(qsizetype i) const { return i >= location && i < end(); }
    // True when the ranges share a unit, or when an empty range lies inside or at the edge of the other.
    constexpr bool touches(TextRange o) const { return location <= o.end() && o.location <= end(); }

    constexpr TextRange united(TextRange o) const
    {
        return fromBounds(std::min(location, o.location), std::max(end(), o.end()));
    }
    // The common part; empty (at the later start) when the ranges do not overlap.
    constexpr TextRange intersected(TextRange o) const
    {
        const qsizetype s = std::max(location, o.location);
        return fromBounds(s, std::max(s, std::min(end(), o.end())));
    }
    // The range limited to [0, size].
    constexpr TextRange clamped(qsizetype size) const
    {
        const qsizetype s = std::clamp<qsizetype>(location, 0, size);
        return fromBounds(s, std::clamp<qsizetype>(location + std::max<qsizetype>(length, 0), s, size));
    }

    friend constexpr bool operator==(TextRange a, TextRange b) = default;
};

}  // namespace korimado
