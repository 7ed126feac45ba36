#pragma once

#include "platform/text/TextRange.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace korimado {

class TextReader;
struct TextStorageEdit;

// The range logic of the editing surface, kept free of widgets: how selections are normalised,
// which replacements of a multi-range edit survive, where the carets land afterwards, and how
// selections map onto lines.
namespace selection {

// Stable sort by location, ties by length (shorter first).
void sortRanges(std::vector<TextRange>& ranges);

// The selections to act on: NotFound becomes (0, 0), the rest is clamped into the text, sorted,
// and a range that overlaps the previous kept one (by at least one unit) or repeats a kept one is
// dropped. Never empty.
std::vector<TextRange> normalized(const std::vector<TextRange>& ranges, qsizetype textLength);

struct Replacement {
    TextRange range;
    QString string;
    friend bool operator==(const Replacement&, const Replacement&) = default;
};

// Pairs ranges with strings by index and keeps the pairs a multi-range edit applies: valid ranges
// only, sorted by location (stable), and of overlapping ones the first in that order. Arrays of
// different sizes give nothing.
std::vector<Replacement> applicableReplacements(const std::vector<TextRange>& ranges, const QStringList& strings,
                                                qsizetype textLength);

// Where each replacement's caret stands once all of them are applied front to back.
std::vector<TextRange> caretsAfter(const std::vector<Replacement>& replacements, bool atEnd);

// The whole lines (terminators included) touched by each range, without repeats, sorted. A
// non-empty range that ends exactly at a line start does not take that line.
std::vector<TextRange> uniqueLineRanges(const std::vector<TextRange>& ranges, const TextReader& text);

// The unique line ranges with overlapping ones merged: every touched line lies in exactly one block.
std::vector<TextRange> lineBlocks(const std::vector<TextRange>& ranges, const TextReader& text);

// Each non-empty range cut into one piece per line, terminators left out; carets stay.
std::vector<TextRange> splitByLines(const std::vector<TextRange>& ranges, const TextReader& text);

// What Backspace (backward) or Delete removes at each selection: a caret takes the user-perceived
// character before or after it; selections stay.
std::vector<TextRange> deletionRanges(const std::vector<TextRange>& ranges, const TextReader& text, bool backward);

// Carries ranges of the old text across an edit by the storage's one mapping (a caret where text
// was inserted stays before it); the result is sorted and free of repeats.
std::vector<TextRange> rangesAfterEdit(const std::vector<TextRange>& ranges, const TextStorageEdit& edit);

}  // namespace selection
}  // namespace korimado
