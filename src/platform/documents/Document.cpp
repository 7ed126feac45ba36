#include "platform/documents/Document.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FilePath.h"

#include "platform/ui/AlertPresenter.h"
#include "platform/documents/AutosavedContents.h"
#include "platform/documents/DocumentController.h"
#include "platform/documents/FileIO.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/ui/FilePanels.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/WindowController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace korimado {

namespace {

// The longest start of base that, followed by tail, still makes a file name the system takes.
QString fittedBaseName(const QString& base, const QString& tail)
{
    constexpr qsizetype nameMax = 255;
    const qsizetype room = nameMax - QFile::encodeName(tail).size();
    QString fitted = base;
    while (!fitted.isEmpty() && QFile::encodeName(fitted).size() > room) {
        fitted.chop(fitted.size() >= 2 && fitted.back().isLowSurrogate() ? 2 : 1);
    }
    return fitted;
}

bool autosaveQueueUsed = false;

// One queue for the autosaves of all documents: one disk, and a removal queued behind a write
// runs after it.
DispatchQueue& autosaveQueue()
{
    autosaveQueueUsed = true;
    static DispatchQueue queue(DispatchQueue::applicationLabel(QStringLiteral("autosave")));
    return queue;
}

ErrorInfo unsupportedOperation()
{
    return ErrorInfo{Bundle::configuration().errorDomain, 1, QStringLiteral("この書類はこの操作に対応していません。"),
                     {}};
}

}  // namespace

Document::Document() = default;

Document::~Document()
{
    // Windows refer to the document: they go first.
    while (!windowControllers_.empty()) {
        windowControllers_.back()->document_ = nullptr;
        windowControllers_.pop_back();
    }
}

void Document::setFileURL(const QString& path)
{
    fileURL_ = standardizedPath(path);
    for (const auto& window : windowControllers_) window->synchronizeWindowTitleWithDocumentName();
}

QString Document::displayName() const
{
    if (!fileURL_.isEmpty()) return QFileInfo(fileURL_).fileName();
    return untitledName_.isEmpty() ? untitledBaseName : untitledName_;
}

void Document::updateChangeCount(ChangeType change)
{
    switch (change) {
    case ChangeType::done:
    case ChangeType::redone: changeCount_ += 1; break;
    case ChangeType::undone: changeCount_ -= 1; break;
    case ChangeType::cleared:
        changeCount_ = 0;
        changesWereCleared();
        // What is typed next is a change of its own: undoing it must not reach past this point.
        if (undoManager_) undoManager_->breakCoalescing();
        break;
    }
    hasUnautosavedChanges_ = change != ChangeType::cleared;
    ++editSerial_;
    // The windows hear of a change of the edited state, whenever it came about: a save point can
    // be left before the change is counted.
    const bool edited = isDocumentEdited();
    if (edited != editedShown_) {
        editedShown_ = edited;
        for (const auto& window : windowControllers_) window->setDocumentEdited(edited);
    }
}

void Document::noteContentsChanged()
{
    hasUnautosavedChanges_ = true;
    ++editSerial_;
}

void Document::setHasUndoManager(bool on)
{
    if (on == hasUndoManager()) return;
    if (!on) {
        undoManager_.reset();
        return;
    }
    undoManager_ = std::make_unique<UndoManager>();
}

bool Document::readFromURL(const QString& path, const QString& type, ErrorInfo* error)
{
    const auto bytes = readWholeFile(path, error);
    return bytes && readFromData(*bytes, type, error);
}

bool Document::readFromData(const QByteArray&, const QString&, ErrorInfo* error)
{
    if (error) *error = unsupportedOperation();
    return false;
}

std::optional<QByteArray> Document::data(const QString&, ErrorInfo* error)
{
    if (error) *error = unsupportedOperation();
    return std::nullopt;
}

Document::DataJob Document::dataJob(const QString& type)
{
    ErrorInfo error;
    std::optional<QByteArray> bytes = data(type, &error);
    return [bytes = std::move(bytes), error](ErrorInfo* out) {
        if (!bytes && out) *out = error;
        return bytes;
    };
}

