#include "preview/TextStatisticsEngine.h"

#include "document/CodecError.h"
#include "document/DocumentInspection.h"
#include "document/TextCodec.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"

namespace korimado {

TextStatisticsEngine::TextStatisticsEngine()
    : shared_(std::make_shared<Shared>()),
      queue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".statistics"))))
{
}

TextStatisticsEngine::~TextStatisticsEngine()
{
    invalidate();
}

std::uint64_t TextStatisticsEngine::invalidate()
{
    std::lock_guard guard(shared_->lock);
    return ++shared_->generation;
}

std::uint64_t TextStatisticsEngine::generation() const
{
    std::lock_guard guard(shared_->lock);
    return shared_->generation;
}

void TextStatisticsEngine::request(const QString& text, std::uint64_t, TextRange selection, const TextFormat& format,
                                   TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens)
{
    requestText([text] { return text; }, selection, format, encoding, std::move(metrics), std::move(tokens));
}

void TextStatisticsEngine::request(const TextSnapshot& text, std::uint64_t, TextRange selection,
                                   const TextFormat& format, TokenEncoding encoding, MetricsCallback metrics,
                                   TokensCallback tokens)
{
    requestText([text] { return text.string(); }, selection, format, encoding, std::move(metrics), std::move(tokens));
}

void TextStatisticsEngine::requestText(std::function<QString()> makeText, TextRange selection, const TextFormat& format,
                                       TokenEncoding encoding, MetricsCallback metrics, TokensCallback tokens)
{
    const std::uint64_t g = invalidate();
    std::shared_ptr<Shared> shared = shared_;
    queue_->async([shared, g, makeText = std::move(makeText), selection, format, encoding, metrics = std::move(metrics),
                   tokens = std::move(tokens)] {
        if (!shared->isCurrent(g)) {
            return;
        }
        const QString text = makeText();
        const qsizetype length = text.size();
        if (selection.location < 0 || selection.length < 0 || selection.location > length
            || selection.length > length - selection.location) {
            return;
        }
        TextMetrics result;
        result.characters = DocumentInspection::characterCount(text);
        result.selectedCharacters =
            DocumentInspection::characterCount(QStringView(text).mid(selection.location, selection.length));
        result.position = DocumentInspection::characterCount(QStringView(text).left(selection.location));
        try {
            result.bytes = TextCodec::encodedSize(text, format);
        } catch (const CodecError&) {
            result.bytes.reset();
        }
        MainQueue::async([shared, g, result, metrics] {
            if (shared->isCurrent(g) && metrics) {
                metrics(result);
            }
        });
        if (encoding == TokenEncoding::off || !shared->isCurrent(g)) {
            return;
        }
        TokenCountResult answer;
        try {
            const auto tokenizer = LocalTokenizer::shared(encoding);
            const QString piece = selection.length == 0 ? text : text.mid(selection.location, selection.length);
            answer = TokenCountResult::success(tokenizer->count(piece, [shared, g] { return !shared->isCurrent(g); }));
        } catch (CountingError error) {
            if (error == CountingError::cancelled) {
                return;
            }
            answer = TokenCountResult::failure(error);
        }
        MainQueue::async([shared, g, answer, tokens] {
            if (shared->isCurrent(g) && tokens) {
                tokens(answer);
            }
        });
    });
}

}  // namespace korimado
