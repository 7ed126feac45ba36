#pragma once

#include "document/TextFormat.h"
#include "platform/text/TextRange.h"
#include "preview/CharacterIndex.h"
#include "preview/LocalTokenizer.h"
#include "preview/TextMetrics.h"
#include "preview/TokenBlocks.h"
#include "preview/TokenEncoding.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace korimado {

class DispatchQueue;

// Counts characters, the saved size and tokens for a window's status line on its own queue,
// keeping per-revision caches so that a caret move costs almost nothing; a newer request or an
// invalidation drops every older result.
class TextStatisticsEngine {
public:
    using MetricsCallback = std::function<void(const TextMetrics&)>;
    using TokensCallback = std::function<void(const TokenCountResult&)>;

    TextStatisticsEngine();
    ~TextStatisticsEngine();
    TextStatisticsEngine(const TextStatisticsEngine&) = delete;
    TextStatisticsEngine& operator=(const TextStatisticsEngine&) = delete;

    // Both callbacks run on the main queue, each at most once, metrics first; tokens only when
    // the encoding is not off. The text is read in pieces and held only while its revision is the
    // cached one; a whole flattened copy exists only while a full-text token count runs.
    void request(const TextSource& text, std::uint64_t revision, TextRange selection, const TextFormat& format,
                 TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens);
    void request(const QString& text, std::uint64_t revision, TextRange selection, const TextFormat& format,
                 TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens)
    {
        request(TextSource::of(text), revision, selection, format, encoding, std::move(metrics), std::move(tokens));
    }
    // A snapshot is read in pieces on the queue, never flattened by the caller.
    void request(const TextSnapshot& text, std::uint64_t revision, TextRange selection, const TextFormat& format,
                 TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens)
    {
        request(TextSource::of(text), revision, selection, format, encoding, std::move(metrics), std::move(tokens));
    }
    // Advances the generation: nothing in flight is delivered any more.
    std::uint64_t invalidate();
    std::uint64_t generation() const;

    // The saved size of a text in a format, read in pieces; none when the format cannot hold it.
    static std::optional<qint64> encodedSize(const TextSource& text, const TextFormat& format);

private:
    struct Shared {
        // Atomic, not locked: the token counters ask it from several threads every few hundred pieces.
        std::atomic<std::uint64_t> generation{0};
        bool isCurrent(std::uint64_t g) const { return generation.load(std::memory_order_acquire) == g; }
    };
    // Read and written on the queue only.
    struct Cache {
        std::optional<std::uint64_t> revision;
        std::optional<CharacterIndex> index;
        std::optional<TextFormat> format;
        std::optional<qint64> bytes;
        QHash<int, qint64> fullTokens;
        // Per encoding, across revisions: the whole text is counted by blocks, and only the blocks
        // an edit touched are counted again.
        std::map<int, std::unique_ptr<TokenBlocks>> blocks;
    };
    struct Request;
    static void work(const std::shared_ptr<Shared>& shared, Cache& cache, const Request& request);

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<Cache> cache_;
    std::unique_ptr<DispatchQueue> queue_;
};

}  // namespace korimado
