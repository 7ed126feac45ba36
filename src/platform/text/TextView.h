#pragma once

#include "platform/text/TextRange.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/Responder.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QStringList>
#include <QTextLayout>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QMimeData;

namespace korimado {

class LayoutManager;
class MenuModel;
class TextBoundaries;
class TextView;
class UndoManager;

enum class SelectionAffinity { Upstream, Downstream };

// What the owner of a text view (a window controller) may decide or be told. Every hook has a
// neutral default.
class TextViewDelegate {
public:
    virtual ~TextViewDelegate() = default;
    virtual bool textViewShouldChangeText(TextView&, const QVector<TextRange>&, const QStringList&) { return true; }
    virtual void textDidChange(TextView&) {}
    virtual void textViewDidChangeSelection(TextView&) {}
    // The undo manager to record edits in; nullptr falls back to the one set on the view.
    virtual UndoManager* undoManagerForTextView(TextView&) { return nullptr; }
};

// The editing surface of the text system: selection, typing, deleting, undo registration, input
// methods, clipboard and scrolling over a shared TextStorage, laid out by the view's own
// LayoutManager. Commands are virtual so that an editor can refine them.
//
// Coordinates: "view" coordinates cover the whole text area (origin at its top left, scrolled by
// the scroll bars); the layout's own coordinates start at textContainerOrigin().
//
// With the keyboard focus it is the first responder of its window: every command below, and the
// actions a subclass registers, answer menu items by name ("selectWord:").
class TextView : public QAbstractScrollArea, public Responder {
    Q_OBJECT

public:
    explicit TextView(std::shared_ptr<TextStorage> storage = nullptr, QWidget* parent = nullptr);
    ~TextView() override;

    // --- text
    void setTextStorage(std::shared_ptr<TextStorage> storage);
    TextStorage* textStorage() const { return storage_.get(); }
    std::shared_ptr<TextStorage> sharedTextStorage() const { return storage_; }
    LayoutManager* layoutManager() const { return layout_.get(); }
    QString string() const;
    qsizetype textLength() const;
    // Grapheme, word and paragraph boundaries of the current text.
    TextBoundaries boundaries() const;

    void setDelegate(TextViewDelegate* delegate) { delegate_ = delegate; }
    TextViewDelegate* delegate() const { return delegate_; }

    // --- undo
    // The delegate's manager when it names one, else the one given here (not owned).
    UndoManager* undoManager() const;
    void setUndoManager(UndoManager* manager) { undoManager_ = manager; }
    bool allowsUndo() const { return allowsUndo_; }
    void setAllowsUndo(bool on) { allowsUndo_ = on; }
    // Ends the current typing run, so that the next keystroke starts a new undo step.
    void breakUndoCoalescing();

    // --- selection
    // Every selection, sorted and never overlapping: one range (possibly empty: the caret), several
    // non-empty ranges, or several with carets among them (an editor's carets and column carets).
    QVector<TextRange> selections() const { return selections_; }
    // Installs every selection as given, clamped and sorted. Several with a caret among them stay
    // so; anything else is taken as setSelectedRanges() takes it.
    void setSelections(const QVector<TextRange>& ranges, bool stillSelecting = false);
    // What the view's own commands (moving, deleting, the clipboard) act on: every selection, or
    // only the first while carets stand among several.
    TextRange selectedRange() const { return selections_.first(); }
    QVector<TextRange> selectedRanges() const;
    void setSelectedRange(TextRange range, SelectionAffinity affinity = SelectionAffinity::Downstream,
                          bool stillSelecting = false);
    // Several non-empty ranges, or one range: touching or overlapping ranges merge, carets among
    // several go. A selection that is the first of several carets leaves the others standing.
    virtual void setSelectedRanges(const QVector<TextRange>& ranges,
                                   SelectionAffinity affinity = SelectionAffinity::Downstream,
                                   bool stillSelecting = false);
    SelectionAffinity selectionAffinity() const { return affinity_; }

    bool isEditable() const { return editable_; }
    void setEditable(bool editable);
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool selectable);

