#include "document/KoriDocument.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FilePath.h"

#include "document/EncodingConverter.h"
#include "document/ExternalFileMonitor.h"
#include "document/KoriDocumentWindow.h"
#include "document/TextCodec.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/documents/FileIO.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/TextEditing.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/WindowController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace korimado {

namespace {

KoriDocument::WindowControllerFactory& windowFactory()
{
    static KoriDocument::WindowControllerFactory factory;
    return factory;
}

std::function<TextFormat()>& defaultFormat()
{
    static std::function<TextFormat()> provider;
    return provider;
}

ErrorInfo conflictError()
{
    return ErrorInfo{Bundle::configuration().errorDomain, KoriDocument::conflictErrorCode,
                     QStringLiteral("ファイルが外部で変更されています。上書きを中止しました。"),
                     QStringLiteral("再読み込みで外部の変更を確認するか、別名で保存してください。")};
}

}  // namespace

const QStringList& KoriDocument::readableTypes()
{
    static const QStringList types{plainTextType, QStringLiteral("public.text"), markdownType,
                                   QStringLiteral("public.source-code"), QStringLiteral("public.svg-image")};
    return types;
}

bool KoriDocument::isNativeType(const QString& type)
{
    return readableTypes().contains(type);
}

void KoriDocument::setWindowControllerFactory(WindowControllerFactory factory)
{
    windowFactory() = std::move(factory);
}

void KoriDocument::setDefaultFormatProvider(std::function<TextFormat()> provider)
{
    defaultFormat() = std::move(provider);
}

ErrorInfo KoriDocument::errorInfo(const CodecError& error)
{
    return ErrorInfo{Bundle::configuration().errorDomain + QStringLiteral(".CodecError"), static_cast<int>(error.kind()), error.errorDescription(), {}};
}

KoriDocument::KoriDocument() : lines_(std::make_shared<LineIndex>(storage_))
{
    if (defaultFormat()) format_ = defaultFormat()();
    setFileType(plainTextType);
    setHasUndoManager(true);
    storage_->setDelegate(this);
    // Every character edit is a change of the document, whichever view or command made it; the
    // steps of the history are what the change count counts.
    storage_->history().setDefaultUndoManager(undoManager());
    storage_->history().didRecordStep = [this] {
        if (loading_) return;
        noteContentsChanged();
        noteEdit();
    };
}

KoriDocument::~KoriDocument()
{
    // Windows read the document as they go (their state, their text): they go while it is whole.
    while (!windowControllers().empty()) removeWindowController(windowControllers().back().get());
    stopObserving();
    storage_->setDelegate(nullptr);
    storage_->history().didRecordStep = nullptr;
    storage_->history().setDefaultUndoManager(nullptr);
}

bool KoriDocument::hasPendingExternalCheck() const
{
    return externalCheck_ && !externalCheck_->isCancelled();
}

std::vector<KoriDocumentWindow*> KoriDocument::documentWindows() const
{
    std::vector<KoriDocumentWindow*> windows;
    for (const auto& controller : windowControllers()) {
        if (auto* window = dynamic_cast<KoriDocumentWindow*>(controller.get())) windows.push_back(window);
    }
    return windows;
}

void KoriDocument::setFileURL(const QString& path)
{
    Document::setFileURL(path);
    // The file just read is watched already, with the state it had before the read: a fresh
    // fingerprint could take in a change made meanwhile and hide it.
    const bool watched = fileMonitor_ && fileMonitor_->isActive() && standardizedPath(fileURL()) == monitoredURL_;
    if (!fileURL().isEmpty() && !watched) observeFile(fileURL());
    for (KoriDocumentWindow* window : documentWindows()) window->reloadDocument();
}

QString KoriDocument::fileNameExtension(const QString&, SaveOperation) const
{
    // A leading dot marks a hidden file, not an extension: ".bashrc" has none.
    const QString name = QFileInfo(fileURL()).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 && dot < name.size() - 1 ? name.mid(dot + 1) : QStringLiteral("txt");
}

ErrorInfo KoriDocument::willPresentError(const ErrorInfo& error)
{
    if (QCoreApplication::instance() && QCoreApplication::arguments().contains(QStringLiteral("--ui-self-test"))) {
        std::printf("Document error: %s\n", error.debugDescription().toUtf8().constData());
        std::fflush(stdout);
    }
    return error;
}

