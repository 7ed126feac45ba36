#include "platform/text/TextView.h"

#include "platform/text/InputContext.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextBoundaries.h"
#include "platform/text/TextEditing.h"
#include "platform/foundation/UndoManager.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace korimado {

namespace {

constexpr int kBlinkInterval = 500;

constexpr qreal kCaretBarWidth = 1.5;
constexpr qsizetype kMaxSelectionBands = 256;

// How long after a composition was ended here the same text coming again is the input method's
// second copy, not the user's typing (which would show a composition first anyway).
constexpr qint64 kHandedOverAgainWithin = 2000;

bool lessByLocationThenLength(TextRange a, TextRange b)
{
    return a.location != b.location ? a.location < b.location : a.length < b.length;
}

bool hasCaretAmongSeveral(const QVector<TextRange>& ranges)
{
    return ranges.size() > 1 && std::any_of(ranges.begin(), ranges.end(), [](TextRange r) { return r.isEmpty(); });
}

// Touching or overlapping ranges merge; several selections are never carets.
QVector<TextRange> mergedSelection(QVector<TextRange> sorted)
{
    if (sorted.isEmpty())
        sorted.append({0, 0});
    std::stable_sort(sorted.begin(), sorted.end(), lessByLocationThenLength);
    QVector<TextRange> merged;
    for (TextRange r : sorted) {
        if (!merged.isEmpty()) {
            const TextRange last = merged.last();
            if (r == last || r.location < last.end() || (r.location == last.end() && r.length > 0 && last.length > 0)) {
                merged.last() = last.united(r);
                continue;
            }
        }
        merged.append(r);
    }
    if (merged.size() > 1) {
        QVector<TextRange> nonEmpty;
        for (TextRange r : merged) {
            if (r.length > 0)
                nonEmpty.append(r);
        }
        merged = nonEmpty.isEmpty() ? QVector<TextRange>{merged.first()} : nonEmpty;
    }
    return merged;
}

// Clamped and sorted; carets among several stay, anything else is merged.
QVector<TextRange> caretsKept(const QVector<TextRange>& ranges, qsizetype length)
{
    QVector<TextRange> sorted;
    for (TextRange r : ranges) {
        if (!r.isNotFound())
            sorted.append(r.clamped(length));
    }
    std::stable_sort(sorted.begin(), sorted.end(), lessByLocationThenLength);
    return hasCaretAmongSeveral(sorted) ? sorted : mergedSelection(sorted);
}

}  // namespace

// The view's side of the edit door and of undo and redo; goes with the view.
class TextView::HistoryClient : public EditInitiator {
public:
    explicit HistoryClient(TextView& view) : view_(view) {}
    const TextStorage* editedStorage() const override { return view_.storage_.get(); }
    bool isEditable() const override { return view_.editable_; }
    bool approvesEdit(const QVector<TextRange>& ranges, const QStringList& strings) override
    {
        return view_.shouldChangeText(ranges, strings);
    }
    void prepareAnnouncement(EditHistory::Announcement& announcement) override
    {
        announcement.undoManager = view_.allowsUndo_ ? view_.undoManager() : nullptr;
        announcement.initiator = weak_from_this();
        announcement.owner = &view_;
        announcement.selectionBefore = view_.selections_;
        announcement.typing = view_.typingEdit_;
    }
    void editWillApply(const QVector<TextRange>& selectionAfter) override
    {
        ++view_.ownEdits_;
        view_.selectionAfterEdit_ = selectionAfter;
    }
    void editDidApply(const QVector<TextRange>& selection) override
    {
        view_.selectionAfterEdit_.reset();
        if (!selection.isEmpty()) view_.setSelections(selection);
        view_.didChangeText();
    }
    void historyWillReplay(const QVector<TextRange>& selectionAfter) override { editWillApply(selectionAfter); }
    void historyDidReplay(const QVector<TextRange>& selection) override
    {
        view_.selectionAfterEdit_.reset();
        view_.setSelections(selection);
        view_.didChangeText();
        view_.scrollRangeToVisible(view_.selectedRange());
    }

private:
    TextView& view_;
};

EditInitiator* TextView::editInitiator() const
{
    return historyClient_.get();
}

struct TextView::Drag {
    int granularity = 1;  // 1 character, 2 word, 3 paragraph
    TextRange origin;     // what the press selected; the drag extends from it
};

TextView::TextView(std::shared_ptr<TextStorage> storage, QWidget* parent)
    : QAbstractScrollArea(parent), historyClient_(std::make_shared<HistoryClient>(*this))
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, backgroundColor_.alpha() == 255);
    setTextStorage(storage ? std::move(storage) : std::make_shared<TextStorage>());
}

TextView::~TextView()
{
    detachStorage();
}

// MARK: - Text

void TextView::setTextStorage(std::shared_ptr<TextStorage> storage)
{
    if (!storage || storage == storage_)
        return;
    detachStorage();
    storage_ = std::move(storage);
    attachStorage();
    selections_ = {TextRange{0, 0}};
    anchor_ = 0;
    markedText_.clear();
    markedByInputMethod_ = false;
    pendingCommit_.reset();
    selectionBandsEverywhere_ = true;
    relayout();
    selectionChangedInternally(true);
}

