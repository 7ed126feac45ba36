#include "syntax/SyntaxHighlighter.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/text/LayoutManager.h"
#include "platform/foundation/MainQueue.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxParser.h"
#include "theme/ThemeQColor.h"
#include "theme/EditorTheme.h"

#include <QFontDatabase>

#include <algorithm>
#include <array>
#include <atomic>
#include <thread>

namespace korimado {

namespace {

// Painting reaches this far beyond the visible rectangle, so that short scrolls find colours.
constexpr qreal horizontalMargin = 600;
constexpr qreal verticalMargin = 1200;
constexpr qsizetype paintMarginUnits = 8000;
// A viewport parse covers this much text on either side of the painted range.
constexpr qsizetype viewportMarginUnits = 24000;
constexpr int viewportTokenFloor = 30000;
// Without a layout, the start of the text stands for the visible part.
constexpr qsizetype unlaidOutUnits = 100000;

constexpr size_t kindCount = 10;

std::atomic<std::uint64_t> fullParses{0};

}  // namespace

std::uint64_t SyntaxHighlighter::fullParsesStarted()
{
    return fullParses.load();
}

struct SyntaxHighlighter::Alive {
    SyntaxHighlighter* self;
};

DispatchQueue& SyntaxHighlighter::queue()
{
    // Never more threads than half the cores: parsing must not starve the rest of the program.
    static DispatchQueue shared(DispatchQueue::applicationLabel(QStringLiteral(".syntax")),
                                std::max(2, static_cast<int>(std::thread::hardware_concurrency() / 2)));
    return shared;
}

SyntaxHighlighter::SyntaxHighlighter(TextView* editor, const QString& language, LanguageCallback onLanguageChange)
    : onLanguageChange_(std::move(onLanguageChange)), editor_(editor), alive_(std::make_shared<Alive>(Alive{this}))
{
    resolveLanguage(language);
    if (editor) {
        scrollConnection_ =
            QObject::connect(editor, &TextView::visibleRectDidChange, editor, [this] { visibleRectChanged(); });
    }
}

SyntaxHighlighter::~SyntaxHighlighter()
{
    alive_->self = nullptr;
    cancelFullParse();
    cancelViewportParse();
    QObject::disconnect(scrollConnection_);
    if (editor_ && editor_->layoutManager()) {
        editor_->layoutManager()->removeTemporaryAttributes(this);
    }
}

void SyntaxHighlighter::resolveLanguage(const QString& language)
{
    QString text = language;
    while (text.startsWith(QLatin1Char('.'))) {
        text.remove(0, 1);
    }
    while (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
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
    languageValue = std::move(resolved);

    if (editor_ && onLanguageChange_) onLanguageChange_(languageValue);
}

std::uint64_t SyntaxHighlighter::textRevision() const
{
    const TextView* editor = editor_;
    return editor && editor->textStorage() ? editor->textStorage()->revision() : 0;
}

void SyntaxHighlighter::update(const std::optional<QString>& language)
{
    if (language) {
        resolveLanguage(*language);
    }
    schedule();
}

namespace {

// Cancels and lets go of a running parse and of its pending start.
void cancelParse(CancellationTokenPtr& token, WorkItemPtr& pending)
{
    if (token) token->cancel();
    if (pending) pending->cancel();
    token.reset();
    pending.reset();
}

}  // namespace

void SyntaxHighlighter::cancelFullParse()
{
    cancelParse(cancellation_, scheduled_);
}

void SyntaxHighlighter::cancelViewportParse()
{
    cancelParse(viewportCancellation_, viewportScheduled_);
}

void SyntaxHighlighter::schedule()
{
    Q_ASSERT(MainQueue::isMainThread());
    if (!editor_) {
        return;
    }
    const std::uint64_t generation = ++generation_;
    cancelFullParse();
    cancelViewportParse();
    cancellation_ = CancellationToken::make();
    cachedTokens_.clear();
    viewportTokens_.clear();
    viewportRange_ = TextRange(TextRange::NotFound, 0);

    // The text is taken when the delay is over: only the last request of a burst reaches the queue.
    std::weak_ptr<Alive> weak = alive_;
    scheduled_ = WorkItem::make([weak, generation] {
        if (std::shared_ptr<Alive> alive = weak.lock(); alive && alive->self) {
            alive->self->startFullParse(generation);
        }
    });
    if (fullParsesHeld_) {
        fullParseDeferred_ = true;
        return;
    }
    MainQueue::after(parseDelayMs, scheduled_);
}

void SyntaxHighlighter::holdFullParses(bool held)
{
    if (held == fullParsesHeld_) return;
    fullParsesHeld_ = held;
    if (held) {
        // One already waiting for its delay waits for the release instead.
        if (scheduled_) {
            cancelFullParse();
            fullParseDeferred_ = true;
        }
        return;
    }
    if (fullParseDeferred_) {
        fullParseDeferred_ = false;
        schedule();
    }
}

void SyntaxHighlighter::startFullParse(std::uint64_t generation)
{
    if (generation != generation_ || !editor_ || !cancellation_ || !editor_->textStorage()) {
        return;
    }
    scheduled_.reset();
    const TextSnapshot snapshot = editor_->textStorage()->snapshot();
    const std::uint64_t revision = textRevision();
    const CancellationTokenPtr token = cancellation_;
    const SyntaxLanguage language = languageValue;
    std::weak_ptr<Alive> weak = alive_;
    ++fullParses;

    queue().async([weak, generation, revision, token, snapshot, language] {
        if (token->isCancelled()) {
            return;
        }
        const QString text = snapshot.string();
        auto result = std::make_shared<SyntaxParser::Result>(
            SyntaxParser::parse(text, language, std::nullopt, [&token] { return token->isCancelled(); }));
        if (token->isCancelled()) {
            return;
        }
        MainQueue::async([weak, generation, revision, token, result] {
            std::shared_ptr<Alive> alive = weak.lock();
            if (!alive || !alive->self) {
                return;
            }
            SyntaxHighlighter& self = *alive->self;
            if (token->isCancelled() || self.generation_ != generation || self.textRevision() != revision) {
                return;
            }
            self.cancellation_.reset();
            self.cachedTokens_ = std::move(result->tokens);
            self.cachedGeneration_ = generation;
            self.cachedRevision_ = revision;
            self.outlineEntries = std::move(result->outline);
            self.resultWasTruncated_ = result->truncated;
            self.outlineWasTruncated_ = result->outlineTruncated;
            self.applyVisibleTokens();
            if (self.resultWasTruncated_) {
                self.scheduleViewportFallback();
            }
            if (self.onOutlineChange) {
                const OutlineCallback callback = self.onOutlineChange;  // it may replace itself
                callback(self.outlineEntries);
            }
        });
    });
}

void SyntaxHighlighter::invalidate()
{
    Q_ASSERT(MainQueue::isMainThread());
    ++generation_;
    cancelFullParse();
    cancelViewportParse();
    fullParseDeferred_ = false;
    if (editor_ && editor_->layoutManager()) {
        editor_->layoutManager()->removeTemporaryAttributes(this);
    }
    cachedTokens_.clear();
    viewportTokens_.clear();
    outlineEntries.clear();
    viewportRange_ = TextRange(TextRange::NotFound, 0);
    resultWasTruncated_ = false;
    outlineWasTruncated_ = false;
    paintedRange_ = TextRange();
    if (onOutlineChange) {
        const OutlineCallback callback = onOutlineChange;
        callback(outlineEntries);
    }
}

QColor SyntaxHighlighter::color(SyntaxTokenKind kind, const EditorTheme& theme)
{
    const auto pick = [&theme](const char* key, const QColor& fallback) {
        if (const std::optional<ThemeColorValue> value = theme.syntaxColor(QLatin1String(key))) {
            return toQColor(*value);
        }
        return fallback;
    };
    // The fallbacks are the usual system accent colours.
    switch (kind) {
    case SyntaxTokenKind::comment:
        return pick("comments", toQColor(ThemeColorValue::systemColor(SystemColor::secondaryLabel)));
    case SyntaxTokenKind::string: return pick("strings", QColor(255, 59, 48));
    case SyntaxTokenKind::number: return pick("numbers", QColor(255, 149, 0));
    case SyntaxTokenKind::keyword: return pick("keywords", QColor(175, 82, 222));
    case SyntaxTokenKind::type: return pick("types", QColor(48, 176, 199));
    case SyntaxTokenKind::attribute: return pick("attributes", QColor(162, 132, 94));
    case SyntaxTokenKind::heading: return pick("types", QColor(0, 122, 255));
    case SyntaxTokenKind::tag: return pick("characters", QColor(88, 86, 214));
    case SyntaxTokenKind::property: return pick("values", QColor(0, 122, 255));
    case SyntaxTokenKind::variable: return pick("variables", QColor(255, 45, 85));
    }
    return QColor();
}

std::vector<SyntaxTokenSpan>::const_iterator SyntaxHighlighter::firstTokenEndingAfter(
    const std::vector<SyntaxTokenSpan>& tokens, qsizetype location)
{
    return std::partition_point(tokens.begin(), tokens.end(),
                                [location](const SyntaxTokenSpan& token) { return token.range.end() <= location; });
}

TextRange SyntaxHighlighter::visibleCharacterRange(bool widened) const
{
    TextView* editor = editor_;
    if (!editor || !editor->textStorage()) {
        return TextRange();
    }
    const qsizetype length = editor->textStorage()->length();
    LayoutManager* layout = editor->layoutManager();
    if (!layout) {
        return TextRange(0, std::min(length, unlaidOutUnits));
    }
    QRectF rect = editor->visibleRect().translated(-editor->textContainerOrigin());
    if (widened) {
        rect.adjust(-horizontalMargin, -verticalMargin, horizontalMargin, verticalMargin);
    }
    TextRange range = layout->characterRange(layout->glyphRange(rect));
    if (widened) {
        range = TextRange::fromBounds(range.location - paintMarginUnits, range.end() + paintMarginUnits);
    }
    return range.clamped(length);
}

bool SyntaxHighlighter::viewportCovers(TextRange range) const
{
    return viewportGeneration_ == generation_ && viewportRevision_ == textRevision() && !viewportRange_.isNotFound()
        && viewportRange_.location <= range.location && viewportRange_.end() >= range.end();
}

void SyntaxHighlighter::applyVisibleTokens()
{
    TextView* editor = editor_;
    if (!editor || !editor->layoutManager()) {
        return;
    }
    LayoutManager& layout = *editor->layoutManager();
    const TextRange visible = visibleCharacterRange(true);
    layout.removeTemporaryAttributes(this);
    paintedRange_ = TextRange();
    // Tokens of another text would colour the wrong characters.
    if (visible.isEmpty() || cachedTokens_.empty() || cachedRevision_ != textRevision()) {
        return;
    }

    const EditorTheme theme = EditorTheme::current();
    std::array<TemporaryAttributes, kindCount> attributes;
    for (size_t kind = 0; kind < kindCount; ++kind) {
        attributes[kind].foreground = color(static_cast<SyntaxTokenKind>(kind), theme);
    }
    QFont heading = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const qreal size = editor->font().pointSizeF();
    heading.setPointSizeF(size > 0 ? size : 14);
    heading.setWeight(QFont::DemiBold);
    attributes[static_cast<size_t>(SyntaxTokenKind::heading)].font = heading;

    // One batch: each added range on its own would ask for its own redraw.
    const std::vector<SyntaxTokenSpan>& source = viewportCovers(visible) ? viewportTokens_ : cachedTokens_;
    std::vector<TemporaryAttributeRange> ranges;
    for (auto it = firstTokenEndingAfter(source, visible.location); it != source.end() && it->range.location < visible.end();
         ++it) {
        const TextRange range = it->range.intersected(visible);
        if (range.length > 0) {
            ranges.push_back({range, attributes[static_cast<size_t>(it->kind)]});
        }
    }
    layout.addTemporaryAttributes(this, ranges);
    paintedRange_ = visible;
}

void SyntaxHighlighter::scheduleViewportFallback()
{
    TextView* editor = editor_;
    if (!resultWasTruncated_ || !editor || !editor->textStorage() || !editor->layoutManager()) {
        return;
    }
    TextStorage& storage = *editor->textStorage();
    LayoutManager& layout = *editor->layoutManager();
    const qsizetype length = storage.length();
    if (length == 0) {
        return;
    }
    const TextRange visible = visibleCharacterRange(true);
    TextRange widened = TextRange::fromBounds(visible.location - viewportMarginUnits, visible.end() + viewportMarginUnits)
                            .clamped(length);
    // Whole lines, so that no expression starts in the middle of one; but a line far longer than
    // the window is cut, or a parse from its start would never reach the part on screen.
    const qsizetype lineStart = layout.paragraphStart(layout.paragraphIndex(widened.location));
    const qsizetype last = widened.isEmpty() ? widened.location : widened.end() - 1;
    const qsizetype lineEnd = layout.paragraphRange(layout.paragraphIndex(last)).end();
    const qsizetype start = std::max(lineStart, widened.location - viewportMarginUnits);
    const qsizetype end = std::min(lineEnd, widened.end() + viewportMarginUnits);
    widened = TextRange::fromBounds(start, end).clamped(length);
    if (widened.isEmpty() || viewportCovers(visible)) {
        return;
    }

    cancelViewportParse();
    viewportCancellation_ = CancellationToken::make();
    const CancellationTokenPtr token = viewportCancellation_;
    const std::uint64_t generation = generation_;
    const std::uint64_t revision = textRevision();
    const QString text = storage.substring(widened);
    const SyntaxLanguage language = languageValue;
    std::weak_ptr<Alive> weak = alive_;
    ++viewportParseCount_;

    viewportScheduled_ = WorkItem::make([weak, generation, revision, token, text, language, widened] {
        if (token->isCancelled()) {
            return;
        }
        SyntaxParser::Result result = SyntaxParser::parse(text, language, std::max<qint64>(SyntaxParser::maximumTokens(), viewportTokenFloor),
                                                          [&token] { return token->isCancelled(); });
        if (token->isCancelled()) {
            return;
        }
        auto tokens = std::make_shared<std::vector<SyntaxTokenSpan>>(std::move(result.tokens));
        for (SyntaxTokenSpan& span : *tokens) {
            span.range.location += widened.location;
        }
        MainQueue::async([weak, generation, revision, token, tokens, widened] {
            std::shared_ptr<Alive> alive = weak.lock();
            if (!alive || !alive->self) {
                return;
            }
            SyntaxHighlighter& self = *alive->self;
            if (token->isCancelled() || self.generation_ != generation || self.textRevision() != revision) {
                return;
            }
            self.viewportCancellation_.reset();
            self.viewportTokens_ = std::move(*tokens);
            self.viewportRange_ = widened;
            self.viewportGeneration_ = generation;
            self.viewportRevision_ = revision;
            self.applyVisibleTokens();
        });
    });
    queue().after(viewportDelayMs, viewportScheduled_);
}

void SyntaxHighlighter::visibleRectChanged()
{
    // Scrolling sends many of these, some while an edit is still being delivered: look once, after.
    if (visibleRectCheckPending_) {
        return;
    }
    visibleRectCheckPending_ = true;
    std::weak_ptr<Alive> weak = alive_;
    MainQueue::async([weak] {
        std::shared_ptr<Alive> alive = weak.lock();
        if (!alive || !alive->self) {
            return;
        }
        SyntaxHighlighter& self = *alive->self;
        self.visibleRectCheckPending_ = false;
        // While a parse is pending the colours painted last stay.
        if (self.cachedGeneration_ != self.generation_ || self.cachedRevision_ != self.textRevision()) {
            return;
        }
        const TextRange visible = self.visibleCharacterRange(false);
        const bool painted = !self.paintedRange_.isEmpty() && self.paintedRange_.location <= visible.location
                          && self.paintedRange_.end() >= visible.end();
        if (!painted) {
            self.applyVisibleTokens();
        }
        if (self.resultWasTruncated_) {
            self.scheduleViewportFallback();
        }
    });
}

void SyntaxHighlighter::goToOutlineEntry(int index)
{
    if (index < 0 || index >= static_cast<int>(outlineEntries.size()) || !editor_) {
        return;
    }
    const SyntaxOutlineEntry& entry = outlineEntries[static_cast<size_t>(index)];
    editor_->setSelectedRange(TextRange{entry.range.location, 0});
    editor_->scrollRangeToVisible(entry.range);
    editor_->setFocus();
}

}  // namespace korimado
