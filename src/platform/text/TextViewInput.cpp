// Input methods (marked text) and the mouse.

#include "platform/text/TextView.h"

#include "platform/text/InputContext.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextBoundaries.h"
#include "platform/text/TextEditing.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QMouseEvent>
#include <QStyleHints>

#include <algorithm>

namespace korimado {

namespace {

// How long after a composition was ended here the same text coming again is the input method's
// second copy, not the user's typing (which would show a composition first anyway).
constexpr qint64 kHandedOverAgainWithin = 2000;

}  // namespace

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
                                              QStringLiteral("入力"), after, editInitiator());
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
