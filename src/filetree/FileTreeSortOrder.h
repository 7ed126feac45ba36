#pragma once

namespace korimado {

// The sidebar's sort order; the raw values are stored under "tree.sortOrder".
enum class FileTreeSortOrder : int {
    nameAscending = 0,
    nameDescending = 1,
    modifiedNewest = 2,
};

}  // namespace korimado
