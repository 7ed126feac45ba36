#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <optional>

namespace korimado {

// Which file a name stood for when it was looked at: a file put in its place has another.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The error of a destination that is no longer the file it was when it was checked.
inline constexpr int fileReplacedErrorCode = ESTALE;

// Writes data into a new file in folder, named prefix followed by eight random hexadecimal
// digits, readable by its owner only. Nothing is flushed: callers write many, flush once
// (flushFileSystems) and only then rename them into place. Returns the new file's path.
std::optional<QString> writeTemporaryFile(const QString& folder, const QString& prefix, const QByteArray& data,
                                          ErrorInfo* error);

// Writes data into a new file at path (nothing may stand there, a link neither), with mode,
// not flushed.
bool writeNewFile(const QString& path, const QByteArray& data, quint32 mode, ErrorInfo* error);

// Renames the folder source to destination, where nothing may stand, checking both folders as
// replaceByRename does.
bool renameNewFolder(const QString& source, const QString& destination, ErrorInfo* error);

// Renames source over destination, so that destination names either its old file or source,
// never a mixture. Neither end's link is followed, and each end's folder must still be the one its
// path names (a folder swapped for a link since is refused). With expected, destination must
// still be that regular file (else fileReplacedErrorCode); without, nothing may stand there.
// Before the rename source takes mode (none: destination's own bits) and, for root, the owner
// of the file it replaces, and the replaced file's extended attributes and ACL. placed: the identity of the file now at destination. EXDEV when the
// two are on different file systems.
bool replaceByRename(const QString& source, const QString& destination, const std::optional<FileIdentity>& expected,
                     std::optional<quint32> mode, FileIdentity* placed, ErrorInfo* error);

// Writes data into the file at path itself, which must still be the regular file expected: the
// way to keep a file with other names (hard links) one file. Room is taken before the first byte
// changes where the file system can; flushed before it returns. A failure midway leaves a mixture,
// so callers keep a durable copy of the old bytes first.
bool overwriteInPlace(const QString& path, const FileIdentity& expected, const QByteArray& data, ErrorInfo* error);

// One flush (syncfs) for each file system that holds any of paths; paths that are gone are passed over.
bool flushFileSystems(const QStringList& paths, ErrorInfo* error);

// Removes a file (never a folder); a missing one counts as removed.
bool removeFile(const QString& path, ErrorInfo* error);

}  // namespace korimado
