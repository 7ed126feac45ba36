#include "syntax/CotSyntaxCatalog.h"

namespace korimado {

CotSyntaxCatalog& CotSyntaxCatalog::shared()
{
    static CotSyntaxCatalog catalog;
    return catalog;
}

CotSyntaxCatalog::CotSyntaxCatalog() : cachedLanguages(buildLanguages()), reloadFingerprint(currentReloadFingerprint()) {}

std::vector<SyntaxLanguage> CotSyntaxCatalog::languages() const
{
    std::lock_guard guard(lock);
    return cachedLanguages;
}

QString CotSyntaxCatalog::currentReloadFingerprint()
{
    return QString();
}

std::vector<SyntaxLanguage> CotSyntaxCatalog::buildLanguages()
{
    return {SyntaxLanguage::plain()};
}

void CotSyntaxCatalog::reloadIfNeeded()
{
    const QString fingerprint = currentReloadFingerprint();
    {
        std::lock_guard guard(lock);
        if (fingerprint == reloadFingerprint) {
            return;
        }
    }
    std::vector<SyntaxLanguage> rebuilt = buildLanguages();
    std::lock_guard guard(lock);
    cachedLanguages = std::move(rebuilt);
    reloadFingerprint = fingerprint;
}

}  // namespace korimado
