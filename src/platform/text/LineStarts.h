#pragma once

#include "platform/text/TextRange.h"

#include <QStringView>

#include <vector>

namespace korimado {

class TextStorage;

// Where the lines of a text start, in UTF-16 units: the one line table of a TextStorage, which
// keeps it in step with every character edit before anyone hears of the edit.
//
// Breaks: LF, CR, CR LF (one break), NEL, LS and PS. There is always a line at 0, and a text that
// ends in a break has an empty last line starting at its length.
//
// An edit moves every later start by the change in length. That move is kept pending from a
// "step" line on and settled lazily, only as far as the next edit elsewhere needs: typing at one
// place touches a few entries, not the million after them. Lines made or removed go in and out
// at a gap in the table, which follows the edits: the many pieces of one replacement, made in
// order, move it once across the table.
class LineStarts {
public:
    LineStarts();
    explicit LineStarts(QStringView text);

    qsizetype count() const { return static_cast<qsizetype>(starts_.size()) - gapSize_; }
    // Clamped: start(count()) and beyond is the text's length.
    qsizetype start(qsizetype line) const;
    // The 0-based line holding the unit at offset; offsets past the end give the last line.
    qsizetype lineAt(qsizetype offset) const;
    // The line's units including its break.
    TextRange range(qsizetype line) const;
    qsizetype length() const { return length_; }
    // Every start, in order (a copy: for tests and tools, not for a keystroke).
    std::vector<qsizetype> starts() const;
    // Units scanned by the last rebuild or update.
    qsizetype lastRescannedUnits() const { return lastRescannedUnits_; }

    // Appends the starts made by the breaks inside units, which begin at offset base. A CR that
    // ends units counts alone, whatever follows outside them.
    static void scan(QStringView units, qsizetype base, std::vector<qsizetype>& out);

private:
    friend class TextStorage;
    void rebuild(QStringView text);
    void rebuild(const TextStorage& storage);
    // After one replacement in storage: editedRange is in the new text, delta the change in length.
    void update(const TextStorage& storage, TextRange editedRange, qsizetype delta);
    void settleStep(qsizetype from, qsizetype to, qsizetype by);
    // The entry of a line, wherever the gap is.
    qsizetype& entry(qsizetype line) { return starts_[static_cast<size_t>(line < gapStart_ ? line : line + gapSize_)]; }
    qsizetype entry(qsizetype line) const { return starts_[static_cast<size_t>(line < gapStart_ ? line : line + gapSize_)]; }
    void moveGap(qsizetype line);
    void ensureGap(qsizetype size);

    // Physically: the entries before the gap, gapSize_ unused ones, then the rest.
    std::vector<qsizetype> starts_;
    qsizetype gapStart_ = 0;
    qsizetype gapSize_ = 0;
    // Entries from stepLine_ on still lack stepBy_.
    qsizetype stepLine_ = 1;
    qsizetype stepBy_ = 0;
    qsizetype length_ = 0;
    qsizetype lastRescannedUnits_ = 0;
    std::vector<qsizetype> run_;  // scratch of update, kept to avoid an allocation per keystroke
};

}  // namespace korimado
