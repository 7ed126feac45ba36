#include "document/FileFingerprint.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/FilePath.h"

#include <sys/stat.h>

#include <cerrno>

namespace korimado {

std::optional<FileFingerprint> FileFingerprint::capture(const QString& path, ErrorInfo* error)
{
    struct stat info {};
    if (::stat(encodedFileName(path).constData(), &info) != 0) {
        if (error) *error = posixError(errno, path);
        return std::nullopt;
    }
    FileFingerprint print;
    print.fileIdentifier = QString::number(static_cast<quint64>(info.st_dev)) + ':'
        + QString::number(static_cast<quint64>(info.st_ino));
    print.size = static_cast<qint64>(info.st_size);
    print.modifiedAt = std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
    print.permissions = static_cast<int>(info.st_mode & 07777);
    return print;
}

}  // namespace korimado
