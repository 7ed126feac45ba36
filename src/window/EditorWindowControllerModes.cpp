// Window modes, the second editor, the navigation bar and its menus.
#include "window/EditorWindowController.h"

#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorView.h"
#include "editor/LineNumberRuler.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/text/LayoutManager.h"
#include "platform/ui/MenuModel.h"
#include "search/SearchController.h"
#include "syntax/CotSyntaxCatalog.h"
#include "syntax/SyntaxHighlighter.h"
#include "window/SegmentedControl.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QWebEngineView>

#include <mutex>

namespace korimado {

namespace {

// Shows a menu model as a pop-up; its items are sent through the responder chain of window.
void popUp(const std::shared_ptr<MenuModel>& model, QWidget* anchor, QPoint at, QWidget* window)
{
    QMenu menu;
    for (const auto& item : model->items()) {
        if (item->isSeparatorItem()) {
            menu.addSeparator();
            continue;
        }
        if (item->isHidden()) continue;
        QAction* action = menu.addAction(QString(item->indentationLevel() * 2, QLatin1Char(' ')) + item->title());
        action->setEnabled(item->isEnabled());
        action->setCheckable(item->state() == MenuItem::State::on);
        action->setChecked(item->state() == MenuItem::State::on);
        MenuItem* raw = item.get();
        QObject::connect(action, &QAction::triggered, [model, raw, window] {
            ActionDispatcher::shared().sendAction(raw->action(), raw->target(), raw, window);
        });
    }
    menu.exec(anchor->mapToGlobal(at));
}

}  // namespace

void EditorWindowController::setMode(Mode m)
{
    mode = m;
    modePicker->setSelectedSegment(static_cast<int>(m));
    detailPicker->setSelectedSegment(0);
    codeSplit->setHidden(m == Mode::preview);
    codePane->setHidden(m == Mode::preview);
    previewPane->setHidden(m == Mode::edit);
    updateDetailVisibility();
    switch (m) {
    case Mode::split: {
        const int width = std::max(split->width(), 2);
        split->setSizes({width / 2, width - width / 2});
        textView->viewport()->update();
        schedulePreview(true);
        break;
    }
    case Mode::edit:
        textView->viewport()->update();
        if (previewWork) previewWork->cancel();
        ++renderToken;
        previewStatus->setText(editModeStatus);
        makeFirstResponder(textView);
        break;
    case Mode::preview:
        textView->viewport()->update();
        schedulePreview(true);
        break;
    }
}

void EditorWindowController::modeChanged(int segment)
{
    setMode(segment == 2 ? Mode::preview : segment == 1 ? Mode::split : Mode::edit);
}

void EditorWindowController::openSplitTextView(MenuItem*)
{
    if (secondaryEditor) {
        makeFirstResponder(secondaryEditor);
        return;
    }
    auto* editor = new EditorTextView(model->sharedStorage());
    configureEditor(*editor);
    editor->setFont(textView->font());
    editor->setTextColor(QApplication::palette().color(QPalette::Text));
    editor->setBackgroundColor(QApplication::palette().color(QPalette::Base));
    editor->setWrapsLines(textView->wrapsLines());
    editor->setAccessibleName(QStringLiteral("分割テキストエディタ"));
    editor->setFrameShape(QFrame::NoFrame);
    auto* newRuler = new LineNumberRuler(editor, model->lines());
    editor->setRulersVisible(textView->rulersVisible());

    secondaryEditor = editor;
    secondaryScroll = editor;
    secondaryLayout = editor->layoutManager();
    secondaryRuler = newRuler;

    secondaryCommands = std::make_unique<TextCommands>(editor, model);
    // The primary's stored values date from its creation, before the settings were applied to
    // it; the second editor starts from what the primary shows now.
    EditorCommandPreferences preferences = primaryCommands().storedPreferences;
    preferences.tabWidth = textView->editingTabWidth;
    preferences.usesSpaces = textView->usesSpacesForIndentation;
    preferences.showsInvisibles = textView->showsInvisibleCharacters();
    preferences.showsIndentGuides = textView->showsIndentGuides;
    preferences.pageGuideColumn = textView->pageGuideColumn;
    preferences.automaticallyIndents = textView->automaticallyIndents;
    preferences.fontSize = textView->font().pointSizeF();
    preferences.editable = textView->isEditable();
    secondaryCommands->apply(preferences);
    editor->setFont(textView->font());  // apply() knows only the system fonts, not a chosen one
    editor->setTabWidth(textView->tabWidth());
    secondaryLayout->setShowsControlCharacters(layout->showsControlCharacters());
    secondaryCommands->reloadSyntaxFromDocument();
    QPointer<EditorWindowController> weak(this);
    secondarySearch = std::make_unique<SearchController>(editor, model, [weak] {
        return weak ? weak->sidebarRoot() : std::nullopt;
    });
    connect(editor, &TextView::visibleRectDidChange, this, [this] {
        if (secondaryCommands) secondaryCommands->syntaxHighlighter().applyVisibleTokens();
    });

    codeSplit->addWidget(editor);
    const bool sideBySide = codeSplit->orientation() == Qt::Horizontal;
    const int extent = std::max(sideBySide ? codeSplit->width() : codeSplit->height(), 2);
    codeSplit->setSizes({extent / 2, extent - extent / 2});
    makeFirstResponder(editor);
    refreshMenus();
}

void EditorWindowController::closeSplitTextView(MenuItem*)
{
    if (secondaryCommands) secondaryCommands->syntaxHighlighter().invalidate();
    EditorTextView* editor = secondaryEditor;
    secondarySearch.reset();
    secondaryCommands.reset();
    secondaryEditor = nullptr;
    secondaryScroll = nullptr;
    secondaryLayout = nullptr;
    secondaryRuler = nullptr;
    // Dropping the view drops its layout manager from the shared storage.
    delete editor;
    makeFirstResponder(textView);
    refreshMenus();
}

void EditorWindowController::toggleSplitOrientation(MenuItem*)
{
    codeSplit->setOrientation(isSplitVertical() ? Qt::Vertical : Qt::Horizontal);
}

bool EditorWindowController::isSplitVertical() const
{
    return codeSplit->orientation() == Qt::Horizontal;
}

void EditorWindowController::focusNextEditor(MenuItem*)
{
    if (!window_) return;
    if (firstResponder() == textView && secondaryEditor) {
        makeFirstResponder(secondaryEditor);
    } else {
        makeFirstResponder(textView);
    }
}

void EditorWindowController::toggleNavigationBar(MenuItem*)
{
    setNavigationBarHidden(!isNavigationBarHidden());
}

void EditorWindowController::setNavigationBarHidden(bool hidden)
{
    navigationBar->setHidden(hidden);
    navigationBar->setFixedHeight(hidden ? 0 : navigationBarHeight);
}

bool EditorWindowController::isNavigationBarHidden() const
{
    return navigationBar->isHidden();
}

int EditorWindowController::navigationHeight() const
{
    return navigationBar->maximumHeight();
}

void EditorWindowController::refreshNavigation()
{
    EditorTextView* editor = activeEditor();
    const qsizetype caret = editor->selectedRange().location;
    const SyntaxHighlighter& highlighter = commands().syntaxHighlighter();
    bool before = false;
    bool after = false;
    for (const SyntaxOutlineEntry& entry : highlighter.outlineEntries) {
        before = before || entry.range.location < caret;
        after = after || entry.range.location > caret;
    }
    previousOutlineButton->setEnabled(before);
    nextOutlineButton->setEnabled(after);
    syntaxButton->setText(highlighter.languageValue.displayName);
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
    const auto& entries = commands().syntaxHighlighter().outlineEntries;
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
    const auto& entries = commands().syntaxHighlighter().outlineEntries;
    if (row < 0 || static_cast<std::size_t>(row) >= entries.size()) return;
    EditorTextView* editor = activeEditor();
    editor->setSelectedRange(entries[static_cast<std::size_t>(row)].range.clamped(editor->textLength()));
    editor->scrollRangeToVisible(editor->selectedRange());
    makeFirstResponder(editor);
}

void EditorWindowController::reloadOutlineTable()
{
    const auto& entries = commands().syntaxHighlighter().outlineEntries;
    outlineTable->setRowCount(static_cast<int>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SyntaxOutlineEntry& entry = entries[i];
        const QString indent(std::clamp(entry.level - 1, 0, 8) * 2, QLatin1Char(' '));
        outlineTable->setItem(static_cast<int>(i), 0,
                              new QTableWidgetItem(indent + QString::number(entry.line) + QStringLiteral("行  ")
                                                   + entry.title));
    }
}

void EditorWindowController::openOutlineMenu()
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("アウトライン"));
    TextCommands& active = commands();
    active.publishedOutlineMenu = menu.get();
    active.populateOutlineMenu(*menu);
    popUp(menu, navigationBar, QPoint(outlineButton->x(), navigationBar->height()), window_.get());
}

void EditorWindowController::openSyntaxMenu()
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("構文"));
    std::vector<SyntaxLanguage> languages;
    {
        std::lock_guard guard(CotSyntaxCatalog::shared().lock);
        languages = CotSyntaxCatalog::shared().cachedLanguages;
    }
    const QString current = commands().syntaxHighlighter().languageValue.id;
    for (const SyntaxLanguage& language : languages) {
        auto item = std::make_shared<MenuItem>(language.displayName, QStringLiteral("changeDocumentSyntax:"));
        item->setTarget(this);
        item->setRepresentedObject(language.id);
        item->setState(language.id == current ? MenuItem::State::on : MenuItem::State::off);
        menu->addItem(item);
    }
    popUp(menu, navigationBar, QPoint(syntaxButton->x(), navigationBar->height()), window_.get());
}

void EditorWindowController::changeDocumentSyntax(const QString& languageId)
{
    primaryCommands().syntaxHighlighter().update(languageId);
    if (secondaryCommands) secondaryCommands->syntaxHighlighter().update(languageId);
    syntaxButton->setText(primaryCommands().syntaxHighlighter().languageValue.displayName);
}

}  // namespace korimado
