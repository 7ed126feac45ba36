#include "platform/text/LayoutManager.h"

#include "platform/text/TextBoundaries.h"

#include <QFontMetricsF>
#include <QMetaObject>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace korimado {

namespace {

constexpr size_t CacheCapacity = 512;
constexpr qreal UnwrappedLineWidth = 1.0e7;

QRectF everywhere()
{
    return QRectF(-UnwrappedLineWidth, -1.0e12, 2 * UnwrappedLineWidth, 2.0e12);
}

TextRange allText()
{
    return TextRange(0, std::numeric_limits<qsizetype>::max() / 2);
}

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

struct LayoutManager::Segment {
    qsizetype start = 0;  // in the paragraph's contents
    qsizetype length = 0;
    std::unique_ptr<QTextLayout> layout;  // null until laid out
    int rows = 1;                         // estimated until laid out
    qreal width = 0;                      // estimated until laid out
    qreal x = 0;                          // left edge when lines do not wrap
    std::vector<qsizetype> insertions;    // where the layout holds the composition, relative to start
    qsizetype end() const { return start + length; }
};

struct LayoutManager::ParagraphLayout {
    std::vector<Segment> segments;
    quint64 lastUse = 0;
    int totalRows() const
    {
        int sum = 0;
        for (const Segment& s : segments) sum += s.rows;
        return std::max(sum, 1);
    }
};

LayoutManager::LayoutManager(TextStorage& storage, QObject* parent) : QObject(parent), storage_(storage)
{
    font_ = QFont(QStringLiteral("Monospace"));
    font_.setStyleHint(QFont::Monospace);
    font_.setPointSizeF(14);
    updateMetrics();
    resetParagraphs();
    observerToken_ = storage_.addObserver([this](TextStorage&, const TextStorageEdit& edit) { storageEdited(edit); });
}

LayoutManager::~LayoutManager()
{
    storage_.removeObserver(observerToken_);
}

// MARK: Settings

void LayoutManager::updateMetrics()
{
    const QFontMetricsF fm(font_);
    rowHeight_ = std::ceil(fm.lineSpacing());
    ascent_ = fm.ascent() + std::floor((rowHeight_ - fm.height()) / 2);
    charWidth_ = std::max<qreal>(1, fm.horizontalAdvance(u'M'));
    spaceWidth_ = std::max<qreal>(1, fm.horizontalAdvance(u' '));
}

void LayoutManager::setFont(const QFont& font)
{
    if (font == font_) return;
    font_ = font;
    updateMetrics();
    invalidateLayout();
}

void LayoutManager::setTabWidth(int columns)
{
    columns = std::max(1, columns);
    if (columns == tabWidth_) return;
    tabWidth_ = columns;
    invalidateLayout();
}

void LayoutManager::setWrapsLines(bool wraps)
{
    if (wraps == wrapsLines_) return;
    wrapsLines_ = wraps;
    invalidateLayout();
}

void LayoutManager::setWrapWidth(qreal width)
{
    width = std::max<qreal>(width, charWidth_);
    if (qFuzzyCompare(width, wrapWidth_)) return;
    wrapWidth_ = width;
    if (wrapsLines_) invalidateLayout();
}

void LayoutManager::setTextColor(const QColor& color)
{
    textColor_ = color;
    Q_EMIT needsDisplay(QRectF(0, 0, containerWidth(), documentHeight()));
}

void LayoutManager::setInvisibleCharacterColor(const QColor& color)
{
    invisibleColor_ = color;
    if (showsInvisibles_ || showsControls_) Q_EMIT needsDisplay(QRectF(0, 0, containerWidth(), documentHeight()));
}

void LayoutManager::setShowsInvisibleCharacters(bool shows)
{
    if (shows == showsInvisibles_) return;
    showsInvisibles_ = shows;
    Q_EMIT needsDisplay(QRectF(0, 0, containerWidth(), documentHeight()));
}

void LayoutManager::setShowsControlCharacters(bool shows)
{
    if (shows == showsControls_) return;
    showsControls_ = shows;
    Q_EMIT needsDisplay(QRectF(0, 0, containerWidth(), documentHeight()));
}

void LayoutManager::invalidateLayout()
{
    cache_.clear();
    widestLine_ = 0;
    widestParagraph_ = -1;
    heightsDirty_ = true;
    fenwickDirty_ = true;
    // Everything moved: views take their size again and redraw all they show.
    Q_EMIT layoutChanged();
}

// MARK: Paragraphs: the storage's lines

qsizetype LayoutManager::paragraphStart(qsizetype paragraph) const
{
    return storage_.lines().start(paragraph);
}

TextRange LayoutManager::paragraphRange(qsizetype paragraph) const
{
    const LineStarts& lines = storage_.lines();
    return TextRange::fromBounds(lines.start(paragraph), lines.start(paragraph + 1));
}

TextRange LayoutManager::paragraphContentsRange(qsizetype paragraph) const
{
    TextRange r = paragraphRange(paragraph);
    if (paragraph + 1 < paragraphCount() && r.length > 0) {
        qsizetype breakLength = 1;
        if (r.length >= 2 && storage_.characterAt(r.end() - 1) == u'\n' && storage_.characterAt(r.end() - 2) == u'\r')
            breakLength = 2;
        r.length -= breakLength;
    }
    return r;
}

qsizetype LayoutManager::paragraphIndex(qsizetype characterIndex) const
{
    return storage_.lines().lineAt(characterIndex);
}

void LayoutManager::resetParagraphs()
{
    countLongest();
    knownParagraphs_ = paragraphCount();
    cache_.clear();
    widestLine_ = 0;
    widestParagraph_ = -1;
    heightsDirty_ = true;
    fenwickDirty_ = true;
}

void LayoutManager::countLongest() const
{
    longestParagraph_ = 0;
    longestCount_ = 0;
    const LineStarts& lines = storage_.lines();
    qsizetype previous = 0;
    for (qsizetype i = 1; i <= lines.count(); ++i) {
        const qsizetype next = lines.start(i);
        const qsizetype length = next - previous;
        if (length > longestParagraph_) {
            longestParagraph_ = length;
            longestCount_ = 1;
        } else if (length == longestParagraph_) {
            ++longestCount_;
        }
        previous = next;
    }
    longestStale_ = false;
}

// The longest paragraph and how many have its length, after an edit that replaced `removed`
// paragraphs by first..last: a keystroke costs the touched paragraphs only. Only when the
// longest may have been shortened or removed is the table counted again, once it is asked for.
void LayoutManager::followLongest(qsizetype first, qsizetype last, qsizetype removed, qsizetype delta)
{
    qsizetype total = 0;
    for (qsizetype i = first; i <= last; ++i) total += paragraphRange(i).length;
    const qsizetype oldTotal = total - delta;
    if (!longestStale_) {
        if (removed == 1 && oldTotal == longestParagraph_) {
            if (--longestCount_ == 0) longestStale_ = true;
        } else if (removed != 1 && oldTotal >= longestParagraph_) {
            longestStale_ = true;  // which of the removed lengths it held is not known
        }
    }
    for (qsizetype i = first; i <= last; ++i) {
        const qsizetype length = paragraphRange(i).length;
        if (length > longestParagraph_) {
            // Longer than every paragraph was: exact again, whatever was stale.
            longestParagraph_ = length;
            longestCount_ = 1;
            longestStale_ = false;
        } else if (length == longestParagraph_ && !longestStale_) {
            ++longestCount_;
        }
    }
}

// The widest measured line is known only among the layouts kept: when an edit touches the one
// it came from, the kept ones tell it again.
void LayoutManager::measureWidestAgain()
{
    widestLine_ = 0;
    widestParagraph_ = -1;
    if (wrapsLines_) return;
    for (const auto& [paragraph, layout] : cache_) {
        qreal width = 0;
        for (const Segment& s : layout->segments) width += s.width;
        if (width > widestLine_) {
            widestLine_ = width;
            widestParagraph_ = paragraph;
        }
    }
}

// The storage's table already holds the edit; the heights and layouts kept per paragraph follow
// it. Paragraphs before the one holding the edit (and the one before that, whose break may now
// pair with the edit's first unit) and those after the one holding its end are untouched.
void LayoutManager::updateParagraphs(TextRange editedRange, qsizetype delta)
{
    qsizetype p = paragraphIndex(editedRange.location);
    if (p > 0 && paragraphStart(p) == editedRange.location) --p;
    const qsizetype lastNew = std::max(paragraphIndex(editedRange.end()), p);
    const qsizetype movedParagraphs = paragraphCount() - knownParagraphs_;
    knownParagraphs_ = paragraphCount();
    const qsizetype removedParagraphs = lastNew - p + 1 - movedParagraphs;
    followLongest(p, lastNew, removedParagraphs, delta);
    bool widestTouched = widestParagraph_ >= p && widestParagraph_ < p + removedParagraphs;
    if (widestTouched && removedParagraphs == 1 && lastNew == p) {
        // Typing in the widest line: it stays the widest until its next layout says otherwise.
        widestTouched = false;
        widestParagraph_ = p;
    } else if (widestParagraph_ >= p + removedParagraphs) {
        widestParagraph_ += movedParagraphs;
    }
    if (heightsDirty_) {
        // Nothing was measured since the layout was invalidated: the next question measures all.
        cache_.clear();
        if (widestTouched) measureWidestAgain();
        Q_EMIT layoutChanged();
        return;
    }
    const qsizetype n = paragraphCount();
    const qsizetype oldCount = static_cast<qsizetype>(rows_.size());
    const qsizetype moved = n - oldCount;
    const qsizetype lastOld = lastNew - moved;
    if (lastOld < p || lastOld >= oldCount) {
        resetParagraphs();  // the heights cannot be matched to this edit: start again
        Q_EMIT layoutChanged();
        return;
    }
    const qsizetype removed = lastOld - p + 1;
    const qsizetype inserted = lastNew - p + 1;

    // Heights: the touched paragraphs get estimates until they are laid out again, but for one laid
    // out before that an edit hardly changed: typing inside a wrapped line seldom changes its rows,
    // and its next layout corrects them when it does.
    bool rowsChanged = true;
    if (moved == 0 && !wrapsLines_) {
        rowsChanged = false;  // every paragraph is one row
    } else if (moved == 0 && !fenwickDirty_) {
        rowsChanged = false;
        for (qsizetype i = p; i <= lastNew; ++i) {
            const qsizetype units = paragraphRange(i).length;
            if (wrapsLines_ && p == lastNew && cache_.count(i) != 0 && estimateRows(units) == estimateRows(units - delta))
                continue;
            const int rows = estimateRows(units);
            if (rows == rows_[static_cast<size_t>(i)]) continue;
            fenwickAdd(i, rows - rows_[static_cast<size_t>(i)]);
            rows_[static_cast<size_t>(i)] = rows;
            rowsChanged = true;
        }
    } else {
        rows_.erase(rows_.begin() + p, rows_.begin() + p + removed);
        rows_.insert(rows_.begin() + p, static_cast<size_t>(inserted), 1);
        for (qsizetype i = p; i <= lastNew; ++i) rows_[static_cast<size_t>(i)] = estimateRows(paragraphRange(i).length);
        fenwickDirty_ = true;
    }

    // Cached layouts: drop the touched ones, renumber the later ones.
    cache_.erase(cache_.lower_bound(p), cache_.upper_bound(lastOld));
    if (moved != 0) {
        std::vector<std::pair<qsizetype, std::unique_ptr<ParagraphLayout>>> later;
        for (auto it = cache_.upper_bound(lastOld); it != cache_.end();) {
            later.emplace_back(it->first + moved, std::move(it->second));
            it = cache_.erase(it);
        }
        for (auto& [key, layout] : later) cache_.emplace(key, std::move(layout));
    }
    if (widestTouched) measureWidestAgain();

    // Rows that stay where they were are drawn again alone; anything that moves, from there down.
    const QRectF touched = paragraphsRect(p, lastNew);
    if (rowsChanged) {
        Q_EMIT layoutChanged();
        Q_EMIT needsDisplay(QRectF(0, touched.top(), containerWidth(),
                                   std::max(documentHeight() - touched.top(), rowHeight_) + rowHeight_ * removed));
    } else {
        Q_EMIT needsDisplay(touched);
    }
}

void LayoutManager::storageEdited(const TextStorageEdit& edit)
{
    if (!edit.editedCharacters()) return;  // no stored attributes are drawn from the storage
    updateParagraphs(edit.editedRange, edit.changeInLength);
    moveTemporaryAttributes(edit);
    // The paragraphs the edit touched are laid out again anyway; the others keep their place for
    // the composition relative to their start.
    for (qsizetype& location : marked_.locations) location = edit.mapPosition(location);
    marked_.locations.erase(std::unique(marked_.locations.begin(), marked_.locations.end()), marked_.locations.end());
}

// MARK: Heights

int LayoutManager::estimateRows(qsizetype units) const
{
    if (!wrapsLines_ || units == 0) return 1;
    return std::max(1, static_cast<int>(std::ceil(static_cast<qreal>(units) * charWidth_ / wrapWidth_ - 1e-6)));
}

void LayoutManager::resetHeights() const
{
    heightsDirty_ = false;
    const qsizetype n = paragraphCount();
    rows_.assign(static_cast<size_t>(n), 1);
    if (wrapsLines_) {
        for (qsizetype i = 0; i < n; ++i) rows_[static_cast<size_t>(i)] = estimateRows(paragraphRange(i).length);
    }
    fenwickDirty_ = true;
}

void LayoutManager::rebuildFenwick() const
{
    ensureHeights();
    const size_t n = rows_.size();
    fenwick_.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        fenwick_[i] += rows_[i - 1];
        const size_t j = i + (i & (~i + 1));
        if (j <= n) fenwick_[j] += fenwick_[i];
    }
    fenwickDirty_ = false;
}

