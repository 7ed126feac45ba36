// Paragraph layout: segments of long paragraphs, wrapping, the layout cache, and the composition
// laid into its line.

#include "platform/text/LayoutManager.h"

#include "platform/text/LayoutManagerParagraph.h"
#include "platform/text/TextBoundaries.h"

#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace korimado {

using namespace layout_manager_detail;

namespace {

constexpr size_t CacheCapacity = 512;

// A safe place to cut a long paragraph into layout segments: after a blank when one is near,
// never inside a surrogate pair or before a combining mark.
qsizetype segmentCut(const TextStorage& storage, qsizetype contentStart, qsizetype target)
{
    constexpr qsizetype lookBack = 128;
    const qsizetype from = std::max<qsizetype>(1, target - lookBack);
    const QString window = storage.substring(TextRange::fromBounds(contentStart + from - 1, contentStart + target + 1));
    for (qsizetype cut = target; cut > from; --cut) {
        const QChar before = window.at(cut - from);
        if (before == u' ' || before == u'\t' || before == QChar(0x3000)) return cut;
    }
    qsizetype cut = target;
    while (cut > from) {
        const QChar before = window.at(cut - from);
        const QChar after = window.at(cut - from + 1);
        if (!(before.isHighSurrogate() && after.isLowSurrogate()) && !after.isMark()) break;
        --cut;
    }
    return cut;
}

}  // namespace

// MARK: Layout

LayoutManager::ParagraphLayout& LayoutManager::paragraphLayout(qsizetype paragraph)
{
    auto it = cache_.find(paragraph);
    if (it != cache_.end()) {
        it->second->lastUse = useClock_;
        return *it->second;
    }
    trimCache();
    auto layout = std::make_unique<ParagraphLayout>();
    layout->lastUse = useClock_;
    const TextRange contents = paragraphContentsRange(paragraph);
    qsizetype pos = 0;
    while (contents.length - pos > SegmentUnits) {
        const qsizetype cut = segmentCut(storage_, contents.location, pos + SegmentUnits * 3 / 4);
        layout->segments.push_back(Segment{pos, cut - pos, nullptr, 1, 0, 0, {}});
        pos = cut;
    }
    layout->segments.push_back(Segment{pos, contents.length - pos, nullptr, 1, 0, 0, {}});
    qreal x = 0;
    for (Segment& s : layout->segments) {
        s.rows = estimateRows(s.length);
        s.width = static_cast<qreal>(s.length) * charWidth_;
        s.x = x;
        x += s.width;
    }
    if (wrapsLines_) setRows(paragraph, layout->totalRows());
    return *cache_.emplace(paragraph, std::move(layout)).first->second;
}

void LayoutManager::trimCache()
{
    if (cache_.size() < 2 * CacheCapacity) return;
    std::vector<quint64> uses;
    uses.reserve(cache_.size());
    for (const auto& [key, layout] : cache_) uses.push_back(layout->lastUse);
    std::nth_element(uses.begin(), uses.begin() + CacheCapacity, uses.end());
    const quint64 cutoff = std::min(uses[CacheCapacity], useClock_);  // never what the current call holds
    for (auto it = cache_.begin(); it != cache_.end();) {
        if (it->second->lastUse < cutoff) it = cache_.erase(it);
        else ++it;
    }
}

void LayoutManager::layoutSegment(ParagraphLayout& paragraph, qsizetype paragraphIndex, Segment& segment)
{
    if (segment.layout) return;
    const TextRange contents = paragraphContentsRange(paragraphIndex);
    const TextRange range(contents.location + segment.start, segment.length);
    QString text = storage_.substring(range);
    // A composition at the boundary of two segments belongs to the later one.
    segment.insertions.clear();
    const bool lastSegment = segment.end() == contents.length;
    for (qsizetype location : marked_.locations) {
        const qsizetype at = location - range.location;
        if (at >= 0 && (at < segment.length || (at == segment.length && lastSegment))) segment.insertions.push_back(at);
    }
    for (auto it = segment.insertions.rbegin(); it != segment.insertions.rend(); ++it) text.insert(*it, marked_.text);
    auto layout = std::make_unique<QTextLayout>(text, font_);
    QTextOption option;
    option.setTabStopDistance(spaceWidth_ * tabWidth_);
    option.setWrapMode(wrapsLines_ ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);

    QList<QTextLayout::FormatRange> formats;
    // A run of the text never colours a composition standing inside it.
    const auto addFormat = [&](qsizetype from, qsizetype to, const QTextCharFormat& format) {
        const auto add = [&](qsizetype a, qsizetype b) {
            const qsizetype start = toLayout(segment, a, true);
            const qsizetype end = toLayout(segment, b, false);
            if (end > start) formats.append({static_cast<int>(start), static_cast<int>(end - start), format});
        };
        for (qsizetype at : segment.insertions) {
            if (at <= from) continue;
            if (at >= to) break;
            add(from, at);
            from = at;
        }
        add(from, to);
    };
    for (const auto& [owner, runs] : temporaryAttributes_) {
        auto it = std::upper_bound(runs.begin(), runs.end(), range.location,
                                   [](qsizetype at, const Run& r) { return at < r.end; });
        for (; it != runs.end() && it->start < range.end(); ++it) {
            const TextRange part = TextRange::fromBounds(it->start, it->end).intersected(range);
            if (part.isEmpty()) continue;
            QTextCharFormat format;
            if (it->attributes.foreground) format.setForeground(*it->attributes.foreground);
            if (it->attributes.background) format.setBackground(*it->attributes.background);
            if (it->attributes.font) format.setFont(*it->attributes.font, QTextCharFormat::FontPropertiesSpecifiedOnly);
            addFormat(part.location - range.location, part.end() - range.location, format);
        }
    }
    for (size_t k = 0; k < segment.insertions.size(); ++k) {
        const int base = static_cast<int>(toLayout(segment, segment.insertions[k], false));
        const int length = static_cast<int>(marked_.text.size());
        if (marked_.formats.isEmpty()) {
            QTextCharFormat underline;
            underline.setFontUnderline(true);
            formats.append({base, length, underline});
        }
        for (const QTextLayout::FormatRange& f : marked_.formats) {
            const int start = std::clamp(f.start, 0, length);
            const int end = std::clamp(f.start + f.length, start, length);
            if (end > start) formats.append({base + start, end - start, f.format});
        }
    }
    if (!formats.isEmpty()) layout->setFormats(formats);

    int rows = 0;
    qreal width = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(wrapsLines_ ? wrapWidth_ : UnwrappedLineWidth);
        // Every row at its fixed place, whatever ascent a fallback font gives the line.
        line.setPosition(QPointF(0, rows * rowHeight_ + ascent_ - line.ascent()));
        width = std::max(width, line.naturalTextWidth());
        ++rows;
    }
    layout->endLayout();
    segment.layout = std::move(layout);
    ++segmentLayouts_;
    segment.rows = std::max(rows, 1);
    segment.width = width;
    widestLine_ = std::max(widestLine_, wrapsLines_ ? width : 0);

    if (wrapsLines_) {
        setRows(paragraphIndex, paragraph.totalRows());
    } else {
        qreal x = 0;
        for (Segment& s : paragraph.segments) {
            s.x = x;
            x += s.width;
        }
        if (x > widestLine_) {
            widestLine_ = x;
            widestParagraph_ = paragraphIndex;
        } else if (paragraphIndex == widestParagraph_ && x < widestLine_) {
            measureWidestAgain();  // the widest line got narrower
        }
    }
}

