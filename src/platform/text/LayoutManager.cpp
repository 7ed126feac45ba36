#include "platform/text/LayoutManager.h"

#include "platform/text/LayoutManagerParagraph.h"
#include "platform/text/TextBoundaries.h"

#include <QFontMetricsF>
#include <QMetaObject>

#include <algorithm>
#include <cmath>

namespace korimado {

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

}  // namespace korimado
