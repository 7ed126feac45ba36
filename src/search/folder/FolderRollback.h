#pragma once

#include "search/folder/FolderRollbackEntry.h"

#include <QList>

namespace korimado {

class FolderFileSystem;

// Puts backed-up bytes back, newest entry first, into targets that still hold the replacement.
class FolderRollback {
public:
    FolderRollback() = delete;

    // restoreNewestUnchecked: the newest target is restored whatever it holds now; apply asks for
    // it when that file's read-back showed other bytes than were written.
    static FolderRollbackResult run(const QList<FolderRollbackEntry>& entries, FolderFileSystem& fileSystem,
                                    bool restoreNewestUnchecked = false);

    // The failure line of a target: its full path, ": " and what went wrong.
    static QString failureLine(const QString& target, const QString& description);
};

}  // namespace korimado