    // --- editing
    // The typing entry: replaces replacementRange, or every selected range when it is NotFound,
    // after approval, as one undo step (consecutive keystrokes coalesce into one). Ends any
    // input-method composition.
    virtual void insertText(const QString& string, TextRange replacementRange = {TextRange::NotFound, 0});
    // Change approval, asked by the edit door for the view's own edits: false when the view is not
    // editable, the ranges do not fit the text, or the delegate refuses.
    virtual bool shouldChangeText(const QVector<TextRange>& ranges, const QStringList& replacementStrings);
    bool shouldChangeText(TextRange range, const QString& replacementString);
    // Called by the door after each of the view's edits: the delegate hears of it.
    virtual void didChangeText();
    // The view as the initiator of edits it asks the door (TextEditing) for.
    EditInitiator* editInitiator() const;

    // --- input methods: composed text lives in the view, not in the storage, until committed. It is
    // laid out in its line at every caret (a selection is replaced when composing starts); each
    // commit is one undo step.
    bool hasMarkedText() const { return !markedText_.isEmpty(); }
    QString markedText() const { return markedText_; }
    // Where the composed text stands: at the start of the selection, as long as the composition.
    TextRange markedRange() const;
    void setMarkedText(const QString& text, TextRange selectedRange, TextRange replacementRange);
    // Ends the composition: the input method's is handed over by the input method (now, or later
    // to the place it was composed at); one set here is inserted as it stands.
    void unmarkText();
    // The caret inside the composition, in view coordinates.
    QRectF markedCaretRect() const;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

    // How often the scroll bars were brought in step with the layout (diagnostics).
    std::uint64_t scrollBarUpdates() const { return scrollBarUpdates_; }
    // Idle passes that drew the caret line's glyphs for the cache.
    std::uint64_t glyphPasses() const { return glyphPasses_; }

    // --- scrolling and geometry
    // The margin between the view's edges and the text, left and right (width) and above and below.
    QSizeF textContainerInset() const { return textContainerInset_; }
    void setTextContainerInset(QSizeF inset);
    QPointF textContainerOrigin() const;
    QRectF visibleRect() const;  // in view coordinates
    void scrollRangeToVisible(TextRange range);
    // The caret or selection rectangle of a character position, in view coordinates.
    QRectF insertionPointRect(qsizetype position) const;
    // The character position under a point in view coordinates, rounded to the nearest caret stop.
    qsizetype characterIndexForInsertion(QPointF viewPoint) const;
    QPointF viewToViewport(QPointF p) const;
    QPointF viewportToView(QPointF p) const;

    // --- appearance
    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor& color);
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    QColor insertionPointColor() const { return insertionPointColor_; }
    void setInsertionPointColor(const QColor& color);
    QColor selectedTextBackgroundColor() const { return selectedTextBackgroundColor_; }
    void setSelectedTextBackgroundColor(const QColor& color);
    qreal tabWidth() const { return tabWidth_; }  // points
    void setTabWidth(qreal points);
    bool wrapsLines() const { return wrapsLines_; }
    void setWrapsLines(bool wraps);
    bool showsInvisibleCharacters() const { return showsInvisibles_; }
    void setShowsInvisibleCharacters(bool shows);

    // --- commands, found by name for the menus (performCommand("deleteBackward")).
    bool performCommand(const char* name);
    bool respondsToCommand(const char* name) const;
    // Whether a menu item for the command should be enabled now.
    virtual bool validateCommand(const char* name) const;

    // --- Responder: the commands above, then the registered actions
    bool respondsTo(const QString& action) const override;
    void perform(const QString& action, MenuItem* sender) override;
    std::optional<bool> validate(MenuItem& item) override;

    virtual void insertNewline();
    virtual void insertTab();
    virtual void insertBacktab();
    virtual void deleteBackward();
    virtual void deleteForward();
    virtual void deleteWordBackward();
    virtual void deleteWordForward();
    virtual void deleteToBeginningOfLine();
    virtual void deleteToEndOfLine();
    virtual void deleteToBeginningOfParagraph();
    virtual void deleteToEndOfParagraph();
    virtual void deleteSelection();  // the Edit menu's "delete:"

    virtual void moveLeft();
    virtual void moveRight();
    virtual void moveUp();
    virtual void moveDown();
    virtual void moveWordLeft();
    virtual void moveWordRight();
    virtual void moveToBeginningOfLine();
    virtual void moveToEndOfLine();
    virtual void moveToBeginningOfParagraph();
    virtual void moveToEndOfParagraph();
    virtual void moveToBeginningOfDocument();
    virtual void moveToEndOfDocument();
    virtual void pageUp();
    virtual void pageDown();
    virtual void moveLeftAndModifySelection();
    virtual void moveRightAndModifySelection();
    virtual void moveUpAndModifySelection();
    virtual void moveDownAndModifySelection();
    virtual void moveWordLeftAndModifySelection();
    virtual void moveWordRightAndModifySelection();
    virtual void moveToBeginningOfLineAndModifySelection();
    virtual void moveToEndOfLineAndModifySelection();
    virtual void moveToBeginningOfParagraphAndModifySelection();
    virtual void moveToEndOfParagraphAndModifySelection();
    virtual void moveToBeginningOfDocumentAndModifySelection();
    virtual void moveToEndOfDocumentAndModifySelection();
    virtual void pageUpAndModifySelection();
    virtual void pageDownAndModifySelection();

    virtual void selectAll();
    virtual void selectWord();
    virtual void selectParagraph();
    // Scrolls the selection to the middle of the view; of one taller than the view, its start.
    virtual void centerSelectionInVisibleArea();
    virtual void cut();
    virtual void copy();
    virtual void paste();
    virtual void undo();
    virtual void redo();

    // What a right-click or the Menu key offers: the editing commands, aimed at this view and
    // validated by it; a read-only view offers only copying and selecting.
    virtual std::shared_ptr<MenuModel> contextMenu();

