#include "platform/documents/DocumentController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FilePath.h"

#include "platform/ui/AlertPresenter.h"
#include "platform/documents/AutosaveOffer.h"
#include "platform/documents/AutosavedContents.h"
#include "platform/documents/Document.h"
#include "platform/foundation/UserDefaults.h"

#include <QDir>
#include <QPointer>
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

std::vector<Document*> DocumentController::offerAutosavedDocuments(bool display)
{
    std::vector<std::shared_ptr<AutosavedContents>> found;
    std::vector<ErrorInfo> refused;
    for (auto& claimed : AutosavedContents::claimAbandoned(Document::autosaveFolder(), &refused))
        found.push_back(std::move(claimed));
    AlertPresenter* presenter = alertPresenter_ ? alertPresenter_ : AlertPresenter::shared();
    if (!refused.empty() && presenter) presenter->runModal(AutosaveOffer::refusal(refused));
    // Unclaimed again as they go out of scope: the next start asks.
    if (found.empty() || !presenter) return {};

    std::vector<const AutosaveRecord*> records;
    for (const auto& autosaved : found) records.push_back(&autosaved->record());
    const Alert alert = AutosaveOffer::question(records);
    const int answer = presenter->runModal(alert);
    if (answer == AutosaveOffer::discard) {
        for (const auto& autosaved : found) autosaved->remove();
        return {};
    }
    if (answer != AutosaveOffer::restore) return {};

    std::vector<Document*> reopened;
    for (auto& autosaved : found) {
        const QString name = autosaved->record().displayName;
        const QString folder = autosaved->folder();
        ErrorInfo error;
        if (Document* document = reopenAutosavedDocument(std::move(autosaved), display, &error)) {
            reopened.push_back(document);
            continue;
        }
        presentError(ErrorInfo{error.domain, error.code,
                               QStringLiteral("自動保存された書類“%1”を復元できませんでした。").arg(name) + error.description,
                               QStringLiteral("自動保存された内容は“%1”に残っています。").arg(folder)});
    }
    return reopened;
}

Document* DocumentController::reopenAutosavedDocument(std::shared_ptr<AutosavedContents> autosaved, bool display,
                                                      ErrorInfo* error)
{
    const AutosaveRecord& record = autosaved->record();
    const QString type = record.fileType.isEmpty() ? defaultType() : record.fileType;
    const QString path = standardizedPath(record.fileURL);
    // The file's document when it is open already (named on the command line) with nothing of its
    // own to lose; a file taken by an edited one leaves the contents untitled.
    Document* document = path.isEmpty() ? nullptr : documentForURL(path);
    const bool fileTaken = document && (document->isDocumentEdited() || document->autosaved_);
    if (fileTaken) document = nullptr;
    std::unique_ptr<Document> created;
    if (!document) {
        created = makeDocument(type);
        if (!created) {
            if (error) *error = ErrorInfo{Bundle::configuration().errorDomain, 1, QStringLiteral("書類を作れませんでした。"), {}};
            return nullptr;
        }
        created->setFileType(type);
        created->restoreAutosaveState(record.state);
        if (!path.isEmpty() && !fileTaken) {
            if (!QFileInfo::exists(path)) {
                // Gone since: saving writes it again where it was.
                created->setFileURL(path);
            } else if (created->readFromURL(path, type, nullptr)) {
                created->setFileURL(path);
                if (!created->fileModificationDate()) created->setFileModificationDate(QFileInfo(path).lastModified());
            }
            // A file that cannot be read now leaves the contents untitled, to be saved elsewhere.
        }
    }
    Document* target = document ? document : created.get();
    // Compared with what the document now holds of its file, not with what the question saw.
    const std::optional<QByteArray> fileBytes = target->fileURL().isEmpty() ? std::nullopt : target->lastFileContents();
    const bool madeOverOtherContents =
        record.fileContents && fileBytes && FileContentsDigest::of(*fileBytes) != *record.fileContents;
    const std::optional<QByteArray> contents = autosaved->readContents(error);
    if (!contents || !target->readAutosavedContents(*contents, record.state, error)) return nullptr;
    target->autosaved_ = std::move(autosaved);
    if (created) {
        target = addDocument(std::move(created));
        target->makeWindowControllers();
    }
    if (madeOverOtherContents) target->autosaveWasMadeOverOtherContents();
    if (display) target->showWindows();
    return target;
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

bool DocumentController::closeAllDocuments()
{
    // A question runs its own event loop, in which another road may close a later document.
    std::vector<QPointer<Document>> documents(documents_.begin(), documents_.end());
    for (const QPointer<Document>& document : documents) {
        if (!document) continue;
        if (!document->canClose()) return false;
        if (document) document->close();
    }
    return true;
}

}  // namespace korimado
