#include "editor/EditorTextView.h"

#include "editor/Completion.h"
#include "editor/LineNumberRuler.h"
#include "editor/SelectionMath.h"
#include "editor/TextReader.h"
#include "editor/TypingAids.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextBoundaries.h"
#include "platform/text/TextEditing.h"
#include "platform/foundation/UndoManager.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace korimado {

namespace {

constexpr qreal GuideAlpha = 0.38;

QVector<TextRange> toVector(const std::vector<TextRange>& ranges)
{
    return QVector<TextRange>(ranges.begin(), ranges.end());
}

bool containsCaret(const std::vector<TextRange>& ranges)
{
    return std::any_of(ranges.begin(), ranges.end(), [](TextRange r) { return r.isEmpty(); });
}

// The caret nearest to x on a visual line (its used rect and characters): never after the line's
// terminator, never inside a composed character.
qsizetype caretOnLine(LayoutManager& layout, const TextReader& reader, const QRectF& rect, TextRange range, qreal x)
{
    qreal fraction = 0;
    qsizetype index = layout.characterIndex(QPointF(x, rect.center().y()), &fraction);
    const qsizetype usableEnd = std::min(reader.lineAt(range.location).contentsEnd, range.end());
    if (fraction >= 0.5 && index < usableEnd) ++index;
    index = std::clamp(index, range.location, std::max(range.location, usableEnd));
    const TextRange composed = reader.composedCharacterRange(index);
    if (composed.location < index) index = fraction >= 0.5 ? std::min(composed.end(), usableEnd) : composed.location;
    return index;
}

}  // namespace

EditorTextView::EditorTextView(std::shared_ptr<TextStorage> storage, QWidget* parent)
    : TextView(std::move(storage), parent)
{
    observeStorage();
    // The editor's own selection actions, answered wherever the editor has the focus.
    registerAction(QStringLiteral("splitSelectionByLines:"), [this](MenuItem*) { splitSelectionByLines(); });
    registerAction(QStringLiteral("selectColumnUp:"), [this](MenuItem*) { selectColumnUp(); });
    registerAction(QStringLiteral("selectColumnDown:"), [this](MenuItem*) { selectColumnDown(); });
    registerAction(QStringLiteral("selectEnclosingSymbols:"), [this](MenuItem*) { selectEnclosingSymbols(); });
}

EditorTextView::~EditorTextView()
{
    if (auto storage = observedStorageLife_.lock()) storage->removeObserver(observerToken_);
}

// MARK: Options

EditorOptions EditorTextView::options() const
{
    EditorOptions o = options_;
    o.font = font();
    o.editable = isEditable();
    o.rightToLeft = layoutDirection() == Qt::RightToLeft;
    o.showsInvisibleCharacters = showsInvisibleCharacters();
    o.showsControlCharacters = layoutManager()->showsControlCharacters();
    o.rulersVisible = rulersVisible();
    o.backgroundColor = backgroundColor();
    o.textColor = textColor();
    o.insertionPointColor = insertionPointColor();
    o.selectedTextBackgroundColor = selectedTextBackgroundColor();
    return o;
}

