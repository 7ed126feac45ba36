// The text view's commands: movement, selection, deletion, clipboard and undo, their keys, and
// their dispatch by name for the menus.
#include "platform/text/LayoutManager.h"
#include "platform/text/TextBoundaries.h"
#include "platform/text/TextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/MenuModel.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>

#include <cstring>
#include <string_view>

namespace korimado {

namespace {

using Command = void (TextView::*)();

struct CommandEntry {
    const char* name;
    Command command;
};

// Names as the menus send them (a trailing colon is accepted).
constexpr CommandEntry kCommands[] = {
    {"insertNewline", &TextView::insertNewline},
    {"insertTab", &TextView::insertTab},
    {"insertBacktab", &TextView::insertBacktab},
    {"deleteBackward", &TextView::deleteBackward},
    {"deleteForward", &TextView::deleteForward},
    {"deleteWordBackward", &TextView::deleteWordBackward},
    {"deleteWordForward", &TextView::deleteWordForward},
    {"deleteToBeginningOfLine", &TextView::deleteToBeginningOfLine},
    {"deleteToEndOfLine", &TextView::deleteToEndOfLine},
    {"deleteToBeginningOfParagraph", &TextView::deleteToBeginningOfParagraph},
    {"deleteToEndOfParagraph", &TextView::deleteToEndOfParagraph},
    {"delete", &TextView::deleteSelection},
    {"moveLeft", &TextView::moveLeft},
    {"moveRight", &TextView::moveRight},
    {"moveUp", &TextView::moveUp},
    {"moveDown", &TextView::moveDown},
    {"moveWordLeft", &TextView::moveWordLeft},
    {"moveWordRight", &TextView::moveWordRight},
    {"moveToBeginningOfLine", &TextView::moveToBeginningOfLine},
    {"moveToEndOfLine", &TextView::moveToEndOfLine},
    {"moveToBeginningOfParagraph", &TextView::moveToBeginningOfParagraph},
    {"moveToEndOfParagraph", &TextView::moveToEndOfParagraph},
    {"moveToBeginningOfDocument", &TextView::moveToBeginningOfDocument},
    {"moveToEndOfDocument", &TextView::moveToEndOfDocument},
    {"pageUp", &TextView::pageUp},
    {"pageDown", &TextView::pageDown},
    {"moveLeftAndModifySelection", &TextView::moveLeftAndModifySelection},
    {"moveRightAndModifySelection", &TextView::moveRightAndModifySelection},
    {"moveUpAndModifySelection", &TextView::moveUpAndModifySelection},
    {"moveDownAndModifySelection", &TextView::moveDownAndModifySelection},
    {"moveWordLeftAndModifySelection", &TextView::moveWordLeftAndModifySelection},
    {"moveWordRightAndModifySelection", &TextView::moveWordRightAndModifySelection},
    {"moveToBeginningOfLineAndModifySelection", &TextView::moveToBeginningOfLineAndModifySelection},
    {"moveToEndOfLineAndModifySelection", &TextView::moveToEndOfLineAndModifySelection},
    {"moveToBeginningOfParagraphAndModifySelection", &TextView::moveToBeginningOfParagraphAndModifySelection},
    {"moveToEndOfParagraphAndModifySelection", &TextView::moveToEndOfParagraphAndModifySelection},
    {"moveToBeginningOfDocumentAndModifySelection", &TextView::moveToBeginningOfDocumentAndModifySelection},
    {"moveToEndOfDocumentAndModifySelection", &TextView::moveToEndOfDocumentAndModifySelection},
    {"pageUpAndModifySelection", &TextView::pageUpAndModifySelection},
    {"pageDownAndModifySelection", &TextView::pageDownAndModifySelection},
    {"selectAll", &TextView::selectAll},
    {"selectWord", &TextView::selectWord},
    {"selectParagraph", &TextView::selectParagraph},
    {"centerSelectionInVisibleArea", &TextView::centerSelectionInVisibleArea},
    {"cut", &TextView::cut},
    {"copy", &TextView::copy},
    {"paste", &TextView::paste},
    {"pasteAsPlainText", &TextView::paste},
    {"undo", &TextView::undo},
    {"redo", &TextView::redo},
};

const CommandEntry* findCommand(const char* name)
{
    if (!name)
        return nullptr;
    std::string_view key(name);
    if (!key.empty() && key.back() == ':')
        key.remove_suffix(1);
    for (const CommandEntry& entry : kCommands) {
        if (key == entry.name)
            return &entry;
    }
    return nullptr;
}

struct KeyBinding {
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* command;
};

// The usual keys of a Linux editor. The keypad modifier is ignored when matching.
const KeyBinding kKeys[] = {
    {Qt::Key_Left, Qt::NoModifier, "moveLeft"},
    {Qt::Key_Right, Qt::NoModifier, "moveRight"},
    {Qt::Key_Up, Qt::NoModifier, "moveUp"},
    {Qt::Key_Down, Qt::NoModifier, "moveDown"},
    {Qt::Key_Left, Qt::ShiftModifier, "moveLeftAndModifySelection"},
    {Qt::Key_Right, Qt::ShiftModifier, "moveRightAndModifySelection"},
    {Qt::Key_Up, Qt::ShiftModifier, "moveUpAndModifySelection"},
    {Qt::Key_Down, Qt::ShiftModifier, "moveDownAndModifySelection"},
    {Qt::Key_Left, Qt::ControlModifier, "moveWordLeft"},
    {Qt::Key_Right, Qt::ControlModifier, "moveWordRight"},
    {Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier, "moveWordLeftAndModifySelection"},
    {Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier, "moveWordRightAndModifySelection"},
    {Qt::Key_Up, Qt::ControlModifier, "moveToBeginningOfParagraph"},
    {Qt::Key_Down, Qt::ControlModifier, "moveToEndOfParagraph"},
    {Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier, "moveToBeginningOfParagraphAndModifySelection"},
    {Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier, "moveToEndOfParagraphAndModifySelection"},
    {Qt::Key_Home, Qt::NoModifier, "moveToBeginningOfLine"},
    {Qt::Key_End, Qt::NoModifier, "moveToEndOfLine"},
    {Qt::Key_Home, Qt::ShiftModifier, "moveToBeginningOfLineAndModifySelection"},
    {Qt::Key_End, Qt::ShiftModifier, "moveToEndOfLineAndModifySelection"},
    {Qt::Key_Home, Qt::ControlModifier, "moveToBeginningOfDocument"},
    {Qt::Key_End, Qt::ControlModifier, "moveToEndOfDocument"},
    {Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier, "moveToBeginningOfDocumentAndModifySelection"},
    {Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier, "moveToEndOfDocumentAndModifySelection"},
    {Qt::Key_PageUp, Qt::NoModifier, "pageUp"},
    {Qt::Key_PageDown, Qt::NoModifier, "pageDown"},
    {Qt::Key_PageUp, Qt::ShiftModifier, "pageUpAndModifySelection"},
    {Qt::Key_PageDown, Qt::ShiftModifier, "pageDownAndModifySelection"},
    {Qt::Key_Backspace, Qt::NoModifier, "deleteBackward"},
    {Qt::Key_Backspace, Qt::ShiftModifier, "deleteBackward"},
    {Qt::Key_Delete, Qt::NoModifier, "deleteForward"},
    {Qt::Key_Backspace, Qt::ControlModifier, "deleteWordBackward"},
    {Qt::Key_Delete, Qt::ControlModifier, "deleteWordForward"},
    {Qt::Key_Backspace, Qt::ControlModifier | Qt::ShiftModifier, "deleteToBeginningOfLine"},
    {Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier, "deleteToEndOfParagraph"},
    {Qt::Key_Return, Qt::NoModifier, "insertNewline"},
    {Qt::Key_Enter, Qt::NoModifier, "insertNewline"},
    {Qt::Key_Return, Qt::ShiftModifier, "insertNewline"},
    {Qt::Key_Tab, Qt::NoModifier, "insertTab"},
    {Qt::Key_Backtab, Qt::ShiftModifier, "insertBacktab"},
    {Qt::Key_Backtab, Qt::NoModifier, "insertBacktab"},
    {Qt::Key_A, Qt::ControlModifier, "selectAll"},
    {Qt::Key_X, Qt::ControlModifier, "cut"},
    {Qt::Key_C, Qt::ControlModifier, "copy"},
    {Qt::Key_V, Qt::ControlModifier, "paste"},
    {Qt::Key_Z, Qt::ControlModifier, "undo"},
    {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "redo"},
    {Qt::Key_Y, Qt::ControlModifier, "redo"},
    {Qt::Key_Insert, Qt::ShiftModifier, "paste"},
    {Qt::Key_Insert, Qt::ControlModifier, "copy"},
    {Qt::Key_Delete, Qt::ShiftModifier, "cut"},
};

const char* commandForKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    for (const KeyBinding& binding : kKeys) {
        if (binding.key == event->key() && binding.modifiers == modifiers)
            return binding.command;
    }
    return nullptr;
}

// Text a key press types: printable, without Control or Meta (AltGr arrives as text without them).
QString typedText(const QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return {};
    const QString text = event->text();
    if (text.isEmpty())
        return {};
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return {};
    }
    return text;
}

