#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace korimado {

class AlertPresenter;
class AutosavedContents;
struct AutosaveRecord;
class DocumentController;
class FilePanels;
class UndoManager;
class WindowController;

// One document of the document architecture: its file and type, the edited state counted from
// changes, its undo manager and windows, saving (in place, as, a copy, autosaving elsewhere),
// reverting and the question asked before closing. Subclasses read and write the contents.
class Document : public QObject {
    Q_OBJECT

public:
    enum class SaveOperation { save = 0, saveAs = 1, saveTo = 2, autosaveElsewhere = 3, autosaveInPlace = 4 };
    enum class ChangeType { done, undone, redone, cleared };

    Document();
    ~Document() override;

    // The file, as a clean absolute path; empty for an untitled document.
    QString fileURL() const { return fileURL_; }
    virtual void setFileURL(const QString& path);
    QString fileType() const { return fileType_; }
    void setFileType(const QString& type) { fileType_ = type; }
    std::optional<QDateTime> fileModificationDate() const { return fileModificationDate_; }
    void setFileModificationDate(std::optional<QDateTime> date) { fileModificationDate_ = std::move(date); }

    // What a thing without a name is called; the first untitled document's name.
    static inline const QString untitledBaseName = QStringLiteral("名称未設定");
    // The file's name, or the untitled name (untitledBaseName, then "… 2", …).
    QString displayName() const;
    void setUntitledName(const QString& name) { untitledName_ = name; }
    QString untitledName() const { return untitledName_; }

    // Changes: done and redone count up, undone counts down, cleared marks the document clean.
    // Only these calls count; the owner of an undoable edit reports it here.
    void updateChangeCount(ChangeType change);
    // By the count of changes; a document that keeps a save point answers from it.
    virtual bool isDocumentEdited() const { return changeCount_ != 0; }
    int changeCount() const { return changeCount_; }
    bool hasUnautosavedChanges() const { return hasUnautosavedChanges_; }
    // The contents changed: autosaving must write them again, whether or not the change count
    // moved (a key joining a typing run already counted does not move it).
    void noteContentsChanged();

    // The undo manager exists while hasUndoManager is on.
    UndoManager* undoManager() const { return undoManager_.get(); }
    bool hasUndoManager() const { return undoManager_ != nullptr; }
    void setHasUndoManager(bool on);

    // Reading and writing: subclasses override data() and readFromData(), or the URL forms.
    virtual bool readFromURL(const QString& path, const QString& type, ErrorInfo* error);
    virtual bool readFromData(const QByteArray& data, const QString& type, ErrorInfo* error);
    virtual std::optional<QByteArray> data(const QString& type, ErrorInfo* error);
    // What data() would give now, as a job that may run on any thread: whatever it needs is copied
    // here, on the main thread, and later edits do not reach it. By default data() runs here and
    // the job hands its bytes over; subclasses with large contents copy cheaply and encode in the job.
    using DataJob = std::function<std::optional<QByteArray>(ErrorInfo* error)>;
    virtual DataJob dataJob(const QString& type);
    // Writes data() to path without ever leaving a half-written file.
    virtual bool writeSafely(const QString& path, const QString& type, SaveOperation operation, ErrorInfo* error);

    // Writes and, for save and save as, takes the path as the document's file and marks it clean.
    bool saveToURL(const QString& path, const QString& type, SaveOperation operation, ErrorInfo* error);
    // The menu commands; they ask for a path where needed and present their errors. True when saved.
    bool saveDocument();
    bool saveDocumentAs();
    bool saveDocumentTo();
    // Writes unsaved changes to the recovery folder, never over the document's file.
    bool autosave(ErrorInfo* error);
    // The timer's autosave: the bytes are made and written on the autosave queue and the outcome
    // recorded back on the main thread. It counts only when no edit came after the copy was taken;
    // a failure is told once. Nothing is started while an earlier one is under way.
    void autosaveInBackground();
    bool isAutosavingInBackground() const { return backgroundAutosaves_ > 0; }
    // Blocks until every background autosave, and every removal queued behind one, is done: for
    // quitting and tests, never for the timer.
    static void waitForBackgroundAutosaves();
    QString autosavedContentsFileURL() const;
    static QString autosaveFolder();
    // What reading the autosaved contents back needs besides their bytes (an encoding, …).
    virtual QJsonObject autosaveState() const { return {}; }
    // What an autosave writes: the contents, and the state its record keeps for reading them back.
    struct AutosaveData {
        QByteArray contents;
        QJsonObject state;
    };
    using AutosaveDataJob = std::function<std::optional<AutosaveData>(ErrorInfo* error)>;
    // What autosaving would write now, as a job for any thread, like dataJob. By default dataJob's
    // bytes with autosaveState(); a document whose file format cannot hold every text overrides it,
    // since an autosave must keep whatever was typed.
    virtual AutosaveDataJob autosaveDataJob();
    // The bytes last read from or written to the file. The autosave's record keeps their digest, so
    // that a restore can tell whether the file changed since. None when the document keeps none.
    virtual std::optional<QByteArray> lastFileContents() const { return std::nullopt; }
    // Whether the text stands on other bytes than lastFileContents (an autosave given back over a
    // file changed since): its autosaves then match no file, so that a later start still knows.
    virtual bool isMadeOverOtherContents() const { return false; }
    // Before the file of a reopened autosave is read: what the state says about reading it.
    virtual void restoreAutosaveState(const QJsonObject& state) { (void)state; }
    // Takes in contents an autosave of this document wrote, with the state it recorded, as an
    // unsaved change: afterwards the document holds them and is edited (unless they equal what it
    // held). The document may already hold its file.
    virtual bool readAutosavedContents(const QByteArray& contents, const QJsonObject& state, ErrorInfo* error);
    // The reopened autosave was made over other bytes than its file holds now: saving must not
    // overwrite them unasked.
    virtual void autosaveWasMadeOverOtherContents() {}

