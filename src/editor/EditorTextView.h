#pragma once

#include "editor/DocumentEditor.h"
#include "editor/EditorOptions.h"
#include "platform/text/TextRange.h"
#include "platform/text/TextView.h"

#include <QPointer>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QListWidget;

namespace korimado {

class LineNumberRuler;

// The text view of every editor pane: several carets and selections, column carets, typing aids,
// word completion and guides, over the document's shared storage. Every programmatic edit of one
// or more ranges goes through replace() as one undo step with an action name. Callers outside the
// window reach it as a DocumentEditor.
class EditorTextView : public TextView, public DocumentEditor {
    Q_OBJECT

public:
    explicit EditorTextView(std::shared_ptr<TextStorage> storage = nullptr, QWidget* parent = nullptr);
    ~EditorTextView() override;

    // Language data, set directly by their owners.
    std::function<QString()> preferredEnding = [] { return QStringLiteral("\n"); };
    QStringList completionWords;
    QStringList indentationOpeners;

    // What the settings decide, as the view shows it, and set in one go (redisplayed).
    EditorOptions options() const override;
    void apply(const EditorOptions& options) override;

    // --- DocumentEditor (the rest are TextView's own)
    QVector<TextRange> selections() const override { return TextView::selections(); }
    TextRange selectedRange() const override { return TextView::selectedRange(); }
    void select(const QVector<TextRange>& ranges) override;
    bool isEditable() const override { return TextView::isEditable(); }
    void setEditable(bool editable) override { TextView::setEditable(editable); }
    bool wrapsLines() const override { return TextView::wrapsLines(); }
    TextRange visibleRange() const override;
    void scrollRangeToVisible(TextRange range) override { TextView::scrollRangeToVisible(range); }
    EditInitiator* editInitiator() const override { return TextView::editInitiator(); }
    void breakUndoCoalescing() override { TextView::breakUndoCoalescing(); }
    bool runCommand(const QString& action, const QVariant& argument = {}) override;
    // What runCommand() runs through: set by the editor's command object, empty without one.
    using CommandEntry = std::function<bool(const QString& action, const QVariant& argument)>;
    void setCommandEntry(CommandEntry entry) { commandEntry_ = std::move(entry); }

    // The x (text-container coordinates) kept during a run of column steps: while the selections
    // are the ones the last step left (moved by edits), none otherwise.
    std::optional<qreal> columnSelectionX() const;

    // MARK: Editing API
    // The selections to act on, sorted, clamped and free of overlaps; never empty.
    std::vector<TextRange> normalizedSelectedRanges();
    // Installs selections (valid ranges); several may have carets among them.
    void setEditingSelections(const std::vector<TextRange>& ranges, bool preservingColumnX);
    // The one multi-range edit: applies the valid, non-overlapping pairs as one undo step named
    // actionName and puts a caret at the start or end of each. False when nothing was changed.
    bool replace(const std::vector<TextRange>& ranges, const QStringList& strings, const QString& actionName,
                 bool resultingSelectionsAtEnd);
    // The whole lines touched by ranges, terminators included, once each, sorted.
    static std::vector<TextRange> uniqueLineRanges(const std::vector<TextRange>& ranges, const QString& string);
    static std::vector<TextRange> uniqueLineRanges(const std::vector<TextRange>& ranges, const TextStorage& storage);

    // Typing with several selections inserts at each of them as one step "入力".
    void insertText(const QString& string, TextRange replacementRange = {TextRange::NotFound, 0}) override;

    void deleteBackward() override;
    void deleteForward() override;
    void insertNewline() override;
    void insertTab() override;
    void insertBacktab() override;

    // MARK: Selection commands
    void splitSelectionByLines();
    void selectColumnUp() { extendColumnSelection(-1); }
    void selectColumnDown() { extendColumnSelection(+1); }
    // Adds a caret on the visual line above (-1) or below (+1) at the kept column x.
    void extendColumnSelection(int direction);
    void selectEnclosingSymbols();

    // MARK: Completion
    // Candidates for the partial word at range; nullopt when range reaches beyond the text.
    std::optional<QStringList> completionsForPartialWordRange(TextRange range, int* indexOfSelectedItem);
    // Offers the completions of the word before the caret in a list under it.
    void complete();
    QListWidget* completionList() const { return completionList_; }

    // MARK: Line-number ruler (placed in the left margin of the scroll area)
    void setVerticalRuler(LineNumberRuler* ruler);
    void setRulersVisible(bool visible);
    bool rulersVisible() const { return rulersVisible_; }

Q_SIGNALS:
    // Characters of the storage changed, by this view or any other.
    void storageCharactersChanged();

protected:
    void mouseDown(QMouseEvent* event, int clickCount) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void drawBackground(QPainter& painter, const QRectF& dirtyRect) override;
    void drawOverlays(QPainter& painter, const QRectF& dirtyRect) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void shiftIndent(bool left);
    void observeStorage();
    void storageEdited(const TextStorageEdit& edit);
    void layoutRuler();
    qreal characterWidth() const;
    void syncFontAntialiasing();
    void drawGuides(QPainter& painter, const QRectF& dirtyRect);
    void acceptCompletion();
    void hideCompletion();

    // A press with Ctrl (add a selection) or Alt (a column selection) and the drag that follows.
    struct MouseSelection {
        bool column = false;
        std::vector<TextRange> kept;  // what was selected before an added range
        TextRange origin;             // the caret, word or paragraph under the press
        QPointF start;                // the press, in text-container coordinates
        int granularity = 1;
    };
    TextRange mouseSelectionUnit(QPointF viewPoint, int granularity);
    void trackMouseSelection(QPointF viewPoint);

    std::optional<MouseSelection> mouseSelection_;
    std::optional<qreal> columnSelectionX_;
    std::vector<TextRange> columnSelections_;  // what the last column step left

    TextStorage* observedStorage_ = nullptr;
    TextStorage::ObserverToken observerToken_ = 0;
    std::weak_ptr<TextStorage> observedStorageLife_;

    QPointer<LineNumberRuler> ruler_;
    bool rulersVisible_ = false;
    int rulerThickness_ = 0;  // the left margin the ruler has now
    bool rulerRefitPending_ = false;
    // The settings the view keeps itself; the others live in the widget and its layout.
    EditorOptions options_;

    bool savedAntialiasing_ = true;
    bool savedTextAntialiasing_ = true;

    QListWidget* completionList_ = nullptr;
    TextRange completionRange_;
    CommandEntry commandEntry_;
};

}  // namespace korimado
