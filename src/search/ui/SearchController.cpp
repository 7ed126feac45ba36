#include "search/ui/SearchController.h"

#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/documents/Document.h"
#include "platform/documents/DocumentController.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextChanges.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowFrameAutosave.h"
#include "search/ui/FindPanel.h"
#include "search/ui/BatchReplaceWindowController.h"
#include "search/engine/SearchDeadline.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"
#include "search/ui/FolderFindWindowController.h"
#include "search/ui/SearchResultsModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

#include <numeric>

namespace korimado {

namespace {

const char highlightTag = 0;

bool hasNewline(const QString& s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == 0x0A || u == 0x0B || u == 0x0C || u == 0x0D || u == 0x85 || u == 0x2028 || u == 0x2029) return true;
    }
    return false;
}

}  // namespace

SearchController::SearchController(EditorTextView* editor, KoriDocument* document, RootProvider rootURL)
    : editor_(editor), document_(document), rootURL_(std::move(rootURL)),
      queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".search"))))
{
    beep = [] { QApplication::beep(); };
    using Action = void (SearchController::*)(MenuItem*);
    static const Action actions[] = {
        &SearchController::showFind,         &SearchController::showReplace,
        &SearchController::findNext,         &SearchController::findPrevious,
        &SearchController::findAll,          &SearchController::selectAllMatches,
        &SearchController::useSelectionForFind, &SearchController::useSelectionForReplace,
        &SearchController::replace,          &SearchController::replaceAndFind,
        &SearchController::replaceAll,       &SearchController::showBatchReplace,
        &SearchController::showFolderFind,   &SearchController::highlightAll,
        &SearchController::clearHighlights,
    };
    const QStringList& names = actionNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Action action = actions[i];
        registerAction(names[i], [this, action](MenuItem* sender) { (this->*action)(sender); });
    }
    registerAction(QStringLiteral("cancel:"), [this](MenuItem* sender) { cancel(sender); });

    panel_ = new FindPanel;
    panelGuard_ = panel_;
    model_ = new SearchResultsModel(panel_);
    panel_->table->setModel(model_);
    panel_->table->setColumnWidth(0, 54);
    panel_->table->setColumnWidth(1, 90);
    panel_->table->setColumnWidth(2, 480);
    WindowFrameAutosave::setFrameAutosaveName(panel_, QStringLiteral("Korimado.search"));
    // Escape stops a running search first, and closes the panel when nothing runs.
    ToolWindow::closeOnEscape(panel_, [this] { cancel(nullptr); });

    FindPanel* p = panel_;
    QObject::connect(p->findField, &QLineEdit::textEdited, p, [this] { criteriaChanged(panel_->findField); });
    QObject::connect(p->replaceField, &QLineEdit::textEdited, p, [this] { criteriaChanged(panel_->replaceField); });
    QObject::connect(p->findField, &QLineEdit::returnPressed, p, [this] { findNext(nullptr); });
    QObject::connect(p->replaceField, &QLineEdit::returnPressed, p, [this] { replaceAndFind(nullptr); });
    QObject::connect(p->modePicker, &QComboBox::currentIndexChanged, p, [this] { criteriaChanged(panel_->modePicker); });
    for (QCheckBox* box : {p->matchCase, p->wholeWord, p->selectionOnly, p->wraps, p->ignoreDiacritics, p->ignoreWidth,
                           p->literalComparison, p->unicodeBoundaries, p->multiline, p->singleLine,
                           p->unescapeReplacement}) {
        QObject::connect(box, &QCheckBox::clicked, p, [this, box] { criteriaChanged(box); });
    }
    for (const auto& [action, button] : p->buttons) {
        const QString name = action;
        QObject::connect(button, &QPushButton::clicked, p, [this, name] { perform(name, nullptr); });
    }
    QObject::connect(p, &FindPanel::defaultActionRequested, p, [this] { findNext(nullptr); });
    QObject::connect(p, &FindPanel::closed, p, [this] { invalidateOperation(); });
    QObject::connect(p->table->selectionModel(), &QItemSelectionModel::currentRowChanged, p,
                     [this] { openSelectedResult(); });
    QObject::connect(p->table, &QTableView::doubleClicked, p, [this] { openSelectedResult(); });
    criteriaChanged(nullptr);
    observeStorage();
}