void KoriDocument::makeWindowControllers()
{
    if (windowFactory()) {
        if (auto controller = windowFactory()(*this)) addWindowController(std::move(controller));
    }
}

bool KoriDocument::readFromURL(const QString& path, const QString& type, ErrorInfo* error)
{
    // Taken before the read, so that a change made while reading shows as a change later.
    const auto before = FileFingerprint::capture(path, error);
    if (!before) return false;
    if (before->size > maximumFileSize) {
        if (error) *error = errorInfo(CodecError::makeTooLarge());
        return false;
    }
    // The size can grow between the two looks; the read stops past the limit either way.
    const auto bytes = readWholeFile(path, error, maximumFileSize);
    if (!bytes) return false;
    if (bytes->size() > maximumFileSize) {
        if (error) *error = errorInfo(CodecError::makeTooLarge());
        return false;
    }
    if (!readFromData(*bytes, type, error)) return false;
    const QFileInfo file(path);
    setFileModificationDate(file.exists() ? std::optional<QDateTime>(file.lastModified()) : std::nullopt);
    hasExternalChanges_ = false;
    fileChangedSinceAutosave_ = false;
    observeFile(path, before);
    return true;
}

bool KoriDocument::readFromData(const QByteArray& data, const QString&, ErrorInfo* error)
{
    DecodedText decoded;
    try {
        decoded = decodeForReading(data);
    } catch (const CodecError& codecError) {
        if (error) *error = errorInfo(codecError);
        return false;
    }
    loading_ = true;
    format_ = decoded.format;
    storage_->setString(decoded.text);
    // Detection only accepts decodings that write back exactly; a chosen encoding may not.
    rewritesUntouchedBytes_ = forcedEncoding_ && !TextCodec::reencodesExactly(data, decoded);
    originalData_ = data;
    originalText_ = std::move(decoded.text);
    originalFormat_ = format_;
    textCache_ = {revision(), *originalText_};
    storage_->history().markSavePoint();
    loading_ = false;
    for (KoriDocumentWindow* window : documentWindows()) window->reloadDocument();
    return true;
}

DecodedText KoriDocument::decodeForReading(const QByteArray& data) const
{
    if (forcedEncoding_) return TextCodec::decode(data, forcedEncoding_);
    try {
        return TextCodec::decode(data);
    } catch (const CodecError& error) {
        // A file saved in UTF-16 without a mark is all NUL bytes to detection; bytes two encodings
        // read alike are ambiguous. The file this document last read or wrote is neither.
        if (!originalFormat_ || (error.kind() != CodecError::unsupported && error.kind() != CodecError::ambiguous))
            throw;
        std::optional<DecodedText> recorded;
        try {
            recorded = TextCodec::decode(data, originalFormat_->encoding);
        } catch (const CodecError&) {
        }
        if (!recorded || !TextCodec::reencodesExactly(data, *recorded)) throw;
        return std::move(*recorded);
    }
}

QString KoriDocument::string() const
{
    if (!textCache_ || textCache_->first != revision()) textCache_ = {revision(), storage_->string()};
    return textCache_->second;
}

namespace {

// The bytes saving text in format writes. Unedited, they are the bytes read, untouched, whatever a
// fresh encoding would make of them. Touches nothing but its arguments: it also runs on the queue.
struct Encoding {
    TextFormat format;
    std::optional<QByteArray> originalData;
    std::optional<QString> originalText;
    std::optional<TextFormat> originalFormat;

    bool savesOriginalBytes(const QString& text) const
    {
        return originalFormat && *originalFormat == format && originalText && originalData && *originalText == text;
    }
    std::optional<QByteArray> encode(const QString& text, ErrorInfo* error) const
    {
        if (savesOriginalBytes(text)) return originalData;
        try {
            return TextCodec::encode(text, format);
        } catch (const CodecError& codecError) {
            if (error) *error = KoriDocument::errorInfo(codecError);
            return std::nullopt;
        }
    }
};

}  // namespace

bool KoriDocument::savesOriginalBytes(const QString& text) const
{
    return Encoding{format_, originalData_, originalText_, originalFormat_}.savesOriginalBytes(text);
}

