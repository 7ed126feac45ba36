#pragma once

#include "preview/CharacterIndex.h"
#include "preview/LocalTokenizer.h"

#include <QHash>
#include <QStringView>

#include <functional>
#include <memory>
#include <vector>

namespace korimado {

class DispatchQueue;

// Counts a whole text's tokens block by block. A block ends only where no piece of either
// pre-tokenizer can cross: after a line feed, before a line that starts (past any spaces and tabs)
// with a character that is not white space, and not a slash right at the line's start. So the sum
// of the blocks' counts is the whole text's count. Block ends are chosen by the text around them,
// not by their offsets, so an edit changes only the blocks around it; each block's count is kept
// by its content, and a later count recounts only the blocks it has not seen. The blocks to count
// are shared among several threads. Not thread-safe itself: one caller at a time.
class TokenBlocks {
public:
    static constexpr qsizetype minimumBlock = 8192;
    static constexpr qsizetype maximumBlock = 65536;

    explicit TokenBlocks(std::shared_ptr<const LocalTokenizer> tokenizer);
    ~TokenBlocks();
    TokenBlocks(const TokenBlocks&) = delete;
    TokenBlocks& operator=(const TokenBlocks&) = delete;

    // Throws CountingError as LocalTokenizer::count does, with the error the whole text would give.
    qint64 count(const TextSource& text, const std::function<bool()>& cancelled);
    qint64 count(const QString& text, const std::function<bool()>& cancelled);

    // Where the blocks of text end, in order; the last is text.size(). Tests choose small sizes.
    static std::vector<qsizetype> blockEnds(QStringView text, qsizetype minimum = minimumBlock,
                                            qsizetype maximum = maximumBlock);
    // Whether no piece of either pre-tokenizer can cross offset p.
    static bool isSafeEnd(QStringView text, qsizetype p);

    // What the last count did: its blocks and how many of them it had to count.
    std::size_t lastBlocks() const { return lastBlocks_; }
    std::size_t lastCounted() const { return lastCounted_; }

private:
    struct Key {
        std::size_t hash;
        qsizetype length;
        friend bool operator==(const Key&, const Key&) = default;
    };
    friend std::size_t qHash(const Key& key, std::size_t seed) noexcept { return key.hash ^ (seed + static_cast<std::size_t>(key.length)); }
    static DispatchQueue& helpers();

    std::shared_ptr<const LocalTokenizer> tokenizer_;
    // Two generations: the blocks of the last count, and those of the count before it (an undo
    // brings them back).
    QHash<Key, qint64> current_;
    QHash<Key, qint64> previous_;
    std::size_t lastBlocks_ = 0;
    std::size_t lastCounted_ = 0;
};

}  // namespace korimado
