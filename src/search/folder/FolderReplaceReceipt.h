#pragma once

#include "search/folder/FolderRollbackEntry.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace korimado {

// What a successful folder replacement hands back, kept by the caller for a manual rollback.
struct FolderReplaceReceipt {
    QUuid identifier;   // names the run's backup folder
    QString backupURL;  // the run's backup folder
    QList<FolderRollbackEntry> entries;  // one per file written, in write order
    qsizetype replacementCount = 0;
};

}  // namespace korimado