SearchController::~SearchController()
{
    if (token_) token_->cancel();
    if (auto storage = observedStorage_.lock()) storage->removeObserver(observerToken_);
    if (editor_ && editor_->layoutManager()) editor_->layoutManager()->removeTemporaryAttributes(highlightOwner());
    if (panelGuard_) delete panel_;
    if (folderGuard_) delete folderController_;
    if (batchGuard_) delete batchController_;
}

const QStringList& SearchController::actionNames()
{
    static const QStringList names{
        QStringLiteral("showFind:"),         QStringLiteral("showReplace:"),
        QStringLiteral("findNext:"),         QStringLiteral("findPrevious:"),
        QStringLiteral("findAll:"),          QStringLiteral("selectAllMatches:"),
        QStringLiteral("useSelectionForFind:"), QStringLiteral("useSelectionForReplace:"),
        QStringLiteral("replace:"),          QStringLiteral("replaceAndFind:"),
        QStringLiteral("replaceAll:"),       QStringLiteral("showBatchReplace:"),
        QStringLiteral("showFolderFind:"),   QStringLiteral("highlightAll:"),
        QStringLiteral("clearHighlights:"),
    };
    return names;
}

const void* SearchController::highlightOwner()
{
    return &highlightTag;
}

QColor SearchController::highlightColor()
{
    return QColor(255, 204, 0, 115);  // yellow at 0.45
}

EditorTextView* SearchController::editor() const
{
    return editor_;
}

KoriDocument* SearchController::document() const
{
    return document_;
}

QString SearchController::status() const
{
    return panelGuard_ ? panel_->status->text() : QString();
}

void SearchController::setStatus(const QString& text)
{
    if (panelGuard_) panel_->status->setText(text);
}

// MARK: - The request

SearchRequest SearchController::currentRequest() const
{
    const FindPanel& p = *panel_;
    SearchRequest request;
    request.pattern = p.findField->text();
    request.replacement = p.replaceField->text();
    SearchOptions& o = request.options;
    o.mode = p.modePicker->currentIndex() == 1 ? SearchMode::regularExpression : SearchMode::text;
    o.caseSensitive = p.matchCase->isChecked();
    o.wholeWord = p.wholeWord->isChecked();
    o.wraps = p.wraps->isChecked();
    o.dotMatchesNewline = p.singleLine->isChecked();
    o.ignoresDiacriticMarks = p.ignoreDiacritics->isChecked();
    o.ignoresWidth = p.ignoreWidth->isChecked();
    o.isLiteralSearch = p.literalComparison->isChecked();
    o.isMultiline = p.multiline->isChecked();
    o.unescapesReplacementString = p.unescapeReplacement->isChecked();
    o.usesUnicodeBoundaries = p.unicodeBoundaries->isChecked();
    if (p.selectionOnly->isChecked()) {
        if (selectionScope_) {
            request.scope = *selectionScope_;
        } else if (editor_ && !editor_->selectedRange().isNotFound() && editor_->selectedRange().length > 0) {
            request.scope = editor_->selectedRange();
        } else {
            request.pattern.clear();  // nothing to search in: find nothing
        }
    }
    if (document_) request.lineEnding = document_->format().lineEnding;
    return request;
}

std::optional<QString> SearchController::selectedText() const
{
    if (!editor_) return std::nullopt;
    const TextRange r = editor_->selectedRange();
    if (r.isNotFound() || r.location < 0 || r.end() > editor_->textLength()) return std::nullopt;
    return editor_->textStorage()->substring(r);
}

// MARK: - Showing the panel

void SearchController::showFind(MenuItem*)
{
    if (panel_->findField->text().isEmpty()) {
        const std::optional<QString> text = selectedText();
        if (text && !text->isEmpty() && text->size() <= 2000 && !hasNewline(*text)) panel_->findField->setText(*text);
    }
    showPanel(panel_->findField);
}

void SearchController::showReplace(MenuItem*)
{
    if (panel_->findField->text().isEmpty()) {
        const std::optional<QString> text = selectedText();
        if (text && !text->isEmpty() && text->size() <= 2000 && !hasNewline(*text)) panel_->findField->setText(*text);
    }
    showPanel(panel_->replaceField);
}

void SearchController::useSelectionForFind(MenuItem*)
{
    const std::optional<QString> text = selectedText();
    if (!text || text->isEmpty()) return;
    panel_->findField->setText(*text);
    showPanel(panel_->findField);
}