void beep()
{
    QApplication::beep();
}

}  // namespace

// MARK: - Dispatch

bool TextView::performCommand(const char* name)
{
    const CommandEntry* entry = findCommand(name);
    if (!entry)
        return false;
    (this->*(entry->command))();
    return true;
}

bool TextView::respondsToCommand(const char* name) const
{
    return findCommand(name) != nullptr;
}

bool TextView::validateCommand(const char* name) const
{
    const CommandEntry* entry = findCommand(name);
    if (!entry)
        return false;
    const std::string_view command(entry->name);
    bool hasSelection = false;
    for (TextRange r : selectedRanges())
        hasSelection = hasSelection || r.length > 0;
    if (command == "copy")
        return hasSelection;
    if (command == "cut" || command == "delete")
        return hasSelection && editable_;
    if (command == "paste" || command == "pasteAsPlainText") {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        return editable_ && clipboard && clipboard->mimeData() && clipboard->mimeData()->hasText();
    }
    if (command == "undo" || command == "redo") {
        const UndoManager* manager = undoManager();
        return editable_ && manager && (command == "undo" ? manager->canUndo() : manager->canRedo());
    }
    if (command == "selectAll")
        return storage_->length() > 0 && selectable_;
    if (command.rfind("insert", 0) == 0 || command.rfind("delete", 0) == 0)
        return editable_;
    return true;
}

