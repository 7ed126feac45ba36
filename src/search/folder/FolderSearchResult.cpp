#include "search/folder/FolderSearchResult.h"

#include <QHashFunctions>

namespace korimado {

FolderContentStamp FolderContentStamp::of(QByteArrayView data)
{
    FolderContentStamp stamp;
    stamp.size = data.size();
    stamp.digest[0] = quint64(qHashBits(data.data(), size_t(data.size()), 0x6b6f72696d61646fULL));
    stamp.digest[1] = quint64(qHashBits(data.data(), size_t(data.size()), 0x5e4c3b2a19080706ULL));
    return stamp;
}

qsizetype FolderSearchResult::matchCount() const
{
    qsizetype count = 0;
    for (const FolderSearchFile& file : files) count += file.hits.size();
    return count;
}

}  // namespace korimado
