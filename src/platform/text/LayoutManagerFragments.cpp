// Line fragments, and the points and rects of characters in them.

#include "platform/text/LayoutManager.h"

#include "platform/text/LayoutManagerParagraph.h"
#include "platform/text/TextBoundaries.h"

#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace korimado {

using namespace layout_manager_detail;

// MARK: Fragments

void LayoutManager::forEachFragmentOfParagraph(qsizetype paragraph, const QRectF& area, TextRange characters,
                                                const std::function<bool(const LineFragment&, Segment&, int)>& fn)
{
    ParagraphLayout& layout = paragraphLayout(paragraph);
    const TextRange contents = paragraphContentsRange(paragraph);
    const qsizetype paragraphEnd = paragraphRange(paragraph).end();
    const qreal top = paragraphTop(paragraph);
    qsizetype rowOffset = 0;
    const size_t count = layout.segments.size();
    bool reported = false;
    for (size_t k = 0; k < count; ++k) {
        Segment& segment = layout.segments[k];
        // Long paragraphs: skip the segments that lie outside what is asked for. The last one
        // stands for the paragraph when nothing else of it was reached (its row, its line break).
        if (count > 1 && (k + 1 < count || reported)) {
            const qreal segmentTop = top + static_cast<qreal>(rowOffset) * rowHeight_;
            const bool outside = wrapsLines_
                ? segmentTop > area.bottom() || segmentTop + segment.rows * rowHeight_ < area.top()
                : segment.x > area.right() || segment.x + segment.width < area.left();
            const qsizetype from = contents.location + segment.start;
            if (outside || from + segment.length < characters.location || from > characters.end()) {
                if (wrapsLines_) rowOffset += segment.rows;
                continue;
            }
        }
        layoutSegment(layout, paragraph, segment);
        reported = true;
        const int lines = segment.layout->lineCount();
        for (int i = 0; i < std::max(lines, 1); ++i) {
            LineFragment fragment;
            fragment.paragraph = paragraph;
            const qreal y = top + static_cast<qreal>(rowOffset + i) * rowHeight_;
            fragment.rect = QRectF(0, y, containerWidth(), rowHeight_);
            qsizetype start = contents.location + segment.start;
            qsizetype length = 0;
            qreal width = 0;
            if (lines > 0) {
                const QTextLine line = segment.layout->lineAt(i);
                const qsizetype from = fromLayout(segment, line.textStart());
                start += from;
                length = fromLayout(segment, line.textStart() + line.textLength()) - from;
                width = line.naturalTextWidth();
            }
            if (k + 1 == count && i + 1 >= lines) length = paragraphEnd - start;  // with the line break
            fragment.usedRect = QRectF(wrapsLines_ ? 0 : segment.x, y, std::max<qreal>(width, 1), rowHeight_);
            fragment.characterRange = TextRange(start, length);
            if (!fn(fragment, segment, lines > 0 ? i : -1)) return;
        }
        if (wrapsLines_) rowOffset += segment.rows;
    }
}

// A composition on the empty last line makes it a line like the others.
bool LayoutManager::hasExtraLineFragment() const
{
    const qsizetype length = storage_.length();
    return paragraphStart(paragraphCount() - 1) == length
        && (marked_.locations.empty() || marked_.locations.back() != length);
}

QRectF LayoutManager::extraLineFragmentRect() const
{
    if (!hasExtraLineFragment()) return QRectF();
    return QRectF(0, paragraphTop(paragraphCount() - 1), containerWidth(), rowHeight_);
}

QRectF LayoutManager::extraLineFragmentUsedRect() const
{
    if (!hasExtraLineFragment()) return QRectF();
    return QRectF(0, paragraphTop(paragraphCount() - 1), 1, rowHeight_);
}

std::vector<LineFragment> LayoutManager::lineFragments(const QRectF& rect)
{
    ++useClock_;
    std::vector<LineFragment> out;
    const qsizetype last = paragraphCount() - (hasExtraLineFragment() ? 2 : 1);
    if (last < 0 || rect.bottom() < 0) return out;
    for (qsizetype p = paragraphAtRow(static_cast<qsizetype>(std::floor(rect.top() / rowHeight_))); p <= last; ++p) {
        if (paragraphTop(p) >= rect.bottom()) break;
        forEachFragmentOfParagraph(p, rect, allText(), [&](const LineFragment& f, Segment&, int) {
            if (f.rect.bottom() > rect.top() && f.rect.top() < rect.bottom()) out.push_back(f);
            return f.rect.top() < rect.bottom();
        });
    }
    return out;
}

