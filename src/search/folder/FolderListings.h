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

// One entry of a listing with the paths the walk needs of it, made on the listing's thread.
struct FolderListedEntry {
    FolderListingEntry entry;
    QString path;          // the folder's path and the name
    QString standardized;  // path standardised
    QString relativePath;  // of path to the root
    bool isTemporary = false;  // named as a folder replacement's temporaries are
};

// The listings of the folders a walk comes to next, read and put in order on threads of their
// own while the walk examines the entries of the folder before: listing and sorting cost the walk
// as much as everything else it does.
class FolderListings {
public:
    using Listing = std::optional<std::vector<FolderListedEntry>>;

    // Listings of folders under root. threads 0: nothing is read ahead; every listing is made
    // when it is taken.
    FolderListings(FolderFileSystem& fileSystem, const QString& root, int threads);
    ~FolderListings();  // waits for the listings being read; drops the others

    // Starts reading folder (resolved) unless it is being read already or enough are.
    void readAhead(const QString& folder);
    // folder's entries in walk order, or none when it cannot be listed. pollCancelled is called
    // while a listing read ahead is awaited, and may throw.
    Listing take(const QString& folder, const std::function<void()>& pollCancelled);

    // The entries of folder in walk order: names in Unicode scalar order after normalisation to
    // NFC, equal keys as listed.
    static Listing sortedListing(FolderFileSystem& fileSystem, const QString& folder, const QString& root);

private:
    static constexpr qsizetype maximumAhead = 8;

    FolderFileSystem& fileSystem_;
    const QString root_;
    std::unique_ptr<DispatchQueue> queue_;
    std::unordered_map<QString, std::future<Listing>> ahead_;
};

}  // namespace korimado