bool Document::writeSafely(const QString& path, const QString& type, SaveOperation, ErrorInfo* error)
{
    const auto bytes = data(type, error);
    return bytes && writeFileSafely(path, *bytes, error);
}

bool Document::saveToURL(const QString& path, const QString& type, SaveOperation operation, ErrorInfo* error)
{
    const QString target = standardizedPath(path);
    if (!writeSafely(target, type, operation, error)) return false;
    switch (operation) {
    case SaveOperation::save:
    case SaveOperation::saveAs:
    case SaveOperation::autosaveInPlace:
        if (target != fileURL_) setFileURL(target);
        fileType_ = type;
        fileModificationDate_ = QFileInfo(target).lastModified();
        updateChangeCount(ChangeType::cleared);
        removeAutosavedContents();
        if (controller_) controller_->noteNewRecentDocumentURL(target);
        break;
    case SaveOperation::saveTo: break;
    case SaveOperation::autosaveElsewhere: hasUnautosavedChanges_ = false; break;
    }
    return true;
}

std::optional<QString> Document::askForSavePath(SaveOperation operation)
{
    FilePanels* panels = filePanels();
    if (!panels) return std::nullopt;
    SavePanelOptions options;
    options.parent = WindowController::sheetWindowOf(windowControllers_);
    options.prompt = QStringLiteral("保存");
    QString name = displayName();
    const QString extension = fileNameExtension(fileType_, operation);
    if (!extension.isEmpty() && QFileInfo(name).suffix().isEmpty()) name += '.' + extension;
    options.nameFieldValue = name;
    if (!fileURL_.isEmpty()) options.directory = QFileInfo(fileURL_).path();
    const SavePanelResult result = panels->runSavePanel(options);
    if (!result.confirmed || result.path.isEmpty()) return std::nullopt;
    return result.path;
}

bool Document::saveDocument()
{
    if (fileURL_.isEmpty()) return saveDocumentAs();
    ErrorInfo error;
    if (saveToURL(fileURL_, fileType_, SaveOperation::save, &error)) return true;
    presentError(error);
    return false;
}

bool Document::saveDocumentAs()
{
    const auto path = askForSavePath(SaveOperation::saveAs);
    if (!path) return false;
    ErrorInfo error;
    if (saveToURL(*path, writableTypes().value(0, fileType_), SaveOperation::saveAs, &error)) return true;
    presentError(error);
    return false;
}

bool Document::saveDocumentTo()
{
    const auto path = askForSavePath(SaveOperation::saveTo);
    if (!path) return false;
    ErrorInfo error;
    if (saveToURL(*path, writableTypes().value(0, fileType_), SaveOperation::saveTo, &error)) return true;
    presentError(error);
    return false;
}

QString Document::autosaveFolder()
{
    return Bundle::applicationSupportPath(QStringLiteral("Autosave"));
}

QString Document::autosavedContentsFileURL() const
{
    return autosaved_ ? autosaved_->contentsPath() : QString();
}

bool Document::prepareAutosavedContents(ErrorInfo* error)
{
    if (autosaved_) return true;
    const QFileInfo name(displayName());
    QString extension = name.suffix();
    if (extension.isEmpty()) extension = fileNameExtension(autosavingFileType(), SaveOperation::autosaveElsewhere);
    const QString tail = extension.isEmpty() ? QString() : '.' + extension;
    autosaved_ = AutosavedContents::create(autosaveFolder(), fittedBaseName(name.completeBaseName(), tail) + tail, error);
    return autosaved_ != nullptr;
}

AutosaveRecord Document::autosaveRecord() const
{
    AutosaveRecord record;
    record.fileURL = fileURL_;
    record.fileType = fileType_;
    record.displayName = displayName();
    return record;
}

Document::AutosaveDataJob Document::autosaveDataJob()
{
    return [job = dataJob(autosavingFileType()), state = autosaveState()](ErrorInfo* error) -> std::optional<AutosaveData> {
        std::optional<QByteArray> bytes = job(error);
        if (!bytes) return std::nullopt;
        return AutosaveData{std::move(*bytes), state};
    };
}

