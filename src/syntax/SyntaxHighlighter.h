#pragma once

#include "platform/foundation/CancellationToken.h"
#include "platform/text/TextRange.h"
#include "platform/foundation/WorkItem.h"
#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxOutlineEntry.h"
#include "syntax/SyntaxTokenKind.h"

#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace korimado {

class DispatchQueue;
class TextStorage;
class TextView;
struct EditorTheme;

// Colours one editor and keeps its outline. The whole text is parsed on the shared ".syntax" queue;
// only the tokens near the visible part are painted, as temporary attributes of the editor's
// layout manager tagged with this highlighter, so the text, its undo and the document never change.
// Every member is for the main thread.
class SyntaxHighlighter {
public:
    using OutlineCallback = std::function<void(const std::vector<SyntaxOutlineEntry>&)>;
    // Told each language resolved, the first one too, so that the owner can give the editor its words.
    using LanguageCallback = std::function<void(const SyntaxLanguage&)>;

    // Edits are gathered this long before a full parse; a viewport parse waits the shorter delay.
    static constexpr int parseDelayMs = 75;
    static constexpr int viewportDelayMs = 25;

    // language: an identifier, a display name or a file extension (dots are trimmed).
    SyntaxHighlighter(TextView* editor, const QString& language, LanguageCallback onLanguageChange = {});
    ~SyntaxHighlighter();
    SyntaxHighlighter(const SyntaxHighlighter&) = delete;
    SyntaxHighlighter& operator=(const SyntaxHighlighter&) = delete;

    TextView* editor() const { return editor_; }

    // Resolves and stores the language when given one, then schedules a parse.
    void update(const std::optional<QString>& language);
    // Asks for a fresh full parse; a burst of requests yields one parse of the last text.
    void schedule();
    // While held, a full parse asked for waits; releasing starts the one last asked for. A window
    // holds them until its text is on screen. Viewport parses are never held.
    void holdFullParses(bool held);
    // Cancels everything, removes the colours and forgets the tokens and the outline; the outline
    // callback gets an empty list.
    void invalidate();
    // Repaints the visible neighbourhood from the stored tokens with the current theme.
    void applyVisibleTokens();
    // Puts the caret at the start of the entry, scrolls it into view and focuses the editor.
    void goToOutlineEntry(int index);

    SyntaxLanguage languageValue;
    std::vector<SyntaxOutlineEntry> outlineEntries;
    OutlineCallback onOutlineChange;

    std::uint64_t generation() const { return generation_; }

    // Read access for diagnostics and tests.
    const std::vector<SyntaxTokenSpan>& cachedTokens() const { return cachedTokens_; }
    const std::vector<SyntaxTokenSpan>& viewportTokens() const { return viewportTokens_; }
    TextRange viewportRange() const { return viewportRange_; }
    bool resultWasTruncated() const { return resultWasTruncated_; }
    // outlineEntries holds only the entries found before the outline's limit or its time ran out.
    bool outlineWasTruncated() const { return outlineWasTruncated_; }
    // Shown after the entries of a truncated outline.
    static QString truncatedOutlineNote() { return QStringLiteral("以降の項目は省略されています"); }
    // A full parse has left the delay and its result has not been applied.
    bool parseInFlight() const { return cancellation_ && !scheduled_; }
    // Viewport parses started so far.
    int viewportParseCount() const { return viewportParseCount_; }
    // Full parses handed to the queue by every highlighter of the process (diagnostics).
    static std::uint64_t fullParsesStarted();
    // The range painted by the last apply (empty when nothing was painted).
    TextRange paintedRange() const { return paintedRange_; }

    // The colour a token kind is painted with under theme.
    static QColor color(SyntaxTokenKind kind, const EditorTheme& theme);
    // The first token of a sorted, non-overlapping list that ends after location.
    static std::vector<SyntaxTokenSpan>::const_iterator firstTokenEndingAfter(const std::vector<SyntaxTokenSpan>& tokens,
                                                                             qsizetype location);
    // The process-wide concurrent queue every highlighter parses on.
    static DispatchQueue& queue();

private:
    struct Alive;

    void resolveLanguage(const QString& language);
    // The revision of the text now in the editor: a result is applied only to the text it was made from.
    std::uint64_t textRevision() const;
    void cancelFullParse();
    void cancelViewportParse();
    void startFullParse(std::uint64_t generation);
    void scheduleViewportFallback();
    void visibleRectChanged();
    TextRange visibleCharacterRange(bool widened) const;
    bool viewportCovers(TextRange range) const;

    LanguageCallback onLanguageChange_;
    QPointer<TextView> editor_;
    std::shared_ptr<Alive> alive_;
    std::uint64_t generation_ = 0;

    CancellationTokenPtr cancellation_;
    CancellationTokenPtr viewportCancellation_;
    WorkItemPtr scheduled_;
    WorkItemPtr viewportScheduled_;

    std::vector<SyntaxTokenSpan> cachedTokens_;
    std::uint64_t cachedGeneration_ = 0;
    std::uint64_t cachedRevision_ = 0;
    std::vector<SyntaxTokenSpan> viewportTokens_;
    TextRange viewportRange_{TextRange::NotFound, 0};
    std::uint64_t viewportGeneration_ = 0;
    std::uint64_t viewportRevision_ = 0;
    bool resultWasTruncated_ = false;
    bool fullParsesHeld_ = false;
    bool fullParseDeferred_ = false;
    bool outlineWasTruncated_ = false;
    int viewportParseCount_ = 0;
    TextRange paintedRange_;

    QMetaObject::Connection scrollConnection_;
    bool visibleRectCheckPending_ = false;
};

}  // namespace korimado
