#pragma once

#include "platform/text/TextRange.h"
#include "platform/text/TextStorage.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QTextLayout>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace korimado {

// Colours and font laid over the text for display only (syntax colours, find highlights).
struct TemporaryAttributes {
    std::optional<QColor> foreground;
    std::optional<QColor> background;
    std::optional<QFont> font;

    friend bool operator==(const TemporaryAttributes&, const TemporaryAttributes&) = default;
};

struct TemporaryAttributeRange {
    TextRange range;
    TemporaryAttributes attributes;
};

// One visual line. Coordinates are the text container's: x from the left of the text, y from the top
// of the first row. The last fragment of a paragraph also covers the paragraph's line break.
struct LineFragment {
    QRectF rect;
    QRectF usedRect;
    TextRange characterRange;
    qsizetype paragraph = 0;
};

// A selection to paint behind the text.
struct SelectionHighlight {
    TextRange range;
    QColor color;
};

// Lays out one view's share of a TextStorage, paragraph by paragraph and only where asked.
// Glyph indices are character (UTF-16) indices.
class LayoutManager : public QObject {
    Q_OBJECT

public:
    using Owner = const void*;

    explicit LayoutManager(TextStorage& storage, QObject* parent = nullptr);
    ~LayoutManager() override;

    TextStorage& textStorage() const { return storage_; }

    // MARK: Settings
    void setFont(const QFont& font);
    QFont font() const { return font_; }
    // Tab stops every `columns` space widths.
    void setTabWidth(int columns);
    int tabWidth() const { return tabWidth_; }
    void setWrapsLines(bool wraps);
    bool wrapsLines() const { return wrapsLines_; }
    // The width lines wrap at, in points (used while wrapping).
    void setWrapWidth(qreal width);
    qreal wrapWidth() const { return wrapWidth_; }
    void setTextColor(const QColor& color);
    QColor textColor() const { return textColor_; }
    QColor invisibleCharacterColor() const { return invisibleColor_; }
    void setShowsInvisibleCharacters(bool shows);
    bool showsInvisibleCharacters() const { return showsInvisibles_; }
    void setShowsControlCharacters(bool shows);
    bool showsControlCharacters() const { return showsControls_; }

    // Every row has this height, whatever fallback fonts a line uses.
    qreal rowHeight() const { return rowHeight_; }
    qreal baselineOffset() const { return ascent_; }
    qreal averageCharacterWidth() const { return charWidth_; }

    // MARK: Paragraphs: the storage's lines (a text ending in a break has an empty last one)
    qsizetype paragraphCount() const { return storage_.lines().count(); }
    qsizetype paragraphStart(qsizetype paragraph) const;
    // With its line break.
    TextRange paragraphRange(qsizetype paragraph) const;
    // Without its line break.
    TextRange paragraphContentsRange(qsizetype paragraph) const;
    qsizetype paragraphIndex(qsizetype characterIndex) const;

    // MARK: Geometry
    qreal documentHeight() const;
    QRectF usedRectForTextContainer() const;
    qreal containerWidth() const;
    // The fragments whose rows meet rect, in layout order.
    std::vector<LineFragment> lineFragments(const QRectF& rect);
    // Calls fn for each fragment holding characters of range (for an empty range, the one holding its
    // location) until fn returns false.
    void enumerateLineFragments(TextRange characterRange, const std::function<bool(const LineFragment&)>& fn);
    // The fragment holding the character (at the text end: the last fragment, or the extra one).
    LineFragment lineFragment(qsizetype characterIndex);
    QRectF lineFragmentRect(qsizetype characterIndex) { return lineFragment(characterIndex).rect; }
    QRectF lineFragmentUsedRect(qsizetype characterIndex) { return lineFragment(characterIndex).usedRect; }
    // The empty last line after a final line break, or of an empty text.
    bool hasExtraLineFragment() const;
    QRectF extraLineFragmentRect() const;
    QRectF extraLineFragmentUsedRect() const;
    // The character under point (nearest on its row) and where point lies between its insertion point
    // and the next (0…1). Below the last line of a text with an extra line fragment: the text length.
    qsizetype characterIndex(const QPointF& point, qreal* fractionOfDistanceBetweenInsertionPoints = nullptr);
    QRectF caretRect(qsizetype characterIndex);
    QRectF boundingRect(TextRange characterRange);
    TextRange glyphRange(TextRange characterRange) const { return characterRange.clamped(storage_.length()); }
    TextRange characterRange(TextRange glyphRange) const { return glyphRange.clamped(storage_.length()); }
    // The characters of the rows that meet rect.
    TextRange glyphRange(const QRectF& boundingRect);
    TextRange visibleCharacterRange(const QRectF& rect) { return glyphRange(rect); }

