#pragma once

#include "search/folder/FolderRollbackEntry.h"

#include <QList>

namespace korimado {

class FolderFileSystem;

// Puts backed-up bytes back, newest entry first, into targets that are still the files the
// replacement left and still hold its bytes. A target is never written through a link.
class FolderRollback {
public:
    FolderRollback() = delete;

    // copy: each backup's bytes go back through a new file (the backup stays, as a user's rollback
    // expects); move: the backup itself is renamed over its target, which needs no room on the
    // disk (apply's own restore after a failure; a copy only across file systems).
    enum class Method { copy, move };

    // restoreNewestUnchecked: the newest target is restored whatever it holds now; apply asks for
    // it when that file's read-back showed other bytes than were written.
    static FolderRollbackResult run(const QList<FolderRollbackEntry>& entries, FolderFileSystem& fileSystem,
                                    Method method = Method::copy, bool restoreNewestUnchecked = false);

    // The failure line of a target: its full path, ": " and what went wrong.
    static QString failureLine(const QString& target, const QString& description);
};

}  // namespace korimado