bool TextView::respondsTo(const QString& action) const
{
    return Responder::respondsTo(action) || respondsToCommand(action.toLatin1().constData());
}

void TextView::perform(const QString& action, MenuItem* sender)
{
    if (Responder::respondsTo(action))
        Responder::perform(action, sender);
    else
        performCommand(action.toLatin1().constData());
}

std::optional<bool> TextView::validate(MenuItem& item)
{
    if (Responder::respondsTo(item.action()))
        return Responder::validate(item);
    return validateCommand(item.action().toLatin1().constData());
}

// MARK: - Keys

bool TextView::event(QEvent* event)
{
    // Keys that edit or move here win over application shortcuts, but a chord with Control, Alt
    // or Meta goes to the menus first: it reaches the text only when no menu item takes it.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const char* command = commandForKey(key);
        const bool chord = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (!chord && (command || !typedText(key).isEmpty())) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent* event)
{
    // The input method let this key through: it will not commit what it dropped, nor again.
    pendingCommit_.reset();
    handedOver_.clear();
    if (!handleKey(event))
        QAbstractScrollArea::keyPressEvent(event);
}

bool TextView::handleKey(QKeyEvent* event)
{
    if (const char* command = commandForKey(event)) {
        event->accept();
        performCommand(command);
        return true;
    }
    const QString text = typedText(event);
    if (text.isEmpty())
        return false;
    event->accept();
    if (!editable_) {
        beep();
        return true;
    }
    insertText(text);
    return true;
}

// MARK: - Insertion

void TextView::insertNewline()
{
    insertText(QStringLiteral("\n"));
}

void TextView::insertTab()
{
    insertText(QStringLiteral("\t"));
}

void TextView::insertBacktab()
{
    // Plain text has nothing to outdent; an editor refines this.
}

// MARK: - Deletion

void TextView::deleteBackward()
{
    if (selectedRanges().size() > 1 || selectedRange().length > 0) {
        deleteSelection();
        return;
    }
    const qsizetype caret = selectedRange().location;
    if (caret == 0) {
        beep();
        return;
    }
    deleteRange(TextRange::fromBounds(boundaries().previousGrapheme(caret), caret), true);
}