    // MARK: Drawing
    // Draws what lies in exposed (container coordinates) with the container's origin at origin.
    void draw(QPainter& painter, const QRectF& exposed, const QPointF& origin,
              const std::vector<SelectionHighlight>& selections = {});
    // Draws the text of the rows meeting area (container coordinates, the container's origin at
    // origin) moved right by shift and far outside the painter's clip, so nothing shows but the painter's glyph cache holds its glyphs at
    // that fraction of a pixel too: text that an edit moves by part of a pixel then draws without
    // rasterising its glyphs anew.
    void prepareGlyphs(QPainter& painter, const QRectF& area, const QPointF& origin, qreal shift);

    // MARK: Composition
    // What an input method is composing, laid out at each of locations as if it stood there (the
    // text after it moves on and wraps) without being part of the text. formats are relative to
    // text; without any the whole composition is underlined. The locations follow edits.
    void setMarkedText(const QString& text, std::vector<qsizetype> locations,
                       const QList<QTextLayout::FormatRange>& formats = {});
    void clearMarkedText() { setMarkedText(QString(), {}); }
    QString markedText() const { return marked_.text; }
    const std::vector<qsizetype>& markedLocations() const { return marked_.locations; }
    // The caret offset units into the composition standing at location (where offset 0 is the
    // caret before it).
    QRectF markedCaretRect(qsizetype location, qsizetype offset);

    // MARK: Temporary attributes
    void addTemporaryAttributes(Owner owner, const TemporaryAttributes& attributes, TextRange range);
    // Many ranges at once (cheapest in ascending order), with one redraw request for all of them.
    void addTemporaryAttributes(Owner owner, const std::vector<TemporaryAttributeRange>& ranges);
    // The owner's attributes become these alone (cheapest in ascending order); only where they
    // differ from the ones standing is anything laid out and drawn again.
    void setTemporaryAttributes(Owner owner, const std::vector<TemporaryAttributeRange>& ranges);
    void removeTemporaryAttributes(Owner owner, TextRange range);
    void removeTemporaryAttributes(Owner owner);
    // Calls fn for each of owner's runs meeting range, clipped to it, in order.
    void enumerateTemporaryAttributes(Owner owner, TextRange range,
                                      const std::function<void(TextRange, const TemporaryAttributes&)>& fn) const;

    // Drops every cached layout and height (after a change the manager cannot see).
    void invalidateLayout();

    // Introspection for tests and diagnostics.
    qsizetype cachedParagraphCount() const { return static_cast<qsizetype>(cache_.size()); }
    // Wrapped rows counted for a paragraph: exact once laid out, estimated before.
    int rowsOfParagraph(qsizetype paragraph) const;
    // The rows of paragraphs first to last, the container's width, as the heights stand now (no
    // paragraph is laid out to answer).
    QRectF paragraphsRect(qsizetype first, qsizetype last) const;
    bool isParagraphLaidOut(qsizetype paragraph) const;
    // Segments of the paragraph that hold a layout now (0 when it is not cached).
    qsizetype laidOutSegmentCount(qsizetype paragraph) const;
    // Segment layouts made so far.
    quint64 segmentLayoutCount() const { return segmentLayouts_; }
    static constexpr qsizetype SegmentUnits = 8192;

Q_SIGNALS:
    // Heights or positions of rows changed; views recompute their size and scroll range.
    void layoutChanged();
    // This part (container coordinates) must be redrawn.
    void needsDisplay(const QRectF& rect);

private:
    struct Segment;
    // A row to draw: its fragment, the segment laid out for it, and where that segment starts.
    struct DrawItem {
        LineFragment fragment;
        Segment* segment;
        int line;
        qsizetype base;
        QPointF segmentOrigin;
    };
    std::vector<DrawItem> drawItems(const QRectF& exposed);
    // Each segment of items once, with the container's origin at origin, clipped to exposed.
    void drawText(QPainter& painter, const std::vector<DrawItem>& items, const QRectF& exposed, const QPointF& origin);
    struct ParagraphLayout;
    struct Composition {
        QString text;
        std::vector<qsizetype> locations;  // sorted, each once
        QList<QTextLayout::FormatRange> formats;
    };
    struct Run {
        qsizetype start;
        qsizetype end;
        TemporaryAttributes attributes;
    };