void TextView::attachStorage()
{
    layout_ = std::make_unique<LayoutManager>(*storage_);
    layout_->setFont(font());
    layout_->setTextColor(textColor_);
    layout_->setShowsInvisibleCharacters(showsInvisibles_);
    layout_->setWrapsLines(wrapsLines_);
    connect(layout_.get(), &LayoutManager::layoutChanged, this, [this] {
        // During an edit the layout names the rows that moved, and the view's own observer brings
        // the scroll bars in step, once: a keystroke redraws its rows, not the whole view.
        if (storage_->isProcessingEditing()) {
            rowsMoving_ = true;
            return;
        }
        updateScrollBars();
        viewport()->update();
        // Rows moved: the selections' rows are noted again once drawn.
        selectionBandsEverywhere_ = true;
        Q_EMIT visibleRectDidChange();
    });
    connect(layout_.get(), &LayoutManager::needsDisplay, this, [this](const QRectF& rect) {
        const QPointF origin = textContainerOrigin();
        const QRect dirty = QRectF(viewToViewport(rect.topLeft() + origin), rect.size()).toAlignedRect()
                                .intersected(viewport()->rect());
        const bool moved = std::exchange(rowsMoving_, false);
        if (dirty.isEmpty())
            return;
        viewport()->update(dirty);
        if (moved)
            Q_EMIT rowsDidMove(dirty);
    });
    observerToken_ = storage_->addObserver([this](TextStorage&, const TextStorageEdit& edit) { storageDidEdit(edit); });
    setTabWidth(tabWidth_);
}

void TextView::detachStorage()
{
    if (storage_ && observerToken_)
        storage_->removeObserver(observerToken_);
    observerToken_ = 0;
    layout_.reset();
}

QString TextView::string() const
{
    return storage_->string();
}

qsizetype TextView::textLength() const
{
    return storage_->length();
}

TextBoundaries TextView::boundaries() const
{
    TextStorage* storage = storage_.get();
    return TextBoundaries(storage->length(),
                          [storage](qsizetype from, qsizetype to) { return storage->substring({from, to - from}); });
}

// Follows edits made by anyone (this view, another view of the storage, the document) so that the
// selection keeps pointing at the same text.
void TextView::storageDidEdit(const TextStorageEdit& edit)
{
    if (!edit.editedCharacters()) {
        viewport()->update();
        return;
    }
    const qsizetype length = storage_->length();
    const bool several = hasCaretAmongSeveral(selections_);
    QVector<TextRange> moved;
    for (TextRange r : selections_) {
        const qsizetype s = std::min(edit.mapPosition(r.location), length);
        const qsizetype e = r.length == 0 ? s : std::min(edit.mapPosition(r.end()), length);
        const TextRange m = TextRange::fromBounds(s, std::max(s, e));
        // Carets whose text went become one; a repeat can only sit among those at the same place.
        bool repeated = false;
        for (qsizetype i = moved.size() - 1; several && !repeated && i >= 0 && moved[i].location == m.location; --i)
            repeated = moved[i] == m;
        if (!repeated)
            moved.append(m);
    }
    QVector<TextRange> mapped = moved;
    if (ownEdits_ > 0 && selectionAfterEdit_) {
        // Our own edit: the selection it ends with is known already. A command that leaves the
        // first of several carets where the edit took it leaves the others too.
        QVector<TextRange> after;
        for (TextRange r : *selectionAfterEdit_)
            after.append(r.clamped(length));
        if (!(several && after.size() == 1 && after.first() == moved.first()))
            mapped = after;
    }
    anchor_ = std::min(edit.mapPosition(anchor_), length);
    if (pendingCommit_) {
        for (qsizetype& place : *pendingCommit_)
            place = std::min(edit.mapPosition(place), length);
    }
    if (mapped != selections_) {
        // Silent for now: the notice follows the edit's own, once the document has heard of it.
        pendingSelectionNotice_ = true;
        const qsizetype anchor = anchor_;
        ++internalSelection_;
        if (several || (ownEdits_ > 0 && selectionAfterEdit_))
            applySelections(caretsKept(mapped, length), affinity_, true);
        else
            setSelectedRanges(mapped, affinity_, true);
        --internalSelection_;
        anchor_ = anchor;
        if (ownEdits_ == 0) {
            storage_->afterProcessing([view = QPointer<TextView>(this)] {
                if (view && view->pendingSelectionNotice_) {
                    view->pendingSelectionNotice_ = false;
                    view->selectionChangedInternally(true);
                }
            });
        }
    }
    updateScrollBars();
    if (std::exchange(rowsMoving_, false)) {
        // The layout started again without naming a part: all of it.
        viewport()->update();
        selectionBandsEverywhere_ = true;
        Q_EMIT visibleRectDidChange();
    }
    // The rows the edit changed are the layout's to name; the carets' old rows and their new ones,
    // when the text carried them elsewhere, are ours.
    redrawSelectionBands(false);
}

// MARK: - Undo

UndoManager* TextView::undoManager() const
{
    if (delegate_) {
        if (UndoManager* manager = delegate_->undoManagerForTextView(*const_cast<TextView*>(this)))
            return manager;
    }
    return undoManager_;
}

void TextView::breakUndoCoalescing()
{
    if (UndoManager* manager = undoManager(); manager && manager->canCoalesce(this))
        manager->breakCoalescing();
    storage_->history().breakCoalescing();
}

// MARK: - Selection

void TextView::setSelectedRange(TextRange range, SelectionAffinity affinity, bool stillSelecting)
{
    setSelectedRanges({range}, affinity, stillSelecting);
}

QVector<TextRange> TextView::selectedRanges() const
{
    return hasCaretAmongSeveral(selections_) ? QVector<TextRange>{selections_.first()} : selections_;
}