void LayoutManager::fenwickAdd(qsizetype paragraph, qsizetype delta)
{
    const size_t n = rows_.size();
    for (size_t i = static_cast<size_t>(paragraph) + 1; i <= n; i += i & (~i + 1)) fenwick_[i] += delta;
}

void LayoutManager::setRows(qsizetype paragraph, int rows)
{
    ensureHeights();
    int& current = rows_[static_cast<size_t>(paragraph)];
    if (current == rows) return;
    const int delta = rows - current;
    current = rows;
    if (!fenwickDirty_) fenwickAdd(paragraph, delta);
    // Told once the current work is done: views must not relayout in the middle of a paint.
    QMetaObject::invokeMethod(this, [this] { Q_EMIT layoutChanged(); }, Qt::QueuedConnection);
}

int LayoutManager::rowsOfParagraph(qsizetype paragraph) const
{
    ensureHeights();
    return rows_[static_cast<size_t>(paragraph)];
}

QRectF LayoutManager::paragraphsRect(qsizetype first, qsizetype last) const
{
    const qsizetype n = paragraphCount();
    first = std::clamp<qsizetype>(first, 0, n - 1);
    last = std::clamp<qsizetype>(last, first, n - 1);
    const qreal top = paragraphTop(first);
    return QRectF(0, top, containerWidth(), paragraphTop(last) - top + rowsOfParagraph(last) * rowHeight_);
}

