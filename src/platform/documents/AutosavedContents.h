#pragma once

#include "platform/documents/DirectoryHandle.h"
#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace korimado {

// The size and SHA-256 of a file's bytes: enough to tell, at a later start, whether the file still
// holds what a document last read or wrote.
struct FileContentsDigest {
    qint64 size = 0;
    QByteArray sha256;

    static FileContentsDigest of(QByteArrayView bytes);
    static FileContentsDigest matchingNothing() { return {-1, {}}; }
    bool operator==(const FileContentsDigest& other) const = default;
};

// What an autosave belongs to, kept beside its contents so that a later start can give them back.
struct AutosaveRecord {
    QString contentsName;  // the contents' file name in the autosave's folder
    QString fileURL;       // the document's file; empty for an untitled document
    QString fileType;
    QString displayName;
    QJsonObject state;  // the document's own: what reading the contents back needs (an encoding, …)
    // The file's bytes the autosaved text was made over; none in records of earlier versions.
    std::optional<FileContentsDigest> fileContents;

    QByteArray toJson() const;
    static std::optional<AutosaveRecord> fromJson(const QByteArray& json);
};

// One document's autosave: a folder of its own in the recovery folder holding the contents and
// their record. The folder is locked by the process whose document it is; a crash or a kill
// releases the lock, and the next start finds the autosave abandoned, whichever instances of the
// program still run. The recovery folder and each autosave's folder must be the user's own, and
// nobody else may write in them; everything is read and written through the folders' open
// descriptors, and no link is ever followed below the recovery folder.
class AutosavedContents {
public:
    ~AutosavedContents();  // releases the lock; the files stay
    AutosavedContents(const AutosavedContents&) = delete;
    AutosavedContents& operator=(const AutosavedContents&) = delete;

    // The error code of a folder refused because another user owns it, others may write in it, or
    // it is a link.
    static constexpr int unsafeFolderErrorCode = 403;

    // A new folder in root, locked by this process, for contents named fileName. Root is made
    // when missing, for the user alone.
    static std::unique_ptr<AutosavedContents> create(const QString& root, const QString& fileName, ErrorInfo* error);
    // The autosaves in root that no running process holds, held by this one from now on, oldest
    // first. Folders with nothing to give back are removed on the way; loose autosaves of earlier
    // versions are moved into folders of their own. A root or a folder in it that is not safe to
    // use is left alone and told in refused, one error naming each.
    static std::vector<std::unique_ptr<AutosavedContents>> claimAbandoned(const QString& root,
                                                                          std::vector<ErrorInfo>* refused = nullptr);

    static inline const QString recordFileName = QStringLiteral(".autosave-record.json");

    QString folder() const { return folderPath_; }
    QString contentsPath() const { return folderPath_ + QLatin1Char('/') + contentsName_; }
    // The record found when the autosave was claimed; empty for a new one.
    const AutosaveRecord& record() const { return record_; }

    // The contents as they are on disk.
    std::optional<QByteArray> readContents(ErrorInfo* error) const;
    // Writes the record, then the contents, each whole or not at all: there are never contents
    // without their record. Callable on any thread, one write at a time.
    bool write(AutosaveRecord record, const QByteArray& contents, ErrorInfo* error) const;
    // Deletes the files and the folder, then lets the lock go.
    void remove();

private:
    AutosavedContents(std::shared_ptr<const DirectoryHandle> root, QByteArray name, DirectoryHandle folder,
                      QString contentsName);
    static std::unique_ptr<AutosavedContents> createIn(const std::shared_ptr<const DirectoryHandle>& root,
                                                       const QString& fileName, ErrorInfo* error);

    std::shared_ptr<const DirectoryHandle> root_;
    QByteArray name_;  // the folder's name in root
    QString folderPath_;
    std::optional<DirectoryHandle> folder_;  // open, and locked, until removed
    QString contentsName_;
    AutosaveRecord record_;
};

}  // namespace korimado
