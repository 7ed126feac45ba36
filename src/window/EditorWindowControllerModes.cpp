// Window modes, the second editor, the navigation bar and its menus.
#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "editor/LineNumberRuler.h"
#include "platform/ui/MagnificationRecognizer.h"
#include "platform/ui/MenuBinder.h"
#include "platform/text/LayoutManager.h"
#include "platform/ui/MenuModel.h"
#include "search/ui/SearchController.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "window/DetailPane.h"
#include "window/EditorPair.h"
#include "window/SegmentedControl.h"
#include "window/StatusLine.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include "preview/PreviewWebView.h"

#include <mutex>

namespace korimado {

namespace {

// Shows a menu model as a pop-up; its items are sent through the responder chain of window.
void popUp(const std::shared_ptr<MenuModel>& model, QWidget* anchor, QPoint at, QWidget* window)
{
    MenuBinder::shared().popUp(model, window, anchor->mapToGlobal(at));
}

}  // namespace

void EditorWindowController::setMode(Mode m)
{
    // The preview alone hides the editors, and the focus leaves them for whatever comes next;
    // the editor that had it takes it back when they show again.
    const bool codeWasHidden = codePane_->isHidden();
    if (m == Mode::preview && !codeWasHidden) lastFocusedEditor_ = activeEditor();
    mode_ = m;
    modePicker()->setSelectedSegment(static_cast<int>(m));
    detailPane_->setSelectedSegment(DetailPane::preview);
    codeSplit()->setHidden(m == Mode::preview);
    codePane_->setHidden(m == Mode::preview);
    detailPane_->setShown(m != Mode::edit);
    updateDetailVisibility();
    textView()->viewport()->update();
    // The editing mode's note is no news of the preview.
    if (m != Mode::edit && previewStatus()->text() == editModeStatus) statusLine_->setPreviewStatus(QString());
    switch (m) {
    case Mode::split: {
        const int width = std::max(split_->width(), 2);
        split_->setSizes({width / 2, width - width / 2});
        if (codeWasHidden) makeFirstResponder(editorToRefocus());
        schedulePreview(true);
        break;
    }
    case Mode::edit:
        detailPane_->cancelPreview();
        statusLine_->setPreviewStatus(editModeStatus);
        makeFirstResponder(textView());
        break;
    case Mode::preview:
        schedulePreview(true);
        break;
    }
}

EditorTextView* EditorWindowController::editorToRefocus() const
{
    auto* editor = qobject_cast<EditorTextView*>(lastFocusedEditor_.data());
    return editor && (editor == textView() || editor == secondaryEditor()) ? editor : textView();
}

void EditorWindowController::modeChanged(int segment)
{
    if (segment != 0) wantPreview();
    setMode(segment == 2 ? Mode::preview : segment == 1 ? Mode::split : Mode::edit);
}

void EditorWindowController::openSplitTextView(MenuItem*)
{
    if (EditorTextView* open = secondaryEditor()) {
        makeFirstResponder(open);
        return;
    }
    EditorTextView* editor = editors_->openSecondary();
    editor->viewport()->installEventFilter(this);
    new MagnificationRecognizer(editor, this, [this](MagnificationRecognizer& pinch) { magnifySource(pinch); });
    secondaryCommands_ = std::make_unique<TextCommands>(editor, *model);
    QPointer<EditorWindowController> weak(this);
    secondarySearch_ = std::make_unique<SearchController>(editor, model, [weak] {
        return weak ? weak->sidebarRoot() : std::nullopt;
    });
    makeFirstResponder(editor);
    refreshMenus();
}

// A pinch scales the font of the editor it is attached to; each event carries only its own step.
void EditorWindowController::magnifySource(MagnificationRecognizer& pinch)
{
    const bool secondary = pinch.view() && pinch.view() == secondaryEditor();
    TextCommands* commands = secondary && secondaryCommands_ ? secondaryCommands_.get() : &primaryCommands();
    commands->magnifyFont(1.0 + pinch.magnification());
    editors_->updateRulers();
}

void EditorWindowController::magnifyPreview(MagnificationRecognizer& pinch)
{
    web()->magnify(pinch.magnification());
}

void EditorWindowController::closeSplitTextView(MenuItem*)
{
    if (secondaryCommands_) secondaryCommands_->syntaxHighlighter().invalidate();
    secondarySearch_.reset();
    secondaryCommands_.reset();
    editors_->closeSecondary();
    makeFirstResponder(textView());
    refreshMenus();
}

void EditorWindowController::toggleSplitOrientation(MenuItem*)
{
    editors_->setVertical(!editors_->isVertical());
}

bool EditorWindowController::isSplitVertical() const
{
    return editors_->isVertical();
}

void EditorWindowController::focusNextEditor(MenuItem*)
{
    if (!window_) return;
    if (firstResponder() == textView() && secondaryEditor()) {
        makeFirstResponder(secondaryEditor());
    } else {
        makeFirstResponder(textView());
    }
}

void EditorWindowController::toggleNavigationBar(MenuItem*)
{
    setNavigationBarHidden(!isNavigationBarHidden());
}

void EditorWindowController::setNavigationBarHidden(bool hidden)
{
    navigationBar_->setHidden(hidden);
    navigationBar_->setFixedHeight(hidden ? 0 : navigationBarHeight);
}

bool EditorWindowController::isNavigationBarHidden() const
{
    return navigationBar_->isHidden();
}

int EditorWindowController::navigationHeight() const
{
    return navigationBar_->maximumHeight();
}

void EditorWindowController::refreshNavigation()
{
    EditorTextView* editor = activeEditor();
    const qsizetype caret = editor->selectedRange().location;
    // The outline is in text order: its ends tell whether anything lies before or after the caret,
    // without a walk over a large file's every entry on each selection change.
    const auto& entries = syntax().outline();
    const bool before = !entries.empty() && entries.front().range.location < caret;
    const bool after = !entries.empty() && entries.back().range.location > caret;
    previousOutlineButton_->setEnabled(before);
    nextOutlineButton_->setEnabled(after);
    syntaxButton_->setText(syntax().language().displayName);
}

void EditorWindowController::windowDidBecomeKey()
{
    refreshMenus();
}

// MARK: - Outline and syntax menus

void EditorWindowController::navigateOutline(bool forward)
{
    EditorTextView* editor = activeEditor();
    const qsizetype caret = editor->selectedRange().location;
    const auto& entries = syntax().outline();
    const SyntaxOutlineEntry* target = nullptr;
    if (forward) {
        for (const auto& entry : entries) {
            if (entry.range.location > caret) {
                target = &entry;
                break;
            }
        }
    } else {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (it->range.location < caret) {
                target = &*it;
                break;
            }
        }
    }
    if (!target) {
        QApplication::beep();
        return;
    }
    editor->setSelectedRange(target->range.clamped(editor->textLength()));
    editor->scrollRangeToVisible(editor->selectedRange());
    makeFirstResponder(editor);
}