void TextView::setSelectedRanges(const QVector<TextRange>& ranges, SelectionAffinity affinity, bool stillSelecting)
{
    const qsizetype length = storage_->length();
    QVector<TextRange> sorted;
    for (TextRange r : ranges) {
        if (!r.isNotFound())
            sorted.append(r.clamped(length));
    }
    QVector<TextRange> merged = mergedSelection(sorted);
    if (hasCaretAmongSeveral(selections_) && merged == QVector<TextRange>{selections_.first()})
        merged = selections_;
    applySelections(merged, affinity, stillSelecting);
}

void TextView::setSelections(const QVector<TextRange>& ranges, bool stillSelecting)
{
    applySelections(caretsKept(ranges, storage_->length()), SelectionAffinity::Downstream, stillSelecting);
}

void TextView::applySelections(const QVector<TextRange>& ranges, SelectionAffinity affinity, bool stillSelecting)
{
    const bool changed = ranges != selections_ || affinity != affinity_;
    selections_ = ranges;
    affinity_ = affinity;
    if (ownEdits_ == 0 && internalSelection_ == 0)
        breakUndoCoalescing();
    if (!keepGoalX_)
        hasGoalX_ = false;
    if (internalSelection_ == 0)
        anchor_ = ranges.size() == 1 && affinity == SelectionAffinity::Upstream ? ranges.first().end()
                                                                                  : ranges.first().location;
    if (hasMarkedText())
        showComposition();
    restartBlinking();
    redrawSelectionBands(true);
    // A selection moved silently by our own edit is announced with the selection the edit ends with.
    if (changed || (pendingSelectionNotice_ && !stillSelecting)) {
        if (!stillSelecting)
            pendingSelectionNotice_ = false;
        selectionChangedInternally(!stillSelecting);
    }
}

// The rows the selections stood on are drawn again, and those they stand on now are noted for
// the next change. Whole paragraphs: a caret or a highlight never reaches beyond its paragraph's rows.
void TextView::redrawSelectionBands(bool evenWhereTheyStand)
{
    const auto redraw = [this](const std::vector<std::pair<qreal, qreal>>& bands, bool everywhere) {
        if (everywhere) {
            viewport()->update();
            return;
        }
        const qreal originY = textContainerOrigin().y();
        const int width = viewport()->width();
        for (const auto& [top, bottom] : bands) {
            const qreal y = viewToViewport(QPointF(0, top + originY)).y();
            const QRect band = QRectF(0, y - 1, width, bottom - top + 2).toAlignedRect().intersected(viewport()->rect());
            if (!band.isEmpty())
                viewport()->update(band);
        }
    };
    const std::vector<std::pair<qreal, qreal>> before = selectionBands_;
    const bool everywhereBefore = selectionBandsEverywhere_;
    noteSelectionBands();
    if (!evenWhereTheyStand && !everywhereBefore && !selectionBandsEverywhere_ && before == selectionBands_)
        return;
    redraw(before, everywhereBefore);
    redraw(selectionBands_, selectionBandsEverywhere_);
}

void TextView::noteSelectionBands()
{
    selectionBands_.clear();
    // Beyond a few hundred rows one redraw of the view costs less than finding them.
    selectionBandsEverywhere_ = selections_.size() > kMaxSelectionBands;
    if (selectionBandsEverywhere_)
        return;
    const qsizetype length = storage_->length();
    for (TextRange r : selections_) {
        const qsizetype first = layout_->paragraphIndex(std::clamp<qsizetype>(r.location, 0, length));
        const qsizetype last = r.length == 0 ? first : layout_->paragraphIndex(std::clamp<qsizetype>(r.end(), 0, length));
        const QRectF rows = layout_->paragraphsRect(first, last);
        if (!selectionBands_.empty() && rows.top() <= selectionBands_.back().second)
            selectionBands_.back().second = std::max(selectionBands_.back().second, rows.bottom());
        else
            selectionBands_.emplace_back(rows.top(), rows.bottom());
    }
}

void TextView::selectionChangedInternally(bool notify)
{
    if (glyphsPrepared_ && layout_->paragraphIndex(selections_.first().location) != preparedParagraph_)
        prepareGlyphsWhenIdle();
    if (hasFocus())
        InputContext::current().update(Qt::ImCursorRectangle | Qt::ImCursorPosition | Qt::ImAnchorPosition
                                       | Qt::ImSurroundingText | Qt::ImCurrentSelection);
    if (!notify)
        return;
    Q_EMIT selectionDidChange();
    if (delegate_)
        delegate_->textViewDidChangeSelection(*this);
}

qsizetype TextView::selectionAnchor() const
{
    const QVector<TextRange> ranges = selectedRanges();
    const TextRange r = ranges.size() == 1 ? ranges.first()
                                           : TextRange::fromBounds(ranges.first().location, ranges.last().end());
    return anchor_ == r.end() ? r.end() : r.location;
}

qsizetype TextView::selectionHead() const
{
    const QVector<TextRange> ranges = selectedRanges();
    const TextRange r = ranges.size() == 1 ? ranges.first()
                                           : TextRange::fromBounds(ranges.first().location, ranges.last().end());
    return selectionAnchor() == r.location ? r.end() : r.location;
}

// Selects from the anchor to head (or puts a caret at head), keeping the anchor for the next step.
void TextView::moveTo(qsizetype head, bool extend)
{
    head = std::clamp<qsizetype>(head, 0, storage_->length());
    if (!extend) {
        setSelectedRange({head, 0});
        return;
    }
    const qsizetype anchor = selectionAnchor();
    ++internalSelection_;
    setSelectedRange(TextRange::fromBounds(std::min(anchor, head), std::max(anchor, head)),
                     head < anchor ? SelectionAffinity::Upstream : SelectionAffinity::Downstream);
    --internalSelection_;
    breakUndoCoalescing();
    anchor_ = anchor;
}

