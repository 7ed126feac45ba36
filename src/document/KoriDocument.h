#pragma once

#include "document/CodecError.h"
#include "document/FileFingerprint.h"
#include "document/LineIndex.h"
#include "document/TextCodec.h"
#include "document/TextEncoding.h"
#include "document/TextFormat.h"
#include "platform/documents/Document.h"
#include "platform/text/TextStorage.h"
#include "platform/foundation/WorkItem.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace korimado {

class DispatchQueue;
class ExternalFileMonitor;
class KoriDocumentWindow;

// The text document: one text file (or one opened folder, shown in the window's file tree). It
// reads through the codec, writes back byte-exact when nothing changed, refuses to overwrite a
// file that changed on disk, follows changes other programs make, and keeps the line index and
// revision in step with every edit.
class KoriDocument : public Document, private TextStorageDelegate {
    Q_OBJECT

public:
    using WindowControllerFactory = std::function<std::unique_ptr<WindowController>(KoriDocument&)>;

    static inline const QString plainTextType = QStringLiteral("public.plain-text");
    static inline const QString markdownType = QStringLiteral("net.daringfireball.markdown");
    static const QStringList& readableTypes();
    static bool isNativeType(const QString& type);
    static bool autosavesInPlace() { return false; }
    // Larger files are refused before reading.
    static constexpr qint64 maximumFileSize = TextCodec::maximumFileSize;
    // Where the external-change status message goes.
    static inline const QString externalChangeMessage =
        QStringLiteral("外部で更新されています。再読み込みか別名保存を選んでください。");
    static constexpr int conflictErrorCode = 409;
    // A save that would rewrite untouched bytes, with nobody to ask first.
    static constexpr int bytesWouldChangeErrorCode = 410;
    // Autosaved text that the document, read-only now, does not take.
    static constexpr int notEditableErrorCode = 423;
    static inline const QString notEditableMessage = QStringLiteral("この文書は編集できません。");
    // The name of the undo step that gives back autosaved text.
    static inline const QString restoreActionName = QStringLiteral("自動保存から復元");
    static inline const QString lineEndingActionName = QStringLiteral("改行コードを変更");

    // Fills makeWindowControllers; set by the window layer.
    static void setWindowControllerFactory(WindowControllerFactory factory);
    // The format of new documents, read from the settings; set by the document controller.
    static void setDefaultFormatProvider(std::function<TextFormat()> provider);

    KoriDocument();
    ~KoriDocument() override;

    TextStorage& storage() { return *storage_; }
    const TextStorage& storage() const { return *storage_; }
    // For the text views, which share the one storage with the document.
    const std::shared_ptr<TextStorage>& sharedStorage() const { return storage_; }
    // The whole text as one string. Readers of one revision share one copy (right after a read, the
    // text read), so that background jobs do not each flatten a large document again.
    QString string() const;
    const std::shared_ptr<LineIndex>& lines() const { return lines_; }
    TextFormat format() const { return format_; }
    // Sets the format as it stands (the window's line-ending change converts the text itself and
    // registers its own undo).
    void setFormat(const TextFormat& format) { format_ = format; }
    std::optional<TextEncoding> forcedEncoding() const { return forcedEncoding_; }
    void setForcedEncoding(std::optional<TextEncoding> encoding) { forcedEncoding_ = encoding; }
    // The root of the window's sidebar: the folder of a folder document, or the folder a file was
    // opened from (in its sidebar, or by the window state restored for it).
    QString rootDirectory() const { return rootDirectory_; }
    void setRootDirectory(const QString& path) { rootDirectory_ = path; }
    // Shows a folder and nothing else: it has a root and no file, and is never read or saved.
    // A file document with a root is still a file document.
    bool isFolderDocument() const { return fileURL().isEmpty() && !rootDirectory_.isEmpty(); }
    const std::optional<QByteArray>& originalData() const { return originalData_; }
    const std::optional<QString>& originalText() const { return originalText_; }
    const std::optional<TextFormat>& originalFormat() const { return originalFormat_; }
    bool isLoading() const { return loading_; }
    bool isWriting() const { return writing_; }
    bool hasExternalChanges() const { return hasExternalChanges_; }
    // Counts character edits; read from the storage, like the lines.
    std::uint64_t revision() const { return storage_->revision(); }
    QString monitoredURL() const { return monitoredURL_; }
    const std::optional<FileFingerprint>& observedFingerprint() const { return observedFingerprint_; }
    bool hasPendingExternalCheck() const;
    // The windows of this document that are document windows.
    std::vector<KoriDocumentWindow*> documentWindows() const;

