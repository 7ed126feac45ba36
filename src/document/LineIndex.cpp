#include "document/LineIndex.h"

#include "platform/text/TextBoundaries.h"
#include "platform/text/TextStorage.h"

#include <algorithm>


namespace korimado {


LineIndex::LineIndex()
{
    rebuild(QString());
}

LineIndex::LineIndex(const QString& text)
{
    rebuild(text);
}

void LineIndex::scan(QStringView units, qsizetype base, std::vector<qsizetype>& out)
{
    const char16_t* p = units.utf16();
    const qsizetype n = units.size();
    qsizetype i = 0;
    while (true) {
        i = TextBoundaries::firstPossibleBreak(p, i, n);
        if (i >= n) return;
        const char16_t u = p[i];
        if (TextBoundaries::isLineBreak(u)) {
            // A CR at the end of the range counts alone, whatever follows outside it.
            if (u == 0x0D && i + 1 < n && p[i + 1] == 0x0A) ++i;
            out.push_back(base + i + 1);
        }
        ++i;
    }
}

void LineIndex::rebuild(const QString& text)
{
    length_ = text.size();
    starts_.clear();
    // Roughly one line per 40 units in ordinary text; avoids most regrowth on large files.
    starts_.reserve(static_cast<size_t>(length_ / 40 + 1));
    starts_.push_back(0);
    scan(QStringView(text), 0, starts_);
    lastRescannedUnits_ = length_;
}

void LineIndex::rebuild(const TextStorage& storage)
{
    length_ = storage.length();
    starts_.clear();
    starts_.reserve(static_cast<size_t>(length_ / 40 + 1));
    starts_.push_back(0);
    bool pendingCR = false;  // the previous chunk ended in a CR
    storage.forEachChunk({0, length_}, [this, &pendingCR](QStringView chunk, qsizetype base) {
        if (pendingCR && !chunk.isEmpty() && chunk.front() == QChar(0x0A)) {
            // A CR LF split across two chunks is one break: the line starts after the LF.
            ++starts_.back();
            chunk = chunk.mid(1);
            ++base;
        }
        scan(chunk, base, starts_);
        pendingCR = !chunk.isEmpty() && chunk.back() == QChar(0x0D);
        return true;
    });
    lastRescannedUnits_ = length_;
}

qsizetype LineIndex::line(qsizetype at) const
{
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), at);
    const qsizetype notGreater = it - starts_.begin();
    return notGreater <= 1 ? 0 : notGreater - 1;
}

TextRange LineIndex::lineRange(qsizetype line) const
{
    if (line < 0 || line >= lineCount()) return {TextRange::NotFound, 0};
    const qsizetype begin = start(line);
    const qsizetype end = line + 1 < lineCount() ? start(line + 1) : length_;
    return {begin, end - begin};
}

bool LineIndex::rescanWindow(qsizetype newLength, TextRange editedRange, qsizetype delta, qsizetype& from,
                             qsizetype& to) const
{
    const qsizetype loc = editedRange.location;
    const qsizetype editEnd = loc + editedRange.length;
    const qsizetype oldEnd = editEnd - delta;
    // A range that cannot describe an edit of the indexed text: start again from the text.
    if (loc < 0 || editedRange.length < 0 || editEnd > newLength || oldEnd < loc || oldEnd > length_
        || length_ + delta != newLength) {
        return false;
    }
    const qsizetype count = lineCount();
    const qsizetype first = line(loc);
    from = starts_[static_cast<size_t>(std::max<qsizetype>(first - 1, 0))];
    const qsizetype last = line(oldEnd);
    const qsizetype oldStop = last + 2 < count ? starts_[static_cast<size_t>(last + 2)] : length_;
    to = oldStop + delta;
    return from >= 0 && to >= from && to <= newLength;
}

void LineIndex::update(const QString& text, TextRange editedRange, qsizetype delta)
{
    qsizetype from = 0;
    qsizetype to = 0;
    if (!rescanWindow(text.size(), editedRange, delta, from, to)) {
        rebuild(text);
        return;
    }
    applyRescan(QStringView(text).mid(from, to - from), from, to, editedRange, delta, text.size());
}

void LineIndex::update(const TextStorage& storage, TextRange editedRange, qsizetype delta)
{
    qsizetype from = 0;
    qsizetype to = 0;
    if (!rescanWindow(storage.length(), editedRange, delta, from, to)) {
        rebuild(storage);
        return;
    }
    const QString window = storage.substring({from, to - from});
    applyRescan(QStringView(window), from, to, editedRange, delta, storage.length());
}

void LineIndex::applyRescan(QStringView window, qsizetype from, qsizetype to, TextRange editedRange,
                            qsizetype delta, qsizetype newLength)
{
    const qsizetype count = lineCount();
    const qsizetype first = line(editedRange.location);
    const qsizetype replaceBegin = std::max<qsizetype>(first - 1, 0);
    const qsizetype last = line(editedRange.location + editedRange.length - delta);
    const qsizetype tail = std::min(last + 2, count);

    run_.clear();
    run_.push_back(from);
    scan(window, from, run_);
    const bool tailRemains = tail < count;
    // The first shifted tail entry already holds this start.
    if (tailRemains && run_.size() > 1 && run_.back() == to) run_.pop_back();

    // Shift the tail by delta while moving it to its new position: one pass over it.
    qsizetype* s = starts_.data();
    const qsizetype newRunSize = static_cast<qsizetype>(run_.size());
    const qsizetype moveBy = newRunSize - (tail - replaceBegin);
    if (moveBy == 0) {
        for (qsizetype i = tail; i < count; ++i) s[i] += delta;
    } else if (moveBy < 0) {
        for (qsizetype i = tail; i < count; ++i) s[i + moveBy] = s[i] + delta;
        starts_.resize(static_cast<size_t>(count + moveBy));
    } else {
        starts_.resize(static_cast<size_t>(count + moveBy));
        s = starts_.data();
        for (qsizetype i = count - 1; i >= tail; --i) s[i + moveBy] = s[i] + delta;
    }
    std::copy(run_.begin(), run_.end(), starts_.begin() + replaceBegin);

    length_ = newLength;
    lastRescannedUnits_ = to - from;
}

}  // namespace korimado