void TextView::deleteForward()
{
    if (selectedRanges().size() > 1 || selectedRange().length > 0) {
        deleteSelection();
        return;
    }
    const qsizetype caret = selectedRange().location;
    if (caret >= storage_->length()) {
        beep();
        return;
    }
    deleteRange(TextRange::fromBounds(caret, boundaries().nextGrapheme(caret)), true);
}

void TextView::deleteSelection()
{
    QVector<TextRange> ranges;
    for (TextRange r : selectedRanges()) {
        if (r.length > 0)
            ranges.append(r);
    }
    if (ranges.isEmpty())
        return;
    const QVector<TextRange> caret{TextRange{ranges.first().location, 0}};
    replaceRanges(ranges, QStringList(ranges.size(), QString()), QStringLiteral("削除"), &caret);
}

// Deletes from the caret to target, or the selection when there is one.
void TextView::deleteTo(qsizetype target)
{
    if (selectedRanges().size() > 1 || selectedRange().length > 0) {
        deleteSelection();
        return;
    }
    const qsizetype caret = selectedRange().location;
    if (target == caret) {
        beep();
        return;
    }
    deleteRange(TextRange::fromBounds(std::min(caret, target), std::max(caret, target)), false);
}

void TextView::deleteWordBackward()
{
    deleteTo(boundaries().previousWordStart(selectedRange().location));
}

void TextView::deleteWordForward()
{
    deleteTo(boundaries().nextWordEnd(selectedRange().location));
}

void TextView::deleteToBeginningOfLine()
{
    const qsizetype caret = selectedRange().location;
    const qsizetype start = lineFragmentStart(caret);
    // At the start of a line the line joins the previous one.
    deleteTo(start == caret ? boundaries().previousGrapheme(caret) : start);
}

void TextView::deleteToEndOfLine()
{
    const qsizetype caret = selectedRange().location;
    const qsizetype end = lineFragmentEnd(caret);
    deleteTo(end == caret ? boundaries().nextGrapheme(caret) : end);
}

void TextView::deleteToBeginningOfParagraph()
{
    const qsizetype caret = selectedRange().location;
    const TextBoundaries b = boundaries();
    const qsizetype start = b.paragraphStart(caret);
    deleteTo(start == caret ? b.previousGrapheme(caret) : start);
}

void TextView::deleteToEndOfParagraph()
{
    const qsizetype caret = selectedRange().location;
    const TextBoundaries b = boundaries();
    const qsizetype end = b.paragraphContentsEnd(caret);
    deleteTo(end == caret ? b.nextGrapheme(caret) : end);
}

// MARK: - Horizontal movement

void TextView::moveLeft()
{
    const TextRange r = selectedRange();
    if (selectedRanges().size() > 1 || r.length > 0)
        moveTo(r.location, false);
    else
        moveTo(boundaries().previousGrapheme(r.location), false);
    ensureCaretVisible();
}

void TextView::moveRight()
{
    const TextRange last = selectedRanges().last();
    if (selectedRanges().size() > 1 || last.length > 0)
        moveTo(last.end(), false);
    else
        moveTo(boundaries().nextGrapheme(last.location), false);
    ensureCaretVisible();
}

void TextView::moveLeftAndModifySelection()
{
    moveTo(boundaries().previousGrapheme(selectionHead()), true);
    ensureCaretVisible();
}

void TextView::moveRightAndModifySelection()
{
    moveTo(boundaries().nextGrapheme(selectionHead()), true);
    ensureCaretVisible();
}

void TextView::moveWordLeft()
{
    moveTo(boundaries().previousWordStart(selectedRange().location), false);
    ensureCaretVisible();
}

void TextView::moveWordRight()
{
    moveTo(boundaries().nextWordEnd(selectedRanges().last().end()), false);
    ensureCaretVisible();
}

void TextView::moveWordLeftAndModifySelection()
{
    moveTo(boundaries().previousWordStart(selectionHead()), true);
    ensureCaretVisible();
}

void TextView::moveWordRightAndModifySelection()
{
    moveTo(boundaries().nextWordEnd(selectionHead()), true);
    ensureCaretVisible();
}

qsizetype TextView::lineFragmentStart(qsizetype pos) const
{
    return layout_->lineFragment(std::clamp<qsizetype>(pos, 0, storage_->length())).characterRange.location;
}

