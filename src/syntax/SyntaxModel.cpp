#include "syntax/SyntaxModel.h"

#include "document/KoriDocument.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/text/TextStorage.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxParser.h"

#include <atomic>
#include <thread>

namespace korimado {

namespace {

std::atomic<std::uint64_t> parsesStarted{0};
std::atomic<std::uint64_t> editParsesStarted{0};

// After an edit the tokens are parsed again this far past it at a time.
constexpr qsizetype editSliceUnits = 16000;
// ...in a copy of the text that reaches this far past that: no copy of a long text per key. A
// match longer than this that starts there is seen cut until the full parse after the pause.
constexpr qsizetype editReachUnits = 512 * 1024;
// Keys are gathered this long, and the key's own paint goes first.
constexpr int editParseDelayMs = 16;

std::optional<QString> documentPath(const KoriDocument& document)
{
    if (document.fileURL().isEmpty()) return std::nullopt;
    return document.fileURL();
}

}  // namespace

struct SyntaxModel::Alive {
    SyntaxModel* self;
};

DispatchQueue& SyntaxModel::queue()
{
    // Never more threads than half the cores: parsing must not starve the rest of the program.
    static DispatchQueue shared(DispatchQueue::applicationLabel(QStringLiteral(".syntax")),
                                std::max(2, static_cast<int>(std::thread::hardware_concurrency() / 2)));
    return shared;
}

std::uint64_t SyntaxModel::fullParsesStarted()
{
    return parsesStarted.load();
}

std::uint64_t SyntaxModel::editParsesStartedInProcess()
{
    return editParsesStarted.load();
}

SyntaxModel& SyntaxModel::of(KoriDocument& document)
{
    if (auto* model = document.findChild<SyntaxModel*>(QString(), Qt::FindDirectChildrenOnly)) return *model;
    return *new SyntaxModel(document);
}

SyntaxModel::SyntaxModel(KoriDocument& document)
    : QObject(&document), document_(&document), storage_(document.sharedStorage()),
      alive_(std::make_shared<Alive>(Alive{this}))
{
    resolveLanguage(SyntaxLanguage::detect(documentPath(document)).id);
    if (const std::shared_ptr<TextStorage> storage = storage_.lock()) {
        std::weak_ptr<Alive> weak = alive_;
        observerToken_ = storage->addObserver([weak](TextStorage&, const TextStorageEdit& edit) {
            std::shared_ptr<Alive> alive = weak.lock();
            if (alive && alive->self && edit.editedCharacters()) alive->self->storageEdited(edit.editedRange, edit.changeInLength);
        });
    }
}

SyntaxModel::~SyntaxModel()
{
    alive_->self = nullptr;
    cancelParse();
    cancelEditParse();
    if (const std::shared_ptr<TextStorage> storage = storage_.lock(); storage && observerToken_) storage->removeObserver(observerToken_);
}

void SyntaxModel::storageEdited(TextRange editedRange, qsizetype changeInLength)
{
    if (hasTokens_) {
        // The rest left unchecked by the last edit parse is parsed again with this edit.
        if (!dirty_.any && pending_.pending) dirty_.add(TextRange::fromBounds(pending_.pendingFrom, coverage_.end()), 0);
        pending_.pending = false;
        pendingText_.reset();
        dirty_.add(editedRange, changeInLength);
        // Entries after the edit move with it until the next full parse.
        for (SyntaxOutlineEntry& entry : outline_) {
            if (entry.range.location >= editedRange.end() - changeInLength) entry.range.location += changeInLength;
        }
    }
    Q_EMIT charactersEdited(editedRange, changeInLength);
}

void SyntaxModel::textDidChange()
{
    Q_ASSERT(MainQueue::isMainThread());
    const std::shared_ptr<TextStorage> storage = storage_.lock();
    if (!storage || !hasTokens_ || !dirty_.any || holds_ > 0 || SyntaxParser::findsNothingIn(language_)) {
        schedule();
        return;
    }
    // Tokens that end before the edit, with room for the context of their matches, stand as they
    // are. Elsewhere only the stretch around the edit is parsed now. Either way an opener before
    // the edit that found no closer may find one now: a full parse follows once the keys pause.
    if (coverage_.end() + SyntaxIncrementalParse::contextUnits <= dirty_.start) {
        cancelEditParse();
        tokensRevision_ = storage->revision();
        dirty_ = {};
    } else {
        startEditParse(false);
    }
    scheduleAfter(settleDelayMs);
}

void SyntaxModel::cancelEditParse()
{
    if (editCancellation_) editCancellation_->cancel();
    editCancellation_.reset();
}

void SyntaxModel::startEditParse(bool resume)
{
    const std::shared_ptr<TextStorage> storage = storage_.lock();
    if (!storage) return;
    cancelEditParse();
    editCancellation_ = CancellationToken::make();
    ++editParseCount_;
    ++editParsesStarted;
    const CancellationTokenPtr token = editCancellation_;
    const std::uint64_t revision = storage->revision();
    const SyntaxLanguage language = language_;
    const TextSnapshot snapshot = storage->snapshot();
    std::shared_ptr<const QString> kept = resume ? pendingText_ : nullptr;
    auto base = std::make_shared<SyntaxIncrementalParse::Result>(pending_);
    base->coverage = coverage_;
    const std::shared_ptr<const std::vector<SyntaxTokenSpan>> tokens = tokens_;
    const SyntaxIncrementalParse::Dirty dirty = dirty_;
    std::weak_ptr<Alive> weak = alive_;

    const qsizetype reach = std::min(snapshot.length(), (resume ? base->pendingFrom : dirty.end) + editSliceUnits + editReachUnits);
    if (kept && kept->size() < reach) kept.reset();

    MainQueue::after(resume ? 0 : editParseDelayMs, [weak, token, revision, language, snapshot, kept, base, tokens, dirty, resume, reach] {
        if (token->isCancelled()) return;
        queue().async([weak, token, revision, language, snapshot, kept, base, tokens, dirty, resume, reach] {
            if (token->isCancelled()) return;
            const std::shared_ptr<const QString> text =
                kept ? kept : std::make_shared<const QString>(snapshot.substring(TextRange(0, reach)));
            const auto cancelled = [&token] { return token->isCancelled(); };
            auto result = std::make_shared<SyntaxIncrementalParse::Result>();
            if (resume) {
                base->tokens = *tokens;
                *result = SyntaxIncrementalParse::resume(*text, language, *base, base->pendingFrom + editSliceUnits, cancelled);
            } else {
                *result = SyntaxIncrementalParse::afterEdits(*text, language, *tokens, base->coverage, dirty,
                                                             dirty.end + editSliceUnits, cancelled);
            }
            if (result->cancelled || token->isCancelled()) return;
            MainQueue::async([weak, token, revision, text, result] {
                std::shared_ptr<Alive> alive = weak.lock();
                if (!alive || !alive->self || token->isCancelled() || revision != alive->self->textRevision()) return;
                SyntaxModel& self = *alive->self;
                self.editCancellation_.reset();
                self.coverage_ = result->coverage;
                self.tokens_ = std::make_shared<const std::vector<SyntaxTokenSpan>>(std::move(result->tokens));
                result->tokens = {};
                self.pending_ = *result;
                self.pendingText_ = result->pending ? text : nullptr;
                self.tokensRevision_ = revision;
                self.dirty_ = {};
                Q_EMIT self.tokensChanged();
                // The unchecked rest, a slice at a time, off the keys' way.
                if (self.pending_.pending) self.startEditParse(true);
            });
        });
    });
}

void SyntaxModel::resolveLanguage(const QString& language)
{
    QString text = language;
    while (text.startsWith(QLatin1Char('.'))) text.remove(0, 1);
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    // A display name must match exactly, so lowercasing is left to the lookup.
    SyntaxLanguage resolved = SyntaxLanguage::named(text);
    const QString lowered = text.toLower();
    if (resolved.id == SyntaxLanguage::plain().id && !lowered.isEmpty()) {
        for (const SyntaxLanguage& candidate : CotSyntaxCatalog::shared().languages()) {
            if (candidate.fileExtensions.contains(lowered)) {
                resolved = candidate;
                break;
            }
        }
    }
    language_ = std::move(resolved);
}

void SyntaxModel::setLanguage(const QString& language)
{
    resolveLanguage(language);
    Q_EMIT languageChanged();
    schedule();
}

void SyntaxModel::setLanguage(const SyntaxLanguage& language)
{
    language_ = language;
    Q_EMIT languageChanged();
    schedule();
}

void SyntaxModel::detectLanguage()
{
    setLanguage(SyntaxLanguage::detect(documentPath(*document_)).id);
}

std::uint64_t SyntaxModel::textRevision() const
{
    const std::shared_ptr<TextStorage> storage = storage_.lock();
    return storage ? storage->revision() : 0;
}

bool SyntaxModel::isCurrent(const CancellationToken& token, std::uint64_t generation, std::uint64_t revision) const
{
    return !token.isCancelled() && generation == generation_ && revision == textRevision();
}

void SyntaxModel::cancelParse()
{
    if (cancellation_) cancellation_->cancel();
    if (scheduled_) scheduled_->cancel();
    cancellation_.reset();
    scheduled_.reset();
}

void SyntaxModel::schedule()
{
    scheduleAfter(parseDelayMs);
}

void SyntaxModel::scheduleAfter(int delayMs)
{
    Q_ASSERT(MainQueue::isMainThread());
    const std::uint64_t generation = ++generation_;
    cancelParse();
    cancellation_ = CancellationToken::make();
    // The text is taken when the delay is over: only the last request of a burst reaches the queue.
    std::weak_ptr<Alive> weak = alive_;
    scheduled_ = WorkItem::make([weak, generation] {
        if (std::shared_ptr<Alive> alive = weak.lock(); alive && alive->self) alive->self->startParse(generation);
    });
    if (holds_ > 0) {
        parseDeferred_ = true;
        return;
    }
    MainQueue::after(delayMs, scheduled_);
}

void SyntaxModel::scheduleIfNeeded()
{
    if (hasCurrentTokens() || cancellation_ || parseDeferred_) return;
    schedule();
}

void SyntaxModel::holdParses()
{
    if (holds_++ > 0 || !scheduled_) return;
    // One already waiting for its delay waits for the release instead.
    cancelParse();
    parseDeferred_ = true;
}

void SyntaxModel::releaseParses()
{
    if (holds_ == 0 || --holds_ > 0) return;
    if (parseDeferred_) {
        parseDeferred_ = false;
        schedule();
    }
}

void SyntaxModel::startParse(std::uint64_t generation)
{
    const std::shared_ptr<TextStorage> storage = storage_.lock();
    if (generation != generation_ || !cancellation_ || !storage) return;
    // The whole text is parsed again: what an edit parse would still check is in it.
    cancelEditParse();
    scheduled_.reset();
    const TextSnapshot snapshot = storage->snapshot();
    const std::uint64_t revision = storage->revision();
    const qsizetype revisionLength = storage->length();
    const CancellationTokenPtr token = cancellation_;
    const SyntaxLanguage language = language_;
    std::weak_ptr<Alive> weak = alive_;
    ++parseCount_;
    ++parsesStarted;

    queue().async([weak, generation, revision, revisionLength, token, snapshot, language] {
        if (token->isCancelled()) return;
        // Plain text gives no colours and no outline: a large file is not copied for nothing.
        const QString text = SyntaxParser::findsNothingIn(language) ? QString() : snapshot.string();
        auto result = std::make_shared<SyntaxParser::Result>(
            SyntaxParser::parse(text, language, std::nullopt, [&token] { return token->isCancelled(); }));
        if (token->isCancelled()) return;
        MainQueue::async([weak, generation, revision, revisionLength, token, result] {
            std::shared_ptr<Alive> alive = weak.lock();
            if (!alive || !alive->self || !alive->self->isCurrent(*token, generation, revision)) return;
            SyntaxModel& self = *alive->self;
            self.cancellation_.reset();
            self.tokens_ = std::make_shared<const std::vector<SyntaxTokenSpan>>(std::move(result->tokens));
            self.tokensRevision_ = revision;
            self.dirty_ = {};
            self.pending_ = {};
            self.pendingText_.reset();
            // A cut result stands for the text up to its last token, plus the context of its matches.
            const qsizetype parsedEnd = self.tokens_->empty() ? 0 : self.tokens_->back().range.end();
            self.coverage_ = TextRange(0, result->truncated ? parsedEnd : revisionLength);
            self.hasTokens_ = true;
            self.resultWasTruncated_ = result->truncated;
            self.outline_ = std::move(result->outline);
            self.outlineWasTruncated_ = result->outlineTruncated;
            Q_EMIT self.tokensChanged();
            Q_EMIT self.outlineChanged();
        });
    });
}

}  // namespace korimado