    // Document overrides.
    void setFileURL(const QString& path) override;
    QString autosavingFileType() const override { return plainTextType; }
    QStringList writableTypes() const override { return {plainTextType}; }
    QString fileNameExtension(const QString& type, SaveOperation operation) const override;
    ErrorInfo willPresentError(const ErrorInfo& error) override;
    void makeWindowControllers() override;
    bool readFromURL(const QString& path, const QString& type, ErrorInfo* error) override;
    bool readFromData(const QByteArray& data, const QString& type, ErrorInfo* error) override;
    std::optional<QByteArray> data(const QString& type, ErrorInfo* error) override;
    DataJob dataJob(const QString& type) override;
    QJsonObject autosaveState() const override;
    // The text in the document's format when it can hold it, else in UTF-8, the record saying so.
    AutosaveDataJob autosaveDataJob() override;
    std::optional<QByteArray> lastFileContents() const override { return originalData_; }
    void restoreAutosaveState(const QJsonObject& state) override;
    bool readAutosavedContents(const QByteArray& contents, const QJsonObject& state, ErrorInfo* error) override;
    // Saving over the file is refused, as after an outside change, until it is read again.
    void autosaveWasMadeOverOtherContents() override;
    bool isMadeOverOtherContents() const override { return fileChangedSinceAutosave_; }
    bool writeSafely(const QString& path, const QString& type, SaveOperation operation, ErrorInfo* error) override;

    // Changes the format used for saving without touching the text. Throws CodecError when the
    // new encoding cannot hold the text; nothing changes then.
    void changeFormat(const TextFormat& format);
    // Converts every line break to ending and makes it the format's, unmixed, in one undo step
    // named "改行コードを変更". Each break is its own piece of the edit, so carets and colours stay
    // on their lines. False when the text does not take edits now; throws CodecError when the
    // encoding cannot hold the converted text. Either way nothing changes then.
    bool changeLineEnding(LineEnding ending);
    // Tells the document architecture of a change, as done, undone or redone by the undo
    // manager's state: called for each step of the text's history, and for format changes.
    void noteEdit();
    // Edited while the text's history is away from its save point (the last read or save).
    bool isDocumentEdited() const override;

    // The debounce before an external change is examined.
    static constexpr int externalCheckDelayMs = 200;
    // Examines the file now instead of after the debounce (tests, and the debounce itself).
    void inspectExternalFile();

    static ErrorInfo errorInfo(const CodecError& error);

private:
    void changesWereCleared() override;
    void textStorageDidProcessEditing(TextStorage& storage, const TextStorageEdit& edit) override;
    bool textStorageAcceptsEdits(const TextStorage& storage) const override;
    void observeFile(const QString& path);
    // Watches path, taking fingerprint as the state of the bytes last read or written.
    void observeFile(const QString& path, const std::optional<FileFingerprint>& fingerprint);
    void stopObserving();
    void fileDidChange();
    void applyFormat(const TextFormat& format);
    // Whether data() would hand back the bytes read, untouched.
    bool savesOriginalBytes(const QString& text) const;
    // Asks before a save that would change bytes of characters the user never edited (a file read
    // with a chosen encoding that does not write back exactly). False, with the error, when not to save.
    bool confirmRewritingUntouchedBytes(ErrorInfo* error);
    // Asks before writing bytes this program could not open again as this text: more than it
    // reads, a U+0000, a start that reads as a byte-order mark. False, with the error, when not to save.
    bool confirmSavingWhatCannotBeReopened(const QString& path, const QByteArray& bytes, ErrorInfo* error);
    bool confirmSaving(const QString& messageText, const QString& informativeText, ErrorInfo* error);
    // The bytes' text and format: detection, or, when detection cannot tell and the file is this
    // document's own, the encoding it was last read or written in. Throws CodecError.
    DecodedText decodeForReading(const QByteArray& data) const;
    // Makes text and format the document's as one undoable edit. False, with nothing changed,
    // when the text does not take edits now.
    bool restoreText(const QString& text, const TextFormat& format);
    // Whether the file at path still holds originalData, deciding from its attributes where they
    // suffice. None when the file cannot be examined or read.
    enum class DiskState { unchanged, changed, missing, unreadable };
    DiskState compareWithDisk(const QString& path, ErrorInfo* error) const;

    // The flattened text of one revision, shared by its readers.
    mutable std::optional<std::pair<std::uint64_t, QString>> textCache_;
    std::shared_ptr<TextStorage> storage_ = std::make_shared<TextStorage>();
    std::shared_ptr<LineIndex> lines_;
    TextFormat format_;
    std::optional<TextEncoding> forcedEncoding_;
    QString rootDirectory_;
    std::optional<QByteArray> originalData_;
    std::optional<QString> originalText_;
    std::optional<TextFormat> originalFormat_;
    bool rewritesUntouchedBytes_ = false;  // originalData does not write back exactly from originalText
    bool loading_ = false;
    bool writing_ = false;
    std::unique_ptr<ExternalFileMonitor> fileMonitor_;
    QString monitoredURL_;
    std::optional<FileFingerprint> observedFingerprint_;
    std::shared_ptr<DispatchQueue> externalFileQueue_;
    WorkItemPtr externalCheck_;
    bool hasExternalChanges_ = false;
    // The text was given back from an autosave made over other bytes than the file holds.
    bool fileChangedSinceAutosave_ = false;
};

}  // namespace korimado