// The end of the visual line: before the line break, or before the last character of a wrapped row
// (a caret after it would stand on the next row).
qsizetype TextView::lineFragmentEnd(qsizetype pos) const
{
    const qsizetype length = storage_->length();
    const LineFragment fragment = layout_->lineFragment(std::clamp<qsizetype>(pos, 0, length));
    const TextBoundaries b = boundaries();
    const qsizetype contentsEnd = b.paragraphContentsEnd(fragment.characterRange.location);
    const qsizetype end = std::min(fragment.characterRange.end(), contentsEnd);
    if (end < contentsEnd && end > fragment.characterRange.location)
        return b.previousGrapheme(end);
    return end;
}

void TextView::moveToBeginningOfLine()
{
    moveTo(lineFragmentStart(selectedRange().location), false);
    ensureCaretVisible();
}

void TextView::moveToEndOfLine()
{
    moveTo(lineFragmentEnd(selectedRanges().last().end()), false);
    ensureCaretVisible();
}

void TextView::moveToBeginningOfLineAndModifySelection()
{
    moveTo(lineFragmentStart(selectionHead()), true);
    ensureCaretVisible();
}

void TextView::moveToEndOfLineAndModifySelection()
{
    moveTo(lineFragmentEnd(selectionHead()), true);
    ensureCaretVisible();
}

void TextView::moveToBeginningOfParagraph()
{
    moveTo(boundaries().paragraphStart(selectedRange().location), false);
    ensureCaretVisible();
}

void TextView::moveToEndOfParagraph()
{
    moveTo(boundaries().paragraphContentsEnd(selectedRanges().last().end()), false);
    ensureCaretVisible();
}

// Repeated steps walk on to the previous / next paragraph instead of staying at its edge.
void TextView::moveToBeginningOfParagraphAndModifySelection()
{
    const TextBoundaries b = boundaries();
    const qsizetype head = selectionHead();
    qsizetype target = b.paragraphStart(head);
    if (target == head && head > 0)
        target = b.paragraphStart(b.previousGrapheme(head));
    moveTo(target, true);
    ensureCaretVisible();
}

void TextView::moveToEndOfParagraphAndModifySelection()
{
    const TextBoundaries b = boundaries();
    const qsizetype head = selectionHead();
    qsizetype target = b.paragraphContentsEnd(head);
    if (target == head && head < storage_->length())
        target = b.paragraphContentsEnd(b.paragraphEnd(head));
    moveTo(target, true);
    ensureCaretVisible();
}

void TextView::moveToBeginningOfDocument()
{
    moveTo(0, false);
    ensureCaretVisible();
}

void TextView::moveToEndOfDocument()
{
    moveTo(storage_->length(), false);
    ensureCaretVisible();
}

void TextView::moveToBeginningOfDocumentAndModifySelection()
{
    moveTo(0, true);
    ensureCaretVisible();
}

void TextView::moveToEndOfDocumentAndModifySelection()
{
    moveTo(storage_->length(), true);
    ensureCaretVisible();
}

// MARK: - Vertical movement

// The caret stop on the row above pos nearest goalX (container coordinates); from the first row,
// the start of the text.
qsizetype TextView::positionAbove(qsizetype pos, qreal& goalX) const
{
    const QRectF caret = layout_->caretRect(pos);
    if (goalX < 0)
        goalX = caret.left();
    const LineFragment fragment = layout_->lineFragment(pos);
    if (fragment.rect.top() <= 0.5)
        return 0;
    const QPointF target(goalX, fragment.rect.top() - layout_->rowHeight() / 2);
    return characterIndexForInsertion(target + textContainerOrigin());
}

qsizetype TextView::positionBelow(qsizetype pos, qreal& goalX) const
{
    const QRectF caret = layout_->caretRect(pos);
    if (goalX < 0)
        goalX = caret.left();
    const LineFragment fragment = layout_->lineFragment(pos);
    const qreal y = fragment.rect.bottom() + layout_->rowHeight() / 2;
    if (y >= layout_->documentHeight())
        return storage_->length();
    return characterIndexForInsertion(QPointF(goalX, y) + textContainerOrigin());
}

