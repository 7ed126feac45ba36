// The first phases of the UI suite: an edit of the normalisation form that must be saved, the
// sample document's window, typing, undo and redo through the Edit menu, and a composition.
#include "selftest/UITestRun.h"

#include "document/KoriDocument.h"
#include "platform/documents/DocumentController.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/TextEditing.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/WindowTracker.h"
#include "selftest/SelfTestDocuments.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAwait.h"

#include <QApplication>
#include <QMainWindow>

namespace korimado {

namespace {

// The title as the title bar shows it: the edited mark stands in its placeholder.
QString titleOf(const QWidget* window)
{
    if (!window) return QStringLiteral("none");
    QString title = window->windowTitle();
    return title.replace(QStringLiteral("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
}

void caretToEnd(TextView* view)
{
    view->setSelectedRange(TextRange{view->textLength(), 0});
}

}  // namespace

bool UITestRun::keepNormalizationEdit()
{
    KoriDocument document;
    ErrorInfo error;
    if (!document.readFromData(QByteArray("e\xCC\x81"), KoriDocument::plainTextType, &error)) {
        harnessError(error.description);
        return false;
    }
    // Canonically equal text, but the user chose this form: saving must not hand back the bytes read.
    TextEditing::replace(document.storage(), {TextRange{0, 2}}, {QStringLiteral("\u00E9")}, QStringLiteral("入力"));
    const std::optional<QByteArray> bytes = document.data(KoriDocument::plainTextType, &error);
    if (!bytes) {
        harnessError(error.description);
        return false;
    }
    checks_.check(QStringLiteral("explicit Unicode normalization edit is not discarded"), *bytes == QByteArray("\xC3\xA9"));
    return true;
}

SuiteTask<bool> UITestRun::openSampleWindow()
{
    const QString path = SelfTestFrame::path(samplePath);
    QString error;
    sampleController_ = SelfTestDocuments::openTextWindow(path, &error);
    if (!sampleController_) {
        harnessError(error);
        co_return false;
    }
    sample_ = sampleController_.document();
    sampleView_ = sampleController_.textView();

    QMainWindow* window = sampleWindow();
    WindowTracker& windows = WindowTracker::shared();
    windows.makeKeyAndOrderFront(window);
    sampleController_.makeFirstResponder(sampleView_);
    QApplication::setActiveWindow(window);

    co_await sleepFor(100);
    for (int poll = 0; poll < 20; ++poll) {
        if (!window) break;
        windows.makeKeyAndOrderFront(window);
        windows.makeKeyWindow(window);
        if (windows.keyWindow() == window) break;
        co_await sleepFor(100);
    }
    SelfTestFrame::printLine(QStringLiteral("Responder context: key=") + titleOf(windows.keyWindow())
                             + QStringLiteral(", main=") + titleOf(windows.mainWindow()));
    co_return true;
}

bool UITestRun::sendEditMenuItem(const QString& title)
{
    MenuModel* mainMenu = MenuBinder::shared().mainMenu();
    MenuItem* edit = mainMenu ? mainMenu->itemWithTitle(QStringLiteral("編集")) : nullptr;
    // The undo and redo items carry the step they act on: "取り消す（入力）".
    MenuItem* item = nullptr;
    if (edit && edit->submenu()) {
        for (const std::shared_ptr<MenuItem>& each : edit->submenu()->items()) {
            if (each->title() == title || each->title().startsWith(title + u'（')) {
                item = each.get();
                break;
            }
        }
    }
    if (!item) return false;
    return ActionDispatcher::shared().sendAction(item->action(), item->target(), item);
}

SuiteTask<> UITestRun::typeUndoAndCompose()
{
    const QString before = sampleText();
    caretToEnd(sampleView_);
    sampleView_->insertText(QStringLiteral("\n追記 🌸"), sampleView_->selectedRange());
    sampleView_->breakUndoCoalescing();
    co_await sleepFor(200);
    if (!sample_ || !sampleView_) co_return;
    checks_.check(QStringLiteral("NSTextView Japanese and emoji insertion"), sampleText().endsWith(QStringLiteral("追記 🌸")));
    checks_.check(QStringLiteral("document marked edited"), sample_->isDocumentEdited());

    const bool undoSent = sendEditMenuItem(QStringLiteral("取り消す"));
    checks_.check(QStringLiteral("Undo menu action reaches editor"), undoSent);
    if (!undoSent) {
        SelfTestFrame::printLine(
            QStringLiteral("Global menu route unavailable; independently testing the owned editor's Undo action."));
        if (UndoManager* undo = sampleController_.document()->undoManager()) undo->undo();
    }
    checks_.check(QStringLiteral("Undo restores original"), sampleText() == before);
    checks_.check(QStringLiteral("Undo clears edited state"), !sample_->isDocumentEdited());

    const bool redoSent = sendEditMenuItem(QStringLiteral("やり直す"));
    checks_.check(QStringLiteral("Redo menu action reaches editor"), redoSent);
    if (!redoSent)
        if (UndoManager* undo = sampleController_.document()->undoManager()) undo->redo();
    checks_.check(QStringLiteral("Redo restores Japanese"), sampleText().endsWith(QStringLiteral("追記 🌸")));
    checks_.check(QStringLiteral("Redo marks edited state"), sample_->isDocumentEdited());

    caretToEnd(sampleView_);
    sampleView_->setMarkedText(QStringLiteral("にほんご"), TextRange{4, 0}, sampleView_->selectedRange());
    checks_.check(QStringLiteral("marked composition is active"), sampleView_->hasMarkedText());
    sampleView_->insertText(QStringLiteral("日本語"), sampleView_->markedRange());
    checks_.check(QStringLiteral("composition commits Japanese"),
                  sampleText().endsWith(QStringLiteral("日本語")) && !sampleView_->hasMarkedText());
}

}  // namespace korimado
