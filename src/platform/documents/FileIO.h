#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace korimado {

inline const QString posixErrorDomain = QStringLiteral("POSIX");

// The error of a failed system call on path, with the system's reason as recovery text.
ErrorInfo posixError(int code, const QString& path);

// The whole file, or none with the reason.
std::optional<QByteArray> readWholeFile(const QString& path, ErrorInfo* error = nullptr);

// Writes data so that path holds either its old or its new contents, never a mixture: a temporary
// file in the same folder, flushed to disk, renamed over the old one. The old file's permissions
// are kept; a symbolic link is followed and its target replaced.
bool writeFileSafely(const QString& path, const QByteArray& data, ErrorInfo* error = nullptr);

}  // namespace korimado