    // Reads the file again, dropping the undo history and the edited state.
    bool revertToContentsOfURL(const QString& path, const QString& type, ErrorInfo* error);
    // The menu command: asks first when there are unsaved changes. True when reverted.
    bool revertDocumentToSaved();

    // Asks whether to save unsaved changes; true when the document may close. The question is a
    // sheet on window when one is given (the window being closed). Asked once at a time: while
    // it is on screen, a second call answers false.
    bool canClose(QWidget* window = nullptr);
    // Closes the windows and leaves the controller; the object is deleted later.
    virtual void close();

    // Windows. makeWindowControllers is the hook that creates them when a document is shown.
    virtual void makeWindowControllers() {}
    WindowController* addWindowController(std::unique_ptr<WindowController> controller);
    void removeWindowController(WindowController* controller);
    const std::vector<std::unique_ptr<WindowController>>& windowControllers() const { return windowControllers_; }
    void showWindows();
    // A window is closing: the last one asks canClose() and closes the document. True when it closed.
    bool shouldCloseWindowController(WindowController* controller);

    // Errors reach the user through the alert presenter, after willPresentError has seen them.
    virtual ErrorInfo willPresentError(const ErrorInfo& error) { return error; }
    void presentError(const ErrorInfo& error);

    virtual QString autosavingFileType() const { return fileType_; }
    virtual QStringList writableTypes() const { return {fileType_}; }
    // The extension given to new files of type; empty for none.
    virtual QString fileNameExtension(const QString& type, SaveOperation operation) const;

    DocumentController* documentController() const { return controller_; }
    AlertPresenter* alertPresenter() const;
    FilePanels* filePanels() const;

protected:
    // The document became clean (saved, reverted, read again): where it keeps a save point, here.
    virtual void changesWereCleared() {}

private:
    friend class DocumentController;
    void removeAutosavedContents();
    bool prepareAutosavedContents(ErrorInfo* error);
    AutosaveRecord autosaveRecord() const;
    // Writes the autosave as it stands now when called, on any thread.
    std::function<bool(ErrorInfo* error)> autosaveWriter();
    void finishBackgroundAutosave(bool written, const ErrorInfo& error, std::uint64_t edit, std::uint64_t generation);
    void noteAutosaveFailure(const ErrorInfo& error);
    std::optional<QString> askForSavePath(SaveOperation operation);

    QString fileURL_;
    QString fileType_;
    std::optional<QDateTime> fileModificationDate_;
    QString untitledName_;
    int changeCount_ = 0;
    bool editedShown_ = false;  // what the windows were last told
    bool hasUnautosavedChanges_ = false;
    std::shared_ptr<AutosavedContents> autosaved_;
    std::unique_ptr<UndoManager> undoManager_;
    std::vector<std::unique_ptr<WindowController>> windowControllers_;
    DocumentController* controller_ = nullptr;
    bool closed_ = false;
    bool askingToClose_ = false;  // the save question is on screen
    bool autosaveFailureReported_ = false;  // told once until an autosave works again
    std::uint64_t editSerial_ = 0;           // counts every change, also those that cancel out
    std::uint64_t autosaveGeneration_ = 0;   // moves on whenever the autosaved contents are dropped
    int backgroundAutosaves_ = 0;
};

}  // namespace korimado
