#include "app/DocumentWindow.h"

#include "document/KoriDocument.h"
#include "editor/EditorView.h"
#include "editor/LineNumberRuler.h"
#include "settings/EditorPreferences.h"

#include <QAction>
#include <QMainWindow>
#include <QStatusBar>

namespace korimado {

DocumentWindow::DocumentWindow(KoriDocument& document)
    : document_(document), window_(std::make_unique<QMainWindow>())
{
    editor_ = new EditorTextView(document.sharedStorage(), window_.get());
    editor_->setUndoManager(document.undoManager());
    editor_->setFont(EditorPreferences::editorFont());
    ruler_ = new LineNumberRuler(editor_, document.lines());
    editor_->setRulersVisible(true);
    window_->setCentralWidget(editor_);
    window_->resize(1180, 760);

    QObject::connect(editor_, &TextView::textDidChange, window_.get(), [this] { document_.noteEdit(); });

    // Until the main menu exists the window carries the few file commands itself.
    auto addCommand = [this](const QKeySequence& keys, std::function<void()> run) {
        auto* action = new QAction(window_.get());
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, window_.get(), std::move(run));
        window_->addAction(action);
    };
    addCommand(QKeySequence::Save, [this] { document_.saveDocument(); });
    addCommand(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { document_.saveDocumentAs(); });
    addCommand(QKeySequence::Close, [this] { document_.close(); });
}

DocumentWindow::~DocumentWindow() = default;

void DocumentWindow::showWindow()
{
    synchronizeWindowTitleWithDocumentName();
    window_->show();
    window_->raise();
    editor_->setFocus();
}

void DocumentWindow::closeWindow()
{
    window_->hide();
}

void DocumentWindow::synchronizeWindowTitleWithDocumentName()
{
    window_->setWindowTitle(document_.displayName());
}

void DocumentWindow::reloadDocument()
{
    editor_->viewport()->update();
    if (ruler_) ruler_->update();
}

void DocumentWindow::documentTextDidChange(const TextStorageEdit&)
{
    if (ruler_) ruler_->update();
}

void DocumentWindow::setPreviewStatus(const QString& message)
{
    window_->statusBar()->showMessage(message);
}

KoriDocumentWindow::EditorSelection DocumentWindow::activeEditorSelection() const
{
    return {false, editor_->selectedRange()};
}

void DocumentWindow::restoreEditorSelection(const EditorSelection& selection)
{
    const qsizetype length = editor_->textLength();
    const qsizetype location = std::clamp<qsizetype>(selection.range.location, 0, length);
    editor_->setSelectedRange({location, std::clamp<qsizetype>(selection.range.length, 0, length - location)});
}

}  // namespace korimado
