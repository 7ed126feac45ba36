#pragma once

#include "platform/text/CharacterCounts.h"

#include <memory>

namespace korimado {

class TextStorage;

// The character counts of one storage, kept beside its line table for as long as it lives: made
// on first use, told of every character edit by the storage, gone with it. Counts are current
// once the outermost editing transaction has ended (main thread, as the storage).
class StorageCharacterCounts {
public:
    static StorageCharacterCounts& of(TextStorage& storage);

    qsizetype count() const;
    qsizetype charactersBefore(qsizetype offset) const;
    qsizetype offset(qsizetype characters) const;
    const CharacterCounts& counts() const { return counts_; }

private:
    explicit StorageCharacterCounts(TextStorage& storage);

    CharacterCounts counts_;
    CharacterCounts::Fetch fetch_;
};

}  // namespace korimado