std::optional<QByteArray> KoriDocument::data(const QString&, ErrorInfo* error)
{
    // One flattening serves the comparison, the encoding and the text remembered after writing.
    return Encoding{format_, originalData_, originalText_, originalFormat_}.encode(string(), error);
}

Document::DataJob KoriDocument::dataJob(const QString&)
{
    // All shared copies: the snapshot takes the storage's chunks, the rest are implicitly shared.
    // The text flattened for this revision already serves; else the queue flattens the snapshot.
    Encoding encoding{format_, originalData_, originalText_, originalFormat_};
    if (textCache_ && textCache_->first == revision())
        return [encoding = std::move(encoding), text = textCache_->second](ErrorInfo* error) {
            return encoding.encode(text, error);
        };
    return [encoding = std::move(encoding), text = storage_->snapshot()](ErrorInfo* error) {
        return encoding.encode(text.string(), error);
    };
}

KoriDocument::DiskState KoriDocument::compareWithDisk(const QString& path, ErrorInfo* error) const
{
    ErrorInfo captureError;
    const auto current = FileFingerprint::capture(path, &captureError);
    if (!current) {
        if (error) *error = captureError;
        return (captureError.code == ENOENT || captureError.code == ENOTDIR) ? DiskState::missing
                                                                               : DiskState::unreadable;
    }
    if (!originalData_) return DiskState::changed;
    // Only a file of the size last read can still hold those bytes; only then is it worth reading.
    // Equal attributes prove nothing: a rewrite of the same length within the file system's time
    // granule, or one that keeps the time, leaves them as they were.
    if (current->size != originalData_->size()) return DiskState::changed;
    const auto bytes = readWholeFile(path, error, originalData_->size());
    if (!bytes) return DiskState::unreadable;
    return *bytes == *originalData_ ? DiskState::unchanged : DiskState::changed;
}

bool KoriDocument::writeSafely(const QString& path, const QString& type, SaveOperation operation, ErrorInfo* error)
{
    const QString target = standardizedPath(path);
    if (target == standardizedPath(fileURL()) && originalData_) {
        // A file another program deleted holds nothing to lose: writing it again is no conflict.
        const DiskState state = compareWithDisk(target, nullptr);
        // Bytes the file holds now may be written back; the text restored over them may not.
        const bool restoredOverOtherBytes = fileChangedSinceAutosave_ && !savesOriginalBytes(string());
        if (state == DiskState::changed || state == DiskState::unreadable || restoredOverOtherBytes) {
            hasExternalChanges_ = true;
            if (error) *error = conflictError();
            return false;
        }
    }

    if (operation != SaveOperation::autosaveElsewhere && !confirmRewritingUntouchedBytes(error)) return false;
    const std::optional<QByteArray> bytes = data(type, error);
    if (!bytes) return false;
    // An autosave is written whatever it holds: it is there to be given back, not opened.
    if (operation != SaveOperation::autosaveElsewhere && !confirmSavingWhatCannotBeReopened(target, *bytes, error))
        return false;

    writing_ = true;
    if (!writeFileSafely(target, *bytes, error)) {
        writing_ = false;
        return false;
    }
    if (operation == SaveOperation::saveTo || operation == SaveOperation::autosaveElsewhere) {
        writing_ = false;
        return true;
    }
    const auto before = FileFingerprint::capture(target);
    // The file holds what was just written and flushed: those bytes are kept rather than read back,
    // which cost a second pass over a large file, and would have taken another program's write
    // made meanwhile for ours. Bytes the codec wrote afresh write back exactly; the bytes read,
    // saved untouched, still do not.
    if (!originalData_ || (!bytes->isSharedWith(*originalData_) && *bytes != *originalData_)) {
        rewritesUntouchedBytes_ = false;
    }
    originalData_ = *bytes;
    originalText_ = string();
    originalFormat_ = format_;
    hasExternalChanges_ = false;
    fileChangedSinceAutosave_ = false;
    observeFile(target, before);
    writing_ = false;
    return true;
}

