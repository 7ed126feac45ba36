#include "filetree/FileTreeNode.h"

#include "platform/documents/FileManager.h"
#include "platform/foundation/LocalizedStandardCompare.h"


#include <algorithm>
#include <limits>
#include <numeric>

namespace korimado {

FileTreeNode::FileTreeNode(const QString& url, FileManager& fileManager) : FileTreeNode(url, fileManager.attributes(url)) {}

FileTreeNode::FileTreeNode(const QString& url, const FileAttributes& attributes)
    : url(url),
      expandable(attributes.exists && attributes.isDirectory && !attributes.isSymbolicLink && !attributes.isPackage),
      modificationDate(attributes.exists ? attributes.modificationDate : std::nullopt)
{
}

std::unique_ptr<FileTreeNode> FileTreeNode::root(const QString& url, FileManager& fileManager)
{
    const FileAttributes attributes = fileManager.attributes(url);
    auto node = std::make_unique<FileTreeNode>(url, attributes);
    if (attributes.isSymbolicLink && attributes.isDirectory && !attributes.isPackage) node->expandable = true;
    return node;
}

QString FileTreeNode::name() const
{
    const qsizetype slash = url.lastIndexOf(u'/');
    return slash < 0 || slash == url.size() - 1 ? url : url.mid(slash + 1);
}

void FileTreeNode::placeUnder(Children& nodes, FileTreeNode* parent)
{
    for (size_t i = 0; i < nodes.size(); ++i) {
        nodes[i]->parent = parent;
        nodes[i]->row = static_cast<int>(i);
    }
}

int FileTreeNode::rowTowards(const Children& nodes, const QString& wanted)
{
    for (size_t i = 0; i < nodes.size(); ++i) {
        const FileTreeNode& child = *nodes[i];
        const bool holds = child.expandable && wanted.size() > child.url.size() && wanted.startsWith(child.url) &&
                           wanted.at(child.url.size()) == u'/';
        if (holds || child.url == wanted) return static_cast<int>(i);
    }
    return -1;
}

FileTreeNode::Children FileTreeNode::contents(const QString& url, bool showHidden, FileTreeSortOrder sortOrder,
                                              FileManager& fileManager)
{
    ErrorInfo error;
    auto entries = fileManager.contentsOfDirectory(url, showHidden, &error);
    if (!entries) throw error;
    Children nodes;
    nodes.reserve(entries->size());
    const QString prefix = url.endsWith(u'/') ? url : url + u'/';
    for (const DirectoryEntry& entry : *entries) {
        nodes.push_back(std::make_unique<FileTreeNode>(prefix + entry.name, entry.attributes));
    }
    sort(nodes, sortOrder);
    return nodes;
}

void FileTreeNode::sort(Children& nodes, FileTreeSortOrder sortOrder)
{
    // Keys made once per name: a collator comparison per pair is too slow for large folders.
    struct Key {
        bool folder;
        qint64 date;
        QByteArray name;
    };
    std::vector<Key> keys;
    keys.reserve(nodes.size());
    for (const auto& node : nodes) {
        keys.push_back({node->expandable,
                        node->modificationDate ? node->modificationDate->toMSecsSinceEpoch()
                                               : std::numeric_limits<qint64>::min(),
                        localizedStandardSortKey(node->name())});
    }
    std::vector<size_t> order(nodes.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const Key& x = keys[a];
        const Key& y = keys[b];
        if (x.folder != y.folder) return x.folder;
        switch (sortOrder) {
        case FileTreeSortOrder::nameDescending: return y.name < x.name;
        case FileTreeSortOrder::modifiedNewest:
            if (x.date != y.date) return x.date > y.date;
            return x.name < y.name;
        case FileTreeSortOrder::nameAscending: break;
        }
        return x.name < y.name;
    });
    Children sorted;
    sorted.reserve(nodes.size());
    for (size_t index : order) sorted.push_back(std::move(nodes[index]));
    nodes = std::move(sorted);
}

}  // namespace korimado