void EditorTextView::apply(const EditorOptions& o)
{
    options_ = o;
    options_.tabWidth = std::clamp(o.tabWidth, 1, 16);
    setFont(o.font);
    setTabWidth(std::max<qreal>(QFontMetricsF(o.font).horizontalAdvance(QLatin1Char('0')), 1) * options_.tabWidth);
    setEditable(o.editable);
    setLayoutDirection(o.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    setShowsInvisibleCharacters(o.showsInvisibleCharacters);
    layoutManager()->setShowsControlCharacters(o.showsControlCharacters);
    setRulersVisible(o.rulersVisible);
    setBackgroundColor(o.backgroundColor);
    setTextColor(o.textColor);
    setInsertionPointColor(o.insertionPointColor);
    setSelectedTextBackgroundColor(o.selectedTextBackgroundColor);
    viewport()->update();
}

// MARK: Storage

// Follows the view's storage (it can be replaced after construction) so that the column run and
// the ruler hear of every character edit, whoever makes it.
void EditorTextView::observeStorage()
{
    if (textStorage() == observedStorage_) return;
    if (auto old = observedStorageLife_.lock()) old->removeObserver(observerToken_);
    columnSelectionX_.reset();
    observedStorage_ = textStorage();
    observedStorageLife_ = sharedTextStorage();
    observerToken_ = 0;
    if (observedStorage_) {
        observerToken_ = observedStorage_->addObserver(
            [this](TextStorage&, const TextStorageEdit& edit) { storageEdited(edit); });
    }
}

void EditorTextView::storageEdited(const TextStorageEdit& edit)
{
    if (!edit.editedCharacters()) return;
    if (columnSelectionX_) {
        // The view has carried its selections across the edit already; the run goes on while they
        // are still the carets it made.
        const std::vector<TextRange> moved = selection::rangesAfterEdit(columnSelections_, edit);
        const QVector<TextRange> now = selections();
        if (moved.size() >= 2 && toVector(moved) == now) columnSelections_ = moved;
        else columnSelectionX_.reset();
    }
    // A line number that gains or loses a digit widens or narrows the gutter, once the edit is over
    // (the viewport must not change size while the layout follows the edit).
    if (ruler_ && rulersVisible_ && ruler_->thickness() != rulerThickness_ && !rulerRefitPending_) {
        rulerRefitPending_ = true;
        observedStorage_->afterProcessing([view = QPointer<EditorTextView>(this)] {
            if (!view) return;
            view->rulerRefitPending_ = false;
            view->setRulersVisible(view->rulersVisible_);
        });
    }
    Q_EMIT storageCharactersChanged();
}

std::optional<qreal> EditorTextView::columnSelectionX() const
{
    if (!columnSelectionX_) return std::nullopt;
    const QVector<TextRange> now = selections();
    if (toVector(columnSelections_) != now) return std::nullopt;
    return columnSelectionX_;
}

// MARK: Editing API

std::vector<TextRange> EditorTextView::normalizedSelectedRanges()
{
    observeStorage();
    const QVector<TextRange> all = selections();
    std::vector<TextRange> ranges(all.begin(), all.end());
    // Carets among several are kept as they were set, repeats included.
    if (ranges.size() >= 2 && containsCaret(ranges)) return ranges;
    return selection::normalized(ranges, textLength());
}

void EditorTextView::setEditingSelections(const std::vector<TextRange>& ranges, bool preservingColumnX)
{
    if (!preservingColumnX) columnSelectionX_.reset();
    if (ranges.empty()) return;
    setSelections(toVector(ranges));
}

bool EditorTextView::replace(const std::vector<TextRange>& ranges, const QStringList& strings, const QString& actionName,
                             bool resultingSelectionsAtEnd)
{
    TextStorage* storage = textStorage();
    if (!storage) return false;
    const std::vector<selection::Replacement> pairs = selection::applicableReplacements(ranges, strings, storage->length());
    if (pairs.empty()) return false;

    QVector<TextRange> approvedRanges;
    QStringList approvedStrings;
    for (const selection::Replacement& p : pairs) {
        approvedRanges.append(p.range);
        approvedStrings.append(p.string);
    }
    const std::vector<TextRange> carets = selection::caretsAfter(pairs, resultingSelectionsAtEnd);
    if (TextEditing::replace(*storage, approvedRanges, approvedStrings, actionName, toVector(carets), editInitiator())
        != TextEditing::Outcome::replaced)
        return false;
    setEditingSelections(carets, false);
    scrollRangeToVisible(carets.back());
    return true;
}

std::vector<TextRange> EditorTextView::uniqueLineRanges(const std::vector<TextRange>& ranges, const QString& string)
{
    const TextReader reader(string);
    return selection::uniqueLineRanges(ranges, reader);
}

std::vector<TextRange> EditorTextView::uniqueLineRanges(const std::vector<TextRange>& ranges, const TextStorage& storage)
{
    const TextReader reader(storage);
    return selection::uniqueLineRanges(ranges, reader);
}

void EditorTextView::insertText(const QString& string, TextRange replacementRange)
{
    if (replacementRange.isNotFound() && !hasMarkedText()) {
        const std::vector<TextRange> ranges = normalizedSelectedRanges();
        if (ranges.size() > 1) {
            replace(ranges, QStringList(static_cast<qsizetype>(ranges.size()), string), QStringLiteral("入力"), true);
            return;
        }
    }
    TextView::insertText(string, replacementRange);
}

void EditorTextView::deleteBackward()
{
    const std::vector<TextRange> ranges = normalizedSelectedRanges();
    if (ranges.size() <= 1) {
        TextView::deleteBackward();
        return;
    }
    std::vector<TextRange> deletions;
    {
        const TextReader reader(*textStorage());
        deletions = selection::deletionRanges(ranges, reader, true);
    }
    replace(deletions, QStringList(static_cast<qsizetype>(deletions.size())), QStringLiteral("削除"), false);
}

void EditorTextView::deleteForward()
{
    const std::vector<TextRange> ranges = normalizedSelectedRanges();
    if (ranges.size() <= 1) {
        TextView::deleteForward();
        return;
    }
    std::vector<TextRange> deletions;
    {
        const TextReader reader(*textStorage());
        deletions = selection::deletionRanges(ranges, reader, false);
    }
    replace(deletions, QStringList(static_cast<qsizetype>(deletions.size())), QStringLiteral("削除"), false);
}

// MARK: Typing aids

void EditorTextView::insertNewline()
{
    if (hasMarkedText()) {
        TextView::insertNewline();
        return;
    }
    const std::vector<TextRange> ranges = normalizedSelectedRanges();
    typing::IndentStyle style;
    style.tabWidth = options_.tabWidth;
    style.usesSpaces = options_.usesSpacesForIndentation;
    style.automaticallyIndents = options_.automaticallyIndents;
    style.openers = indentationOpeners;
    const QString ending = preferredEnding ? preferredEnding() : QStringLiteral("\n");
    QStringList texts;
    {
        const TextReader reader(*textStorage());
        for (TextRange r : ranges) texts.append(typing::newlineText(reader, r.location, ending, style));
    }
    if (ranges.size() == 1) insertText(texts.front(), ranges.front());
    else replace(ranges, texts, QStringLiteral("改行"), true);
}

void EditorTextView::insertTab()
{
    if (!options_.usesSpacesForIndentation) {
        TextView::insertTab();
        return;
    }
    const std::vector<TextRange> ranges = normalizedSelectedRanges();
    QStringList texts;
    {
        const TextReader reader(*textStorage());
        for (TextRange r : ranges) texts.append(typing::tabSpaces(reader, r.location, options_.tabWidth));
    }
    replace(ranges, texts, QStringLiteral("空白を挿入"), true);
}

void EditorTextView::insertBacktab()
{
    shiftIndent(true);
}

void EditorTextView::shiftIndent(bool left)
{
    if (!left) return;  // only outdenting has a key of its own
    std::vector<selection::Replacement> edits;
    {
        const TextReader reader(*textStorage());
        edits = typing::outdentReplacements(reader, normalizedSelectedRanges(), options_.tabWidth);
    }
    std::vector<TextRange> ranges;
    QStringList texts;
    for (const selection::Replacement& e : edits) {
        ranges.push_back(e.range);
        texts.append(e.string);
    }
    replace(ranges, texts, QStringLiteral("インデントを減らす"), true);
}

void EditorTextView::selectEnclosingSymbols()
{
    if (textLength() == 0) return;
    std::optional<TextRange> found;
    {
        const TextReader reader(*textStorage());
        found = typing::enclosingSymbolsRange(reader, selectedRange());
    }
    if (!found) {
        QApplication::beep();
        return;
    }
    setEditingSelections({*found}, false);
    scrollRangeToVisible(*found);
}

// MARK: Selection commands

void EditorTextView::mouseDown(QMouseEvent* event, int clickCount)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool adding = (modifiers & Qt::ControlModifier) && !(modifiers & (Qt::AltModifier | Qt::ShiftModifier));
    const bool column = (modifiers & Qt::AltModifier) && !(modifiers & (Qt::ControlModifier | Qt::ShiftModifier));
    if (!(adding || column) || !isSelectable()) {
        // A plain click leaves one selection, even on the first of several carets.
        if (selections() != selectedRanges()) setSelections({selectedRange()}, true);
        hideCompletion();
        TextView::mouseDown(event, clickCount);
        return;
    }
    // Ctrl keeps what is selected and adds to it; Alt drags out a rectangle, one range a line.
    MouseSelection drag;
    drag.column = column;
    if (adding) drag.kept = normalizedSelectedRanges();
    columnSelectionX_.reset();
    hideCompletion();
    setFocus(Qt::MouseFocusReason);
    if (hasMarkedText()) unmarkText();
    breakUndoCoalescing();
    const QPointF point = viewportToView(event->position());
    drag.start = point - textContainerOrigin();
    drag.granularity = std::clamp(clickCount, 1, 3);
    drag.origin = mouseSelectionUnit(point, drag.granularity);
    mouseSelection_ = std::move(drag);
    trackMouseSelection(point);
}