Q_SIGNALS:
    void selectionDidChange();
    void textDidChange();
    // The visible part moved or changed size (scrolling, resizing, relayout): rulers follow it.
    void visibleRectDidChange();
    // An edit moved the rows in this part of the viewport (its coordinates); the rest of the view
    // stands where it was. Rulers redraw the same part.
    void rowsDidMove(const QRect& viewportRect);

protected:
    // Drawing hooks, in view coordinates; the painter is clipped to dirtyRect.
    virtual void drawBackground(QPainter& painter, const QRectF& dirtyRect);
    virtual void drawOverlays(QPainter& painter, const QRectF& dirtyRect);
    virtual void drawInsertionPoint(QPainter& painter, const QRectF& rect, const QColor& color, bool on);
    // The press of the left button; double and triple clicks arrive with clickCount 2 and 3.
    virtual void mouseDown(QMouseEvent* event, int clickCount);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Text from another program, into an editable view; files are the window's to open.
    bool acceptsTextDrop(const QMimeData* data) const;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

    // Movement helpers for subclasses: the position a command moves a caret at pos to. goalX is the
    // column to keep, in container coordinates; pass a negative value to take the caret's own.
    qsizetype positionAbove(qsizetype pos, qreal& goalX) const;
    qsizetype positionBelow(qsizetype pos, qreal& goalX) const;
    qsizetype lineFragmentStart(qsizetype pos) const;
    qsizetype lineFragmentEnd(qsizetype pos) const;
    // Replaces ranges by strings through the edit door as one undoable step with an action name;
    // the new selection is the caret after the last replacement, or `selection` when given.
    bool replaceRanges(const QVector<TextRange>& ranges, const QStringList& strings, const QString& actionName,
                       const QVector<TextRange>* selection = nullptr);