void TextView::setEditable(bool editable)
{
    // What was composed is handed over while the view still takes it.
    if (!editable)
        unmarkText();
    editable_ = editable;
    setAttribute(Qt::WA_InputMethodEnabled, editable);
    viewport()->update();
}

void TextView::setSelectable(bool selectable)
{
    selectable_ = selectable;
    viewport()->update();
}

// MARK: - Editing

bool TextView::shouldChangeText(const QVector<TextRange>& ranges, const QStringList& replacementStrings)
{
    if (!editable_ || !TextEditing::isValid(storage_->length(), ranges, replacementStrings))
        return false;
    return !delegate_ || delegate_->textViewShouldChangeText(*this, ranges, replacementStrings);
}

bool TextView::shouldChangeText(TextRange range, const QString& replacementString)
{
    return shouldChangeText(QVector<TextRange>{range}, QStringList{replacementString});
}

void TextView::didChangeText()
{
    ownEdits_ = 0;
    storage_->history().withdraw(this);
    Q_EMIT textDidChange();
    if (delegate_)
        delegate_->textDidChange(*this);
}

bool TextView::replaceRanges(const QVector<TextRange>& ranges, const QStringList& strings, const QString& actionName,
                             const QVector<TextRange>* selection)
{
    const auto after = selection ? std::optional<QVector<TextRange>>(*selection) : std::nullopt;
    if (TextEditing::replace(*storage_, ranges, strings, actionName, after, historyClient_.get())
        != TextEditing::Outcome::replaced)
        return false;
    ensureCaretVisible();
    return true;
}

bool TextView::editTyping(const QVector<TextRange>& ranges, const QString& string, const QString& actionName)
{
    typingEdit_ = true;
    const auto outcome = TextEditing::replace(*storage_, ranges, QStringList(ranges.size(), string), actionName,
                                              std::nullopt, historyClient_.get());
    typingEdit_ = false;
    if (outcome != TextEditing::Outcome::replaced)
        return false;
    ensureCaretVisible();
    return true;
}

void TextView::insertText(const QString& string, TextRange replacementRange)
{
    if (hasMarkedText())
        clearComposition();
    QVector<TextRange> ranges;
    if (replacementRange.isNotFound())
        ranges = selectedRanges();
    else
        ranges.append(replacementRange.clamped(storage_->length()));
    editTyping(ranges, string, QStringLiteral("入力"));
}

void TextView::deleteRange(TextRange range, bool typing)
{
    if (range.length == 0)
        return;
    if (typing) {
        editTyping({range}, QString(), QStringLiteral("削除"));
        return;
    }
    const QVector<TextRange> caret{TextRange{range.location, 0}};
    replaceRanges({range}, {QString()}, QStringLiteral("削除"), &caret);
}

// MARK: - Input methods

TextRange TextView::markedRange() const
{
    if (!hasMarkedText())
        return {TextRange::NotFound, 0};
    return {selectedRange().location, markedText_.size()};
}

void TextView::setMarkedText(const QString& text, TextRange selectedRange, TextRange replacementRange)
{
    if (!editable_)
        return;
    if (!replacementRange.isNotFound())
        setSelectedRange(replacementRange.clamped(storage_->length()));
    if (!hasMarkedText() && !text.isEmpty())
        beginComposition();
    markedText_ = text;
    markedByInputMethod_ = false;
    markedFormats_.clear();
    markedCursor_ = static_cast<int>(std::clamp<qsizetype>(selectedRange.isNotFound() ? text.size() : selectedRange.location,
                                                           0, text.size()));
    showComposition();
    restartBlinking();
}

// Composing over selected text replaces it, as one typing step with the commit that follows.
void TextView::beginComposition()
{
    pendingCommit_.reset();
    compositionOpenedStep_ = false;
    QVector<TextRange> selected;
    QVector<TextRange> after;
    qsizetype removed = 0;
    for (TextRange r : selections_) {
        if (r.length > 0)
            selected.append(r);
        after.append({r.location - removed, 0});
        removed += r.length;
    }
    if (selected.isEmpty())
        return;
    breakUndoCoalescing();
    typingEdit_ = true;
    const auto outcome = TextEditing::replace(*storage_, selected, QStringList(selected.size(), QString()),
                                              QStringLiteral("入力"), after, historyClient_.get());
    typingEdit_ = false;
    if (outcome != TextEditing::Outcome::replaced)
        return;
    ensureCaretVisible();
    compositionOpenedStep_ = true;
}

// The composition stands at every caret, laid out in its line.
void TextView::showComposition()
{
    if (!hasMarkedText()) {
        layout_->clearMarkedText();
        return;
    }
    std::vector<qsizetype> locations;
    for (TextRange r : selections_)
        locations.push_back(r.location);
    layout_->setMarkedText(markedText_, std::move(locations), markedFormats_);
}

void TextView::clearComposition()
{
    markedText_.clear();
    markedCursor_ = 0;
    markedFormats_.clear();
    markedByInputMethod_ = false;
    layout_->clearMarkedText();
    viewport()->update();
}

// Each committed word is an undo step of its own.
void TextView::commitComposition(const QString& text, TextRange replacementRange)
{
    if (!compositionOpenedStep_)
        breakUndoCoalescing();
    compositionOpenedStep_ = false;
    insertText(text, replacementRange);
    breakUndoCoalescing();
}

