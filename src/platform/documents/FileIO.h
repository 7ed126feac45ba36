#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QString>

#include <limits>
#include <optional>

namespace korimado {

inline const QString posixErrorDomain = QStringLiteral("POSIX");

// The error of a failed system call on path, saying in words what happened where the reason is a
// common one (a full disk, a long name, missing permission, …), else with the system's reason.
ErrorInfo posixError(int code, const QString& path);

// Reads a regular file whole. Anything else (a device, a pipe, a folder) is refused before a byte
// is read, and never more than maximumSize + 1 bytes are read: a result longer than maximumSize
// tells the caller that the file is too large.
std::optional<QByteArray> readWholeFile(const QString& path, ErrorInfo* error = nullptr,
                                        qint64 maximumSize = std::numeric_limits<qint64>::max() - 1);

// Writes data so that path holds either its old or its new contents, never a mixture: a temporary
// file in the same folder, flushed to disk, renamed over the old one. The old file's owner and
// permissions are kept; a symbolic link, even one whose target does not exist yet, is followed and
// its target written. A file its owner may not write, or that is not a regular file, is refused.
// Temporaries left by a save that was killed are removed before the next save of the same file.
// A new file gets newFileMode, when given, before it appears under its name; else 0666 less the umask.
bool writeFileSafely(const QString& path, const QByteArray& data, ErrorInfo* error = nullptr,
                     std::optional<unsigned> newFileMode = std::nullopt);

// Creates a folder and the folders above it that are missing; true when it exists afterwards.
bool createDirectories(const QString& path, ErrorInfo* error = nullptr);

// The name of the temporary file a save of fileName writes first: short whatever the name's length.
QString temporaryFileNamePrefix(const QString& fileName);

}  // namespace korimado