bool LayoutManager::isParagraphLaidOut(qsizetype paragraph) const
{
    const auto it = cache_.find(paragraph);
    if (it == cache_.end()) return false;
    return std::all_of(it->second->segments.begin(), it->second->segments.end(),
                       [](const Segment& s) { return s.layout != nullptr; });
}

qsizetype LayoutManager::laidOutSegmentCount(qsizetype paragraph) const
{
    const auto it = cache_.find(paragraph);
    if (it == cache_.end()) return 0;
    return std::count_if(it->second->segments.begin(), it->second->segments.end(),
                         [](const Segment& s) { return s.layout != nullptr; });
}

// MARK: Composition

qsizetype LayoutManager::toLayout(const Segment& segment, qsizetype position, bool afterComposition) const
{
    qsizetype before = 0;
    for (qsizetype at : segment.insertions) {
        if (at > position || (at == position && !afterComposition)) break;
        ++before;
    }
    return position + before * marked_.text.size();
}

qsizetype LayoutManager::fromLayout(const Segment& segment, qsizetype layoutPosition) const
{
    const qsizetype length = marked_.text.size();
    qsizetype passed = 0;
    for (qsizetype at : segment.insertions) {
        const qsizetype start = at + passed * length;
        if (layoutPosition < start) break;
        if (layoutPosition < start + length) return at;
        ++passed;
    }
    return layoutPosition - passed * length;
}

bool LayoutManager::insideComposition(const Segment& segment, qsizetype layoutPosition) const
{
    const qsizetype length = marked_.text.size();
    qsizetype passed = 0;
    for (qsizetype at : segment.insertions) {
        const qsizetype start = at + passed * length;
        if (layoutPosition < start) return false;
        if (layoutPosition < start + length) return true;
        ++passed;
    }
    return false;
}

void LayoutManager::setMarkedText(const QString& text, std::vector<qsizetype> locations,
                                  const QList<QTextLayout::FormatRange>& formats)
{
    if (text.isEmpty()) locations.clear();
    const qsizetype length = storage_.length();
    for (qsizetype& location : locations) location = std::clamp<qsizetype>(location, 0, length);
    std::sort(locations.begin(), locations.end());
    locations.erase(std::unique(locations.begin(), locations.end()), locations.end());
    if (text == marked_.text && locations == marked_.locations && formats == marked_.formats) return;
    std::vector<qsizetype> touched = marked_.locations;
    touched.insert(touched.end(), locations.begin(), locations.end());
    marked_ = Composition{text, std::move(locations), formats};
    compositionMoved(touched);
}

// The segments that held or hold a composition are laid out again (a long line keeps the rest of
// its layout while each keystroke changes the composition); wrapped rows may change.
void LayoutManager::compositionMoved(const std::vector<qsizetype>& touched)
{
    if (touched.empty()) return;
    qsizetype first = paragraphCount();
    for (qsizetype location : touched) {
        const qsizetype p = paragraphIndex(std::min(location, storage_.length()));
        first = std::min(first, p);
        const auto it = cache_.find(p);
        if (it == cache_.end()) continue;
        const qsizetype at = location - paragraphStart(p);
        for (Segment& segment : it->second->segments) {
            if (segment.start <= at && at <= segment.end()) segment.layout.reset();
        }
    }
    const qreal top = paragraphTop(first);
    Q_EMIT layoutChanged();
    Q_EMIT needsDisplay(QRectF(0, top, containerWidth(), std::max(documentHeight() - top, rowHeight_) + rowHeight_));
}
}  // namespace korimado