void SearchController::useSelectionForReplace(MenuItem*)
{
    const std::optional<QString> text = selectedText();
    if (!text) return;
    panel_->replaceField->setText(*text);
    showPanel(panel_->replaceField);
}

void SearchController::showPanel(QObject* field)
{
    QWidget* window = editor_ ? editor_->window() : nullptr;
    ToolWindow::present(panel_, window != editor_.data() ? window : nullptr, ToolWindow::Lifetime::withOwner,
                        ToolWindow::Placement::centred);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
    criteriaChanged(nullptr);
}

void SearchController::criteriaChanged(QObject* sender)
{
    FindPanel* p = panel_;
    if (sender == p->selectionOnly) {
        const TextRange selection = editor_ ? editor_->selectedRange() : TextRange(TextRange::NotFound, 0);
        if (p->selectionOnly->isChecked() && !selection.isNotFound() && selection.length > 0) {
            selectionScope_ = selection;
        } else {
            selectionScope_.reset();
        }
    }
    const bool text = p->modePicker->currentIndex() == 0;
    for (QCheckBox* box : {p->literalComparison, p->ignoreDiacritics, p->ignoreWidth}) box->setEnabled(text);
    for (QCheckBox* box : {p->multiline, p->singleLine, p->unescapeReplacement}) box->setEnabled(!text);
    invalidateOperation();
    if (!p->isVisible()) return;
    const std::uint64_t generation = ++generation_;
    ResponderRef self(this);
    MainQueue::after(liveSearchDelayMs, [this, self, generation] {
        if (!self.get() || !editor_ || !document_ || generation_ != generation) return;
        runSearch(Purpose::list);
    });
}

// MARK: - Operations

void SearchController::invalidateOperation()
{
    if (token_) {
        token_->cancel();
        token_.reset();
    }
    ++generation_;
}

std::optional<SearchController::Snapshot> SearchController::snapshot() const
{
    if (!editor_ || !document_) return std::nullopt;
    const std::uint64_t revision = document_->revision();
    if (flatRevision_ == revision)
        return Snapshot{TextSnapshot(), flatText_, revision, currentRequest(), editor_->selectedRange(), true};
    return Snapshot{document_->storage().snapshot(), QString(), revision, currentRequest(), editor_->selectedRange()};
}

bool SearchController::isCurrent(const Snapshot& snapshot)
{
    if (document_ && document_->revision() == snapshot.revision) {
        if (snapshot.flattened) {
            flatText_ = snapshot.text;
            flatRevision_ = snapshot.revision;
        }
        return true;
    }
    flatText_.clear();
    flatRevision_.reset();
    token_.reset();
    setStatus(staleMessage);
    return false;
}

void SearchController::present(const Failure& failure)
{
    if (failure.cancelled) return;
    setStatus(failure.description);
    if (beep) beep();
}

template <typename Result>
void SearchController::beginOperation(const QString& statusText,
                                      std::function<Result(const SearchCancellationToken&)> work,
                                      std::function<void(std::optional<Result>, const Failure&)> completion)
{
    invalidateOperation();
    const std::uint64_t generation = ++generation_;
    SearchCancellationTokenPtr token = SearchCancellationToken::make();
    token_ = token;
    setStatus(statusText);
    ResponderRef self(this);
    // One expression may backtrack for minutes: the search ends by itself at the limit, as if the
    // user had cancelled it, and says why.
    auto deadline = std::make_shared<SearchDeadline>(SearchDeadline::limitMilliseconds, token);
    queue_->async([this, self, generation, token, deadline, work = std::move(work), completion = std::move(completion)] {
        std::optional<Result> result;
        Failure failure;
        bool timedOut = false;
        try {
            result = work(*token);
        } catch (const SearchEngineError& error) {
            timedOut = error.kind() == SearchEngineError::Kind::cancelled && deadline->expired();
            failure.cancelled = error.kind() == SearchEngineError::Kind::cancelled && !timedOut;
            failure.description = timedOut ? deadline->expiredDescription() : error.errorDescription();
        } catch (const std::exception& error) {
            failure.description = QString::fromUtf8(error.what());
        }
        MainQueue::async([this, self, generation, token, timedOut, completion, result = std::move(result), failure] {
            if (!self.get() || generation_ != generation || (token->isCancelled() && !timedOut)) return;
            token_.reset();
            completion(result, failure);
        });
    });
}

