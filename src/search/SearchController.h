#pragma once

#include "platform/ui/Responder.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace korimado {

class DispatchQueue;
class EditorTextView;
class KoriDocument;
class MenuItem;

// The find-and-replace controller of one editor, reached from the Find menu by action name.
// Stand-in: the panel is not built yet; the show actions say so and the others do nothing.
class SearchController : public Responder {
public:
    // The folder folder-wide search starts from, or nothing.
    using RootProvider = std::function<std::optional<QString>()>;

    SearchController(EditorTextView* editor, KoriDocument* document, RootProvider rootURL);
    ~SearchController() override;

    // The fifteen actions the Find menu sends, by name ("showFind:" ...).
    static const QStringList& actionNames();

    EditorTextView* editor() const;
    KoriDocument* document() const;
    std::optional<QString> rootURL() const { return rootURL_ ? rootURL_() : std::nullopt; }
    DispatchQueue& queue() const { return *queue_; }
    // The last message the controller gave the user; empty while it had nothing to say.
    QString status() const { return status_; }

    void showFind(MenuItem* sender);
    void showReplace(MenuItem* sender);
    void findNext(MenuItem* sender);
    void findPrevious(MenuItem* sender);
    void findAll(MenuItem* sender);
    void selectAllMatches(MenuItem* sender);
    void useSelectionForFind(MenuItem* sender);
    void useSelectionForReplace(MenuItem* sender);
    void replace(MenuItem* sender);
    void replaceAndFind(MenuItem* sender);
    void replaceAll(MenuItem* sender);
    void showBatchReplace(MenuItem* sender);
    void showFolderFind(MenuItem* sender);
    void highlightAll(MenuItem* sender);
    void clearHighlights(MenuItem* sender);

    static inline const QString unavailableMessage = QStringLiteral("検索と置換はまだ利用できません。");

private:
    void reportUnavailable();

    QPointer<EditorTextView> editor_;
    QPointer<KoriDocument> document_;
    RootProvider rootURL_;
    std::unique_ptr<DispatchQueue> queue_;
    QString status_;
};

}  // namespace korimado
