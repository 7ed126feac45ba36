#pragma once

#include "platform/foundation/CancellationToken.h"
#include "platform/foundation/WorkItem.h"
#include "platform/text/TextRange.h"
#include "syntax/SyntaxIncrementalParse.h"
#include "syntax/SyntaxModel.h"
#include "syntax/SyntaxTokenKind.h"

#include <QColor>
#include <QMetaObject>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <vector>

namespace korimado {

class TextView;
struct EditorTheme;

// Paints one editor from its document's SyntaxModel: only the tokens near the visible part, as
// temporary attributes of the editor's layout manager tagged with this highlighter, so the text,
// its undo and the document never change. When the document's parse was cut short, it parses
// what the editor shows itself. Every member is for the main thread.
class SyntaxHighlighter {
public:
    // A viewport parse waits this long after the view moved.
    static constexpr int viewportDelayMs = 25;

    SyntaxHighlighter(TextView* editor, SyntaxModel& model);
    ~SyntaxHighlighter();
    SyntaxHighlighter(const SyntaxHighlighter&) = delete;
    SyntaxHighlighter& operator=(const SyntaxHighlighter&) = delete;

    TextView* editor() const { return editor_; }
    SyntaxModel& model() const { return *model_; }

    // Repaints the visible neighbourhood from the model's tokens with the current theme.
    void applyVisibleTokens();
    // Stops painting: cancels the view's own parse and removes the colours (the window closes).
    void invalidate();
    // Puts the caret at the start of the outline entry, scrolls it into view and focuses the editor.
    void goToOutlineEntry(int index);

    // Read access for diagnostics and tests.
    const std::vector<SyntaxTokenSpan>& viewportTokens() const { return viewportTokens_; }
    TextRange viewportRange() const { return viewportRange_; }
    // Viewport parses started so far.
    int viewportParseCount() const { return viewportParseCount_; }
    // Parses of the viewport's tokens after an edit, around it, started so far (slices included).
    int viewportEditParseCount() const { return viewportEditParseCount_; }
    // The viewport's tokens after the last checked position are the old ones moved.
    bool viewportPending() const { return viewportPending_; }
    // The range painted by the last apply (empty when nothing was painted).
    TextRange paintedRange() const { return paintedRange_; }

    // The colour a token kind is painted with under theme.
    static QColor color(SyntaxTokenKind kind, const EditorTheme& theme);
    // The first token of a sorted, non-overlapping list that ends after location.
    static std::vector<SyntaxTokenSpan>::const_iterator firstTokenEndingAfter(const std::vector<SyntaxTokenSpan>& tokens,
                                                                             qsizetype location);

private:
    struct Alive;

    void modelChanged();
    void cancelViewportParse();
    void scheduleViewportFallback();
    void visibleRectChanged();
    void charactersEdited(TextRange editedRange, qsizetype changeInLength);
    void updateViewportAfterEdits();
    void startViewportEditParse(bool resume);
    TextRange visibleCharacterRange(bool widened) const;
    bool viewportCovers(TextRange range) const;

    QPointer<TextView> editor_;
    QPointer<SyntaxModel> model_;
    std::shared_ptr<Alive> alive_;

    CancellationTokenPtr viewportCancellation_;
    WorkItemPtr viewportScheduled_;
    std::vector<SyntaxTokenSpan> viewportTokens_;
    TextRange viewportRange_{TextRange::NotFound, 0};
    std::uint64_t viewportGeneration_ = 0;
    std::uint64_t viewportRevision_ = 0;
    int viewportParseCount_ = 0;
    int viewportEditParseCount_ = 0;
    // Edits since the viewport's tokens were made, and how far they have been checked since.
    SyntaxIncrementalParse::Dirty viewportDirty_;
    bool viewportPending_ = false;
    qsizetype viewportPendingFrom_ = 0;
    qsizetype viewportConvergeFrom_ = 0;
    // An edit parse is on its way: the colours standing (moved with the edit) stay until it is in.
    bool viewportEditParsing_ = false;
    bool viewportEditCheckPosted_ = false;
    // The text of the viewport's window after an edit, kept for the slices that check the rest.
    std::shared_ptr<const QString> viewportText_;
    std::uint64_t viewportTextRevision_ = 0;
    TextRange paintedRange_;

    QMetaObject::Connection scrollConnection_;
    QMetaObject::Connection tokensConnection_;
    QMetaObject::Connection editsConnection_;
    QMetaObject::Connection languageConnection_;
    bool visibleRectCheckPending_ = false;
};

}  // namespace korimado
