#pragma once

#include "filetree/FileTreeSortOrder.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace korimado {

class FileManager;
struct FileAttributes;

// One item of the sidebar's tree. Nodes are never copied or moved, so the outline can hold them.
class FileTreeNode {
public:
    using Children = std::vector<std::unique_ptr<FileTreeNode>>;

    // Reads the item's attributes; an item that cannot be examined is a plain, undated file.
    FileTreeNode(const QString& url, FileManager& fileManager);
    FileTreeNode(const QString& url, const FileAttributes& attributes);
    FileTreeNode(const FileTreeNode&) = delete;
    FileTreeNode& operator=(const FileTreeNode&) = delete;

    // The root of a tree: unlike a listed item, a link to a folder is listed through its target.
    static std::unique_ptr<FileTreeNode> root(const QString& url, FileManager& fileManager);

    // The folder's immediate entries as new nodes, sorted: folders first, then by the order;
    // equal names keep the listing order. Throws the listing's ErrorInfo.
    static Children contents(const QString& url, bool showHidden, FileTreeSortOrder sortOrder,
                             FileManager& fileManager);
    static void sort(Children& nodes, FileTreeSortOrder sortOrder);

    QString url;  // standardised path
    bool expandable = false;  // a folder, not a link, not a package
    std::optional<QDateTime> modificationDate;
    std::optional<Children> children;  // absent until loaded; empty after a failed load
    bool loading = false;
    FileTreeNode* parent = nullptr;
    int row = 0;  // index among the parent's children
    // Whether the window can open the file, asked once while listing: the outline reads it for
    // every row it lays out. Absent when no check was given.
    std::optional<bool> openable;
    // How many children the outline has been given; the rest follow as it scrolls down to them.
    int shown = 0;
    // Whether each child may be opened, and whether it may have children, by row: the outline asks
    // both of every row it lays out, and a look at each child's own node would miss the cache once
    // a row.
    std::vector<bool> childOpens;
    std::vector<bool> childHasChildren;

    QString name() const;
    // Makes nodes parent's children-to-be, in their order. It writes to the nodes only, so a
    // listing does it on its own thread before the parent takes them.
    static void placeUnder(Children& nodes, FileTreeNode* parent);
    // The row of the child that is wanted or a folder holding it, or -1.
    static int rowTowards(const Children& nodes, const QString& wanted);
};

}  // namespace korimado
