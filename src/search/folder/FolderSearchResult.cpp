#include "search/folder/FolderSearchResult.h"

namespace korimado {

qsizetype FolderSearchResult::matchCount() const
{
    qsizetype count = 0;
    for (const FolderSearchFile& file : files) count += file.hits.size();
    return count;
}

}  // namespace korimado