// A commit that comes after the composition was ended here lands where it was composed; the
// selection made meanwhile stays on its text.
void TextView::commitWhereComposed(const QString& text)
{
    QVector<qsizetype> places = *pendingCommit_;
    pendingCommit_.reset();
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    QVector<TextRange> ranges;
    for (qsizetype place : places)
        ranges.append({place, 0});
    QVector<TextRange> after;
    for (TextRange r : selections_) {
        const auto shift = [&](qsizetype position) {
            const auto before = std::upper_bound(places.begin(), places.end(), position) - places.begin();
            return position + before * text.size();
        };
        after.append(TextRange::fromBounds(shift(r.location), shift(r.end())));
    }
    compositionOpenedStep_ = false;
    breakUndoCoalescing();
    replaceRanges(ranges, QStringList(ranges.size(), text), QStringLiteral("入力"), &after);
    breakUndoCoalescing();
    handedOver_ = text;
    handedOverTime_.start();
}

void TextView::unmarkText()
{
    if (!hasMarkedText())
        return;
    if (markedByInputMethod_ && hasFocus()) {
        // Inserting it here and also resetting the input method would insert it twice: fcitx5
        // commits on reset at once, ibus later, after the caret moved.
        InputContext& context = InputContext::current();
        handedOver_.clear();
        endingComposition_ = true;
        context.commit();
        endingComposition_ = false;
        if (!hasMarkedText()) {
            handedOverTime_.start();
            return;
        }
        QVector<qsizetype> places;
        for (TextRange r : selections_)
            places.append(r.location);
        clearComposition();
        pendingCommit_ = places;
        context.reset();
        return;
    }
    const QString text = markedText_;
    clearComposition();
    commitComposition(text, {TextRange::NotFound, 0});
}

QRectF TextView::markedCaretRect() const
{
    const qsizetype location = selectedRange().location;
    QRectF rect = hasMarkedText() ? layout_->markedCaretRect(location, markedCursor_) : layout_->caretRect(location);
    if (rect.height() <= 0)
        rect.setHeight(layout_->rowHeight());
    return rect.translated(textContainerOrigin());
}