qsizetype LayoutManager::rowsBefore(qsizetype paragraph) const
{
    if (!wrapsLines_) return paragraph;
    if (fenwickDirty_) rebuildFenwick();
    qsizetype sum = 0;
    for (size_t i = static_cast<size_t>(paragraph); i > 0; i -= i & (~i + 1)) sum += fenwick_[i];
    return sum;
}

qsizetype LayoutManager::paragraphAtRow(qsizetype row) const
{
    const qsizetype n = paragraphCount();
    if (row <= 0) return 0;
    if (!wrapsLines_) return std::min(row, n - 1);
    if (fenwickDirty_) rebuildFenwick();
    size_t step = 1;
    while (step * 2 <= static_cast<size_t>(n)) step *= 2;
    size_t pos = 0;
    qsizetype rest = row;
    for (; step > 0; step >>= 1) {
        if (pos + step <= static_cast<size_t>(n) && fenwick_[pos + step] <= rest) {
            pos += step;
            rest -= fenwick_[pos];
        }
    }
    return std::min<qsizetype>(static_cast<qsizetype>(pos), n - 1);
}

qreal LayoutManager::paragraphTop(qsizetype paragraph) const
{
    return static_cast<qreal>(rowsBefore(paragraph)) * rowHeight_;
}

qreal LayoutManager::documentHeight() const
{
    return static_cast<qreal>(rowsBefore(paragraphCount())) * rowHeight_;
}

