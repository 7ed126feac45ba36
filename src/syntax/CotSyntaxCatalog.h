#pragma once

#include "syntax/SyntaxLanguage.h"

#include <QString>

#include <mutex>
#include <vector>

namespace korimado {

// The process-wide list of syntax languages. Readers copy the list under the lock and search the
// copy. Stand-in: the list holds the plain language only and nothing is read from disk.
class CotSyntaxCatalog {
public:
    static CotSyntaxCatalog& shared();

    // A copy of the current list, taken under the lock.
    std::vector<SyntaxLanguage> languages() const;

    // Fingerprint of the user syntax folder's listing; the window rebuilds the list when it moved.
    static QString currentReloadFingerprint();
    // All languages, built without the lock held.
    static std::vector<SyntaxLanguage> buildLanguages();
    // Rebuilds the list when the fingerprint changed since the last build.
    void reloadIfNeeded();

    mutable std::mutex lock;
    std::vector<SyntaxLanguage> cachedLanguages;  // guarded by lock
    QString reloadFingerprint;                    // guarded by lock

private:
    CotSyntaxCatalog();
};

}  // namespace korimado