void TextView::inputMethodEvent(QInputMethodEvent* event)
{
    if (!editable_) {
        event->ignore();
        return;
    }
    const QString preedit = event->preeditString();
    const bool again = !hasMarkedText() && !pendingCommit_ && preedit.isEmpty() && event->replacementLength() == 0
        && !handedOver_.isEmpty() && event->commitString() == handedOver_ && handedOverTime_.isValid()
        && handedOverTime_.elapsed() < kHandedOverAgainWithin;
    if (again || !preedit.isEmpty() || !event->commitString().isEmpty() || event->replacementLength() > 0)
        handedOver_.clear();
    if (again) {
        event->accept();
        return;
    }
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        const bool late = !hasMarkedText() && pendingCommit_;
        if (hasMarkedText())
            clearComposition();
        if (late && event->replacementLength() == 0) {
            commitWhereComposed(event->commitString());
        } else {
            pendingCommit_.reset();
            TextRange replacement{TextRange::NotFound, 0};
            if (event->replacementLength() > 0) {
                const qsizetype caret = selectedRange().location;
                replacement = TextRange{caret + event->replacementStart(), event->replacementLength()}.clamped(
                    storage_->length());
            }
            commitComposition(event->commitString(), replacement);
            if (endingComposition_)
                handedOver_ = event->commitString();
        }
    }
    if (!preedit.isEmpty() && !hasMarkedText())
        beginComposition();
    if (preedit.isEmpty() && compositionOpenedStep_) {
        // Cancelled after it replaced the selection: the deletion stays a step of its own.
        compositionOpenedStep_ = false;
        breakUndoCoalescing();
    }
    markedText_ = preedit;
    markedByInputMethod_ = !preedit.isEmpty();
    markedCursor_ = static_cast<int>(markedText_.size());
    markedFormats_.clear();
    for (const QInputMethodEvent::Attribute& a : event->attributes()) {
        if (a.type == QInputMethodEvent::Cursor) {
            markedCursor_ = std::clamp(a.start, 0, static_cast<int>(markedText_.size()));
        } else if (a.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = a.value.value<QTextFormat>().toCharFormat();
            if (format.isValid() && a.length > 0)
                markedFormats_.append({a.start, a.length, format});
        }
    }
    showComposition();
    if (hasMarkedText())
        scrollRectToVisible(markedCaretRect());
    restartBlinking();
    viewport()->update();
    event->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const qsizetype caret = selectedRange().location;
    switch (query) {
    case Qt::ImEnabled:
        return editable_;
    case Qt::ImCursorRectangle: {
        const QRectF rect = markedCaretRect();
        return QRectF(viewToViewport(rect.topLeft()) + QPointF(viewport()->pos()), rect.size());
    }
    case Qt::ImFont:
        return font();
    case Qt::ImAbsolutePosition:
        return static_cast<qlonglong>(caret);
    case Qt::ImHints:
        return static_cast<int>(Qt::ImhMultiLine);
    default:
        break;
    }
    // Surrounding text is the caret's paragraph, cut to a reasonable size around the caret.
    const TextBoundaries b = boundaries();
    const qsizetype from = std::max(b.paragraphStart(caret), caret - 512);
    const qsizetype to = std::min(b.paragraphContentsEnd(caret), caret + 512);
    const TextRange selection = selectedRange();
    switch (query) {
    case Qt::ImSurroundingText:
        return storage_->substring({from, to - from});
    case Qt::ImCursorPosition:
        return static_cast<int>(std::clamp(selectionHead(), from, to) - from);
    case Qt::ImAnchorPosition:
        return static_cast<int>(std::clamp(selectionAnchor(), from, to) - from);
    case Qt::ImCurrentSelection:
        return storage_->substring(selection);
    case Qt::ImTextBeforeCursor:
        return storage_->substring({from, caret - from});
    case Qt::ImTextAfterCursor:
        return storage_->substring({selection.end(), std::max<qsizetype>(0, to - selection.end())});
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// MARK: - Geometry and scrolling

QPointF TextView::textContainerOrigin() const
{
    return {textContainerInset_.width(), textContainerInset_.height()};
}

void TextView::setTextContainerInset(QSizeF inset)
{
    if (inset == textContainerInset_)
        return;
    textContainerInset_ = inset;
    relayout();
}

QRectF TextView::visibleRect() const
{
    return QRectF(horizontalScrollBar()->value(), verticalScrollBar()->value(), viewport()->width(),
                  viewport()->height());
}

QPointF TextView::viewToViewport(QPointF p) const
{
    return p - QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QPointF TextView::viewportToView(QPointF p) const
{
    return p + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QRectF TextView::insertionPointRect(qsizetype position) const
{
    QRectF rect = layout_->caretRect(std::clamp<qsizetype>(position, 0, storage_->length()));
    if (rect.height() <= 0)
        rect.setHeight(layout_->rowHeight());
    return rect.translated(textContainerOrigin());
}

qsizetype TextView::characterIndexForInsertion(QPointF viewPoint) const
{
    const QPointF point = viewPoint - textContainerOrigin();
    qreal fraction = 0;
    const qsizetype length = storage_->length();
    qsizetype index = layout_->characterIndex(point, &fraction);
    if (index >= length)
        return length;
    const TextBoundaries b = boundaries();
    const QChar c = storage_->characterAt(index);
    if (fraction >= 0.5 && !TextBoundaries::isLineBreak(c.unicode()))
        return b.nextGrapheme(index);
    return b.graphemeStart(index);
}

void TextView::updateScrollBars()
{
    if (!isVisible()) {
        scrollBarsStale_ = true;
        return;
    }
    applyScrollBars();
}

void TextView::ensureScrollBars()
{
    if (scrollBarsStale_)
        applyScrollBars();
}

void TextView::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    ensureScrollBars();
}

void TextView::applyScrollBars()
{
    if (!layout_)
        return;
    scrollBarsStale_ = false;
    ++scrollBarUpdates_;
    const QPointF origin = textContainerOrigin();
    const qreal height = layout_->documentHeight() + 2 * origin.y();
    const qreal width = wrapsLines_ ? 0 : layout_->usedRectForTextContainer().width() + 2 * origin.x();
    const QSize page = viewport()->size();
    verticalScrollBar()->setPageStep(page.height());
    verticalScrollBar()->setSingleStep(std::max(1, qRound(layout_->rowHeight())));
    // Leave room to scroll the last line up to the middle, as long texts usually allow.
    verticalScrollBar()->setRange(0, std::max(0, qCeil(height) - page.height()));
    horizontalScrollBar()->setPageStep(page.width());
    horizontalScrollBar()->setSingleStep(std::max(1, qRound(layout_->averageCharacterWidth())));
    horizontalScrollBar()->setRange(0, std::max(0, qCeil(width) - page.width()));
    // Setting a policy lays the scroll bars out again even when it stays: not on every keystroke.
    const Qt::ScrollBarPolicy policy = wrapsLines_ ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    if (horizontalScrollBarPolicy() != policy)
        setHorizontalScrollBarPolicy(policy);
}

void TextView::relayout()
{
    if (!layout_)
        return;
    if (wrapsLines_)
        layout_->setWrapWidth(std::max<qreal>(1, viewport()->width() - 2 * textContainerOrigin().x()));
    updateScrollBars();
    viewport()->update();
    selectionBandsEverywhere_ = true;
    Q_EMIT visibleRectDidChange();
}

void TextView::scrollRangeToVisible(TextRange range)
{
    ensureScrollBars();
    range = range.clamped(storage_->length());
    QRectF target = insertionPointRect(range.location);
    if (range.length > 0) {
        const QRectF end = insertionPointRect(range.end());
        // Show the start when the whole range does not fit.
        if (end.bottom() - target.top() <= viewport()->height())
            target = target.united(end);
    }
    scrollRectToVisible(target);
}

void TextView::scrollRectToVisible(const QRectF& target)
{
    const QRectF visible = visibleRect();
    const qreal margin = layout_->averageCharacterWidth() * 2;
    if (target.top() < visible.top())
        verticalScrollBar()->setValue(qFloor(target.top()));
    else if (target.bottom() > visible.bottom())
        verticalScrollBar()->setValue(qCeil(target.bottom() - visible.height()));
    if (!wrapsLines_) {
        if (target.left() < visible.left() + margin)
            horizontalScrollBar()->setValue(qFloor(target.left() - margin));
        else if (target.right() > visible.right() - margin)
            horizontalScrollBar()->setValue(qCeil(target.right() + margin - visible.width()));
    }
}

void TextView::ensureCaretVisible()
{
    scrollRangeToVisible({selectionHead(), 0});
}

void TextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void TextView::scrollContentsBy(int, int)
{
    viewport()->update();
    Q_EMIT visibleRectDidChange();
}

// MARK: - Appearance

void TextView::setTextColor(const QColor& color)
{
    textColor_ = color;
    layout_->setTextColor(color);
    viewport()->update();
}

void TextView::setBackgroundColor(const QColor& color)
{
    backgroundColor_ = color;
    // An opaque view covers what it redraws: nothing behind it is drawn first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, color.alpha() == 255);
    viewport()->update();
}

void TextView::setInsertionPointColor(const QColor& color)
{
    insertionPointColor_ = color;
    viewport()->update();
}

void TextView::setSelectedTextBackgroundColor(const QColor& color)
{
    selectedTextBackgroundColor_ = color;
    viewport()->update();
}

void TextView::setTabWidth(qreal points)
{
    tabWidth_ = points;
    const qreal space = QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' '));
    layout_->setTabWidth(std::max(1, qRound(space > 0 ? points / space : 4)));
    relayout();
}