TextRange EditorTextView::mouseSelectionUnit(QPointF viewPoint, int granularity)
{
    if (granularity <= 1) return TextRange(characterIndexForInsertion(viewPoint), 0);
    const qsizetype character =
        std::clamp<qsizetype>(layoutManager()->characterIndex(viewPoint - textContainerOrigin()), 0, textLength());
    const TextBoundaries b = boundaries();
    return granularity == 2 ? b.wordRange(character) : b.paragraphRange(TextRange(character, 0));
}

void EditorTextView::trackMouseSelection(QPointF viewPoint)
{
    if (!mouseSelection_ || !layoutManager()) return;
    const MouseSelection& drag = *mouseSelection_;
    std::vector<TextRange> ranges;
    if (drag.column) {
        LayoutManager& layout = *layoutManager();
        const QPointF end = viewPoint - textContainerOrigin();
        // Rows past the last one still reach it.
        const qreal lastRow = std::max<qreal>(0, layout.documentHeight() - 1);
        const qreal top = std::clamp(std::min(drag.start.y(), end.y()), 0.0, lastRow);
        const qreal bottom = std::clamp(std::max(drag.start.y(), end.y()), 0.0, lastRow);
        const qreal left = std::max<qreal>(0, std::min(drag.start.x(), end.x()));
        const qreal right = std::max<qreal>(0, std::max(drag.start.x(), end.x()));
        const qsizetype length = textLength();
        const std::vector<LineFragment> rows =
            layout.lineFragments(QRectF(0, top, std::max<qreal>(1, layout.containerWidth()), std::max<qreal>(bottom - top, 0.5)));
        {
            const TextReader reader(*textStorage());
            for (const LineFragment& row : rows) {
                if (row.characterRange.location >= length) continue;
                const qsizetype from = caretOnLine(layout, reader, row.usedRect, row.characterRange, left);
                const qsizetype to = caretOnLine(layout, reader, row.usedRect, row.characterRange, right);
                ranges.emplace_back(from, to - from);
            }
        }
        if (layout.hasExtraLineFragment() && layout.extraLineFragmentRect().top() <= bottom
            && layout.extraLineFragmentRect().bottom() >= top)
            ranges.emplace_back(length, 0);
        if (ranges.empty()) ranges.emplace_back(std::clamp<qsizetype>(characterIndexForInsertion(viewPoint), 0, length), 0);
    } else {
        const TextRange reach = mouseSelectionUnit(viewPoint, drag.granularity);
        const TextRange added = TextRange::fromBounds(std::min(drag.origin.location, reach.location),
                                                      std::max(drag.origin.end(), reach.end()));
        // What the new range covers gives way to it.
        for (const TextRange r : drag.kept) {
            const bool covered = r == added || r.intersected(added).length > 0
                                 || (r.isEmpty() && r.location > added.location && r.location < added.end());
            if (!covered) ranges.push_back(r);
        }
        ranges.push_back(added);
        selection::sortRanges(ranges);
    }
    setEditingSelections(ranges, false);
    scrollRangeToVisible(TextRange(characterIndexForInsertion(viewPoint), 0));
}

void EditorTextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!mouseSelection_ || !(event->buttons() & Qt::LeftButton)) {
        TextView::mouseMoveEvent(event);
        return;
    }
    trackMouseSelection(viewportToView(event->position()));
    event->accept();
}

void EditorTextView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!mouseSelection_) {
        TextView::mouseReleaseEvent(event);
        return;
    }
    mouseSelection_.reset();
    event->accept();
}

void EditorTextView::splitSelectionByLines()
{
    std::vector<TextRange> pieces;
    {
        const TextReader reader(*textStorage());
        pieces = selection::splitByLines(normalizedSelectedRanges(), reader);
    }
    setEditingSelections(pieces, false);
}

void EditorTextView::extendColumnSelection(int direction)
{
    LayoutManager* layout = layoutManager();
    const qsizetype length = textLength();
    if (!layout || length == 0 || direction == 0) return;
    const bool up = direction < 0;

    std::vector<TextRange> selections = normalizedSelectedRanges();
    const qsizetype anchor = up ? selections.front().location : selections.back().end();

    // The visual line of the anchor: the extra line after a final break, or the fragment holding
    // the anchor's character.
    struct VisualLine {
        QRectF rect;
        TextRange range;
        bool extra = false;
    };
    VisualLine anchorLine;
    if (anchor >= length && layout->hasExtraLineFragment()) {
        anchorLine = {layout->extraLineFragmentRect(), TextRange(length, 0), true};
    } else {
        const LineFragment f = layout->lineFragment(std::min(anchor, length - 1));
        anchorLine = {f.usedRect, f.characterRange, false};
    }

    // A caret at the very end of the text stands after the last character, not at the line start.
    const std::optional<qreal> kept = columnSelectionX();
    const qreal x = kept ? *kept
                         : (anchorLine.extra ? anchorLine.rect.left() : layout->caretRect(anchor).left());

    VisualLine target;
    if (up) {
        if (anchorLine.range.location <= 0) return;
        const LineFragment f = layout->lineFragment(anchorLine.range.location - 1);
        target = {f.usedRect, f.characterRange, false};
    } else {
        if (anchorLine.extra) return;
        const qsizetype next = anchorLine.range.end();
        if (next >= length) {
            if (!layout->hasExtraLineFragment()) return;
            target = {layout->extraLineFragmentRect(), TextRange(length, 0), true};
        } else {
            const LineFragment f = layout->lineFragment(next);
            target = {f.usedRect, f.characterRange, false};
        }
    }

    qsizetype position = length;
    if (!target.extra) {
        const TextReader reader(*textStorage());
        position = caretOnLine(*layout, reader, target.rect, target.range, x);
    }

    columnSelectionX_ = x;
    selections.emplace_back(position, 0);
    selection::sortRanges(selections);
    setEditingSelections(selections, true);
    columnSelections_ = normalizedSelectedRanges();
    scrollRangeToVisible(TextRange(position, 0));
}

