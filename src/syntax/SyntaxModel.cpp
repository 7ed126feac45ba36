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
}

SyntaxModel::~SyntaxModel()
{
    alive_->self = nullptr;
    cancelParse();
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
    MainQueue::after(parseDelayMs, scheduled_);
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
    scheduled_.reset();
    const TextSnapshot snapshot = storage->snapshot();
    const std::uint64_t revision = storage->revision();
    const CancellationTokenPtr token = cancellation_;
    const SyntaxLanguage language = language_;
    std::weak_ptr<Alive> weak = alive_;
    ++parseCount_;
    ++parsesStarted;

    queue().async([weak, generation, revision, token, snapshot, language] {
        if (token->isCancelled()) return;
        // Plain text gives no colours and no outline: a large file is not copied for nothing.
        const QString text = SyntaxParser::findsNothingIn(language) ? QString() : snapshot.string();
        auto result = std::make_shared<SyntaxParser::Result>(
            SyntaxParser::parse(text, language, std::nullopt, [&token] { return token->isCancelled(); }));
        if (token->isCancelled()) return;
        MainQueue::async([weak, generation, revision, token, result] {
            std::shared_ptr<Alive> alive = weak.lock();
            if (!alive || !alive->self || !alive->self->isCurrent(*token, generation, revision)) return;
            SyntaxModel& self = *alive->self;
            self.cancellation_.reset();
            self.tokens_ = std::move(result->tokens);
            self.tokensRevision_ = revision;
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