qreal LayoutManager::containerWidth() const
{
    return wrapsLines_ ? wrapWidth_ : UnwrappedLineWidth;
}

QRectF LayoutManager::usedRectForTextContainer() const
{
    if (!wrapsLines_ && longestStale_) countLongest();
    qreal width = wrapsLines_ ? wrapWidth_
                              : std::max(widestLine_, static_cast<qreal>(longestParagraph_) * charWidth_);
    return QRectF(0, 0, width, documentHeight());
}

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

// MARK: Drawing

std::vector<LayoutManager::DrawItem> LayoutManager::drawItems(const QRectF& exposed)
{
    std::vector<DrawItem> items;
    const qsizetype last = paragraphCount() - (hasExtraLineFragment() ? 2 : 1);
    if (last < 0 || exposed.bottom() < 0) return items;
    for (qsizetype p = paragraphAtRow(static_cast<qsizetype>(std::floor(exposed.top() / rowHeight_))); p <= last; ++p) {
        const qreal top = paragraphTop(p);
        if (top >= exposed.bottom()) break;
        const qsizetype contentsStart = paragraphStart(p);
        forEachFragmentOfParagraph(p, exposed, allText(), [&](const LineFragment& f, Segment& s, int line) {
            if (f.rect.bottom() > exposed.top() && f.rect.top() < exposed.bottom()) {
                const qreal segmentTop = f.rect.top() - (line > 0 ? line * rowHeight_ : 0);
                items.push_back({f, &s, line, contentsStart + s.start, QPointF(wrapsLines_ ? 0 : s.x, segmentTop)});
            }
            return f.rect.top() < exposed.bottom();
        });
    }
    return items;
}