// MARK: Completion

std::optional<QStringList> EditorTextView::completionsForPartialWordRange(TextRange range, int* indexOfSelectedItem)
{
    if (!textStorage() || range.end() > textLength()) return std::nullopt;
    std::optional<QStringList> list;
    {
        const TextReader reader(*textStorage());
        list = completion::candidates(reader, range, completionWords);
    }
    if (indexOfSelectedItem) *indexOfSelectedItem = 0;
    return list;  // empty: the platform has no completions of its own to fall back on
}

void EditorTextView::complete()
{
    if (!textStorage() || !isEditable()) return;
    TextRange partial;
    {
        const TextReader reader(*textStorage());
        partial = completion::partialWordRange(reader, selectedRange().end());
    }
    int selected = 0;
    const std::optional<QStringList> words = partial.isEmpty() ? std::nullopt
                                                               : completionsForPartialWordRange(partial, &selected);
    if (!words || words->isEmpty()) {
        QApplication::beep();
        return;
    }
    if (!completionList_) {
        completionList_ = new QListWidget(this);
        completionList_->setWindowFlags(Qt::Popup);
        completionList_->setFocusPolicy(Qt::NoFocus);
        completionList_->setUniformItemSizes(true);
        completionList_->installEventFilter(this);
        connect(completionList_, &QListWidget::itemActivated, this, [this] { acceptCompletion(); });
    }
    completionRange_ = partial;
    completionList_->clear();
    completionList_->addItems(*words);
    completionList_->setCurrentRow(selected);

    const QRectF caret = insertionPointRect(partial.location);
    const QPoint below = viewport()->mapToGlobal(viewToViewport(caret.bottomLeft()).toPoint());
    const int rows = std::min<int>(static_cast<int>(words->size()), 10);
    const int width = std::max(160, completionList_->sizeHintForColumn(0) + 24);
    completionList_->setGeometry(below.x(), below.y(), width, completionList_->sizeHintForRow(0) * rows + 6);
    completionList_->show();
    completionList_->setFocus();
}

