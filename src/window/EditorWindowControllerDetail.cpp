// The detail pane, the status-line counts, the preview schedule and the whole-document commands.
#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "document/CodecError.h"
#include "document/DocumentInspection.h"
#include "document/KoriDocument.h"
#include "document/LineEnding.h"
#include "editor/EditorView.h"
#include "editor/LineNumberRuler.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/ui/MenuModel.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "preview/HTMLPreview.h"
#include "preview/LocalTokenizer.h"
#include "preview/Markdown.h"
#include "preview/TextMetrics.h"
#include "preview/TextStatisticsEngine.h"
#include "search/SearchCancellationToken.h"
#include "settings/EditorSettingsSnapshot.h"
#include "syntax/SyntaxHighlighter.h"
#include "window/SegmentedControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTextBoundaryFinder>
#include <QWebEngineView>

namespace korimado {

namespace {

// The preview is paused above this length, and slowed above the first.
constexpr qsizetype slowPreviewLength = 200'000;
constexpr qsizetype maximumPreviewLength = 2'000'000;
constexpr qsizetype slowStatisticsLength = 200'001;

bool isLineBreak(char32_t c)
{
    return c == 0x0A || c == 0x0D || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Characters (grapheme clusters) of text, leaving out white space and line breaks unless asked.
qint64 filteredCount(const QString& text, bool spaces, bool newlines)
{
    if (spaces && newlines) return DocumentInspection::characterCount(text);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qint64 count = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = finder.toNextBoundary();
        if (end < 0) end = text.size();
        const QString cluster = text.mid(start, end - start);
        bool allBreaks = true;
        bool white = true;
        for (const char32_t c : cluster.toUcs4()) {
            allBreaks = allBreaks && isLineBreak(c);
            white = white && QChar::isSpace(c);
        }
        if (allBreaks ? newlines : (spaces || !white)) ++count;
        start = end;
    }
    return count;
}

QString countText(const QString& text, TextRange selection, const DocumentInspection& inspection, bool spaces,
                  bool newlines)
{
    const qsizetype location = std::min<qsizetype>(selection.location, text.size());
    const qsizetype length = std::min<qsizetype>(selection.length, text.size() - location);
    const QString selected = text.mid(location, length);
    return QStringLiteral("全文：") + QString::number(filteredCount(text, spaces, newlines))
           + QStringLiteral("文字\n選択範囲：") + QString::number(filteredCount(selected, spaces, newlines))
           + QStringLiteral("文字\n\n行数：") + QString::number(inspection.lines) + QStringLiteral("\n単語数：")
           + QString::number(inspection.words) + QStringLiteral("\nUnicodeスカラー：")
           + QString::number(text.toUcs4().size()) + QStringLiteral("\nUTF-16単位：")
           + QString::number(inspection.utf16Units) + QStringLiteral("\n保存サイズ：")
           + (inspection.encodedBytes ? QString::number(*inspection.encodedBytes) : QStringLiteral("保存不可"))
           + QStringLiteral("バイト");
}

}  // namespace

// MARK: - Actions

void EditorWindowController::registerActions()
{
    using Action = void (EditorWindowController::*)(MenuItem*);
    const std::pair<const char*, Action> actions[] = {
        {"showEdit:", &EditorWindowController::showEdit},
        {"showSplit:", &EditorWindowController::showSplit},
        {"showPreview:", &EditorWindowController::showPreview},
        {"openSplitTextView:", &EditorWindowController::openSplitTextView},
        {"closeSplitTextView:", &EditorWindowController::closeSplitTextView},
        {"toggleSplitOrientation:", &EditorWindowController::toggleSplitOrientation},
        {"focusNextEditor:", &EditorWindowController::focusNextEditor},
        {"toggleNavigationBar:", &EditorWindowController::toggleNavigationBar},
        {"toggleFileTree:", &EditorWindowController::toggleFileTree},
        {"openFolder:", &EditorWindowController::openFolder},
        {"showFileBrowser:", &EditorWindowController::showFileBrowser},
        {"showSettings:", &EditorWindowController::showSettings},
        {"showDocumentInspector:", &EditorWindowController::showDocumentInspector},
        {"showOutlineInspector:", &EditorWindowController::showOutlineInspector},
        {"showWarningsInspector:", &EditorWindowController::showWarningsInspector},
        {"showAdvancedCounter:", &EditorWindowController::showAdvancedCounter},
        {"toggleInspector:", &EditorWindowController::toggleInspector},
        {"undo:", &EditorWindowController::undo},
        {"redo:", &EditorWindowController::redo},
        {"inputBackSlash:", &EditorWindowController::inputBackSlash},
        {"inputYenMark:", &EditorWindowController::inputYenMark},
    };
    for (const auto& [name, action] : actions) {
        registerAction(QString::fromLatin1(name), [this, action = action](MenuItem* sender) { (this->*action)(sender); });
    }
    registerAction(QStringLiteral("toggleWrap:"), [this](MenuItem*) {
        toolbarWrap->setChecked(!toolbarWrap->isChecked());
        toggleWrap(toolbarWrap->isChecked());
    });
    registerAction(QStringLiteral("changeDocumentSyntax:"), [this](MenuItem* sender) {
        if (sender && sender->representedObject().typeId() == QMetaType::QString) {
            changeDocumentSyntax(sender->representedObject().toString());
        }
    });
    registerAction(QStringLiteral("previousOutline:"), [this](MenuItem*) { navigateOutline(false); });
    registerAction(QStringLiteral("nextOutline:"), [this](MenuItem*) { navigateOutline(true); });
    registerAction(QStringLiteral("openOutlineMenu:"), [this](MenuItem*) { openOutlineMenu(); });
}

std::optional<bool> EditorWindowController::validate(MenuItem& item)
{
    UndoManager* undo = model ? model->undoManager() : nullptr;
    if (item.action() == QLatin1String("undo:")) return undo && undo->canUndo();
    if (item.action() == QLatin1String("redo:")) return undo && undo->canRedo();
    return Responder::validate(item);
}

// MARK: - Detail pane

bool EditorWindowController::isSVG() const
{
    return QFileInfo(model->fileURL()).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
}

bool EditorWindowController::isHTML() const
{
    const QString suffix = QFileInfo(model->fileURL()).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm");
}

void EditorWindowController::detailChanged(int)
{
    updateDetailVisibility();
}

void EditorWindowController::setDetailSegment(int segment)
{
    setMode(Mode::split);
    detailPicker->setSelectedSegment(segment);
    updateDetailVisibility();
}

void EditorWindowController::showDocumentInspector(MenuItem*) { setDetailSegment(1); }
void EditorWindowController::showOutlineInspector(MenuItem*) { setDetailSegment(2); }
void EditorWindowController::showWarningsInspector(MenuItem*) { setDetailSegment(3); }
void EditorWindowController::showAdvancedCounter(MenuItem*) { setDetailSegment(4); }

void EditorWindowController::toggleInspector(MenuItem*)
{
    if (mode != Mode::edit && detailPicker->selectedSegment() > 0) {
        setMode(Mode::edit);
    } else {
        setDetailSegment(1);
    }
}

void EditorWindowController::updateDetailVisibility()
{
    const int s = detailPicker->selectedSegment();
    const bool shown = mode != Mode::edit;
    if (s != 0) {
        if (previewWork) previewWork->cancel();
        ++renderToken;
    }
    web->setHidden(!(s == 0 && shown));
    playerBar->setHidden(!(s == 0 && isSVG()));
    inspectionScroll->setHidden(!(shown && (s == 1 || s == 3 || s == 4)));
    outlineScroll->setHidden(!(shown && s == 2));
    countOptions->setHidden(!(shown && s == 4));
    inspectionTop = s == 4 ? 72 : 34;
    layoutPreviewPane();
    if (s == 2) {
        reloadOutlineTable();
    } else if (s == 0) {
        schedulePreview(true);
    } else {
        refreshInspection();
    }
}

void EditorWindowController::refreshInspection()
{
    const int segment = detailPicker->selectedSegment();
    if (mode == Mode::edit || (segment != 1 && segment != 3 && segment != 4)) return;
    const std::uint64_t generation = ++inspectionGeneration;
    if (inspectionWork) inspectionWork->cancel();
    if (inspectionCancellation) inspectionCancellation->cancel();
    auto token = std::make_shared<SearchCancellationToken>();
    inspectionCancellation = token;
    inspectionText->setPlainText(QStringLiteral("集計中…"));

    QPointer<EditorWindowController> weak(this);
    inspectionWork = WorkItem::make([weak, token, generation, segment] {
        if (!weak || token->isCancelled()) return;
        const QString text = weak->model->string();
        const TextRange selection = weak->activeEditor()->selectedRange();
        const TextFormat format = weak->model->format();
        std::optional<QString> path;
        if (!weak->model->fileURL().isEmpty()) path = weak->model->fileURL();
        const bool spaces = weak->countSpaces->isChecked();
        const bool newlines = weak->countNewlines->isChecked();
        // User defaults belong to the main thread: read the setting here, not on the queue.
        const qint64 pageGuideColumn = EditorSettingsSnapshot(UserDefaults::standard()).pageGuideColumn;
        weak->inspectionQueue->async([weak, token, generation, segment, text, selection, format, path, spaces,
                                      newlines, pageGuideColumn] {
            if (token->isCancelled()) return;
            const DocumentInspection inspection =
                DocumentInspection::inspect(text, selection, format, path, pageGuideColumn);
            const QString shown = segment == 1   ? inspection.informationText()
                                  : segment == 3 ? inspection.warningsText()
                                                 : countText(text, selection, inspection, spaces, newlines);
            MainQueue::async([weak, token, generation, shown] {
                if (!weak || token->isCancelled() || weak->inspectionGeneration != generation) return;
                weak->inspectionText->setPlainText(shown);
            });
        });
    });
    MainQueue::after(200, inspectionWork);
}

// MARK: - Status-line counts

void EditorWindowController::tokenModeChanged(int)
{
    scheduleStatistics();
}

void EditorWindowController::scheduleStatistics()
{
    const TextRange selection = activeEditor()->selectedRange();
    if (selection.location == TextRange::NotFound) return;
    const TokenEncoding encoding = tokenEncodingAt(std::max(tokenPicker->currentIndex(), 0));
    const StatisticsKey key{model->revision(), selection, model->format(), encoding};
    if (statisticsKey && *statisticsKey == key) return;
    statisticsKey = key;
    if (statisticsWork) statisticsWork->cancel();
    statistics->invalidate();

    const LineIndex& lines = *model->lines();
    const qsizetype length = model->storage().length();
    qsizetype lineCount = 0;
    if (length > 0) {
        lineCount = lines.lineCount();
        if (lines.starts().back() == length) --lineCount;
    }
    const qsizetype currentLine = lines.line(selection.location) + 1;
    QString lineText = QStringLiteral("行: ") + QString::number(lineCount);
    if (selection.length > 0) {
        const qsizetype end = selection.location + selection.length;
        const qsizetype endLine = lines.line(end);
        qsizetype selected = endLine - lines.line(selection.location);
        if (lines.start(endLine) != end) ++selected;
        lineText += QStringLiteral(" (") + QString::number(std::max<qsizetype>(selected, 1)) + QStringLiteral(")");
    }
    const QString lineSuffix = QStringLiteral("   行: ") + QString::number(currentLine);
    status->setText(lineText + QStringLiteral("   文字: 計数中…") + lineSuffix);
    tokenStatus->setText(encoding == TokenEncoding::off ? QString() : QStringLiteral("トークン: 計数中…"));

    const bool cached = statisticsText && statisticsText->first == key.revision;
    const int delay = length < slowStatisticsLength || cached ? 80 : 400;
    QPointer<EditorWindowController> weak(this);
    statisticsWork = WorkItem::make([weak, key, lineText, lineSuffix] {
        if (!weak || !weak->statisticsKey || !(*weak->statisticsKey == key)) return;
        if (!weak->statisticsText || weak->statisticsText->first != key.revision) {
            weak->statisticsText = std::make_pair(key.revision, weak->model->string());
        }
        const bool selected = key.selection.length > 0;
        weak->statistics->request(
            weak->statisticsText->second, key.revision, key.selection, key.format, key.encoding,
            [weak, key, lineText, lineSuffix, selected](const TextMetrics& metrics) {
                if (!weak || !weak->statisticsKey || !(*weak->statisticsKey == key)) return;
                QString text = lineText + QStringLiteral("   文字: ") + QString::number(metrics.characters);
                if (selected) text += QStringLiteral(" (") + QString::number(metrics.selectedCharacters) + QStringLiteral(")");
                text += QStringLiteral("   位置: ") + QString::number(metrics.position) + lineSuffix;
                weak->status->setText(text);
                weak->byteStatus->setText(metrics.bytes ? QString::number(*metrics.bytes) + QStringLiteral(" バイト")
                                                        : QStringLiteral("保存不可"));
            },
            [weak, key, selected](const TokenCountResult& result) {
                if (!weak || !weak->statisticsKey || !(*weak->statisticsKey == key)) return;
                QString text;
                if (result.count) {
                    text = QStringLiteral("トークン: ") + QString::number(*result.count)
                           + (selected ? QStringLiteral("（選択）") : QStringLiteral("（全文）"));
                } else if (result.error == CountingError::resourceLimit) {
                    text = QStringLiteral("トークン: 長大な文字列のため保留");
                } else {
                    text = QStringLiteral("トークン: 計数できません");
                }
                weak->tokenStatus->setText(text);
            });
    });
    MainQueue::after(delay, statisticsWork);
}

// MARK: - Preview

void EditorWindowController::schedulePreview(bool immediate)
{
    if (closed_ || mode == Mode::edit || detailPicker->selectedSegment() != 0) return;
    if (previewWork) previewWork->cancel();
    const qsizetype length = model->storage().length();
    if (length > maximumPreviewLength) return;
    const int delay = immediate ? 0 : length > slowPreviewLength ? 800 : 300;
    QPointer<EditorWindowController> weak(this);
    previewWork = WorkItem::make([weak] {
        if (!weak) return;
        const std::uint64_t token = ++weak->renderToken;
        const std::uint64_t revision = weak->model->revision();
        const QString text = weak->model->string();
        const bool html = weak->isHTML() || weak->isSVG();
        weak->rendering = true;
        weak->renderQueue->async([weak, token, revision, text, html] {
            QElapsedTimer timer;
            timer.start();
            const QString page = html ? HTMLPreview::page(text)
                                      : QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>")
                                            + Markdown::body(text) + QStringLiteral("</body></html>");
            const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            MainQueue::async([weak, token, revision, page, ms] {
                if (!weak) return;
                weak->rendering = false;
                if (weak->renderToken != token || weak->model->revision() != revision) return;
                weak->web->setHtml(page, HTMLPreview::baseURL());
                weak->previewRevision = revision;
                weak->lastRenderMilliseconds = ms;
                ++weak->renderCount;
            });
        });
    });
    MainQueue::after(delay, previewWork);
}

// MARK: - Format pop-ups and whole-document commands

void EditorWindowController::selectFormatPopups()
{
    const TextFormat format = model->format();
    for (std::size_t i = 0; i < encodingChoices.size(); ++i) {
        if (encodingChoices[i].encoding == format.encoding && encodingChoices[i].bom == format.bom) {
            encodingPicker->setCurrentIndex(encodingPicker->findData(static_cast<int>(i), Qt::UserRole));
            break;
        }
    }
    endingPicker->setCurrentIndex(endingPicker->findText(format.lineEnding.rawValue()));
}

void EditorWindowController::encodingChanged(int tag)
{
    if (tag < 0 || static_cast<std::size_t>(tag) >= encodingChoices.size()) return;
    TextFormat format = model->format();
    format.encoding = encodingChoices[static_cast<std::size_t>(tag)].encoding;
    format.bom = encodingChoices[static_cast<std::size_t>(tag)].bom;
    try {
        model->changeFormat(format);
    } catch (const CodecError& error) {
        selectFormatPopups();
        scheduleStatistics();
        if (window_) model->presentError(KoriDocument::errorInfo(error));
    }
}

void EditorWindowController::endingChanged(int index)
{
    if (index < 0 || index >= LineEnding::count) return;
    const LineEnding target = LineEnding::allCases()[static_cast<std::size_t>(index)];
    const QString converted = target.replacing(model->string());
    const TextFormat oldFormat = model->format();
    const qsizetype oldLength = model->storage().length();
    if (!textView->isEditable()) return;
    UndoManager* undo = model->undoManager();
    if (!undo) return;

    QPointer<EditorWindowController> weak(this);
    // Undo and redo each register the other half again, so they alternate indefinitely.
    auto registerRestore = std::make_shared<std::function<void(TextFormat)>>();
    *registerRestore = [weak, undo, registerRestore](TextFormat format) {
        if (!weak) return;
        const TextFormat current = weak->model->format();
        undo->registerUndo([registerRestore, current] { (*registerRestore)(current); }, weak.data());
        weak->model->setFormat(format);
        weak->selectFormatPopups();
        weak->scheduleStatistics();
    };

    textView->breakUndoCoalescing();
    undo->beginUndoGrouping();
    undo->registerUndo([registerRestore, oldFormat] { (*registerRestore)(oldFormat); }, this);
    TextFormat format = oldFormat;
    format.lineEnding = target;
    format.mixedLineEndings = false;
    model->setFormat(format);
    textView->insertText(converted, {0, oldLength});
    undo->endUndoGrouping();
    undo->setActionName(QStringLiteral("改行コードを変更"));
    textView->breakUndoCoalescing();
    selectFormatPopups();
    scheduleStatistics();
}

void EditorWindowController::undo(MenuItem*)
{
    if (UndoManager* undo = model->undoManager(); undo && undo->canUndo()) undo->undo();
}

void EditorWindowController::redo(MenuItem*)
{
    if (UndoManager* undo = model->undoManager(); undo && undo->canRedo()) undo->redo();
}

void EditorWindowController::toggleWrap(bool on)
{
    textView->setWrapsLines(on);
    textView->setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (ruler) ruler->update();
}

void EditorWindowController::inputBackSlash(MenuItem*)
{
    activeEditor()->insertText(QStringLiteral("\\"));
}

void EditorWindowController::inputYenMark(MenuItem*)
{
    activeEditor()->insertText(QStringLiteral("\u00A5"));
}

}  // namespace korimado