bool KoriDocument::confirmRewritingUntouchedBytes(ErrorInfo* error)
{
    // Only a save that encodes anew in the encoding read rewrites bytes behind the user's back; a
    // change of encoding rewrites them all, as asked.
    if (!rewritesUntouchedBytes_ || !originalFormat_ || originalFormat_->encoding != format_.encoding) return true;
    if (savesOriginalBytes(string())) return true;
    const QString encoding = format_.encoding.rawValue();
    Alert alert{
        QStringLiteral("“%1”を%2で保存すると、編集していない文字のバイト列も変わります。").arg(displayName(), encoding),
        QStringLiteral("このファイルは、%1で読み込んだときのバイト列にそのままでは書き戻せません（同じ文字を表す"
                       "バイト列が複数ある場合など）。保存すると、その部分は%1の標準のバイト列で書き直されます。")
            .arg(encoding),
        {QStringLiteral("保存"), QStringLiteral("キャンセル")},
        Alert::Style::warning};
    alert.parent = WindowController::sheetWindowOf(windowControllers());
    AlertPresenter* presenter = alertPresenter();
    if (!presenter) {
        // Nobody to ask: refuse rather than change the bytes silently.
        if (error) *error = ErrorInfo{Bundle::configuration().errorDomain, bytesWouldChangeErrorCode, alert.messageText, alert.informativeText};
        return false;
    }
    if (presenter->runModal(alert) == 0) return true;
    if (error) *error = ErrorInfo::userCancelled();
    return false;
}

bool KoriDocument::confirmSavingWhatCannotBeReopened(const QString& path, const QByteArray& bytes, ErrorInfo* error)
{
    const QString name = QFileInfo(path).fileName();
    // Bytes read are read again as they were.
    if (originalData_ && bytes.isSharedWith(*originalData_)) return true;
    if (bytes.size() > maximumFileSize) {
        // In bytes: one past the limit must not read as "64.0 MiB".
        QLocale grouped = QLocale::c();
        grouped.setNumberOptions({});
        const QString size = grouped.toString(bytes.size());
        if (!confirmSaving(QStringLiteral("“%1”を保存すると%2バイトのファイルになり、開き直せなくなります。").arg(name, size),
                           QStringLiteral("この版で開けるファイルは64 MiBまでです。保存したファイルは、この版では"
                                          "再読み込みも開くこともできません。"),
                           error))
            return false;
    }
    const bool hasNul = string().contains(QChar(0));
    if (hasNul) {
        if (!confirmSaving(QStringLiteral("“%1”にはNUL文字（U+0000）が含まれています。").arg(name),
                           QStringLiteral("NUL文字を含むファイルは、この版では開けません。保存したファイルは開き直せ"
                                          "なくなります。NUL文字を削除してから保存することをおすすめします。"),
                           error))
            return false;
    }
    // Opening takes the first mark the bytes begin with, whatever encoding wrote them: Latin-1
    // "ÿþ" is a UTF-16 LE mark, and a UTF-16 LE mark followed by U+0000 a UTF-32 LE one.
    const std::optional<TextEncoding> written =
        format_.bom && format_.encoding.supportsBOM() ? std::optional(format_.encoding) : std::nullopt;
    const std::optional<TextEncoding> read = TextCodec::markedEncoding(bytes);
    if (read && read != written && !(hasNul && written)) {
        const QString advice = format_.encoding.supportsBOM() && !format_.bom
            ? QStringLiteral("BOM付きの文字コードで保存するか、先頭の文字を削除することをおすすめします。")
            : QStringLiteral("先頭の文字を削除するか、別の文字コードで保存することをおすすめします。");
        if (!confirmSaving(
                QStringLiteral("“%1”の先頭は、開くときにバイトオーダーマーク（BOM）として読まれます。").arg(name),
                QStringLiteral("%1で保存したバイト列の先頭が%2のBOMと同じになるため、開き直したときに%2として"
                               "読まれ、内容が変わって見えるか、開けなくなります。")
                        .arg(format_.encoding.rawValue(), read->rawValue())
                    + advice,
                error))
            return false;
    }
    return true;
}