void EditorTextView::acceptCompletion()
{
    if (!completionList_ || !completionList_->currentItem()) return;
    const QString word = completionList_->currentItem()->text();
    const TextRange range = completionRange_;
    hideCompletion();
    if (range.end() <= textLength()) insertText(word, range);
}

void EditorTextView::hideCompletion()
{
    if (completionList_ && completionList_->isVisible()) completionList_->hide();
}

bool EditorTextView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == completionList_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
            acceptCompletion();
            return true;
        case Qt::Key_Escape:
            hideCompletion();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return false;
        default:
            // Any other key ends the list and goes to the text.
            hideCompletion();
            keyPressEvent(key);
            return true;
        }
    }
    return TextView::eventFilter(watched, event);
}

void EditorTextView::keyPressEvent(QKeyEvent* event)
{
    // Escape asks for completions, as on the platform this editor comes from.
    if (event->key() == Qt::Key_Escape && (event->modifiers() & ~(Qt::AltModifier | Qt::KeypadModifier)) == 0
        && !hasMarkedText()) {
        complete();
        event->accept();
        return;
    }
    TextView::keyPressEvent(event);
}

// MARK: Ruler

void EditorTextView::setVerticalRuler(LineNumberRuler* ruler)
{
    if (ruler_ && ruler_ != ruler) ruler_->hide();
    ruler_ = ruler;
    if (ruler_) ruler_->setParent(this);
    setRulersVisible(rulersVisible_);
}

TextRange EditorTextView::visibleRange() const
{
    LayoutManager* layout = layoutManager();
    if (!layout) return TextRange(0, 0);
    const QRectF rect = visibleRect().translated(-textContainerOrigin());
    return layout->characterRange(layout->glyphRange(rect)).clamped(textLength());
}

void EditorTextView::select(const QVector<TextRange>& ranges)
{
    if (ranges.size() == 1)
        setSelectedRange(ranges.front());
    else
        setSelections(ranges);
}

bool EditorTextView::runCommand(const QString& action, const QVariant& argument)
{
    return commandEntry_ && commandEntry_(action, argument);
}

void EditorTextView::setRulersVisible(bool visible)
{
    rulersVisible_ = visible;
    const bool shown = visible && ruler_;
    rulerThickness_ = shown ? ruler_->thickness() : 0;
    setViewportMargins(rulerThickness_, 0, 0, 0);
    if (ruler_) ruler_->setVisible(shown);
    layoutRuler();
}

