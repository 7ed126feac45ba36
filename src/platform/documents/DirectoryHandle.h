#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace korimado {

// An open folder through which a tree is walked safely: below the folder nothing is followed
// (a link is seen as a link), a file is opened without waiting (a FIFO never blocks) and checked
// again once open, so that an item swapped between the look and the open is caught.
class DirectoryHandle {
public:
    enum class Kind { missing, regularFile, directory, symbolicLink, other };

    // Opens a folder; the path itself may be a link to one. Error: the system's, as posixError.
    static std::optional<DirectoryHandle> open(const QString& path, ErrorInfo* error = nullptr);

    DirectoryHandle(DirectoryHandle&& other) noexcept;
    DirectoryHandle& operator=(DirectoryHandle&& other) noexcept;
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;
    ~DirectoryHandle();

    // The names of the entries in the order the system lists them, "." and ".." left out; the
    // bytes as stored, which need not be UTF-8. None when the folder cannot be listed.
    std::optional<std::vector<QByteArray>> entryNames(ErrorInfo* error = nullptr) const;
    // What the entry is, the entry itself examined; its size for a regular file.
    Kind kind(const QByteArray& name, qint64* size = nullptr) const;
    // A child folder, never through a link.
    std::optional<DirectoryHandle> openDirectory(const QByteArray& name, ErrorInfo* error = nullptr) const;
    // The bytes of a regular file, never through a link and never waiting on a FIFO. At most
    // maximumSize + 1 bytes are read: a longer result says the file grew past what was allowed.
    std::optional<QByteArray> readFile(const QByteArray& name, qint64 maximumSize, ErrorInfo* error = nullptr) const;

    // A new folder of this one, made with mode and opened; refused when the name is taken.
    std::optional<DirectoryHandle> createDirectory(const QByteArray& name, unsigned mode, ErrorInfo* error = nullptr) const;
    // Writes data under name so that it holds either its old or its new contents: a temporary
    // beside it, flushed, renamed over it. Whatever stood under the name (a link too) is replaced,
    // never followed. A new file gets mode.
    bool writeFile(const QByteArray& name, const QByteArray& data, unsigned mode, ErrorInfo* error = nullptr) const;
    // Removes the entry itself (a link, not what it points to); an empty folder when directory.
    bool removeEntry(const QByteArray& name, bool directory = false) const;

    int descriptor() const { return fd_; }
    QString path() const { return path_; }

private:
    DirectoryHandle(int fd, QString path) : fd_(fd), path_(std::move(path)) {}
    QString childPath(const QByteArray& name) const;

    int fd_ = -1;
    QString path_;  // for error messages
};

}  // namespace korimado