bool KoriDocument::confirmSaving(const QString& messageText, const QString& informativeText, ErrorInfo* error)
{
    AlertPresenter* presenter = alertPresenter();
    // Nobody to ask: the text is written as it is, the one place nothing of it is lost.
    if (!presenter) return true;
    Alert alert{messageText, informativeText, {QStringLiteral("保存"), QStringLiteral("キャンセル")}, Alert::Style::warning};
    alert.parent = WindowController::sheetWindowOf(windowControllers());
    if (presenter->runModal(alert) == 0) return true;
    if (error) *error = ErrorInfo::userCancelled();
    return false;
}

QJsonObject KoriDocument::autosaveState() const
{
    QJsonObject state{{QStringLiteral("encoding"), format_.encoding.rawValue()},
                      {QStringLiteral("bom"), format_.bom},
                      {QStringLiteral("lineEnding"), format_.lineEnding.rawValue()},
                      {QStringLiteral("mixedLineEndings"), format_.mixedLineEndings}};
    if (forcedEncoding_) state.insert(QStringLiteral("forcedEncoding"), forcedEncoding_->rawValue());
    if (originalFormat_) state.insert(QStringLiteral("fileEncoding"), originalFormat_->encoding.rawValue());
    return state;
}

void KoriDocument::restoreAutosaveState(const QJsonObject& state)
{
    forcedEncoding_ = TextEncoding::fromRawValue(state.value(QStringLiteral("forcedEncoding")).toString());
    // The encoding the file was in, for reading it when detection cannot tell; the read replaces it.
    if (const auto encoding = TextEncoding::fromRawValue(state.value(QStringLiteral("fileEncoding")).toString())) {
        TextFormat file;
        file.encoding = *encoding;
        originalFormat_ = file;
    }
}

Document::AutosaveDataJob KoriDocument::autosaveDataJob()
{
    // Encoded afresh, never the bytes read: contents that decode exactly are what a restore trusts.
    const auto encode = [format = format_, state = autosaveState()](const QString& text) -> std::optional<AutosaveData> {
        try {
            return AutosaveData{TextCodec::encode(text, format), state};
        } catch (const CodecError&) {
        }
        // The encoding cannot hold what was typed: the autosave keeps it anyway, and saving refuses.
        QJsonObject unicode = state;
        unicode.insert(QStringLiteral("contentsEncoding"), TextEncoding(TextEncoding::utf8).rawValue());
        try {
            return AutosaveData{TextCodec::encode(text, TextFormat{TextEncoding::utf8, false, format.lineEnding, false}),
                                unicode};
        } catch (const CodecError&) {
            // An unpaired surrogate no encoding holds: every other character is still kept.
            return AutosaveData{text.toUtf8(), unicode};
        }
    };
    if (textCache_ && textCache_->first == revision())
        return [encode, text = textCache_->second](ErrorInfo*) { return encode(text); };
    return [encode, text = storage_->snapshot()](ErrorInfo*) { return encode(text.string()); };
}

bool KoriDocument::readAutosavedContents(const QByteArray& bytes, const QJsonObject& state, ErrorInfo* error)
{
    std::optional<QString> text;
    TextFormat format = format_;
    if (const auto encoding = TextEncoding::fromRawValue(state.value(QStringLiteral("encoding")).toString())) {
        // Written in the recorded format, whatever detection would make of the bytes, and holding
        // whatever the text held (a U+0000 no file read may hold).
        format.encoding = *encoding;
        format.bom = state.value(QStringLiteral("bom")).toBool();
        format.lineEnding = LineEnding::fromRawValue(state.value(QStringLiteral("lineEnding")).toString())
                                .value_or(format.lineEnding);
        format.mixedLineEndings = state.value(QStringLiteral("mixedLineEndings")).toBool();
        QByteArrayView body(bytes);
        TextEncoding written = format.encoding;
        if (const auto other = TextEncoding::fromRawValue(state.value(QStringLiteral("contentsEncoding")).toString())) {
            // Text the document's encoding cannot hold, kept in another; without a mark.
            written = *other;
        } else {
            const QByteArray marker = format.encoding.marker();
            if (format.bom && !marker.isEmpty() && body.startsWith(marker)) body = body.sliced(marker.size());
        }
        text = EncodingConverter::toText(written, body);
        // A record that does not fit its contents is not believed: an encoding that reads anything
        // (Latin-1) would give back other text without a word.
        if (text) {
            const std::optional<QByteArray> again = EncodingConverter::fromText(written, *text);
            if (!again || QByteArrayView(*again) != body) text.reset();
        }
    }
    if (!text) {
        try {
            DecodedText decoded = TextCodec::decode(bytes);
            text = std::move(decoded.text);
            format = decoded.format;
        } catch (const CodecError& codecError) {
            if (error) *error = errorInfo(codecError);
            return false;
        }
    }
    if (!restoreText(*text, format)) {
        if (error) *error = ErrorInfo{Bundle::configuration().errorDomain, notEditableErrorCode, notEditableMessage, {}};
        return false;
    }
    return true;
}

