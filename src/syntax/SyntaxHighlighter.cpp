#include "syntax/SyntaxHighlighter.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "syntax/SyntaxModel.h"
#include "syntax/SyntaxParser.h"
#include "theme/EditorTheme.h"
#include "theme/ThemeQColor.h"

#include <QFontDatabase>

#include <algorithm>
#include <array>

namespace korimado {

namespace {

// Painting reaches this far beyond the visible rectangle, so that short scrolls find colours.
constexpr qreal horizontalMargin = 600;
constexpr qreal verticalMargin = 1200;
constexpr qsizetype paintMarginUnits = 8000;
// A viewport parse covers this much text on either side of the painted range.
constexpr qsizetype viewportMarginUnits = 24000;
constexpr int viewportTokenFloor = 30000;
// After an edit the viewport's tokens are parsed again this far past it at a time.
constexpr qsizetype editSliceUnits = 16000;
constexpr int editCheckDelayMs = 16;
// Without a layout, the start of the text stands for the visible part.
constexpr qsizetype unlaidOutUnits = 100000;

constexpr size_t kindCount = 10;

}  // namespace

struct SyntaxHighlighter::Alive {
    SyntaxHighlighter* self;
};

SyntaxHighlighter::SyntaxHighlighter(TextView* editor, SyntaxModel& model)
    : editor_(editor), model_(&model), alive_(std::make_shared<Alive>(Alive{this}))
{
    if (editor) {
        scrollConnection_ =
            QObject::connect(editor, &TextView::visibleRectDidChange, editor, [this] { visibleRectChanged(); });
    }
    tokensConnection_ = QObject::connect(&model, &SyntaxModel::tokensChanged, &model, [this] { modelChanged(); });
    editsConnection_ = QObject::connect(&model, &SyntaxModel::charactersEdited, &model,
                                        [this](TextRange range, qsizetype change) { charactersEdited(range, change); });
    // Tokens of another language are of no use.
    languageConnection_ = QObject::connect(&model, &SyntaxModel::languageChanged, &model, [this] {
        cancelViewportParse();
        viewportTokens_.clear();
        viewportRange_ = TextRange(TextRange::NotFound, 0);
        viewportDirty_ = {};
        viewportPending_ = false;
    });
}

SyntaxHighlighter::~SyntaxHighlighter()
{
    alive_->self = nullptr;
    cancelViewportParse();
    QObject::disconnect(scrollConnection_);
    QObject::disconnect(tokensConnection_);
    QObject::disconnect(editsConnection_);
    QObject::disconnect(languageConnection_);
    if (editor_ && editor_->layoutManager()) editor_->layoutManager()->removeTemporaryAttributes(this);
}

void SyntaxHighlighter::cancelViewportParse()
{
    if (viewportCancellation_) viewportCancellation_->cancel();
    if (viewportScheduled_) viewportScheduled_->cancel();
    viewportCancellation_.reset();
    viewportScheduled_.reset();
    viewportEditParsing_ = false;
}

void SyntaxHighlighter::modelChanged()
{
    // A new parse of the text the viewport's tokens are of leaves them standing.
    if (model_ && !viewportRange_.isNotFound() && viewportRevision_ == model_->tokensRevision())
        viewportGeneration_ = model_->generation();
    applyVisibleTokens();
    if (model_ && model_->resultWasTruncated()) scheduleViewportFallback();
}

void SyntaxHighlighter::invalidate()
{
    Q_ASSERT(MainQueue::isMainThread());
    cancelViewportParse();
    QObject::disconnect(tokensConnection_);
    QObject::disconnect(editsConnection_);
    viewportDirty_ = {};
    viewportPending_ = false;
    viewportText_.reset();
    if (editor_ && editor_->layoutManager()) editor_->layoutManager()->removeTemporaryAttributes(this);
    viewportTokens_.clear();
    viewportRange_ = TextRange(TextRange::NotFound, 0);
    paintedRange_ = TextRange();
}

QColor SyntaxHighlighter::color(SyntaxTokenKind kind, const EditorTheme& theme)
{
    const auto pick = [&theme](const char* key, const QColor& fallback) {
        if (const std::optional<ThemeColorValue> value = theme.syntaxColor(QLatin1String(key))) return toQColor(*value);
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
    if (!editor || !editor->textStorage()) return TextRange();
    const qsizetype length = editor->textStorage()->length();
    LayoutManager* layout = editor->layoutManager();
    if (!layout) return TextRange(0, std::min(length, unlaidOutUnits));
    QRectF rect = editor->visibleRect().translated(-editor->textContainerOrigin());
    if (widened) rect.adjust(-horizontalMargin, -verticalMargin, horizontalMargin, verticalMargin);
    TextRange range = layout->characterRange(layout->glyphRange(rect));
    if (widened) range = TextRange::fromBounds(range.location - paintMarginUnits, range.end() + paintMarginUnits);
    return range.clamped(length);
}

bool SyntaxHighlighter::viewportCovers(TextRange range) const
{
    return model_ && viewportGeneration_ == model_->generation() && viewportRevision_ == model_->textRevision()
        && !viewportRange_.isNotFound() && viewportRange_.location <= range.location && viewportRange_.end() >= range.end();
}

void SyntaxHighlighter::applyVisibleTokens()
{
    TextView* editor = editor_;
    if (!editor || !editor->layoutManager() || !model_) return;
    LayoutManager& layout = *editor->layoutManager();
    const TextRange visible = visibleCharacterRange(true);
    // The colours standing moved with the edit; the parse around it replaces them.
    if (viewportEditParsing_ && !viewportCovers(visible)) return;
    paintedRange_ = TextRange();
    // Tokens of another text would colour the wrong characters.
    if (visible.isEmpty() || !model_->hasCurrentTokens() || model_->tokens().empty()) {
        layout.removeTemporaryAttributes(this);
        return;
    }

    const EditorTheme theme = EditorTheme::current();
    std::array<TemporaryAttributes, kindCount> attributes;
    for (size_t kind = 0; kind < kindCount; ++kind) attributes[kind].foreground = color(static_cast<SyntaxTokenKind>(kind), theme);
    QFont heading = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const qreal size = editor->font().pointSizeF();
    heading.setPointSizeF(size > 0 ? size : 14);
    heading.setWeight(QFont::DemiBold);
    attributes[static_cast<size_t>(SyntaxTokenKind::heading)].font = heading;

    // One batch, in place of the colours standing: only what they change is drawn again.
    const std::vector<SyntaxTokenSpan>& source = viewportCovers(visible) ? viewportTokens_ : model_->tokens();
    std::vector<TemporaryAttributeRange> ranges;
    for (auto it = firstTokenEndingAfter(source, visible.location); it != source.end() && it->range.location < visible.end();
         ++it) {
        const TextRange range = it->range.intersected(visible);
        if (range.length > 0) ranges.push_back({range, attributes[static_cast<size_t>(it->kind)]});
    }
    layout.setTemporaryAttributes(this, ranges);
    paintedRange_ = visible;
}

void SyntaxHighlighter::scheduleViewportFallback()
{
    TextView* editor = editor_;
    if (!model_ || !model_->resultWasTruncated() || !editor || !editor->textStorage() || !editor->layoutManager()) return;
    TextStorage& storage = *editor->textStorage();
    LayoutManager& layout = *editor->layoutManager();
    const qsizetype length = storage.length();
    if (length == 0) return;
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
    if (widened.isEmpty() || viewportCovers(visible) || viewportEditParsing_) return;

    cancelViewportParse();
    viewportCancellation_ = CancellationToken::make();
    const CancellationTokenPtr token = viewportCancellation_;
    const std::uint64_t generation = model_->generation();
    const std::uint64_t revision = model_->textRevision();
    const QString text = storage.substring(widened);
    const SyntaxLanguage language = model_->language();
    std::weak_ptr<Alive> weak = alive_;
    ++viewportParseCount_;

    viewportScheduled_ = WorkItem::make([weak, generation, revision, token, text, language, widened] {
        if (token->isCancelled()) return;
        SyntaxParser::Result result = SyntaxParser::parse(
            text, language, std::max<qint64>(SyntaxParser::maximumTokens(), viewportTokenFloor),
            [&token] { return token->isCancelled(); });
        if (token->isCancelled()) return;
        auto tokens = std::make_shared<std::vector<SyntaxTokenSpan>>(std::move(result.tokens));
        for (SyntaxTokenSpan& span : *tokens) span.range.location += widened.location;
        MainQueue::async([weak, generation, revision, token, tokens, widened] {
            std::shared_ptr<Alive> alive = weak.lock();
            if (!alive || !alive->self || !alive->self->model_) return;
            SyntaxHighlighter& self = *alive->self;
            if (!self.model_->isCurrent(*token, generation, revision)) return;
            self.viewportCancellation_.reset();
            self.viewportTokens_ = std::move(*tokens);
            self.viewportRange_ = widened;
            self.viewportGeneration_ = generation;
            self.viewportRevision_ = revision;
            self.viewportDirty_ = {};
            self.viewportPending_ = false;
            self.viewportText_.reset();
            self.applyVisibleTokens();
        });
    });
    SyntaxModel::queue().after(viewportDelayMs, viewportScheduled_);
}

void SyntaxHighlighter::charactersEdited(TextRange editedRange, qsizetype changeInLength)
{
    if (viewportRange_.isNotFound()) return;
    // What was left unchecked after an earlier edit is parsed again with this one.
    if (!viewportDirty_.any && viewportPending_)
        viewportDirty_.add(TextRange::fromBounds(viewportPendingFrom_, viewportRange_.end()), 0);
    viewportPending_ = false;
    viewportText_.reset();
    viewportDirty_.add(editedRange, changeInLength);
    // The model hears of the edit before the window asks it to parse: look once that is done, and
    // once the key's own paint is on its way.
    if (viewportEditCheckPosted_) return;
    viewportEditCheckPosted_ = true;
    std::weak_ptr<Alive> weak = alive_;
    MainQueue::after(editCheckDelayMs, [weak] {
        std::shared_ptr<Alive> alive = weak.lock();
        if (!alive || !alive->self) return;
        alive->self->viewportEditCheckPosted_ = false;
        alive->self->updateViewportAfterEdits();
    });
}

void SyntaxHighlighter::updateViewportAfterEdits()
{
    // Only while the model's tokens stop short of the edit (else its own parse follows), and for
    // edits inside the stretch the viewport's tokens stand for.
    const bool inside = model_ && model_->resultWasTruncated() && !viewportRange_.isNotFound() && viewportDirty_.any
                     && viewportDirty_.start >= viewportRange_.location && viewportDirty_.oldEnd() <= viewportRange_.end();
    if (inside) {
        startViewportEditParse(false);
    } else if (viewportEditParsing_) {
        // The one on its way is of an older text; the model's parse and the viewport's own follow.
        cancelViewportParse();
    }
}

void SyntaxHighlighter::startViewportEditParse(bool resume)
{
    TextView* editor = editor_;
    if (!model_ || !editor || !editor->textStorage()) return;
    cancelViewportParse();
    viewportCancellation_ = CancellationToken::make();
    viewportEditParsing_ = true;
    ++viewportEditParseCount_;
    const CancellationTokenPtr token = viewportCancellation_;
    const std::uint64_t revision = model_->textRevision();
    const SyntaxLanguage language = model_->language();
    // Like the viewport's own parse, the text of its window alone: no copy of a long text per key.
    const TextRange window = TextRange::fromBounds(
        viewportRange_.location, resume ? viewportRange_.end() : viewportDirty_.mapOld(viewportRange_.end()));
    std::shared_ptr<const QString> text = viewportTextRevision_ == revision ? viewportText_ : nullptr;
    if (!text) text = std::make_shared<const QString>(editor->textStorage()->substring(window));
    auto base = std::make_shared<SyntaxIncrementalParse::Result>();
    const qsizetype offset = window.location;
    base->tokens = viewportTokens_;
    base->coverage = TextRange(0, viewportRange_.length);
    base->pending = resume;
    base->pendingFrom = viewportPendingFrom_ - offset;
    base->convergeFrom = viewportConvergeFrom_ - offset;
    SyntaxIncrementalParse::Dirty dirty = viewportDirty_;
    dirty.start -= offset;
    dirty.end -= offset;
    std::weak_ptr<Alive> weak = alive_;

    SyntaxModel::queue().async([weak, token, revision, language, text, base, dirty, resume, offset] {
        if (token->isCancelled()) return;
        for (SyntaxTokenSpan& span : base->tokens) span.range.location -= offset;
        const auto cancelled = [&token] { return token->isCancelled(); };
        auto result = std::make_shared<SyntaxIncrementalParse::Result>(
            resume ? SyntaxIncrementalParse::resume(*text, language, *base, base->pendingFrom + editSliceUnits, cancelled)
                   : SyntaxIncrementalParse::afterEdits(*text, language, base->tokens, base->coverage, dirty,
                                                        dirty.end + editSliceUnits, cancelled));
        for (SyntaxTokenSpan& span : result->tokens) span.range.location += offset;
        result->coverage.location += offset;
        result->pendingFrom += offset;
        result->convergeFrom += offset;
        if (result->cancelled || token->isCancelled()) return;
        MainQueue::async([weak, token, revision, text, result] {
            std::shared_ptr<Alive> alive = weak.lock();
            if (!alive || !alive->self || !alive->self->model_) return;
            SyntaxHighlighter& self = *alive->self;
            if (token->isCancelled() || revision != self.model_->textRevision()) return;
            self.viewportCancellation_.reset();
            self.viewportEditParsing_ = false;
            self.viewportTokens_ = std::move(result->tokens);
            self.viewportRange_ = result->coverage;
            self.viewportRevision_ = revision;
            self.viewportGeneration_ = self.model_->generation();
            self.viewportDirty_ = {};
            self.viewportPending_ = result->pending;
            self.viewportPendingFrom_ = result->pendingFrom;
            self.viewportConvergeFrom_ = result->convergeFrom;
            self.viewportText_ = result->pending ? text : nullptr;
            self.viewportTextRevision_ = revision;
            self.applyVisibleTokens();
            // What lies past the checked part is checked a slice at a time, off the key's way.
            if (self.viewportPending_) self.startViewportEditParse(true);
            else if (self.model_->resultWasTruncated()) self.scheduleViewportFallback();
        });
    });
}

void SyntaxHighlighter::visibleRectChanged()
{
    // Scrolling sends many of these, some while an edit is still being delivered: look once, after.
    if (visibleRectCheckPending_) return;
    visibleRectCheckPending_ = true;
    std::weak_ptr<Alive> weak = alive_;
    MainQueue::async([weak] {
        std::shared_ptr<Alive> alive = weak.lock();
        if (!alive || !alive->self) return;
        SyntaxHighlighter& self = *alive->self;
        self.visibleRectCheckPending_ = false;
        // While a parse is pending the colours painted last stay.
        if (!self.model_ || !self.model_->hasCurrentTokens()) return;
        const TextRange visible = self.visibleCharacterRange(false);
        const bool painted = !self.paintedRange_.isEmpty() && self.paintedRange_.location <= visible.location
                          && self.paintedRange_.end() >= visible.end();
        if (!painted) self.applyVisibleTokens();
        if (self.model_->resultWasTruncated()) self.scheduleViewportFallback();
    });
}

void SyntaxHighlighter::goToOutlineEntry(int index)
{
    if (!model_ || !editor_) return;
    const std::vector<SyntaxOutlineEntry>& outline = model_->outline();
    if (index < 0 || index >= static_cast<int>(outline.size())) return;
    const SyntaxOutlineEntry& entry = outline[static_cast<size_t>(index)];
    editor_->setSelectedRange(TextRange{entry.range.location, 0});
    editor_->scrollRangeToVisible(entry.range);
    editor_->setFocus();
}

}  // namespace korimado
