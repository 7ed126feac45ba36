#include "search/SearchController.h"

#include "document/KoriDocument.h"
#include "editor/EditorView.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/foundation/DispatchQueue.h"

namespace korimado {

SearchController::SearchController(EditorTextView* editor, KoriDocument* document, RootProvider rootURL)
    : editor_(editor), document_(document), rootURL_(std::move(rootURL)),
      queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".search"))))
{
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
}

SearchController::~SearchController() = default;

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

EditorTextView* SearchController::editor() const
{
    return editor_;
}

KoriDocument* SearchController::document() const
{
    return document_;
}

void SearchController::reportUnavailable()
{
    status_ = unavailableMessage;
    if (AlertPresenter* presenter = AlertPresenter::shared()) {
        presenter->runModal(Alert{unavailableMessage, QString(), {QStringLiteral("OK")}, Alert::Style::informational});
    }
}

// Only the actions that open a window answer; the rest have no panel to act on yet.
void SearchController::showFind(MenuItem*) { reportUnavailable(); }
void SearchController::showReplace(MenuItem*) { reportUnavailable(); }
void SearchController::findNext(MenuItem*) {}
void SearchController::findPrevious(MenuItem*) {}
void SearchController::findAll(MenuItem*) {}
void SearchController::selectAllMatches(MenuItem*) {}
void SearchController::useSelectionForFind(MenuItem*) {}
void SearchController::useSelectionForReplace(MenuItem*) {}
void SearchController::replace(MenuItem*) {}
void SearchController::replaceAndFind(MenuItem*) {}
void SearchController::replaceAll(MenuItem*) {}
void SearchController::showBatchReplace(MenuItem*) { reportUnavailable(); }
void SearchController::showFolderFind(MenuItem*) { reportUnavailable(); }
void SearchController::highlightAll(MenuItem*) {}
void SearchController::clearHighlights(MenuItem*) {}

}  // namespace korimado
