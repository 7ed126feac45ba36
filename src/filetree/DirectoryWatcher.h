#pragma once

#include "platform/documents/FileWatchHub.h"

#include <QString>

#include <memory>

namespace korimado {

// A watch on one folder's own entries and on the folder itself, through the process's one
// inotify hub; events reach the handler on the main thread. Ends when the object goes.
class DirectoryWatcher {
public:
    // None when the folder cannot be watched.
    static std::unique_ptr<DirectoryWatcher> make(const QString& url, FileWatchHub::Handler handler);
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

private:
    explicit DirectoryWatcher(FileWatchHub::Token token) : token_(token) {}
    FileWatchHub::Token token_;
};

}  // namespace korimado