TextRange LayoutManager::glyphRange(const QRectF& boundingRect)
{
    const std::vector<LineFragment> fragments = lineFragments(boundingRect);
    if (fragments.empty()) {
        if (hasExtraLineFragment() && extraLineFragmentRect().intersects(boundingRect)) return TextRange(storage_.length(), 0);
        return TextRange(0, 0);
    }
    qsizetype start = fragments.front().characterRange.location;
    qsizetype end = fragments.front().characterRange.end();
    for (const LineFragment& f : fragments) {
        start = std::min(start, f.characterRange.location);
        end = std::max(end, f.characterRange.end());
    }
    return TextRange::fromBounds(start, end);
}

void LayoutManager::enumerateLineFragments(TextRange characterRange, const std::function<bool(const LineFragment&)>& fn)
{
    ++useClock_;
    const TextRange r = characterRange.clamped(storage_.length());
    const qsizetype last = paragraphCount() - (hasExtraLineFragment() ? 2 : 1);
    if (last < 0) return;
    const qsizetype first = std::min(paragraphIndex(r.location), last);
    const qsizetype lastNeeded = std::min(paragraphIndex(r.isEmpty() ? r.location : r.end() - 1), last);
    bool going = true;
    for (qsizetype p = first; p <= lastNeeded && going; ++p) {
        forEachFragmentOfParagraph(p, everywhere(), r, [&](const LineFragment& f, Segment&, int) {
            const TextRange fr = f.characterRange;
            const bool hit = r.isEmpty() ? (fr.contains(r.location) || (fr.end() == r.location && fr.end() == storage_.length()))
                                         : fr.intersected(r).length > 0;
            if (hit && !fn(f)) going = false;
            return going && fr.location < std::max(r.end(), r.location + 1);
        });
    }
}

LineFragment LayoutManager::lineFragment(qsizetype characterIndex)
{
    const qsizetype at = std::clamp<qsizetype>(characterIndex, 0, storage_.length());
    if (at == storage_.length() && hasExtraLineFragment()) {
        LineFragment f;
        f.rect = extraLineFragmentRect();
        f.usedRect = extraLineFragmentUsedRect();
        f.characterRange = TextRange(at, 0);
        f.paragraph = paragraphCount() - 1;
        return f;
    }
    LineFragment found;
    enumerateLineFragments(TextRange(at, 0), [&](const LineFragment& f) {
        found = f;
        return false;
    });
    return found;
}

// MARK: Points and rects

qsizetype LayoutManager::characterIndex(const QPointF& point, qreal* fraction)
{
    ++useClock_;
    if (fraction) *fraction = 0;
    const qsizetype length = storage_.length();
    if (length == 0) return 0;
    const qsizetype row = std::max<qsizetype>(0, static_cast<qsizetype>(std::floor(point.y() / rowHeight_)));
    qsizetype p = paragraphAtRow(row);
    if (hasExtraLineFragment() && p == paragraphCount() - 1) return length;
    const qsizetype rowInParagraph = std::max<qsizetype>(0, row - rowsBefore(p));

    // The fragment on that row nearest to x (a row past the paragraph's end: its last fragment).
    LineFragment best;
    Segment* bestSegment = nullptr;
    int bestLine = -1;
    bool have = false;
    const qreal rowTop = paragraphTop(p) + static_cast<qreal>(rowInParagraph) * rowHeight_;
    const QRectF area(point.x() - 1, rowTop, 2, rowHeight_);
    forEachFragmentOfParagraph(p, area, allText(), [&](const LineFragment& f, Segment& s, int line) {
        if (f.rect.top() > rowTop + rowHeight_ / 2) return false;
        if (have && f.rect.top() == best.rect.top() && f.usedRect.left() > point.x()) return false;
        best = f;
        bestSegment = &s;
        bestLine = line;
        have = true;
        return true;
    });
    if (!have) return std::min(paragraphStart(p), length - 1);
    const TextRange contents = paragraphContentsRange(p);
    const qsizetype contentsEnd = contents.end();
    const bool lastOfParagraph = best.characterRange.end() >= contentsEnd;
    if (bestLine < 0) {  // an empty paragraph: its line break
        if (fraction) *fraction = point.x() > 0 ? 1 : 0;
        return std::min(best.characterRange.location, length - 1);
    }
    const QTextLine line = bestSegment->layout->lineAt(bestLine);
    const qsizetype base = contents.location + bestSegment->start;
    const qreal x = point.x() - (wrapsLines_ ? 0 : bestSegment->x);
    const int lineEnd = line.textStart() + line.textLength();
    if (x >= line.naturalTextWidth()) {
        if (fraction) *fraction = 1;
        if (lastOfParagraph && contentsEnd < paragraphRange(p).end()) return contentsEnd;  // the line break
        return std::min(std::max<qsizetype>(base + fromLayout(*bestSegment, lineEnd) - 1, best.characterRange.location),
                        length);
    }
    int cursor = line.xToCursor(std::max<qreal>(x, 0), QTextLine::CursorOnCharacter);
    cursor = std::clamp(cursor, line.textStart(), std::max(line.textStart(), lineEnd - 1));
    if (fraction) {
        const qreal x0 = line.cursorToX(cursor);
        const qreal x1 = line.cursorToX(cursor + 1);
        *fraction = x1 > x0 ? std::clamp((x - x0) / (x1 - x0), 0.0, 1.0) : 0.0;
    }
    if (insideComposition(*bestSegment, cursor) && fraction) *fraction = 0;
    return std::min(base + fromLayout(*bestSegment, cursor), length);
}