void SearchController::removeHighlightLayer()
{
    if (editor_ && editor_->layoutManager()) editor_->layoutManager()->removeTemporaryAttributes(highlightOwner());
}

void SearchController::findAll(MenuItem*) { runSearch(Purpose::list); }
void SearchController::selectAllMatches(MenuItem*) { runSearch(Purpose::selectAll); }
void SearchController::highlightAll(MenuItem*) { runSearch(Purpose::highlight); }
void SearchController::findNext(MenuItem*) { runNavigation(SearchDirection::forward); }
void SearchController::findPrevious(MenuItem*) { runNavigation(SearchDirection::backward); }
void SearchController::replace(MenuItem*) { replaceSelection(false); }
void SearchController::replaceAndFind(MenuItem*) { replaceSelection(true); }

void SearchController::clearHighlights(MenuItem*)
{
    if (!editor_ || !editor_->layoutManager()) return;
    removeHighlightLayer();
    setStatus(QStringLiteral("検索の強調表示を解除しました。"));
}

void SearchController::runSearch(Purpose purpose)
{
    std::optional<Snapshot> snap = snapshot();
    if (!snap) return;
    removeHighlightLayer();
    auto shared = std::make_shared<Snapshot>(std::move(*snap));
    beginOperation<SearchResultSet>(
        QStringLiteral("検索中…"),
        [shared](const SearchCancellationToken& token) {
            shared->flatten();
            return SearchEngine::findAll(shared->text, shared->request, shared->revision, &token);
        },
        [this, shared, purpose](std::optional<SearchResultSet> result, const Failure& failure) {
            if (!isCurrent(*shared)) return;
            if (!result) return present(failure);
            lastResults_ = std::move(result);
            model_->set(lastResults_, shared->text);
            const QList<SearchMatch>& matches = lastResults_->matches;
            setStatus(QString::number(matches.size()) + QStringLiteral("件（")
                      + QString::asprintf("%.1f", lastResults_->elapsedMilliseconds) + QStringLiteral("ミリ秒）"));
            if (purpose == Purpose::selectAll) {
                if (matches.isEmpty() || !editor_) {
                    setStatus(noMatchMessage);
                    return;
                }
                std::vector<TextRange> ranges;
                ranges.reserve(size_t(matches.size()));
                for (const SearchMatch& m : matches) ranges.push_back(m.range);
                editor_->setEditingSelections(ranges, false);
                editor_->scrollRangeToVisible(matches.first().range);
            } else if (purpose == Purpose::highlight) {
                if (!editor_ || !editor_->layoutManager()) return;
                if (matches.isEmpty()) {
                    setStatus(noMatchMessage);
                    return;
                }
                removeHighlightLayer();
                std::vector<TemporaryAttributeRange> ranges;
                ranges.reserve(size_t(matches.size()));
                TemporaryAttributes colour;
                colour.background = highlightColor();
                for (const SearchMatch& m : matches) {
                    if (m.range.length > 0) ranges.push_back({m.range, colour});
                }
                editor_->layoutManager()->addTemporaryAttributes(highlightOwner(), ranges);
                setStatus(QString::number(matches.size()) + QStringLiteral("件を強調表示しました。"));
            }
        });
}

void SearchController::runNavigation(SearchDirection direction)
{
    std::optional<Snapshot> snap = snapshot();
    if (!snap) return;
    auto shared = std::make_shared<Snapshot>(std::move(*snap));
    using Result = std::optional<SearchNavigationResult>;
    beginOperation<Result>(
        direction == SearchDirection::forward ? QStringLiteral("次を検索中…") : QStringLiteral("前を検索中…"),
        [shared, direction](const SearchCancellationToken& token) {
            shared->flatten();
            const SearchResultSet set = SearchEngine::findAll(shared->text, shared->request, shared->revision, &token);
            return SearchNavigation::navigate(set.matches, shared->selection, shared->text.size(), direction,
                                              shared->request.options.wraps);
        },
        [this, shared](std::optional<Result> result, const Failure& failure) {
            if (!isCurrent(*shared)) return;
            if (!result) return present(failure);
            if (!*result) return setStatus(noMatchMessage);
            const SearchNavigationResult& found = **result;
            selectAndReveal(found.match.range);
            setStatus(QString::number(found.index + 1) + QLatin1Char('/') + QString::number(found.total)
                      + QStringLiteral("件") + (found.wrapped ? QStringLiteral("、折り返し") : QString()));
        });
}