void TextView::setWrapsLines(bool wraps)
{
    wrapsLines_ = wraps;
    layout_->setWrapsLines(wraps);
    if (wraps)
        horizontalScrollBar()->setValue(0);
    relayout();
}

void TextView::setShowsInvisibleCharacters(bool shows)
{
    showsInvisibles_ = shows;
    layout_->setShowsInvisibleCharacters(shows);
    viewport()->update();
}

void TextView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange && layout_) {
        glyphsPrepared_ = false;
        layout_->setFont(font());
        setTabWidth(tabWidth_);
    }
    QAbstractScrollArea::changeEvent(event);
}

// MARK: - Drawing

void TextView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRectF dirty = QRectF(event->rect()).translated(scroll);
    painter.translate(-scroll);
    painter.setClipRect(dirty);
    painter.fillRect(dirty, backgroundColor_);
    drawBackground(painter, dirty);

    const QPointF origin = textContainerOrigin();
    std::vector<SelectionHighlight> highlights;
    if (selectable_) {
        for (TextRange r : selections_) {
            if (r.length > 0)
                highlights.push_back({r, selectedTextBackgroundColor_});
        }
    }
    layout_->draw(painter, dirty.translated(-origin), origin, highlights);

    const TextRange selection = selectedRange();
    drawExtraCarets(painter, dirty);
    drawOverlays(painter, dirty);

    if (selectedRanges().size() == 1 && (selection.length == 0 || hasMarkedText()) && editable_) {
        const QRectF caret = markedCaretRect();
        if (caret.intersects(dirty.adjusted(-2, 0, 2, 0)))
            drawInsertionPoint(painter, caret, insertionPointColor_, caretOn_ && hasFocus());
    }
    // After a whole redraw, the rows as drawn now; the layout is at hand.
    if (selectionBandsEverywhere_)
        noteSelectionBands();

    if (preparingGlyphs_) {
        // Quarters of a device pixel, where glyphs are placed.
        layout_->prepareGlyphs(painter, glyphArea_, origin, 0.25 * (4 - glyphShiftsLeft_) / viewport()->devicePixelRatioF());
        ++glyphPasses_;
    } else if (!glyphsPrepared_) {
        glyphsPrepared_ = true;
        prepareGlyphsWhenIdle();
    }
}

void TextView::prepareGlyphsWhenIdle()
{
    preparedParagraph_ = layout_->paragraphIndex(selections_.first().location);
    // Shifts left means a pass is already on its way.
    if (std::exchange(glyphShiftsLeft_, 3) == 0)
        QTimer::singleShot(0, this, &TextView::prepareNextGlyphs);
}

void TextView::prepareNextGlyphs()
{
    if (!isVisible()) {
        glyphShiftsLeft_ = 0;
        return;
    }
    // Only the caret's row and the two below it in its line: that is the text typing moves, and a
    // screen full of text seen for the first time would cost as much again as painting it.
    const QRectF shown = visibleRect().translated(-textContainerOrigin());
    const qreal caretTop = layout_->caretRect(std::min(selections_.first().location, storage_->length())).top();
    glyphArea_ = layout_->paragraphsRect(preparedParagraph_, preparedParagraph_)
                     .intersected(QRectF(shown.left(), caretTop, shown.width(), 3 * layout_->rowHeight()))
                     .intersected(shown);
    if (glyphArea_.isEmpty()) {
        glyphShiftsLeft_ = 0;
        return;
    }
    // A repaint now, not an update: an update could be joined by a key's paint and slow it. Its one
    // pixel lies in the caret's row, which typing redraws anyway.
    const QPoint at = viewToViewport(glyphArea_.topLeft() + textContainerOrigin()).toPoint();
    preparingGlyphs_ = true;
    viewport()->repaint(QRect(std::clamp(at.x(), 0, std::max(0, viewport()->width() - 1)),
                              std::clamp(at.y(), 0, std::max(0, viewport()->height() - 1)), 1, 1));
    preparingGlyphs_ = false;
    if (--glyphShiftsLeft_ > 0)
        QTimer::singleShot(0, this, &TextView::prepareNextGlyphs);
}

// The carets after the first of several stand still; only the first one blinks.
void TextView::drawExtraCarets(QPainter& painter, const QRectF& dirtyRect)
{
    if (!hasCaretAmongSeveral(selections_))
        return;
    const QPointF origin = textContainerOrigin();
    const qsizetype length = storage_->length();
    for (qsizetype i = 1; i < selections_.size(); ++i) {
        const TextRange r = selections_[i];
        if (!r.isEmpty())
            continue;
        const qsizetype at = std::clamp<qsizetype>(r.location, 0, length);
        QRectF bar;
        if (hasMarkedText()) {
            const QRectF caret = layout_->markedCaretRect(at, markedCursor_).translated(origin);
            bar = QRectF(caret.left(), caret.top(), kCaretBarWidth, caret.height());
        } else if (at < length) {
            const QRectF glyph = layout_->boundingRect(TextRange(at, 1));
            const QRectF line = layout_->lineFragmentUsedRect(at);
            bar = QRectF(glyph.left() + origin.x(), line.top() + origin.y(), kCaretBarWidth, line.height());
        } else if (layout_->hasExtraLineFragment()) {
            const QRectF extra = layout_->extraLineFragmentRect().translated(origin);
            bar = QRectF(extra.left(), extra.top(), kCaretBarWidth, extra.height());
        } else {
            // After the last character of a text without a final break.
            const QRectF caret = layout_->caretRect(at).translated(origin);
            bar = QRectF(caret.left(), caret.top(), kCaretBarWidth, caret.height());
        }
        bar.setHeight(std::max<qreal>(bar.height(), 1));
        if (bar.intersects(dirtyRect))
            painter.fillRect(bar, insertionPointColor_);
    }
}

