#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QString>

#include <chrono>
#include <optional>

namespace korimado {

// A cheap identity-and-state snapshot of a file, taken from its attributes.
struct FileFingerprint {
    std::optional<QString> fileIdentifier;  // "device:inode"
    qint64 size = 0;
    std::optional<std::chrono::system_clock::time_point> modifiedAt;
    std::optional<int> permissions;  // the POSIX permission bits

    // The fingerprint of the item at path, or none with the reason when it cannot be examined.
    static std::optional<FileFingerprint> capture(const QString& path, ErrorInfo* error = nullptr);

    friend bool operator==(const FileFingerprint&, const FileFingerprint&) = default;
};

}  // namespace korimado