void TextView::moveVertically(bool down, bool extend, bool page)
{
    const TextRange first = selectedRange();
    const TextRange last = selectedRanges().last();
    qsizetype from;
    if (extend)
        from = selectionHead();
    else if (selectedRanges().size() > 1 || first.length > 0)
        from = down ? last.end() : first.location;
    else
        from = first.location;

    qreal goal = hasGoalX_ ? goalX_ : -1;
    qsizetype target;
    if (page) {
        const qreal distance = std::max<qreal>(layout_->rowHeight(), viewport()->height() - layout_->rowHeight());
        const QRectF caret = layout_->caretRect(from);
        if (goal < 0)
            goal = caret.left();
        const qreal y = caret.center().y() + (down ? distance : -distance);
        if (y < 0)
            target = 0;
        else if (y >= layout_->documentHeight())
            target = storage_->length();
        else
            target = characterIndexForInsertion(QPointF(goal, y) + textContainerOrigin());
        verticalScrollBar()->setValue(verticalScrollBar()->value() + qRound(down ? distance : -distance));
    } else {
        target = down ? positionBelow(from, goal) : positionAbove(from, goal);
    }
    keepGoalX_ = true;
    moveTo(target, extend);
    keepGoalX_ = false;
    hasGoalX_ = true;
    goalX_ = goal;
    ensureCaretVisible();
}

void TextView::moveUp()
{
    moveVertically(false, false, false);
}

void TextView::moveDown()
{
    moveVertically(true, false, false);
}

void TextView::moveUpAndModifySelection()
{
    moveVertically(false, true, false);
}

void TextView::moveDownAndModifySelection()
{
    moveVertically(true, true, false);
}

void TextView::pageUp()
{
    moveVertically(false, false, true);
}

void TextView::pageDown()
{
    moveVertically(true, false, true);
}

void TextView::pageUpAndModifySelection()
{
    moveVertically(false, true, true);
}

void TextView::pageDownAndModifySelection()
{
    moveVertically(true, true, true);
}

// MARK: - Selection commands

void TextView::selectAll()
{
    if (!selectable_)
        return;
    setSelectedRange({0, storage_->length()});
}

void TextView::selectWord()
{
    const TextRange r = selectedRange();
    const TextBoundaries b = boundaries();
    const TextRange start = b.wordRange(r.location);
    const TextRange end = r.length > 0 ? b.wordRange(r.end() - 1) : start;
    setSelectedRange(start.united(end));
}

void TextView::selectParagraph()
{
    setSelectedRange(boundaries().paragraphRange(TextRange::fromBounds(selectedRange().location,
                                                                       selectedRanges().last().end())));
}

void TextView::centerSelectionInVisibleArea()
{
    const TextRange range = selectedRange();
    scrollRangeToVisible(range);
    QRectF target = insertionPointRect(range.location);
    const qreal height = viewport()->height();
    if (range.length > 0) {
        const QRectF end = insertionPointRect(range.end());
        if (end.bottom() - target.top() <= height)
            target = target.united(end);
    }
    verticalScrollBar()->setValue(qRound(target.center().y() - height / 2));
}

// MARK: - Clipboard

void TextView::copy()
{
    QStringList pieces;
    for (TextRange r : selectedRanges()) {
        if (r.length > 0)
            pieces.append(storage_->substring(r));
    }
    if (pieces.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(pieces.join(QLatin1Char('\n')));
}

void TextView::cut()
{
    QVector<TextRange> ranges;
    for (TextRange r : selectedRanges()) {
        if (r.length > 0)
            ranges.append(r);
    }
    if (ranges.isEmpty() || !editable_)
        return;
    copy();
    const QVector<TextRange> caret{TextRange{ranges.first().location, 0}};
    replaceRanges(ranges, QStringList(ranges.size(), QString()), QStringLiteral("カット"), &caret);
}

void TextView::paste()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data || !data->hasText() || !editable_) {
        beep();
        return;
    }
    if (hasMarkedText())
        unmarkText();
    const QString text = data->text();
    const QVector<TextRange> ranges = selectedRanges();
    replaceRanges(ranges, QStringList(ranges.size(), text), QStringLiteral("ペースト"));
}

// MARK: - Undo

void TextView::undo()
{
    if (hasMarkedText())
        unmarkText();
    UndoManager* manager = undoManager();
    if (!manager || !editable_ || !manager->canUndo()) {
        beep();
        return;
    }
    manager->undo();
}

void TextView::redo()
{
    if (hasMarkedText())
        unmarkText();
    UndoManager* manager = undoManager();
    if (!manager || !editable_ || !manager->canRedo()) {
        beep();
        return;
    }
    manager->redo();
}

}  // namespace korimado