void TextView::drawBackground(QPainter&, const QRectF&) {}

void TextView::drawOverlays(QPainter&, const QRectF&) {}

void TextView::drawInsertionPoint(QPainter& painter, const QRectF& rect, const QColor& color, bool on)
{
    if (on)
        painter.fillRect(QRectF(rect.left(), rect.top(), std::max<qreal>(1, rect.width()), rect.height()), color);
}

void TextView::restartBlinking()
{
    caretOn_ = true;
    if (hasFocus())
        blinkTimer_.start(kBlinkInterval, this);
}

void TextView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != blinkTimer_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    caretOn_ = !caretOn_;
    const QRectF caret = markedCaretRect();
    viewport()->update(QRectF(viewToViewport(caret.topLeft()), caret.size()).toAlignedRect().adjusted(-2, -1, 2, 1));
}

void TextView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlinking();
    viewport()->update();
}

void TextView::focusOutEvent(QFocusEvent* event)
{
    // A composition left behind would hang over the text; candidate windows take the focus as popups.
    // The input method hands its composition to the view it was composed in, if at all.
    if (hasMarkedText() && event->reason() != Qt::PopupFocusReason) {
        if (markedByInputMethod_) {
            QVector<qsizetype> places;
            for (TextRange r : selections_)
                places.append(r.location);
            clearComposition();
            pendingCommit_ = places;
        } else {
            unmarkText();
        }
    }
    QAbstractScrollArea::focusOutEvent(event);
    blinkTimer_.stop();
    viewport()->update();
}

// MARK: - Mouse

void TextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qint64 now = event->timestamp();
    const QPointF point = event->position();
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const qreal distance = QGuiApplication::styleHints()->mouseDoubleClickDistance();
    if (clickCount_ > 0 && now - lastClickTime_ <= interval && (point - lastClickPoint_).manhattanLength() <= distance)
        clickCount_ = clickCount_ >= 3 ? 1 : clickCount_ + 1;
    else
        clickCount_ = 1;
    lastClickTime_ = now;
    lastClickPoint_ = point;
    // The composition is handed over where it stands, at every caret, before the click moves them.
    if (hasMarkedText()) {
        setFocus(Qt::MouseFocusReason);
        unmarkText();
    }
    mouseDown(event, clickCount_);
}

void TextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void TextView::mouseDown(QMouseEvent* event, int clickCount)
{
    setFocus(Qt::MouseFocusReason);
    if (hasMarkedText())
        unmarkText();
    breakUndoCoalescing();
    if (!selectable_)
        return;
    const QPointF point = viewportToView(event->position());
    const qsizetype insertion = characterIndexForInsertion(point);
    const qsizetype length = storage_->length();
    qsizetype character = layout_->characterIndex(point - textContainerOrigin());
    character = std::clamp<qsizetype>(character, 0, length);
    const TextBoundaries b = boundaries();

    TextRange origin{insertion, 0};
    if (clickCount == 2)
        origin = b.wordRange(character);
    else if (clickCount >= 3)
        origin = b.paragraphRange({character, 0});

    drag_ = std::make_unique<Drag>();
    drag_->granularity = std::min(clickCount, 3);
    if (event->modifiers() & Qt::ShiftModifier) {
        const qsizetype anchor = selectionAnchor();
        drag_->origin = {anchor, 0};
        const TextRange extended = TextRange::fromBounds(std::min(anchor, origin.location),
                                                         std::max(anchor, origin.end()));
        ++internalSelection_;
        setSelectedRange(extended, origin.location < anchor ? SelectionAffinity::Upstream : SelectionAffinity::Downstream,
                         true);
        --internalSelection_;
        anchor_ = anchor;
        return;
    }
    drag_->origin = origin;
    setSelectedRange(origin, SelectionAffinity::Downstream, true);
}

void TextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!drag_ || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPointF point = viewportToView(event->position());
    const qsizetype insertion = characterIndexForInsertion(point);
    const qsizetype length = storage_->length();
    const TextBoundaries b = boundaries();
    TextRange reach{insertion, 0};
    if (drag_->granularity > 1) {
        const qsizetype character =
            std::clamp<qsizetype>(layout_->characterIndex(point - textContainerOrigin()), 0, length);
        reach = drag_->granularity == 2 ? b.wordRange(character) : b.paragraphRange({character, 0});
    }
    const TextRange origin = drag_->origin;
    const TextRange range = TextRange::fromBounds(std::min(origin.location, reach.location),
                                                  std::max(origin.end(), reach.end()));
    const qsizetype anchor = reach.location < origin.location ? origin.end() : origin.location;
    ++internalSelection_;
    setSelectedRange(range, reach.location < origin.location ? SelectionAffinity::Upstream
                                                             : SelectionAffinity::Downstream,
                     true);
    --internalSelection_;
    anchor_ = anchor;
    scrollRangeToVisible({reach.location < origin.location ? range.location : range.end(), 0});
}

void TextView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!drag_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    drag_.reset();
    // The selection made by dragging is announced once, when the button comes up.
    selectionChangedInternally(true);
}

bool TextView::focusNextPrevChild(bool)
{
    return false;  // Tab and Backtab are text commands here
}

}  // namespace korimado
