#include "search/folder/FolderListings.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/FilePath.h"
#include "search/folder/FolderApplyTemporaries.h"
#include "search/folder/FolderSearchPaths.h"

#include <algorithm>
#include <chrono>

namespace korimado {

namespace {

// Plain scalar order: UTF-16 order puts the supplementary planes before U+E000..U+FFFF.
bool scalarLess(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y) continue;
        // Surrogates (D800..DFFF) stand for scalars above every unit of E000..FFFF.
        const auto rank = [](char16_t u) { return u >= 0xD800 && u <= 0xDFFF ? char32_t(u) + 0x10000 : char32_t(u); };
        return rank(x) < rank(y);
    }
    return a.size() < b.size();
}

bool isAsciiName(const QString& name)
{
    for (QChar c : name) {
        if (c.unicode() >= 0x80) return false;
    }
    return true;
}

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

}  // namespace

FolderListings::FolderListings(FolderFileSystem& fileSystem, const QString& root, int threads)
    : fileSystem_(fileSystem), root_(root)
{
    if (threads > 0)
        queue_ = std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".folder-search-listings")),
                                                 threads);
}

FolderListings::~FolderListings() = default;

void FolderListings::readAhead(const QString& folder)
{
    if (!queue_ || qsizetype(ahead_.size()) >= maximumAhead || ahead_.contains(folder)) return;
    auto promise = std::make_shared<std::promise<Listing>>();
    ahead_.emplace(folder, promise->get_future());
    queue_->async([promise, folder, root = root_, &fileSystem = fileSystem_] {
        try {
            promise->set_value(sortedListing(fileSystem, folder, root));
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    });
}

FolderListings::Listing FolderListings::take(const QString& folder, const std::function<void()>& pollCancelled)
{
    const auto found = ahead_.find(folder);
    if (found == ahead_.end()) return sortedListing(fileSystem_, folder, root_);
    std::future<Listing> listing = std::move(found->second);
    ahead_.erase(found);
    while (listing.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) pollCancelled();
    return listing.get();
}

FolderListings::Listing FolderListings::sortedListing(FolderFileSystem& fileSystem, const QString& folder,
                                                     const QString& root)
{
    std::optional<std::vector<FolderListingEntry>> listing = fileSystem.listDirectory(folder, nullptr);
    if (!listing) return std::nullopt;
    struct Entry {
        QString key;  // the name normalised, for the order
        FolderListingEntry* entry;
    };
    std::vector<Entry> entries;
    entries.reserve(listing->size());
    for (FolderListingEntry& entry : *listing) {
        QString key = isAsciiName(entry.name) ? entry.name : entry.name.normalized(QString::NormalizationForm_C);
        entries.push_back({std::move(key), &entry});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return scalarLess(a.key, b.key); });
    std::vector<FolderListedEntry> sorted;
    sorted.reserve(entries.size());
    for (const Entry& e : entries) {
        FolderListedEntry out;
        out.path = childPath(folder, e.entry->name);
        out.standardized = standardizedPath(out.path);
        if (out.standardized == out.path) out.standardized = out.path;  // one string, not two
        out.relativePath = FolderSearchPaths::relativePath(out.path, root);
        out.isTemporary = FolderApplyTemporaries::isTemporaryName(e.entry->name);
        out.entry = std::move(*e.entry);
        sorted.push_back(std::move(out));
    }
    return sorted;
}

}  // namespace korimado
