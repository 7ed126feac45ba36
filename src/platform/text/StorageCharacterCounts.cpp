#include "platform/text/StorageCharacterCounts.h"

#include "platform/text/TextStorage.h"

#include <map>

namespace korimado {

namespace {

// The storages with counts. An entry's counts live in the storage's own observer, so they go with
// it; a storage made later at the same address finds the entry expired.
std::map<const TextStorage*, std::weak_ptr<StorageCharacterCounts>>& registry()
{
    static std::map<const TextStorage*, std::weak_ptr<StorageCharacterCounts>> storages;
    return storages;
}

}  // namespace

StorageCharacterCounts::StorageCharacterCounts(TextStorage& storage)
    : fetch_([&storage](qsizetype from, qsizetype to) {
          // A range whose pieces lie one after another in memory (a loaded text's views into what
          // was read) is read where it lies: the counts use what they fetch before the storage can
          // change, and copying windows out of a large text cost more than counting them.
          const char16_t* start = nullptr;
          const char16_t* next = nullptr;
          bool contiguous = true;
          storage.forEachChunk(TextRange(from, to - from), [&](QStringView piece, qsizetype) {
              if (!start)
                  start = next = piece.utf16();
              contiguous = piece.utf16() == next;
              next = piece.utf16() + piece.size();
              return contiguous;
          });
          if (start && contiguous && next - start == to - from)
              return QString::fromRawData(reinterpret_cast<const QChar*>(start), to - from);
          return storage.substring(TextRange(from, to - from));
      })
{
    counts_.reset(storage.length());
}

StorageCharacterCounts& StorageCharacterCounts::of(TextStorage& storage)
{
    auto& storages = registry();
    std::erase_if(storages, [](const auto& entry) { return entry.second.expired(); });
    if (const auto found = storages.find(&storage); found != storages.end())
        return *found->second.lock();
    std::shared_ptr<StorageCharacterCounts> made(new StorageCharacterCounts(storage));
    storage.addObserver([made](TextStorage&, const TextStorageEdit& edit) {
        if (!edit.editedCharacters())
            return;
        // In the old text's coordinates, last first, so that no piece moves the ones before it.
        if (edit.changes) {
            const std::vector<TextChange>& pieces = edit.changes->changes();
            for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece)
                made->counts_.replace(TextRange(piece->location, piece->oldLength), piece->newLength);
        } else {
            made->counts_.replace(TextRange(edit.editedRange.location, edit.editedRange.length - edit.changeInLength),
                                  edit.editedRange.length);
        }
    });
    storages.emplace(&storage, made);
    return *made;
}

qsizetype StorageCharacterCounts::count() const
{
    return counts_.count(fetch_);
}

qsizetype StorageCharacterCounts::charactersBefore(qsizetype offset) const
{
    return counts_.charactersBefore(offset, fetch_);
}

qsizetype StorageCharacterCounts::offset(qsizetype characters) const
{
    return counts_.offset(characters, fetch_);
}

}  // namespace korimado
