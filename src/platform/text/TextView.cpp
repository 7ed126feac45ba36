#include "platform/text/TextView.h"

#include "platform/text/LayoutManager.h"
#include "platform/text/SelectionRanges.h"
#include "platform/text/TextBoundaries.h"
#include "platform/text/TextEditing.h"
#include "platform/foundation/UndoManager.h"

#include <QScrollBar>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace korimado {

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

}  // namespace korimado
