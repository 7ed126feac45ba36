#pragma once

#include "document/KoriDocument.h"
#include "platform/text/TextRange.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/Responder.h"
#include "search/engine/SearchCancellationToken.h"
#include "search/engine/SearchMatch.h"
#include "search/engine/SearchNavigation.h"
#include "search/engine/SearchRequest.h"
#include "search/ui/SearchStatusText.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QObject;
class QWidget;

namespace korimado {

class BatchReplaceWindowController;
class FolderFindWindowController;
class DispatchQueue;
class EditorTextView;
class FindPanel;
class KoriDocument;
class MenuItem;
class SearchResultsModel;
struct TextStorageEdit;

// The find-and-replace panel of one editor, reached from the Find menu by action name. Searches
// run on the panel's own queue over a copy of the text; a result is used only while it is still
// current (token, generation and the document's revision). Every edit goes through the document's
// edit door with the editor as initiator, the replacements of a replace-all one by one, in one
// named undo step.
class SearchController : public Responder {
public:
    // The folder folder-wide search starts from, or nothing.
    using RootProvider = std::function<std::optional<QString>()>;
    enum class Purpose { list, selectAll, highlight };

    SearchController(EditorTextView* editor, KoriDocument* document, RootProvider rootURL);
    ~SearchController() override;

    // The fifteen actions the Find menu sends, by name ("showFind:" ...).
    static const QStringList& actionNames();
    // The owner tag of the search highlights among the layout manager's temporary attributes.
    static const void* highlightOwner();
    static QColor highlightColor();
    // The pause after a change of the criteria before the list is searched again.
    static constexpr int liveSearchDelayMs = 120;

    EditorTextView* editor() const;
    KoriDocument* document() const;
    std::optional<QString> rootURL() const { return rootURL_ ? rootURL_() : std::nullopt; }
    DispatchQueue& queue() const { return *queue_; }
    FindPanel* panel() const { return panelGuard_ ? panel_ : nullptr; }
    SearchResultsModel* resultsModel() const { return model_; }
    // The panel's status text.
    QString status() const;
    bool isRunning() const { return token_ != nullptr; }
    const std::optional<SearchResultSet>& lastResults() const { return lastResults_; }
    std::optional<TextRange> selectionScope() const { return selectionScope_; }
    BatchReplaceWindowController* batchController() const;
    FolderFindWindowController* folderController() const;
    // Sounds the system beep; tests count it.
    std::function<void()> beep;

    // The request the panel's controls describe now.
    SearchRequest currentRequest() const;

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
    void cancel(MenuItem* sender);
    // Any control of the criteria changed; sender is that control, or null.
    void criteriaChanged(QObject* sender);

    static inline const QString staleMessage = QStringLiteral("本文が変わったため、古い検索結果を破棄しました。");
    static inline const QString& noMatchMessage = SearchStatusText::noMatch;
    static inline const QString& notEditableMessage = KoriDocument::notEditableMessage;
    static inline const QString& refusedMessage = SearchStatusText::refused;
    static inline const QString scopeDroppedMessage =
        QStringLiteral("選択範囲をまたいで本文が変わったため、検索範囲を解除しました。");

private:
    // What an operation works on. The text is taken as the storage's shared chunks on the main
    // thread and made one string on the panel's queue: flattening a large text takes long.
    struct Snapshot {
        TextSnapshot source;
        QString text;  // filled by flatten(), on the queue, unless known already
        std::uint64_t revision = 0;
        SearchRequest request;
        TextRange selection;
        bool flattened = false;
        void flatten()
        {
            if (flattened) return;
            text = source.string();
            source = {};
            flattened = true;
        }
    };
    struct Failure {
        bool cancelled = false;
        QString description;
    };
    template <typename Result>
    void beginOperation(const QString& statusText, std::function<Result(const SearchCancellationToken&)> work,
                        std::function<void(std::optional<Result>, const Failure&)> completion);
    void invalidateOperation();
    std::optional<Snapshot> snapshot() const;
    // False (and the stale text shown) when the text moved on since the snapshot.
    bool isCurrent(const Snapshot& snapshot);
    void present(const Failure& failure);
    void setStatus(const QString& text);

    void runSearch(Purpose purpose);
    void runNavigation(SearchDirection direction);
    void replaceSelection(bool andFind);
    bool applyEdits(const QVector<TextRange>& ranges, const QStringList& strings, TextRange selection,
                    const QString& actionName);

    void showPanel(QObject* field);
    std::optional<QString> selectedText() const;
    void selectAndReveal(TextRange range);
    void openSelectedResult();
    void removeHighlightLayer();
    void observeStorage();
    void storageEdited(const TextStorageEdit& edit);

    QPointer<EditorTextView> editor_;
    QPointer<KoriDocument> document_;
    RootProvider rootURL_;
    std::unique_ptr<DispatchQueue> queue_;
    SearchCancellationTokenPtr token_;
    std::uint64_t generation_ = 0;
    // The table keeps the text these were found in; no second copy is held here.
    std::optional<SearchResultSet> lastResults_;
    // The text of the last operation's revision, flattened already: a live search re-run while
    // the criteria change need not flatten the same text again.
    QString flatText_;
    std::optional<std::uint64_t> flatRevision_;
    // The "selection only" scope, following the text's edits.
    std::optional<TextRange> selectionScope_;
    bool ownEdit_ = false;
    BatchReplaceWindowController* batchController_ = nullptr;  // owned; a tool window of the editor's window once shown
    QPointer<QWidget> batchGuard_;
    FolderFindWindowController* folderController_ = nullptr;  // owned; a child window of the editor's window once shown
    QPointer<QWidget> folderGuard_;
    FindPanel* panel_ = nullptr;  // owned; a tool window of the editor's window once shown
    QPointer<QWidget> panelGuard_;
    SearchResultsModel* model_ = nullptr;
    std::weak_ptr<TextStorage> observedStorage_;
    std::uint64_t observerToken_ = 0;
    QString status_;
};

}  // namespace korimado