QRectF LayoutManager::caretRect(qsizetype characterIndex)
{
    return caretRectAt(characterIndex, -1);
}

QRectF LayoutManager::markedCaretRect(qsizetype location, qsizetype offset)
{
    return caretRectAt(location, std::clamp<qsizetype>(offset, 0, marked_.text.size()));
}

QRectF LayoutManager::caretRectAt(qsizetype characterIndex, qsizetype compositionOffset)
{
    ++useClock_;
    const qsizetype at = std::clamp<qsizetype>(characterIndex, 0, storage_.length());
    if (at == storage_.length() && hasExtraLineFragment()) {
        QRectF r = extraLineFragmentRect();
        r.setWidth(1);
        return r;
    }
    const qsizetype p = paragraphIndex(at);
    const TextRange contents = paragraphContentsRange(p);
    const qsizetype rel = std::min(at - contents.location, contents.length);
    ParagraphLayout& layout = paragraphLayout(p);
    const qreal top = paragraphTop(p);
    qsizetype rowOffset = 0;
    for (size_t k = 0; k < layout.segments.size(); ++k) {
        Segment& s = layout.segments[k];
        const bool lastSegment = k + 1 == layout.segments.size();
        if (rel >= s.end() && !lastSegment) {
            rowOffset += wrapsLines_ ? s.rows : 0;
            continue;
        }
        layoutSegment(layout, p, s);
        const bool inComposition = compositionOffset >= 0
            && std::binary_search(s.insertions.begin(), s.insertions.end(), rel - s.start);
        const int pos = static_cast<int>(toLayout(s, rel - s.start, false) + (inComposition ? compositionOffset : 0));
        int lineIndex = 0;
        for (int i = 0; i < s.layout->lineCount(); ++i) {
            if (s.layout->lineAt(i).textStart() <= pos) lineIndex = i;
        }
        qreal x = 0;
        if (s.layout->lineCount() > 0) x = s.layout->lineAt(lineIndex).cursorToX(pos);
        return QRectF((wrapsLines_ ? 0 : s.x) + x, top + static_cast<qreal>(rowOffset + lineIndex) * rowHeight_, 1, rowHeight_);
    }
    return QRectF(0, top, 1, rowHeight_);
}

QRectF LayoutManager::boundingRect(TextRange characterRange)
{
    const TextRange r = characterRange.clamped(storage_.length());
    if (r.isEmpty()) {
        QRectF caret = caretRect(r.location);
        caret.setWidth(0);
        return caret;
    }
    QRectF out;
    const qsizetype first = paragraphIndex(r.location);
    const qsizetype last = paragraphIndex(r.end() - 1);
    ++useClock_;
    for (qsizetype p = first; p <= last; ++p) {
        const TextRange contents = paragraphContentsRange(p);
        forEachFragmentOfParagraph(p, everywhere(), r, [&](const LineFragment& f, Segment& s, int line) {
            const TextRange part = f.characterRange.intersected(r);
            if (part.isEmpty()) return f.characterRange.location < r.end();
            qreal x0 = 0, x1 = spaceWidth_;
            if (line >= 0) {
                const QTextLine l = s.layout->lineAt(line);
                const qsizetype base = contents.location + s.start;
                const int a = static_cast<int>(toLayout(s, part.location - base, true));
                const int b = static_cast<int>(toLayout(s, std::min(part.end(), contents.end()) - base, false));
                x0 = l.cursorToX(a);
                x1 = b > a ? l.cursorToX(b) : x0;
                if (part.end() > contents.end()) x1 += spaceWidth_;  // the line break
            }
            const qreal offset = wrapsLines_ ? 0 : s.x;
            out = out.united(QRectF(offset + std::min(x0, x1), f.rect.top(), std::max<qreal>(std::abs(x1 - x0), 1), rowHeight_));
            return true;
        });
    }
    return out;
}
}  // namespace korimado
