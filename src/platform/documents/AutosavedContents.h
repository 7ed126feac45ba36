#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace korimado {

// What an autosave belongs to, kept beside its contents so that a later start can give them back.
struct AutosaveRecord {
    QString contentsName;  // the contents' file name in the autosave's folder
    QString fileURL;       // the document's file; empty for an untitled document
    QString fileType;
    QString displayName;
    QJsonObject state;  // the document's own: what reading the contents back needs (an encoding, …)

    QByteArray toJson() const;
    static std::optional<AutosaveRecord> fromJson(const QByteArray& json);
};

// One document's autosave: a folder of its own in the recovery folder holding the contents and
// their record. The folder is locked by the process whose document it is; a crash or a kill
// releases the lock, and the next start finds the autosave abandoned, whichever instances of the
// program still run.
class AutosavedContents {
public:
    ~AutosavedContents();  // releases the lock; the files stay
    AutosavedContents(const AutosavedContents&) = delete;
    AutosavedContents& operator=(const AutosavedContents&) = delete;

    // A new folder in root, locked by this process, for contents named fileName.
    static std::unique_ptr<AutosavedContents> create(const QString& root, const QString& fileName, ErrorInfo* error);
    // The autosaves in root that no running process holds, held by this one from now on, oldest
    // first. Folders with nothing to give back are removed on the way; loose autosaves of earlier
    // versions are moved into folders of their own.
    static std::vector<std::unique_ptr<AutosavedContents>> claimAbandoned(const QString& root);

    static inline const QString recordFileName = QStringLiteral(".autosave-record.json");

    QString folder() const { return folder_; }
    QString contentsPath() const { return folder_ + QLatin1Char('/') + contentsName_; }
    // The record found when the autosave was claimed; empty for a new one.
    const AutosaveRecord& record() const { return record_; }

    // Writes the record, then the contents, each whole or not at all: there are never contents
    // without their record. Callable on any thread, one write at a time.
    bool write(AutosaveRecord record, const QByteArray& contents, ErrorInfo* error) const;
    // Deletes the files and the folder, then lets the lock go.
    void remove();

private:
    AutosavedContents(QString folder, QString contentsName, int lock);

    QString folder_;
    QString contentsName_;
    int lock_ = -1;
    AutosaveRecord record_;
};

}  // namespace korimado
