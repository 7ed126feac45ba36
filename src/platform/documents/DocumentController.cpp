#include "platform/documents/DocumentController.h"
#include "platform/foundation/FilePath.h"

#include "platform/ui/AlertPresenter.h"
#include "platform/documents/Document.h"
#include "platform/foundation/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace korimado {

namespace {

DocumentController* sharedController = nullptr;

}  // namespace

DocumentController::DocumentController(UserDefaults* defaults) : defaults_(defaults)
{
    if (!sharedController) sharedController = this;
}

DocumentController::~DocumentController()
{
    if (sharedController == this) sharedController = nullptr;
    const std::vector<Document*> documents = std::move(documents_);
    for (Document* document : documents) {
        document->controller_ = nullptr;
        delete document;
    }
    // At exit the queue drops what has not started: removals of autosave files must not be lost.
    Document::waitForBackgroundAutosaves();
}

DocumentController* DocumentController::shared()
{
    return sharedController;
}

UserDefaults& DocumentController::defaults() const
{
    return defaults_ ? *defaults_ : UserDefaults::standard();
}

void DocumentController::presentError(const ErrorInfo& error)
{
    if (error.isUserCancelled()) return;
    AlertPresenter* presenter = alertPresenter_ ? alertPresenter_ : AlertPresenter::shared();
    if (presenter) presenter->presentError(error);
}

Document* DocumentController::addDocument(std::unique_ptr<Document> document)
{
    Document* added = document.release();
    if (added->fileURL().isEmpty() && added->untitledName().isEmpty()) added->setUntitledName(nextUntitledName());
    added->controller_ = this;
    documents_.push_back(added);
    return added;
}

void DocumentController::removeDocument(Document* document)
{
    const auto found = std::find(documents_.begin(), documents_.end(), document);
    if (found == documents_.end()) return;
    documents_.erase(found);
    document->controller_ = nullptr;
    Q_EMIT documentRemoved();
}

Document* DocumentController::documentForURL(const QString& path) const
{
    const QString wanted = standardizedPath(path);
    for (Document* document : documents_) {
        if (!document->fileURL().isEmpty() && document->fileURL() == wanted) return document;
    }
    return nullptr;
}

QString DocumentController::nextUntitledName() const
{
    QSet<QString> used;
    for (const Document* document : documents_) {
        if (document->fileURL().isEmpty()) used.insert(document->untitledName());
    }
    const QString& base = Document::untitledBaseName;
    if (!used.contains(base)) return base;
    for (int number = 2;; ++number) {
        const QString name = base + ' ' + QString::number(number);
        if (!used.contains(name)) return name;
    }
}

Document* DocumentController::openUntitledDocumentAndDisplay(bool display)
{
    std::unique_ptr<Document> document = makeDocument(defaultType());
    if (!document) return nullptr;
    document->setFileType(defaultType());
    Document* added = addDocument(std::move(document));
    added->makeWindowControllers();
    if (display) added->showWindows();
    return added;
}

std::unique_ptr<Document> DocumentController::makeDocumentWithContentsOfURL(const QString& path, const QString& type,
                                                                            ErrorInfo* error)
{
    std::unique_ptr<Document> document = makeDocument(type);
    if (!document) return nullptr;
    if (!document->readFromURL(standardizedPath(path), type, error)) return nullptr;
    document->setFileURL(path);
    document->setFileType(type);
    if (!document->fileModificationDate()) document->setFileModificationDate(QFileInfo(path).lastModified());
    return document;
}

void DocumentController::openDocument(const QString& path, bool display, const OpenCompletion& completion)
{
    if (Document* open = documentForURL(path)) {
        if (display) open->showWindows();
        if (completion) completion(open, true, std::nullopt);
        return;
    }
    ErrorInfo error;
    std::unique_ptr<Document> document = makeDocumentWithContentsOfURL(path, defaultType(), &error);
    if (!document) {
        if (completion) completion(nullptr, false, error);
        return;
    }
    Document* added = addDocument(std::move(document));
    added->makeWindowControllers();
    if (display) added->showWindows();
    noteNewRecentDocumentURL(path);
    if (completion) completion(added, false, std::nullopt);
}

QStringList DocumentController::recentDocumentURLs() const
{
    QStringList paths;
    const auto stored = defaults().array(recentDocumentsKey);
    if (!stored) return paths;
    for (const DefaultsValue& value : *stored) {
        if (value.isString() && !value.stringValue().isEmpty()) paths.append(value.stringValue());
    }
    return paths;
}

void DocumentController::noteNewRecentDocumentURL(const QString& path)
{
    if (path.isEmpty()) return;
    QStringList paths = recentDocumentURLs();
    const QString clean = standardizedPath(path);
    paths.removeAll(clean);
    paths.prepend(clean);
    while (paths.size() > maximumRecentDocumentCount_) paths.removeLast();
    DefaultsValue::Array stored;
    for (const QString& entry : paths) stored.append(DefaultsValue(entry));
    defaults().set(recentDocumentsKey, DefaultsValue(stored));
}

void DocumentController::clearRecentDocuments()
{
    defaults().removeObject(recentDocumentsKey);
}

void DocumentController::setMaximumRecentDocumentCount(int count)
{
    maximumRecentDocumentCount_ = std::max(0, count);
    QStringList paths = recentDocumentURLs();
    if (paths.size() <= maximumRecentDocumentCount_) return;
    DefaultsValue::Array stored;
    for (const QString& entry : paths.mid(0, maximumRecentDocumentCount_)) stored.append(DefaultsValue(entry));
    defaults().set(recentDocumentsKey, DefaultsValue(stored));
}

void DocumentController::setAutosavingDelay(double seconds)
{
    autosavingDelay_ = std::max(0.0, seconds);
    if (autosavingDelay_ <= 0) {
        delete autosaveTimer_;
        autosaveTimer_ = nullptr;
        return;
    }
    if (!autosaveTimer_) {
        autosaveTimer_ = new QTimer(this);
        connect(autosaveTimer_, &QTimer::timeout, this, &DocumentController::autosaveAllDocuments);
    }
    autosaveTimer_->start(static_cast<int>(autosavingDelay_ * 1000));
}

void DocumentController::autosaveAllDocuments()
{
    const std::vector<Document*> documents = documents_;
    for (Document* document : documents) document->autosaveInBackground();
}

bool DocumentController::hasEditedDocuments() const
{
    return std::any_of(documents_.begin(), documents_.end(), [](const Document* d) { return d->isDocumentEdited(); });
}

bool DocumentController::closeAllDocuments()
{
    const std::vector<Document*> documents = documents_;
    for (Document* document : documents) {
        if (!document->canClose()) return false;
        document->close();
    }
    return true;
}

}  // namespace korimado
