#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace korimado {

class AlertPresenter;
class AutosavedContents;
class Document;
class FilePanels;
class UserDefaults;

// The documents of the process: creating, opening and closing them, untitled names, the recent
// documents (kept in user defaults) and the autosave timer.
class DocumentController : public QObject {
    Q_OBJECT

public:
    using OpenCompletion = std::function<void(Document* document, bool alreadyOpen, std::optional<ErrorInfo> error)>;

    explicit DocumentController(UserDefaults* defaults = nullptr);
    ~DocumentController() override;

    // The first controller created; null when there is none.
    static DocumentController* shared();

    virtual QString defaultType() const = 0;
    // A new, empty document of the class for type.
    virtual std::unique_ptr<Document> makeDocument(const QString& type) = 0;

    const std::vector<Document*>& documents() const { return documents_; }
    // Takes ownership; an untitled document gets its untitled name here.
    Document* addDocument(std::unique_ptr<Document> document);
    // Gives the document up without deleting it (the document deletes itself when closing).
    void removeDocument(Document* document);
    Document* documentForURL(const QString& path) const;

    // New: an untitled document of the default type, with its windows.
    Document* openUntitledDocumentAndDisplay(bool display);
    // A document read from path, not yet added.
    std::unique_ptr<Document> makeDocumentWithContentsOfURL(const QString& path, const QString& type, ErrorInfo* error);
    // Opens path, or finds the document that has it open. The completion runs before returning.
    virtual void openDocument(const QString& path, bool display, const OpenCompletion& completion);

    // Recent documents, newest first.
    QStringList recentDocumentURLs() const;
    void noteNewRecentDocumentURL(const QString& path);
    void clearRecentDocuments();
    int maximumRecentDocumentCount() const { return maximumRecentDocumentCount_; }
    void setMaximumRecentDocumentCount(int count);

    // Seconds between autosaves of edited documents; 0 turns autosaving off.
    double autosavingDelay() const { return autosavingDelay_; }
    void setAutosavingDelay(double seconds);
    void autosaveAllDocuments();

    // At start-up: the autosaves no running process holds, left by a crash or a kill. Asks once
    // whether to reopen them as edited documents (beside their files, else untitled) or to discard
    // them; "later", or nobody to ask, leaves them for the next start. Returns the documents reopened.
    std::vector<Document*> offerAutosavedDocuments(bool display);
    // Reopens one claimed autosave as an edited document, which keeps it as its own autosave. Null,
    // with the error, when the contents cannot be read: the files then stay.
    Document* reopenAutosavedDocument(std::shared_ptr<AutosavedContents> autosaved, bool display, ErrorInfo* error);

    // Asks about every edited document in turn; false (and nothing more is closed) on a cancel.
    bool closeAllDocuments();

    AlertPresenter* alertPresenter() const { return alertPresenter_; }
    void setAlertPresenter(AlertPresenter* presenter) { alertPresenter_ = presenter; }
    FilePanels* filePanels() const { return filePanels_; }
    void setFilePanels(FilePanels* panels) { filePanels_ = panels; }
    UserDefaults& defaults() const;
    // Shows an error in the standard alert.
    void presentError(const ErrorInfo& error);

    static inline const QString recentDocumentsKey = QStringLiteral("recentDocuments");

Q_SIGNALS:
    // A document left the list: it closed.
    void documentRemoved();

private:
    QString nextUntitledName() const;

    std::vector<Document*> documents_;
    UserDefaults* defaults_;
    AlertPresenter* alertPresenter_ = nullptr;
    FilePanels* filePanels_ = nullptr;
    int maximumRecentDocumentCount_ = 30;
    double autosavingDelay_ = 0;
    QTimer* autosaveTimer_ = nullptr;
};

}  // namespace korimado
