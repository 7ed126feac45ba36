#include "platform/text/LineStarts.h"

#include "platform/text/TextBoundaries.h"
#include "platform/text/TextStorage.h"

#include <algorithm>

namespace korimado {

LineStarts::LineStarts()
{
    rebuild(QStringView());
}

LineStarts::LineStarts(QStringView text)
{
    rebuild(text);
}

qsizetype LineStarts::start(qsizetype line) const
{
    if (line <= 0) return 0;
    if (line >= count()) return length_;
    const qsizetype raw = entry(line);
    return line >= stepLine_ ? raw + stepBy_ : raw;
}

qsizetype LineStarts::lineAt(qsizetype offset) const
{
    // The last line whose start is not after offset.
    qsizetype lo = 0;
    qsizetype hi = count() - 1;
    while (lo < hi) {
        const qsizetype mid = lo + (hi - lo + 1) / 2;
        if (start(mid) <= offset) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

TextRange LineStarts::range(qsizetype line) const
{
    if (line < 0 || line >= count()) return {TextRange::NotFound, 0};
    return TextRange::fromBounds(start(line), start(line + 1));
}

std::vector<qsizetype> LineStarts::starts() const
{
    std::vector<qsizetype> all(static_cast<size_t>(count()));
    for (qsizetype i = 0; i < count(); ++i) all[static_cast<size_t>(i)] = start(i);
    return all;
}

void LineStarts::scan(QStringView units, qsizetype base, std::vector<qsizetype>& out)
{
    const char16_t* p = units.utf16();
    const qsizetype n = units.size();
    qsizetype i = 0;
    while (true) {
        i = TextBoundaries::firstPossibleBreak(p, i, n);
        if (i >= n) return;
        const char16_t u = p[i];
        if (TextBoundaries::isLineBreak(u)) {
            if (u == 0x0D && i + 1 < n && p[i + 1] == 0x0A) ++i;
            out.push_back(base + i + 1);
        }
        ++i;
    }
}

void LineStarts::rebuild(QStringView text)
{
    length_ = text.size();
    starts_.clear();
    gapStart_ = 0;
    gapSize_ = 0;
    // Roughly one line per 40 units in ordinary text; avoids most regrowth on large files.
    starts_.reserve(static_cast<size_t>(length_ / 40 + 1));
    starts_.push_back(0);
    scan(text, 0, starts_);
    stepLine_ = count();
    stepBy_ = 0;
    lastRescannedUnits_ = length_;
}

void LineStarts::rebuild(const TextStorage& storage)
{
    length_ = storage.length();
    starts_.clear();
    gapStart_ = 0;
    gapSize_ = 0;
    starts_.reserve(static_cast<size_t>(length_ / 40 + 1));
    starts_.push_back(0);
    bool pendingCR = false;  // the previous chunk ended in a CR
    storage.forEachChunk({0, length_}, [this, &pendingCR](QStringView chunk, qsizetype base) {
        if (pendingCR && !chunk.isEmpty() && chunk.front() == QChar(0x0A)) {
            // A CR LF split between two chunks is one break: the line starts after the LF.
            ++starts_.back();
            chunk = chunk.mid(1);
            ++base;
        }
        scan(chunk, base, starts_);
        pendingCR = !chunk.isEmpty() && chunk.back() == QChar(0x0D);
        return true;
    });
    stepLine_ = count();
    stepBy_ = 0;
    lastRescannedUnits_ = length_;
}

void LineStarts::settleStep(qsizetype from, qsizetype to, qsizetype by)
{
    if (by == 0 || from >= to) return;
    qsizetype* s = starts_.data();
    for (qsizetype i = from; i < std::min(to, gapStart_); ++i) s[i] += by;
    for (qsizetype i = std::max(from, gapStart_); i < to; ++i) s[i + gapSize_] += by;
}

void LineStarts::moveGap(qsizetype line)
{
    qsizetype* s = starts_.data();
    if (line < gapStart_) {
        std::copy_backward(s + line, s + gapStart_, s + gapStart_ + gapSize_);
    } else if (line > gapStart_) {
        std::copy(s + gapStart_ + gapSize_, s + line + gapSize_, s + gapStart_);
    }
    gapStart_ = line;
}

void LineStarts::ensureGap(qsizetype size)
{
    if (gapSize_ >= size) return;
    // Room for this edit and many more like it, so that growing stays rare.
    const qsizetype lines = count();
    const qsizetype gap = std::max<qsizetype>({size, 1024, lines / 16});
    std::vector<qsizetype> grown(static_cast<size_t>(lines + gap));
    std::copy(starts_.begin(), starts_.begin() + gapStart_, grown.begin());
    std::copy(starts_.begin() + gapStart_ + gapSize_, starts_.end(), grown.begin() + gapStart_ + gap);
    starts_ = std::move(grown);
    gapSize_ = gap;
}

// Only starts the edit can have touched are looked at again: those from its location to its old
// end. A start before it keeps the units on both sides of it; one after it only moves.
void LineStarts::update(const TextStorage& storage, TextRange editedRange, qsizetype delta)
{
    const qsizetype newLength = storage.length();
    const qsizetype loc = editedRange.location;
    const qsizetype editEnd = editedRange.end();
    const qsizetype oldEnd = editEnd - delta;
    if (loc < 0 || editedRange.length < 0 || editEnd > newLength || oldEnd < loc || oldEnd > length_
        || length_ + delta != newLength) {
        rebuild(storage);  // cannot describe an edit of the text the table holds
        return;
    }

    // A start at s exists where unit s - 1 is a break that is not the CR of a CR LF: look at the
    // units from just before the edit to just after it.
    run_.clear();
    const qsizetype w0 = std::max<qsizetype>(loc - 1, 0);
    const qsizetype w1 = std::min(editEnd + 1, newLength);
    const QString window = storage.substring({w0, w1 - w0});
    const char16_t* p = reinterpret_cast<const char16_t*>(window.utf16());
    const qsizetype scanEnd = editEnd - w0;
    for (qsizetype i = TextBoundaries::firstPossibleBreak(p, 0, scanEnd); i < scanEnd;
         i = TextBoundaries::firstPossibleBreak(p, i + 1, scanEnd)) {
        const char16_t c = p[i];
        if (!TextBoundaries::isLineBreak(c)) continue;
        if (c == 0x0D && i + 1 < window.size() && p[i + 1] == 0x0A) continue;  // the LF ends it
        if (w0 + i + 1 >= loc) run_.push_back(w0 + i + 1);
    }
    lastRescannedUnits_ = window.size();

    // The old starts in [loc, oldEnd] go (the first line's start always stays).
    auto firstNotBefore = [this](qsizetype value, qsizetype lo) {
        qsizetype hi = count();
        while (lo < hi) {
            const qsizetype mid = lo + (hi - lo) / 2;
            if (start(mid) < value) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    };
    const qsizetype first = firstNotBefore(std::max<qsizetype>(loc, 1), 1);
    const qsizetype tail = firstNotBefore(oldEnd + 1, first);

    // Everything from tail on moves by delta: fold that into the pending step.
    if (stepBy_ == 0) {
        // Nothing pending: the step begins here.
        stepLine_ = tail;
        stepBy_ = delta;
    } else if (stepLine_ <= tail) {
        settleStep(stepLine_, tail, stepBy_);
        stepLine_ = tail;
        stepBy_ += delta;
    } else {
        // The step comes back to the edit, and the starts it passes keep only what they had: the
        // next edit nearby, before or after, is cheap again.
        settleStep(tail, stepLine_, -stepBy_);
        stepLine_ = tail;
        stepBy_ += delta;
    }

    const qsizetype removed = tail - first;
    const qsizetype inserted = static_cast<qsizetype>(run_.size());
    if (inserted == removed) {
        for (qsizetype i = 0; i < inserted; ++i) entry(first + i) = run_[static_cast<size_t>(i)];
    } else {
        // The entries of the edited lines go into the gap, the new ones come out of it.
        moveGap(first);
        gapSize_ += removed;
        ensureGap(inserted);
        std::copy(run_.begin(), run_.end(), starts_.begin() + gapStart_);
        gapStart_ += inserted;
        gapSize_ -= inserted;
    }
    stepLine_ += inserted - removed;
    if (stepLine_ >= count()) {
        stepLine_ = count();
        stepBy_ = 0;
    }
    length_ = newLength;
}

}  // namespace korimado