    void storageEdited(const TextStorageEdit& edit);
    void resetParagraphs();
    void countLongest() const;
    void followLongest(qsizetype first, qsizetype last, qsizetype removed, qsizetype delta);
    void measureWidestAgain();
    void updateParagraphs(TextRange editedRange, qsizetype delta);
    void moveTemporaryAttributes(const TextStorageEdit& edit);
    std::vector<Run>& runsOf(Owner owner);
    static void mergeRun(std::vector<Run>& runs, const TemporaryAttributes& attributes, TextRange range);
    void temporaryAttributesChanged(TextRange range);
    void updateMetrics();
    // Estimates every paragraph's rows again; invalidateLayout only marks them stale, so that the
    // settings a new view goes through one after the other (font, tabs, wrapping, each width on
    // its way to the final one) cost one pass over a large text, when something needs a height.
    void resetHeights() const;
    void ensureHeights() const
    {
        if (heightsDirty_) resetHeights();
    }
    int estimateRows(qsizetype units) const;
    void setRows(qsizetype paragraph, int rows);
    qsizetype rowsBefore(qsizetype paragraph) const;
    qsizetype paragraphAtRow(qsizetype row) const;
    qreal paragraphTop(qsizetype paragraph) const;
    ParagraphLayout& paragraphLayout(qsizetype paragraph);
    void layoutSegment(ParagraphLayout& paragraph, qsizetype paragraphIndex, Segment& segment);
    // Positions in a segment's text (relative to its start) and in its layout, which holds the
    // composition at each of the segment's insertions. A layout position inside a composition maps
    // to the composition's location.
    qsizetype toLayout(const Segment& segment, qsizetype position, bool afterComposition) const;
    qsizetype fromLayout(const Segment& segment, qsizetype layoutPosition) const;
    bool insideComposition(const Segment& segment, qsizetype layoutPosition) const;
    QRectF caretRectAt(qsizetype characterIndex, qsizetype compositionOffset);
    void compositionMoved(const std::vector<qsizetype>& before);
    void trimCache();
    void forEachFragmentOfParagraph(qsizetype paragraph, const QRectF& area, TextRange characters,
                                    const std::function<bool(const LineFragment&, Segment&, int line)>& fn);
    void drawInvisibles(QPainter& painter, const QPointF& at, Segment& segment, qsizetype paragraph,
                        const LineFragment& fragment, int lineIndex);
    void fenwickAdd(qsizetype paragraph, qsizetype delta);
    void rebuildFenwick() const;

    TextStorage& storage_;
    TextStorage::ObserverToken observerToken_ = 0;

    QFont font_;
    int tabWidth_ = 4;
    bool wrapsLines_ = false;
    qreal wrapWidth_ = 600;
    QColor textColor_{Qt::black};
    QColor invisibleColor_{160, 160, 160};
    bool showsInvisibles_ = false;
    bool showsControls_ = false;
    qreal rowHeight_ = 16;
    qreal ascent_ = 12;
    qreal charWidth_ = 8;
    qreal spaceWidth_ = 8;

    // The longest paragraph in units and how many are that long; stale when an edit may have
    // shortened the only ones, until the width is asked for.
    mutable qsizetype longestParagraph_ = 0;
    mutable qsizetype longestCount_ = 0;
    mutable bool longestStale_ = false;
    qsizetype knownParagraphs_ = 1;

    // Wrapped rows per paragraph and a Fenwick tree over them (rebuilt lazily when paragraphs come or go).
    mutable std::vector<int> rows_;
    mutable bool heightsDirty_ = false;
    mutable std::vector<qsizetype> fenwick_;
    mutable bool fenwickDirty_ = true;
    qreal widestLine_ = 0;
    qsizetype widestParagraph_ = -1;  // the one widestLine_ was measured on

    std::map<qsizetype, std::unique_ptr<ParagraphLayout>> cache_;
    quint64 useClock_ = 0;
    quint64 segmentLayouts_ = 0;

    std::vector<std::pair<Owner, std::vector<Run>>> temporaryAttributes_;
    Composition marked_;
};

}  // namespace korimado