void SearchController::replaceSelection(bool andFind)
{
    std::optional<Snapshot> snap = snapshot();
    if (!snap) return;
    auto shared = std::make_shared<Snapshot>(std::move(*snap));
    using Result = std::optional<SearchNavigation::ReplaceTarget>;
    beginOperation<Result>(
        QStringLiteral("置換箇所を確認中…"),
        [shared](const SearchCancellationToken& token) {
            shared->flatten();
            const SearchResultSet set = SearchEngine::findAll(shared->text, shared->request, shared->revision, &token);
            return SearchNavigation::replaceTarget(set.matches, shared->selection, shared->text.size(),
                                                   shared->request.options.wraps);
        },
        [this, shared, andFind](std::optional<Result> result, const Failure& failure) {
            if (!isCurrent(*shared)) return;
            if (!result) return present(failure);
            if (!*result) return setStatus(noMatchMessage);
            const SearchNavigation::ReplaceTarget& target = **result;
            const SearchMatch& match = target.result.match;
            if (!target.isSelection) {
                selectAndReveal(match.range);
                setStatus(QStringLiteral("置換する一致箇所を選択しました。もう一度実行してください。"));
                return;
            }
            QString replacement = SearchEngine::expandedReplacement(shared->request.replacement, match, shared->text,
                                                                    shared->request.options);
            if (shared->request.lineEnding) replacement = shared->request.lineEnding->replacing(replacement);
            if (!applyEdits({match.range}, {replacement}, TextRange(match.range.location, replacement.size()),
                            QStringLiteral("置換"))) {
                return;
            }
            setStatus(QStringLiteral("1件を置換しました。"));
            if (andFind) {
                ResponderRef self(this);
                MainQueue::async([this, self] {
                    if (self.get()) runNavigation(SearchDirection::forward);
                });
            }
        });
}

void SearchController::replaceAll(MenuItem*)
{
    std::optional<Snapshot> snap = snapshot();
    if (!snap) return;
    auto shared = std::make_shared<Snapshot>(std::move(*snap));
    // The replacements that change something, and how many matched.
    struct Replacements {
        QVector<TextRange> ranges;
        QStringList strings;
        qsizetype matchCount = 0;
    };
    beginOperation<Replacements>(
        QStringLiteral("置換箇所を計算中…"),
        [shared](const SearchCancellationToken& token) {
            shared->flatten();
            const SearchReplacementResult result = SearchEngine::replacingAll(shared->text, shared->request, &token);
            Replacements out;
            out.matchCount = result.matchCount;
            for (const SearchReplacement& edit : result.edits) {
                if (QStringView(shared->text).mid(edit.originalRange.location, edit.originalRange.length) == edit.replacement)
                    continue;
                out.ranges.append(edit.originalRange);
                out.strings.append(edit.replacement);
            }
            return out;
        },
        [this, shared](std::optional<Replacements> result, const Failure& failure) {
            if (!isCurrent(*shared)) return;
            if (!result) return present(failure);
            if (!editor_) return;
            if (result->matchCount < 1) return setStatus(noMatchMessage);
            const QString count = QString::number(result->matchCount);
            if (result->ranges.isEmpty()) return setStatus(SearchStatusText::matchedUnchanged(count));
            // The selection follows the text as every other position does.
            std::vector<TextChange> pieces;
            pieces.reserve(size_t(result->ranges.size()));
            for (qsizetype i = 0; i < result->ranges.size(); ++i)
                pieces.push_back({result->ranges[i].location, result->ranges[i].length, result->strings[i].size()});
            const TextChanges changes(std::move(pieces));
            const TextRange before = shared->selection;
            const qsizetype start = changes.mapPosition(before.location, InsertionBias::After);
            const qsizetype end = std::max(start, changes.mapPosition(before.end()));
            if (!applyEdits(result->ranges, result->strings, TextRange::fromBounds(start, end), QStringLiteral("すべて置換")))
                return;
            setStatus(count + QStringLiteral("件を置換しました。"));
            lastResults_.reset();
            model_->set(std::nullopt, QString());
        });
}

