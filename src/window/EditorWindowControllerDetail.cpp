// The window's actions, the detail pane's segments and the whole-document commands.
#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "document/CodecError.h"
#include "document/KoriDocument.h"
#include "document/LineEnding.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/UndoMenuValidation.h"
#include "syntax/SyntaxHighlighter.h"
#include "window/DetailPane.h"
#include "window/RTFWriter.h"
#include "window/EditorPair.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace korimado {

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
        {"showDocumentInspector:", &EditorWindowController::showDocumentInspector},
        {"showOutlineInspector:", &EditorWindowController::showOutlineInspector},
        {"showWarningsInspector:", &EditorWindowController::showWarningsInspector},
        {"showAdvancedCounter:", &EditorWindowController::showAdvancedCounter},
        {"toggleInspector:", &EditorWindowController::toggleInspector},
        {"undo:", &EditorWindowController::undo},
        {"redo:", &EditorWindowController::redo},
        {"inputBackSlash:", &EditorWindowController::inputBackSlash},
        {"inputYenMark:", &EditorWindowController::inputYenMark},
        {"copyWithStyle:", &EditorWindowController::copyWithStyle},
        {"toggleSVGPlayback:", &EditorWindowController::toggleSVGPlayback},
        {"restartSVG:", &EditorWindowController::restartSVG},
        {"zoomInSVG:", &EditorWindowController::zoomInSVG},
        {"zoomOutSVG:", &EditorWindowController::zoomOutSVG},
        {"resetSVGZoom:", &EditorWindowController::resetSVGZoom},
    };
    for (const auto& [name, action] : actions) {
        registerAction(QString::fromLatin1(name), [this, action = action](MenuItem* sender) { (this->*action)(sender); });
    }
    registerAction(QStringLiteral("toggleWrap:"), [this](MenuItem*) {
        toolbarWrap()->setChecked(!toolbarWrap()->isChecked());
        toggleWrap(toolbarWrap()->isChecked());
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
    if (item.action() == QLatin1String("undo:") || item.action() == QLatin1String("redo:"))
        return UndoMenuValidation::validate(item, undo);
    return Responder::validate(item);
}

// MARK: - Detail pane

bool EditorWindowController::isSVG() const
{
    return detailPane_->isSVG();
}

bool EditorWindowController::isHTML() const
{
    return detailPane_->isHTML();
}

void EditorWindowController::detailChanged(int segment)
{
    if (segment == DetailPane::preview) wantPreview();
    updateDetailVisibility();
}

void EditorWindowController::setDetailSegment(int segment)
{
    setMode(Mode::split);
    detailPane_->setSelectedSegment(segment);
    updateDetailVisibility();
}

void EditorWindowController::showDocumentInspector(MenuItem*) { setDetailSegment(DetailPane::information); }
void EditorWindowController::showOutlineInspector(MenuItem*) { setDetailSegment(DetailPane::outline); }
void EditorWindowController::showWarningsInspector(MenuItem*) { setDetailSegment(DetailPane::warnings); }
void EditorWindowController::showAdvancedCounter(MenuItem*) { setDetailSegment(DetailPane::counts); }

void EditorWindowController::toggleInspector(MenuItem*)
{
    if (mode_ != Mode::edit && detailPane_->selectedSegment() > 0) {
        setMode(Mode::edit);
    } else {
        setDetailSegment(DetailPane::information);
    }
}

void EditorWindowController::updateDetailVisibility()
{
    detailPane_->updateVisibility();
}

void EditorWindowController::refreshInspection()
{
    detailPane_->refreshInspection();
}

void EditorWindowController::scheduleStatistics()
{
    statusLine_->scheduleStatistics();
}

void EditorWindowController::schedulePreview(bool immediate)
{
    if (!closed_) detailPane_->schedulePreview(immediate);
}

// MARK: - Format pop-ups and whole-document commands

void EditorWindowController::selectFormatPopups()
{
    statusLine_->selectFormatPopups();
}

void EditorWindowController::encodingChanged(int tag)
{
    const auto& choices = encodingChoices();
    if (tag < 0 || static_cast<std::size_t>(tag) >= choices.size()) return;
    TextFormat format = model->format();
    format.encoding = choices[static_cast<std::size_t>(tag)].encoding;
    format.bom = choices[static_cast<std::size_t>(tag)].bom;
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
    // A read-only editor keeps its breaks; the pop-up shows the format again at its next re-selection.
    if (!textView()->isEditable()) return;
    try {
        model->changeLineEnding(LineEnding::allCases()[static_cast<std::size_t>(index)]);
    } catch (const CodecError& error) {
        if (window_) model->presentError(KoriDocument::errorInfo(error));
    }
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
    editors_->setWrapsLines(on);
    // Whoever asked (the box, the menu, a script), the box shows what the editors do.
    toolbarWrap()->setChecked(on);
}

void EditorWindowController::copyWithStyle(MenuItem*)
{
    EditorTextView* editor = activeEditor();
    if (!editor || !editor->textStorage()) return;
    const TextRange selection = editor->selectedRange();
    if (selection.location == TextRange::NotFound || selection.length <= 0) return;
    const QString text = editor->textStorage()->substring(selection);
    // The highlighter's colours lie over the text for display only; the copy makes them real.
    std::vector<RTFWriter::Run> runs;
    if (const LayoutManager* layout = editor->layoutManager()) {
        const TextCommands& owner = editor == secondaryEditor() && secondaryCommands_ ? *secondaryCommands_ : primaryCommands();
        const auto rgb = [](const std::optional<QColor>& colour) -> std::optional<std::uint32_t> {
            if (!colour) return std::nullopt;
            return static_cast<std::uint32_t>(colour->rgb() & 0xFFFFFF);
        };
        layout->enumerateTemporaryAttributes(&owner.syntaxHighlighter(), selection,
                                             [&](TextRange range, const TemporaryAttributes& attributes) {
                                                 runs.push_back({{range.location - selection.location, range.length},
                                                                 rgb(attributes.foreground), rgb(attributes.background)});
                                             });
    }
    const QFont font = editor->font();
    const QByteArray rtf = RTFWriter::write(text, font.family(), font.pointSizeF() > 0 ? font.pointSizeF() : 12, runs);
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QStringLiteral("text/rtf"), rtf);
    data->setData(QStringLiteral("application/rtf"), rtf);
    QGuiApplication::clipboard()->setMimeData(data);
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