void EditorTextView::layoutRuler()
{
    if (!ruler_) return;
    const QRect area = viewport()->geometry();
    ruler_->setGeometry(area.left() - rulerThickness_, area.top(), rulerThickness_, area.height());
    ruler_->update();
}

void EditorTextView::resizeEvent(QResizeEvent* event)
{
    TextView::resizeEvent(event);
    layoutRuler();
}

// MARK: Drawing

qreal EditorTextView::characterWidth() const
{
    return QFontMetricsF(layoutManager() ? layoutManager()->font() : font()).horizontalAdvance(QLatin1Char('M'));
}

void EditorTextView::drawBackground(QPainter& painter, const QRectF& dirtyRect)
{
    observeStorage();
    syncFontAntialiasing();
    savedAntialiasing_ = painter.testRenderHint(QPainter::Antialiasing);
    savedTextAntialiasing_ = painter.testRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::Antialiasing, options_.usesFontAntialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing, options_.usesFontAntialiasing);
    TextView::drawBackground(painter, dirtyRect);
    if (options_.showsIndentGuides || options_.pageGuideColumn) drawGuides(painter, dirtyRect);
}

// Glyphs ignore the painter's text hint on the raster engine; only the font's own strategy turns
// their smoothing off. The layout gets the font without it, so the widget font stays as set.
void EditorTextView::syncFontAntialiasing()
{
    LayoutManager* layout = layoutManager();
    if (!layout) return;
    QFont font = layout->font();
    const bool smooth = (font.styleStrategy() & QFont::NoAntialias) == 0;
    if (smooth == options_.usesFontAntialiasing) return;
    const int others = font.styleStrategy() & ~QFont::NoAntialias;
    font.setStyleStrategy(static_cast<QFont::StyleStrategy>(others | (options_.usesFontAntialiasing ? 0 : QFont::NoAntialias)));
    layout->setFont(font);
}

void EditorTextView::drawOverlays(QPainter& painter, const QRectF& dirtyRect)
{
    TextView::drawOverlays(painter, dirtyRect);
    painter.setRenderHint(QPainter::Antialiasing, savedAntialiasing_);
    painter.setRenderHint(QPainter::TextAntialiasing, savedTextAntialiasing_);
}

void EditorTextView::drawGuides(QPainter& painter, const QRectF& dirtyRect)
{
    LayoutManager* layout = layoutManager();
    if (!layout) return;
    painter.save();
    QColor color = palette().color(QPalette::Mid);
    color.setAlphaF(GuideAlpha);
    painter.setPen(QPen(color, 1));
    const qreal w = characterWidth();
    const QPointF origin = textContainerOrigin();

    if (options_.pageGuideColumn) {
        const qreal x = origin.x() + w * *options_.pageGuideColumn;
        if (x >= dirtyRect.left() - 1 && x <= dirtyRect.right() + 1)
            painter.drawLine(QPointF(x, dirtyRect.top()), QPointF(x, dirtyRect.bottom()));
    }

    if (options_.showsIndentGuides && textStorage()) {
        const int width = options_.tabWidth;
        const TextReader reader(*textStorage());
        qsizetype lastParagraph = -1;
        int indentation = 0;
        for (const LineFragment& f : layout->lineFragments(visibleRect().translated(-origin))) {
            // Continuation rows of a wrapped line repeat their line's guides.
            if (f.paragraph != lastParagraph) {
                lastParagraph = f.paragraph;
                indentation = typing::indentationColumns(reader, layout->paragraphStart(f.paragraph), width);
            }
            for (int c = width; c <= indentation; c += width) {
                const qreal x = w * c + origin.x();
                painter.drawLine(QPointF(x, f.rect.top() + origin.y()), QPointF(x, f.rect.bottom() + origin.y()));
            }
        }
    }
    painter.restore();
}

}  // namespace korimado
