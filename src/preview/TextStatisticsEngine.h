#pragma once

#include "document/TextFormat.h"
#include "platform/text/TextRange.h"
#include "platform/text/TextStorage.h"
#include "preview/LocalTokenizer.h"
#include "preview/TextMetrics.h"
#include "preview/TokenEncoding.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace korimado {

class DispatchQueue;

// Counts characters, the saved size and tokens for a window's status line on its own queue;
// a newer request or an invalidation drops every older result.
// Stand-in: counts the whole text anew for every request, without the per-revision caches, and
// reports tokens as not countable.
class TextStatisticsEngine {
public:
    using MetricsCallback = std::function<void(const TextMetrics&)>;
    using TokensCallback = std::function<void(const TokenCountResult&)>;

    TextStatisticsEngine();
    ~TextStatisticsEngine();
    TextStatisticsEngine(const TextStatisticsEngine&) = delete;
    TextStatisticsEngine& operator=(const TextStatisticsEngine&) = delete;

    // Both callbacks run on the main queue, each at most once, metrics first; tokens only when
    // the encoding is not off.
    void request(const QString& text, std::uint64_t revision, TextRange selection, const TextFormat& format,
                 TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens);
    // The same for a snapshot, which is made into one string on the queue, not by the caller.
    void request(const TextSnapshot& text, std::uint64_t revision, TextRange selection, const TextFormat& format,
                 TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens);
    // Advances the generation under the lock: nothing in flight is delivered any more.
    std::uint64_t invalidate();
    std::uint64_t generation() const;

private:
    void requestText(std::function<QString()> text, TextRange selection, const TextFormat& format,
                     TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens);

    struct Shared {
        mutable std::mutex lock;
        std::uint64_t generation = 0;  // guarded by lock
        bool isCurrent(std::uint64_t g) const
        {
            std::lock_guard guard(lock);
            return generation == g;
        }
    };

    std::shared_ptr<Shared> shared_;
    std::unique_ptr<DispatchQueue> queue_;
};

}  // namespace korimado
