#include "filetree/DirectoryWatcher.h"

namespace korimado {

std::unique_ptr<DirectoryWatcher> DirectoryWatcher::make(const QString& url, FileWatchHub::Handler handler)
{
    const FileWatchHub::Token token = FileWatchHub::shared().subscribeFolder(url, std::move(handler));
    if (token == 0) return nullptr;
    return std::unique_ptr<DirectoryWatcher>(new DirectoryWatcher(token));
}

DirectoryWatcher::~DirectoryWatcher()
{
    FileWatchHub::shared().unsubscribe(token_);
}

}  // namespace korimado