std::function<bool(ErrorInfo*)> Document::autosaveWriter()
{
    // The digest is taken on the way too: hashing a large file must not hold up the main thread.
    return [job = autosaveDataJob(), autosaved = autosaved_, record = autosaveRecord(),
            file = lastFileContents(), overOther = isMadeOverOtherContents()](ErrorInfo* error) mutable {
        std::optional<AutosaveData> data = job(error);
        if (!data) return false;
        record.state = std::move(data->state);
        if (overOther) record.fileContents = FileContentsDigest::matchingNothing();
        else if (file) record.fileContents = FileContentsDigest::of(*file);
        return autosaved->write(std::move(record), data->contents, error);
    };
}

bool Document::autosave(ErrorInfo* error)
{
    if (!hasUnautosavedChanges_) return true;
    // A background write of the same file must not race this one.
    if (backgroundAutosaves_ > 0) waitForBackgroundAutosaves();
    if (!prepareAutosavedContents(error)) return false;
    if (!autosaveWriter()(error)) return false;
    hasUnautosavedChanges_ = false;
    return true;
}

bool Document::readAutosavedContents(const QByteArray& contents, const QJsonObject&, ErrorInfo* error)
{
    if (!readFromData(contents, fileType_, error)) return false;
    updateChangeCount(ChangeType::done);
    return true;
}

void Document::autosaveInBackground()
{
    if (!hasUnautosavedChanges_ || backgroundAutosaves_ > 0) return;
    ErrorInfo error;
    if (!prepareAutosavedContents(&error)) {
        noteAutosaveFailure(error);
        return;
    }
    ++backgroundAutosaves_;
    autosaveQueue().async([write = autosaveWriter(), document = QPointer<Document>(this), edit = editSerial_,
                           generation = autosaveGeneration_] {
        ErrorInfo error;
        const bool written = write(&error);
        MainQueue::async([document, written, error, edit, generation] {
            if (document) document->finishBackgroundAutosave(written, error, edit, generation);
        });
    });
}

void Document::finishBackgroundAutosave(bool written, const ErrorInfo& error, std::uint64_t edit,
                                        std::uint64_t generation)
{
    --backgroundAutosaves_;
    // Saved, reverted or closed meanwhile: the removal of what was written is queued behind it.
    if (generation != autosaveGeneration_) return;
    if (!written) {
        noteAutosaveFailure(error);
        return;
    }
    autosaveFailureReported_ = false;
    // Edits made during the write are not in the file: the next tick writes them.
    if (edit == editSerial_) hasUnautosavedChanges_ = false;
}

void Document::noteAutosaveFailure(const ErrorInfo& error)
{
    // Retried at every tick, but told only once: the user must know their work is not kept,
    // without an alert every 45 seconds.
    if (autosaveFailureReported_) return;
    autosaveFailureReported_ = true;
    presentError(ErrorInfo{error.domain, error.code,
                           QStringLiteral("書類“%1”を自動保存できませんでした。").arg(displayName()) + error.description,
                           error.recoverySuggestion});
}

void Document::waitForBackgroundAutosaves()
{
    if (autosaveQueueUsed) autosaveQueue().sync([] {});
}

void Document::removeAutosavedContents()
{
    ++autosaveGeneration_;
    if (!autosaved_) return;
    std::shared_ptr<AutosavedContents> autosaved = std::move(autosaved_);
    autosaved_.reset();
    // A write under way would bring the files back: the removal goes after it.
    if (backgroundAutosaves_ > 0) {
        autosaveQueue().async([autosaved] { autosaved->remove(); });
        return;
    }
    autosaved->remove();
}

bool Document::revertToContentsOfURL(const QString& path, const QString& type, ErrorInfo* error)
{
    if (!readFromURL(path, type, error)) return false;
    fileModificationDate_ = QFileInfo(path).lastModified();
    if (undoManager_) undoManager_->removeAllActions();
    updateChangeCount(ChangeType::cleared);
    removeAutosavedContents();
    return true;
}

