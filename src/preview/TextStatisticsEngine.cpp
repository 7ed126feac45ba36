#include "preview/TextStatisticsEngine.h"

#include "document/CodecError.h"
#include "document/TextCodec.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"

namespace korimado {

struct TextStatisticsEngine::Request {
    TextSource text;
    std::uint64_t revision;
    TextRange selection;
    TextFormat format;
    TokenEncoding encoding;
    MetricsCallback metrics;
    TokensCallback tokens;
    std::uint64_t generation;
};

TextStatisticsEngine::TextStatisticsEngine()
    : shared_(std::make_shared<Shared>()),
      cache_(std::make_shared<Cache>()),
      queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".statistics"))))
{
}

TextStatisticsEngine::~TextStatisticsEngine()
{
    invalidate();
    queue_.reset();  // waits for a request under way, which now stops at its next check
}

std::uint64_t TextStatisticsEngine::invalidate()
{
    return shared_->generation.fetch_add(1, std::memory_order_acq_rel) + 1;
}

std::uint64_t TextStatisticsEngine::generation() const
{
    return shared_->generation.load(std::memory_order_acquire);
}

std::optional<qint64> TextStatisticsEngine::encodedSize(const TextSource& text, const TextFormat& format)
{
    try {
        if (!format.encoding.supportsBOM()) return TextCodec::encodedSize(text.substring(0, text.length), format);
        // The Unicode forms are counted piece by piece; a piece never ends between the halves of a
        // surrogate pair, so a lone surrogate is found in its own piece.
        TextFormat plain = format;
        plain.bom = false;
        qint64 total = format.bom ? format.encoding.marker().size() : 0;
        qsizetype at = 0;
        while (at < text.length) {
            qsizetype end = std::min(text.length, at + 65536);
            QString piece = text.substring(at, end);
            if (end < text.length && piece.back().isHighSurrogate()) {
                --end;
                piece.chop(1);
            }
            total += TextCodec::encodedSize(piece, plain);
            at = end;
        }
        return total;
    } catch (const CodecError&) {
        return std::nullopt;
    }
}

void TextStatisticsEngine::request(const TextSource& text, std::uint64_t revision, TextRange selection,
                                   const TextFormat& format, TokenEncoding encoding, MetricsCallback metrics,
                                   TokensCallback tokens)
{
    Request r{text, revision, selection, format, encoding, std::move(metrics), std::move(tokens), invalidate()};
    queue_->async([shared = shared_, cache = cache_, r = std::move(r)] { work(shared, *cache, r); });
}

void TextStatisticsEngine::work(const std::shared_ptr<Shared>& shared, Cache& cache, const Request& r)
{
    const std::uint64_t g = r.generation;
    const auto superseded = [&shared, g] { return !shared->isCurrent(g); };
    if (superseded()) return;

    if (!cache.revision || *cache.revision != r.revision || !cache.index) {
        std::optional<CharacterIndex> index = CharacterIndex::build(r.text, superseded);
        if (!index) return;
        cache.index = std::move(index);
        cache.revision = r.revision;
        cache.format.reset();
        cache.bytes.reset();
        cache.fullTokens.clear();
    }
    const CharacterIndex& index = *cache.index;
    const qsizetype length = index.length();
    if (r.selection.location < 0 || r.selection.length < 0 || r.selection.location > length
        || r.selection.length > length - r.selection.location) {
        return;
    }
    if (superseded()) return;

    if (!cache.format || !(*cache.format == r.format)) {
        cache.bytes = encodedSize(index.text(), r.format);
        cache.format = r.format;
    }
    TextMetrics result;
    result.characters = index.count();
    result.selectedCharacters = index.characters(r.selection);
    result.position = index.position(r.selection.location);
    result.bytes = cache.bytes;
    MainQueue::async([shared, g, result, metrics = r.metrics] {
        if (shared->isCurrent(g) && metrics) metrics(result);
    });

    if (r.encoding == TokenEncoding::off || superseded()) return;
    const auto deliver = [&](const TokenCountResult& answer) {
        MainQueue::async([shared, g, answer, tokens = r.tokens] {
            if (shared->isCurrent(g) && tokens) tokens(answer);
        });
    };
    const bool whole = r.selection.length == 0 || (r.selection.location == 0 && r.selection.length == length);
    const int key = static_cast<int>(r.encoding);
    if (whole) {
        if (const auto cached = cache.fullTokens.constFind(key); cached != cache.fullTokens.constEnd()) {
            deliver(TokenCountResult::success(*cached));
            return;
        }
    }
    try {
        const auto tokenizer = LocalTokenizer::shared(r.encoding);
        if (superseded()) return;
        qint64 n = 0;
        if (whole) {
            std::unique_ptr<TokenBlocks>& blocks = cache.blocks[key];
            if (!blocks) blocks = std::make_unique<TokenBlocks>(tokenizer);
            n = blocks->count(index.text(), superseded);
            cache.fullTokens.insert(key, n);
        } else {
            n = tokenizer->count(
                index.text().substring(r.selection.location, r.selection.location + r.selection.length), superseded);
        }
        deliver(TokenCountResult::success(n));
    } catch (CountingError error) {
        if (error != CountingError::cancelled) deliver(TokenCountResult::failure(error));
    } catch (const std::exception& error) {
        deliver(TokenCountResult::failure(QString::fromStdString(error.what())));
    }
}

}  // namespace korimado