private:
    class HistoryClient;
    struct Drag {
        int granularity = 1;  // 1 character, 2 word, 3 paragraph
        TextRange origin;     // what the press selected; the drag extends from it
    };

    void attachStorage();
    void detachStorage();
    void storageDidEdit(const TextStorageEdit& edit);
    void relayout();
    // Takes the scroll ranges from the layout; a view not on screen only marks them stale (a
    // window being built changes font, tabs, wrapping and width one after the other, and each
    // would measure a large text again) and takes them once shown or before it scrolls.
    void updateScrollBars();
    void ensureScrollBars();
    void applyScrollBars();
    void selectionChangedInternally(bool notify);
    void applySelections(const QVector<TextRange>& ranges, SelectionAffinity affinity, bool stillSelecting);
    // The rows the selections left and reach; after an edit (evenWhereTheyStand false), only
    // when the text carried them elsewhere.
    void redrawSelectionBands(bool evenWhereTheyStand);
    void noteSelectionBands();
    void drawExtraCarets(QPainter& painter, const QRectF& dirtyRect);
    // After the first paint in a font, and when the caret reaches another line, one idle repaint per
    // remaining quarter-pixel shift caches the caret line's glyphs there too, so the first keys that
    // move its text rasterise nothing.
    void prepareGlyphsWhenIdle();
    void prepareNextGlyphs();
    void restartBlinking();
    void ensureCaretVisible();
    bool editTyping(const QVector<TextRange>& ranges, const QString& string, const QString& actionName);
    void beginComposition();
    void showComposition();
    void clearComposition();
    void commitComposition(const QString& text, TextRange replacementRange);
    void commitWhereComposed(const QString& text);
    void scrollRectToVisible(const QRectF& target);
    void deleteRange(TextRange range, bool typing);
    void deleteTo(qsizetype target);
    void moveTo(qsizetype pos, bool extend);
    void moveVertically(bool down, bool extend, bool page);
    qsizetype selectionAnchor() const;
    qsizetype selectionHead() const;
    bool handleKey(QKeyEvent* event);

    std::shared_ptr<TextStorage> storage_;
    TextStorage::ObserverToken observerToken_ = 0;
    std::unique_ptr<LayoutManager> layout_;
    TextViewDelegate* delegate_ = nullptr;
    UndoManager* undoManager_ = nullptr;
    bool allowsUndo_ = true;

    QVector<TextRange> selections_{TextRange{0, 0}};
    SelectionAffinity affinity_ = SelectionAffinity::Downstream;
    // Where a shift-extension keeps its fixed end: the other end of the last single selection.
    qsizetype anchor_ = 0;
    // Selections set by the view itself (following edits, extending) keep the anchor and the typing run.
    int internalSelection_ = 0;
    bool keepGoalX_ = false;
    bool hasGoalX_ = false;
    qreal goalX_ = 0;
    bool editable_ = true;
    bool selectable_ = true;

    // Set while the door makes our own edit, until didChangeText().
    int ownEdits_ = 0;
    bool pendingSelectionNotice_ = false;
    bool typingEdit_ = false;
    std::shared_ptr<HistoryClient> historyClient_;
    // The selection our own edit in progress ends with, in the new text.
    std::optional<QVector<TextRange>> selectionAfterEdit_;
    // The rows (container coordinates, top and bottom) the selections were last drawn on.
    std::vector<std::pair<qreal, qreal>> selectionBands_;
    bool selectionBandsEverywhere_ = true;
    // The layout said, during an edit, that rows moved; the part it names next is where.
    bool rowsMoving_ = false;
    std::uint64_t scrollBarUpdates_ = 0;
    bool scrollBarsStale_ = false;

    QString markedText_;
    int markedCursor_ = 0;
    QList<QTextLayout::FormatRange> markedFormats_;
    bool markedByInputMethod_ = false;
    // Composing began by deleting the selection: the commit joins that undo step.
    bool compositionOpenedStep_ = false;
    // Where a composition ended here but kept by the input method was composed (following edits):
    // its commit lands there, until a key or a new composition says it will not come.
    std::optional<QVector<qsizetype>> pendingCommit_;
    // What the input method handed over when a composition was ended here: ibus hands the same
    // again once its reset reaches the engine, after the caret moved.
    QString handedOver_;
    bool endingComposition_ = false;
    QElapsedTimer handedOverTime_;

    QColor textColor_{Qt::black};
    QColor backgroundColor_{Qt::white};
    QColor insertionPointColor_{Qt::black};
    QColor selectedTextBackgroundColor_{QColor(0xb4, 0xd5, 0xfe)};
    qreal tabWidth_ = 28;
    QSizeF textContainerInset_{5, 0};
    bool wrapsLines_ = false;
    bool showsInvisibles_ = false;

    QBasicTimer blinkTimer_;
    bool glyphsPrepared_ = false;
    qsizetype preparedParagraph_ = -1;
    QRectF glyphArea_;
    int glyphShiftsLeft_ = 0;
    bool preparingGlyphs_ = false;
    std::uint64_t glyphPasses_ = 0;
    bool caretOn_ = true;
    std::unique_ptr<Drag> drag_;
    int clickCount_ = 0;
    qint64 lastClickTime_ = 0;
    QPointF lastClickPoint_;
};

}  // namespace korimado