bool SearchController::applyEdits(const QVector<TextRange>& ranges, const QStringList& strings, TextRange selection,
                                  const QString& actionName)
{
    if (!editor_ || !document_ || !editor_->isEditable()) {
        setStatus(notEditableMessage);
        return false;
    }
    const qsizetype delta = std::accumulate(strings.begin(), strings.end(), qsizetype(0),
                                            [](qsizetype sum, const QString& s) { return sum + s.size(); })
                          - std::accumulate(ranges.begin(), ranges.end(), qsizetype(0),
                                            [](qsizetype sum, TextRange r) { return sum + r.length; });
    const TextRange after = selection.clamped(document_->storage().length() + delta);
    ownEdit_ = true;
    const TextEditing::Outcome outcome = TextEditing::replace(document_->storage(), ranges, strings, actionName,
                                                              QVector<TextRange>{after}, editor_->editInitiator());
    ownEdit_ = false;
    // A change the view did not approve leaves the text as it was: say so, never "done".
    if (outcome != TextEditing::Outcome::replaced) {
        setStatus(outcome == TextEditing::Outcome::notEditable ? notEditableMessage : refusedMessage);
        return false;
    }
    if (!editor_) return false;
    editor_->scrollRangeToVisible(editor_->selectedRange());
    return true;
}

void SearchController::selectAndReveal(TextRange range)
{
    if (!editor_) return;
    editor_->setSelectedRange(range);
    editor_->scrollRangeToVisible(range);
    editor_->setFocus(Qt::OtherFocusReason);
}

void SearchController::openSelectedResult()
{
    const QModelIndex current = panel_->table->currentIndex();
    if (!current.isValid() || !lastResults_ || !document_ || lastResults_->revision != document_->revision()) return;
    if (current.row() >= lastResults_->matches.size()) return;
    selectAndReveal(lastResults_->matches[current.row()].range);
}

void SearchController::cancel(MenuItem*)
{
    if (token_) {
        invalidateOperation();
        setStatus(SearchEngineError::cancelled().errorDescription());
    } else {
        panel_->hide();
    }
}

// MARK: - Other windows

void SearchController::showBatchReplace(MenuItem*)
{
    if (!editor_ || !document_) return;
    if (!batchGuard_) {
        batchController_ = new BatchReplaceWindowController(editor_, document_);
        batchGuard_ = batchController_;
    }
    QWidget* window = editor_->window();
    batchController_->showWindow(window != editor_.data() ? window : nullptr);
}

BatchReplaceWindowController* SearchController::batchController() const
{
    return batchGuard_ ? batchController_ : nullptr;
}

FolderFindWindowController* SearchController::folderController() const
{
    return folderGuard_ ? folderController_ : nullptr;
}

void SearchController::showFolderFind(MenuItem*)
{
    if (!editor_) return;
    if (!folderGuard_) {
        folderController_ = new FolderFindWindowController(rootURL(), currentRequest(), [] {
            QSet<QString> urls;
            if (DocumentController* controller = DocumentController::shared()) {
                for (Document* document : controller->documents()) {
                    if (!document->fileURL().isEmpty()) urls.insert(standardizedPath(document->fileURL()));
                }
            }
            return urls;
        });
        folderGuard_ = folderController_;
        ToolWindow::closeOnEscape(folderController_);
    }
    QWidget* window = editor_->window();
    ToolWindow::present(folderController_, window != editor_.data() ? window : nullptr, ToolWindow::Lifetime::withOwner);
}

// MARK: - The scope follows the text

void SearchController::observeStorage()
{
    if (!document_) return;
    std::shared_ptr<TextStorage> storage = document_->sharedStorage();
    observedStorage_ = storage;
    ResponderRef self(this);
    observerToken_ = storage->addObserver([this, self](TextStorage&, const TextStorageEdit& edit) {
        if (!self.get() || !edit.editedCharacters()) return;
        storageEdited(edit);
    });
}

// The scope moves with edits before it, grows or shrinks with edits inside it (the panel's own
// insertion at its very end included), and cannot survive an edit across one of its ends.
void SearchController::storageEdited(const TextStorageEdit& edit)
{
    if (!selectionScope_) return;
    const TextRange scope = *selectionScope_;
    if (edit.replaces(scope.location) || edit.replaces(scope.end())) {
        selectionScope_.reset();
        setStatus(scopeDroppedMessage);
        return;
    }
    const qsizetype start = edit.mapPosition(scope.location, InsertionBias::After);
    const qsizetype end = edit.mapPosition(scope.end(), ownEdit_ ? InsertionBias::After : InsertionBias::Before);
    selectionScope_ = TextRange::fromBounds(start, std::max(start, end));
}

}  // namespace korimado
