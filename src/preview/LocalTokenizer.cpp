#include "preview/LocalTokenizer.h"

namespace korimado {

std::shared_ptr<LocalTokenizer> LocalTokenizer::shared(TokenEncoding encoding)
{
    // A failed load is not kept, so the next call tries again.
    return std::make_shared<LocalTokenizer>(encoding, std::nullopt);
}

LocalTokenizer::LocalTokenizer(TokenEncoding, const std::optional<QString>&)
{
    throw CountingError::missingTable;
}

qint64 LocalTokenizer::count(const QString&, const std::function<bool()>&) const
{
    throw CountingError::missingTable;
}

}  // namespace korimado