void KoriDocument::autosaveWasMadeOverOtherContents()
{
    fileChangedSinceAutosave_ = true;
    hasExternalChanges_ = true;
    for (KoriDocumentWindow* window : documentWindows()) window->setPreviewStatus(externalChangeMessage);
}

bool KoriDocument::restoreText(const QString& text, const TextFormat& format)
{
    UndoManager* undo = undoManager();
    if (undo) {
        undo->breakCoalescing();
        undo->beginUndoGrouping();
    }
    const QString current = string();
    bool restored = true;
    if (text != current) {
        // Only what differs is replaced: the undo step and the line index carry no more than that.
        const TextRange changed = TextEditing::changedRange(current, text);
        restored = TextEditing::replace(*storage_, {changed},
                                        {text.mid(changed.location, text.size() - (current.size() - changed.length))},
                                        restoreActionName)
                   == TextEditing::Outcome::replaced;
    }
    if (restored && format != format_) applyFormat(format);
    if (undo) {
        undo->endUndoGrouping();
        if (restored) undo->setActionName(restoreActionName);
    }
    return restored;
}

void KoriDocument::changeFormat(const TextFormat& format)
{
    // The format it already has is no change: no undo step, and a clean document stays clean.
    if (format == format_) return;
    TextCodec::encode(string(), format);  // throws when the encoding cannot hold the text
    applyFormat(format);
}

bool KoriDocument::changeLineEnding(LineEnding ending)
{
    TextFormat target = format_;
    target.lineEnding = ending;
    target.mixedLineEndings = false;
    if (target == format_) return true;
    const QString text = string();
    // A Unicode form holds every break, and the conversion leaves a text as well-formed as it was:
    // no converted copy is needed to ask.
    TextCodec::encodedSize(target.encoding.supportsBOM() ? text : ending.replacing(text), target);
    if (!storage_->acceptsEdits()) return false;
    const QVector<TextRange> breaks = ending.foreignBreaks(text);
    UndoManager* undo = undoManager();
    storage_->history().breakCoalescing();
    if (undo) {
        undo->breakCoalescing();
        undo->beginUndoGrouping();
    }
    applyFormat(target);
    if (!breaks.isEmpty()) {
        TextEditing::replace(*storage_, breaks, QStringList(breaks.size(), ending.breakString()), lineEndingActionName);
    }
    if (undo) {
        undo->endUndoGrouping();
        undo->setActionName(lineEndingActionName);
    }
    return true;
}

void KoriDocument::applyFormat(const TextFormat& format)
{
    const TextFormat previous = format_;
    if (UndoManager* undo = undoManager()) {
        // Undo restores the previous format as it was: the text it could hold may have changed
        // since, and an undo that does nothing would be lost to the user.
        undo->registerUndo([this, previous] { applyFormat(previous); }, this);
        // Undone or redone, the step keeps the name it was made with (a line-ending change).
        if (!undo->isUndoing() && !undo->isRedoing()) undo->setActionName(QStringLiteral("文字コードを変更"));
    }
    if (!undoManager() || !undoManager()->isUndoRegistrationEnabled()) storage_->history().noteUnrecordedChange();
    format_ = format;
    noteEdit();
    for (KoriDocumentWindow* window : documentWindows()) window->documentFormatDidChange();
}

bool KoriDocument::isDocumentEdited() const
{
    return !storage_->history().isAtSavePoint();
}

void KoriDocument::changesWereCleared()
{
    storage_->history().markSavePoint();
}

