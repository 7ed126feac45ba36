#include "search/folder/FolderSearchPaths.h"

#include "platform/text/LineStarts.h"
#include "search/folder/FolderSearchEngine.h"

namespace korimado {

bool FolderSearchPaths::isInside(const QString& path, const QString& root)
{
    if (path == root) return true;
    // "/" as the root holds everything; its path already ends in the separator.
    if (root.endsWith(u'/')) return path.startsWith(root);
    return path.size() > root.size() && path.startsWith(root) && path[root.size()] == u'/';
}

bool FolderSearchPaths::isInBackups(const QString& path, const QString& root)
{
    if (!isInside(path, root) || path == root) return false;
    return relativePath(path, root).split(u'/').contains(FolderSearchEngine::backupFolderName);
}

QString FolderSearchPaths::relativePath(const QString& path, const QString& root)
{
    if (!root.isEmpty()) {
        const qsizetype cut = root.endsWith(u'/') ? root.size() : root.size() + 1;
        if (path.size() > cut && path.startsWith(root) && path[cut - 1] == u'/') return path.sliced(cut);
    }
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.sliced(slash + 1);
}

std::vector<qsizetype> FolderSearchPaths::lineStarts(const QString& text)
{
    std::vector<qsizetype> starts{0};
    LineStarts::scan(text, 0, starts);
    // A final break makes no empty last line here.
    if (starts.size() > 1 && starts.back() >= text.size()) starts.pop_back();
    return starts;
}

}  // namespace korimado