bool Document::revertDocumentToSaved()
{
    if (fileURL_.isEmpty()) return false;
    if (isDocumentEdited()) {
        AlertPresenter* presenter = alertPresenter();
        Alert alert{QStringLiteral("書類“%1”を最後に保存した状態に戻しますか？").arg(displayName()),
                    QStringLiteral("現在の変更内容は失われます。"),
                    {QStringLiteral("戻す"), QStringLiteral("キャンセル")},
                    Alert::Style::warning};
        alert.parent = WindowController::sheetWindowOf(windowControllers_);
        const int answer = presenter ? presenter->runModal(alert) : 1;
        if (answer != 0) return false;
    }
    ErrorInfo error;
    if (revertToContentsOfURL(fileURL_, fileType_, &error)) return true;
    presentError(error);
    return false;
}

bool Document::canClose(QWidget* window)
{
    if (!isDocumentEdited()) return true;
    // The question is already on screen (this is an event served inside it): the one answer
    // decides, and a second question over it would close the window under the first.
    if (askingToClose_) return false;
    AlertPresenter* presenter = alertPresenter();
    // Without anyone to ask, unsaved work must not be thrown away.
    if (!presenter) return false;
    Alert alert{QStringLiteral("書類“%1”に加えた変更を保存しますか？").arg(displayName()),
                QStringLiteral("保存しない場合は、変更内容が失われます。"),
                {QStringLiteral("保存"), QStringLiteral("キャンセル"), QStringLiteral("保存しない")},
                Alert::Style::warning};
    // Asked on the window being closed, else on the document's own window, whichever is active.
    alert.parent = window ? window : WindowController::sheetWindowOf(windowControllers_);
    askingToClose_ = true;
    const int answer = presenter->runModal(alert);
    askingToClose_ = false;
    switch (answer) {
    case 0: return saveDocument();
    case 2: return true;
    default: return false;
    }
}

void Document::close()
{
    if (closed_) return;
    closed_ = true;
    while (!windowControllers_.empty()) {
        std::unique_ptr<WindowController> window = std::move(windowControllers_.back());
        windowControllers_.pop_back();
        window->closeWindow();
        window->document_ = nullptr;
    }
    removeAutosavedContents();
    if (controller_) controller_->removeDocument(this);
    deleteLater();
}

WindowController* Document::addWindowController(std::unique_ptr<WindowController> controller)
{
    controller->document_ = this;
    windowControllers_.push_back(std::move(controller));
    windowControllers_.back()->synchronizeWindowTitleWithDocumentName();
    windowControllers_.back()->setDocumentEdited(isDocumentEdited());
    return windowControllers_.back().get();
}

void Document::removeWindowController(WindowController* controller)
{
    const auto found = std::find_if(windowControllers_.begin(), windowControllers_.end(),
                                    [&](const auto& entry) { return entry.get() == controller; });
    if (found == windowControllers_.end()) return;
    std::unique_ptr<WindowController> window = std::move(*found);
    windowControllers_.erase(found);
    window->document_ = nullptr;
}

void Document::showWindows()
{
    for (const auto& window : windowControllers_) window->showWindow();
}

bool Document::shouldCloseWindowController(WindowController* controller)
{
    if (windowControllers_.size() > 1) {
        removeWindowController(controller);
        return true;
    }
    if (!canClose(controller ? controller->windowForSheet() : nullptr)) return false;
    close();
    return true;
}

void Document::presentError(const ErrorInfo& error)
{
    if (error.isUserCancelled()) return;
    const ErrorInfo shown = willPresentError(error);
    if (AlertPresenter* presenter = alertPresenter()) presenter->presentError(shown, WindowController::sheetWindowOf(windowControllers_));
}

QString Document::fileNameExtension(const QString&, SaveOperation) const
{
    return QFileInfo(fileURL_).suffix();
}

AlertPresenter* Document::alertPresenter() const
{
    if (controller_ && controller_->alertPresenter()) return controller_->alertPresenter();
    return AlertPresenter::shared();
}

FilePanels* Document::filePanels() const
{
    if (controller_ && controller_->filePanels()) return controller_->filePanels();
    return FilePanels::shared();
}

}  // namespace korimado