void LayoutManager::drawText(QPainter& painter, const std::vector<DrawItem>& items, const QRectF& exposed,
                             const QPointF& origin)
{
    painter.setPen(textColor_);
    const Segment* drawn = nullptr;
    for (const DrawItem& item : items) {
        if (item.segment == drawn || item.line < 0) continue;
        drawn = item.segment;
        // QTextLayout clips in painter coordinates.
        item.segment->layout->draw(&painter, origin + item.segmentOrigin, {}, exposed.translated(origin));
    }
}

void LayoutManager::draw(QPainter& painter, const QRectF& exposed, const QPointF& origin,
                         const std::vector<SelectionHighlight>& selections)
{
    ++useClock_;
    const std::vector<DrawItem> items = drawItems(exposed);

    painter.save();
    painter.setFont(font_);
    // Selections behind the text; a selection that runs past a line's end reaches the right edge.
    for (const SelectionHighlight& selection : selections) {
        if (selection.range.isEmpty()) continue;
        for (const DrawItem& item : items) {
            const TextRange part = item.fragment.characterRange.intersected(selection.range);
            if (part.isEmpty() || item.line < 0) {
                if (!part.isEmpty())
                    painter.fillRect(QRectF(origin.x(), origin.y() + item.fragment.rect.top(), exposed.right() + 1, rowHeight_), selection.color);
                continue;
            }
            const QTextLine line = item.segment->layout->lineAt(item.line);
            const int a = static_cast<int>(toLayout(*item.segment, part.location - item.base, true));
            const int b = static_cast<int>(toLayout(*item.segment, part.end() - item.base, false));
            const qreal x0 = item.segmentOrigin.x() + line.cursorToX(a);
            const int lineEnd = line.textStart() + line.textLength();
            const qreal x1 = b > lineEnd ? exposed.right() + 1 : item.segmentOrigin.x() + line.cursorToX(b);
            painter.fillRect(QRectF(origin.x() + x0, origin.y() + item.fragment.rect.top(), x1 - x0, rowHeight_), selection.color);
        }
    }

    drawText(painter, items, exposed, origin);
    if (showsInvisibles_ || showsControls_) {
        for (const DrawItem& item : items) drawInvisibles(painter, origin, *item.segment, item.fragment.paragraph, item.fragment, item.line);
    }
    painter.restore();
}

void LayoutManager::prepareGlyphs(QPainter& painter, const QRectF& area, const QPointF& origin, qreal shift)
{
    ++useClock_;
    const std::vector<DrawItem> items = drawItems(area);
    painter.save();
    painter.setFont(font_);
    // Far above anything a view shows, and well inside the painter's fixed-point range.
    drawText(painter, items, area, QPointF(origin.x() + shift, -1e6));
    painter.restore();
}

void LayoutManager::drawInvisibles(QPainter& painter, const QPointF& origin, Segment& segment, qsizetype paragraph,
                                   const LineFragment& fragment, int lineIndex)
{
    painter.setPen(invisibleColor_);
    const qreal baseline = origin.y() + fragment.rect.top() + ascent_;
    const qreal left = origin.x() + (wrapsLines_ ? 0 : segment.x);
    const TextRange contents = paragraphContentsRange(paragraph);
    if (lineIndex >= 0) {
        const QTextLine line = segment.layout->lineAt(lineIndex);
        const QString text = segment.layout->text();
        const int end = line.textStart() + line.textLength();
        for (int i = line.textStart(); i < end; ++i) {
            if (insideComposition(segment, i)) continue;
            const char16_t c = text.at(i).unicode();
            QString mark;
            if (showsInvisibles_) {
                if (c == u'\t') mark = QStringLiteral("→");
                else if (c == u' ') mark = QStringLiteral("·");
                else if (c == 0x3000) mark = QStringLiteral("□");
            }
            if (showsControls_ && mark.isEmpty() && (c < 0x20 || c == 0x7F) && c != u'\t')
                mark = QString(QChar(c == 0x7F ? 0x2421 : 0x2400 + c));
            if (!mark.isEmpty()) painter.drawText(QPointF(left + line.cursorToX(i), baseline), mark);
        }
    }
    // The line break, after the paragraph's last row.
    if (showsInvisibles_ && fragment.characterRange.end() > contents.end()) {
        const qreal x = lineIndex >= 0 ? segment.layout->lineAt(lineIndex).naturalTextWidth() : 0;
        painter.drawText(QPointF(left + x, baseline), QStringLiteral("↵"));
    }
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