void KoriDocument::noteEdit()
{
    const UndoManager* undo = undoManager();
    if (undo && undo->isUndoing()) {
        updateChangeCount(ChangeType::undone);
    } else if (undo && undo->isRedoing()) {
        updateChangeCount(ChangeType::redone);
    } else {
        updateChangeCount(ChangeType::done);
    }
}

void KoriDocument::textStorageDidProcessEditing(TextStorage& storage, const TextStorageEdit& edit)
{
    (void)storage;
    if (loading_ || !edit.editedCharacters()) return;
    for (KoriDocumentWindow* window : documentWindows()) window->documentTextDidChange(edit);
}

bool KoriDocument::textStorageAcceptsEdits(const TextStorage&) const
{
    // An edit no view makes takes the word of the first window's editor, as a script does.
    if (windowControllers().empty()) return true;
    const auto* window = dynamic_cast<const KoriDocumentWindow*>(windowControllers().front().get());
    return !window || window->isEditable();
}

void KoriDocument::stopObserving()
{
    if (fileMonitor_) fileMonitor_->cancel();
    fileMonitor_.reset();
    if (externalCheck_) externalCheck_->cancel();
    externalCheck_.reset();
}

void KoriDocument::observeFile(const QString& path)
{
    observeFile(path, FileFingerprint::capture(path));
}

void KoriDocument::observeFile(const QString& path, const std::optional<FileFingerprint>& fingerprint)
{
    if (fileMonitor_) fileMonitor_->cancel();
    fileMonitor_.reset();
    monitoredURL_ = standardizedPath(path);
    observedFingerprint_ = fingerprint;
    if (!externalFileQueue_) {
        externalFileQueue_ = std::make_shared<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral("external-file")));
    }
    QPointer<KoriDocument> self(this);
    fileMonitor_ = ExternalFileMonitor::make(monitoredURL_, externalFileQueue_, [self](ExternalFileMonitor::Change) {
        if (self) self->fileDidChange();
    });
}

void KoriDocument::fileDidChange()
{
    if (writing_) return;
    if (externalCheck_) externalCheck_->cancel();
    QPointer<KoriDocument> self(this);
    externalCheck_ = WorkItem::make([self] {
        if (self) self->inspectExternalFile();
    });
    MainQueue::after(externalCheckDelayMs, externalCheck_);
}

void KoriDocument::inspectExternalFile()
{
    if (externalCheck_) externalCheck_->cancel();
    externalCheck_.reset();
    if (writing_ || monitoredURL_.isEmpty()) return;
    if (standardizedPath(fileURL()) != monitoredURL_) return;

    const auto current = FileFingerprint::capture(monitoredURL_);
    if (!current && !observedFingerprint_) return;

    if (!current || !originalData_) {
        hasExternalChanges_ = true;
        return;
    }
    // The bytes are read only when they can still equal those we hold, but then always: an
    // unchanged fingerprint does not prove unchanged bytes.
    if (current->size == originalData_->size()) {
        const auto bytes = readWholeFile(monitoredURL_, nullptr, originalData_->size());
        if (!bytes) {
            hasExternalChanges_ = true;
            return;
        }
        if (*bytes == *originalData_) {
            if (current != observedFingerprint_) observeFile(monitoredURL_, current);
            return;
        }
    }

    if (isDocumentEdited()) {
        hasExternalChanges_ = true;
        for (KoriDocumentWindow* window : documentWindows()) window->setPreviewStatus(externalChangeMessage);
        return;
    }

    std::vector<std::pair<KoriDocumentWindow*, KoriDocumentWindow::EditorSelection>> selections;
    for (KoriDocumentWindow* window : documentWindows()) selections.emplace_back(window, window->activeEditorSelection());
    if (!readFromURL(monitoredURL_, fileType(), nullptr)) {
        hasExternalChanges_ = true;
        return;
    }
    if (UndoManager* undo = undoManager()) undo->removeAllActions();
    updateChangeCount(ChangeType::cleared);
    const qsizetype length = storage_->length();
    for (auto& [window, selection] : selections) {
        const qsizetype location = std::min(selection.range.location, length);
        const qsizetype extent = std::min(selection.range.length, length - location);
        window->restoreEditorSelection({selection.secondaryEditor, TextRange{location, extent}});
    }
}

}  // namespace korimado
