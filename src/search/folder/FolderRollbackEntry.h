#pragma once

#include "platform/documents/FileReplacement.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace korimado {

// One file a folder replacement wrote: enough to put its earlier bytes back.
struct FolderRollbackEntry {
    QString targetURL;
    QString backupURL;  // the run's backup folder plus the file's relative path
    QByteArray replacementData;  // what the replacement wrote
    std::optional<quint32> posixPermissions;  // as the search recorded them
    std::optional<FileIdentity> identity;  // the file the replacement put there: only it is restored

    friend bool operator==(const FolderRollbackEntry&, const FolderRollbackEntry&) = default;
};

// What a rollback did, each list in processing order (newest write first).
struct FolderRollbackResult {
    QStringList restored;  // targets that got their backed-up bytes back
    QStringList refused;   // targets left alone: their bytes are no longer the replacement's
    QStringList failures;  // "<full path>: <description of the error>"
};

}  // namespace korimado
