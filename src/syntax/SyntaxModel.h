#pragma once

#include "platform/foundation/CancellationToken.h"
#include "platform/foundation/WorkItem.h"
#include "platform/text/TextRange.h"
#include "syntax/SyntaxIncrementalParse.h"
#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxOutlineEntry.h"
#include "syntax/SyntaxTokenKind.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace korimado {

class DispatchQueue;
class KoriDocument;
class TextStorage;

// The language, tokens and outline of one document, shared by every view of it: the whole text
// is parsed once per burst of edits on the process-wide ".syntax" queue, and each view paints
// from the result what it shows (SyntaxHighlighter). Every member is for the main thread.
class SyntaxModel : public QObject {
    Q_OBJECT

public:
    // Edits are gathered this long before a parse.
    static constexpr int parseDelayMs = 75;
    // An edit the tokens cannot have seen waits this long without another for its full parse.
    static constexpr int settleDelayMs = 600;

    // The document's model, made on first use with the language its file suggests; it goes with
    // the document.
    static SyntaxModel& of(KoriDocument& document);
    ~SyntaxModel() override;

    const SyntaxLanguage& language() const { return language_; }
    // An identifier, a display name or a file extension (dots are trimmed); then a fresh parse.
    void setLanguage(const QString& language);
    void setLanguage(const SyntaxLanguage& language);
    // The language the document's file name suggests; then a fresh parse.
    void detectLanguage();

    // Asks for a fresh parse; a burst of requests yields one parse of the last text.
    void schedule();
    // Asks for one unless the tokens are of the text as it stands or one is on its way.
    void scheduleIfNeeded();
    // After a character edit: when the tokens stopped short of the edit (a token limit or the time
    // budget), they stand for the new text as they are and the full parse waits until the edits
    // pause; the views colour what they show around the edit themselves. Otherwise a parse as schedule().
    void textDidChange();
    // While anyone holds them, a parse asked for waits; the last release starts the one last asked
    // for. A window holds them until its text is on screen.
    void holdParses();
    void releaseParses();

    // The result of the last parse, for the text of tokensRevision().
    const std::vector<SyntaxTokenSpan>& tokens() const { return *tokens_; }
    std::uint64_t tokensRevision() const { return tokensRevision_; }
    // Tokens of the text as it stands now.
    bool hasCurrentTokens() const { return hasTokens_ && tokensRevision_ == textRevision(); }
    // A token limit or the time budget cut the tokens short: views parse what they show themselves.
    bool resultWasTruncated() const { return resultWasTruncated_; }
    const std::vector<SyntaxOutlineEntry>& outline() const { return outline_; }
    // The outline holds only the entries found before its limit or its time ran out.
    bool outlineWasTruncated() const { return outlineWasTruncated_; }
    // Shown after the entries of a truncated outline.
    static QString truncatedOutlineNote() { return QStringLiteral("以降の項目は省略されています"); }

    // Moves on with every request and every language: a result of an older one is dropped.
    std::uint64_t generation() const { return generation_; }
    // The revision of the document's text now.
    std::uint64_t textRevision() const;
    // The one rule for every background result of the syntax: applied only while its token stands,
    // its generation is the current one and the text is still the one it was made from.
    bool isCurrent(const CancellationToken& token, std::uint64_t generation, std::uint64_t revision) const;
    // A parse has left the delay and its result has not been applied.
    bool parseInFlight() const { return cancellation_ && !scheduled_; }
    // Parses of the tokens around an edit started so far (slices included), for diagnostics.
    std::uint64_t editParseCount() const { return editParseCount_; }
    // The tokens after the last checked position are those before the edit, moved.
    bool tokensPending() const { return pending_.pending; }
    // Parses this model started, and those of every model of the process (diagnostics).
    std::uint64_t parseCount() const { return parseCount_; }
    static std::uint64_t fullParsesStarted();
    static std::uint64_t editParsesStartedInProcess();
    // The process-wide concurrent queue every parse runs on.
    static DispatchQueue& queue();

    std::shared_ptr<TextStorage> storage() const { return storage_.lock(); }

Q_SIGNALS:
    // Characters were replaced (editedRange in the new text): views move what they parsed themselves.
    void charactersEdited(TextRange editedRange, qsizetype changeInLength);
    // The language changed: views take its words and recolour.
    void languageChanged();
    // A parse result was applied, or the tokens were dropped for a new request.
    void tokensChanged();
    void outlineChanged();

private:
    struct Alive;
    explicit SyntaxModel(KoriDocument& document);
    void resolveLanguage(const QString& language);
    void cancelParse();
    void startParse(std::uint64_t generation);
    void scheduleAfter(int delayMs);
    void storageEdited(TextRange editedRange, qsizetype changeInLength);
    void startEditParse(bool resume);
    void cancelEditParse();

    KoriDocument* document_;
    std::weak_ptr<TextStorage> storage_;
    std::uint64_t observerToken_ = 0;
    // What edits since tokensRevision_ have touched.
    SyntaxIncrementalParse::Dirty dirty_;
    CancellationTokenPtr editCancellation_;
    // The last edit parse's unchecked rest (tokens and coverage are not kept here), and its text.
    SyntaxIncrementalParse::Result pending_;
    TextRange coverage_;
    std::shared_ptr<const QString> pendingText_;
    std::uint64_t editParseCount_ = 0;
    std::shared_ptr<Alive> alive_;
    SyntaxLanguage language_;
    std::uint64_t generation_ = 0;
    CancellationTokenPtr cancellation_;
    WorkItemPtr scheduled_;
    int holds_ = 0;
    bool parseDeferred_ = false;

    // Shared with the parse after an edit, which reads them on the queue.
    std::shared_ptr<const std::vector<SyntaxTokenSpan>> tokens_ = std::make_shared<const std::vector<SyntaxTokenSpan>>();
    std::uint64_t tokensRevision_ = 0;
    bool hasTokens_ = false;
    bool resultWasTruncated_ = false;
    std::vector<SyntaxOutlineEntry> outline_;
    bool outlineWasTruncated_ = false;
    std::uint64_t parseCount_ = 0;
};

}  // namespace korimado