void EditorWindowController::selectOutlineRow(int row)
{
    const auto& entries = syntax().outline();
    if (row < 0 || static_cast<std::size_t>(row) >= entries.size()) return;
    EditorTextView* editor = activeEditor();
    editor->setSelectedRange(entries[static_cast<std::size_t>(row)].range.clamped(editor->textLength()));
    editor->scrollRangeToVisible(editor->selectedRange());
    makeFirstResponder(editor);
}

void EditorWindowController::reloadOutlineTable()
{
    detailPane_->reloadOutline();
}

void EditorWindowController::openOutlineMenu()
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("アウトライン"));
    TextCommands& active = commands();
    active.publishedOutlineMenu = menu.get();
    active.populateOutlineMenu(*menu);
    popUp(menu, navigationBar_, QPoint(outlineButton_->x(), navigationBar_->height()), window_.get());
}

void EditorWindowController::openSyntaxMenu()
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("構文"));
    std::vector<SyntaxLanguage> languages;
    {
        std::lock_guard guard(CotSyntaxCatalog::shared().lock);
        languages = CotSyntaxCatalog::shared().cachedLanguages;
    }
    const QString current = syntax().language().id;
    for (const SyntaxLanguage& language : languages) {
        auto item = std::make_shared<MenuItem>(language.displayName, QStringLiteral("changeDocumentSyntax:"));
        item->setTarget(this);
        item->setRepresentedObject(language.id);
        item->setState(language.id == current ? MenuItem::State::on : MenuItem::State::off);
        menu->addItem(item);
    }
    popUp(menu, navigationBar_, QPoint(syntaxButton_->x(), navigationBar_->height()), window_.get());
}

void EditorWindowController::changeDocumentSyntax(const QString& languageId)
{
    syntax().setLanguage(languageId);
}

}  // namespace korimado
