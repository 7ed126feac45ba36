#pragma once

#include "search/folder/FolderFileSystem.h"

#include <QString>

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace korimado {

class DispatchQueue;

// The listings of the folders a walk comes to next, read and put in order on threads of their
// own while the walk examines the entries of the folder before: listing and sorting cost the walk
// as much as everything else it does.
class FolderListings {
public:
    using Listing = std::optional<std::vector<FolderListingEntry>>;

    // threads 0: nothing is read ahead; every listing is made when it is taken.
    FolderListings(FolderFileSystem& fileSystem, int threads);
    ~FolderListings();  // waits for the listings being read; drops the others

    // Starts reading folder (resolved) unless it is being read already or enough are.
    void readAhead(const QString& folder);
    // folder's entries in walk order, or none when it cannot be listed. pollCancelled is called
    // while a listing read ahead is awaited, and may throw.
    Listing take(const QString& folder, const std::function<void()>& pollCancelled);

    // The entries of folder in walk order: names in Unicode scalar order after normalisation to
    // NFC, equal keys as listed.
    static Listing sortedListing(FolderFileSystem& fileSystem, const QString& folder);

private:
    static constexpr qsizetype maximumAhead = 16;

    FolderFileSystem& fileSystem_;
    std::unique_ptr<DispatchQueue> queue_;
    std::unordered_map<QString, std::future<Listing>> ahead_;
};

}  // namespace korimado
