#include "preview/TokenBlocks.h"

#include "platform/foundation/DispatchQueue.h"

#include <unicode/uchar.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <exception>
#include <thread>

namespace korimado {

namespace {

// Not white space by any reading of the word (the pre-tokenizers' \s, Unicode's White_Space,
// separators, controls).
bool isSolid(char32_t c)
{
    if (c < 0x21 || (c >= 0x7F && c <= 0xA0)) return false;
    if (u_isUWhiteSpace(static_cast<UChar32>(c)) || u_isspace(static_cast<UChar32>(c))) return false;
    const int8_t type = u_charType(static_cast<UChar32>(c));
    return type != U_SPACE_SEPARATOR && type != U_LINE_SEPARATOR && type != U_PARAGRAPH_SEPARATOR;
}

// A cheap look at the line before p, so that where a block ends depends on the text there and not
// on where the block began: the same text gives the same ends after an edit elsewhere.
bool isChosen(QStringView text, qsizetype p)
{
    std::uint32_t h = 2166136261u;
    for (qsizetype i = std::max<qsizetype>(0, p - 24); i < p; ++i) h = (h ^ text[i].unicode()) * 16777619u;
    return (h & 15u) == 0;
}

// The blocks of one count, shared with the helper threads, which may start after it is done.
struct Work {
    QString text;
    std::vector<qsizetype> starts;
    std::vector<qsizetype> ends;
    std::vector<qint64> counts;
    std::vector<std::exception_ptr> errors;
    std::shared_ptr<const LocalTokenizer> tokenizer;
    std::function<bool()> cancelled;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable finished;
    std::size_t done = 0;  // guarded by lock

    void run()
    {
        for (std::size_t i = next++; i < starts.size(); i = next++) {
            if (!stop) {
                try {
                    counts[i] = tokenizer->count(QStringView(text).mid(starts[i], ends[i] - starts[i]), cancelled);
                } catch (CountingError error) {
                    errors[i] = std::current_exception();
                    if (error == CountingError::cancelled) stop = true;
                } catch (...) {
                    errors[i] = std::current_exception();
                }
            }
            std::lock_guard guard(lock);
            if (++done == starts.size()) finished.notify_all();
        }
    }
};

}  // namespace

TokenBlocks::TokenBlocks(std::shared_ptr<const LocalTokenizer> tokenizer) : tokenizer_(std::move(tokenizer)) {}

TokenBlocks::~TokenBlocks() = default;

DispatchQueue& TokenBlocks::helpers()
{
    // Half the cores at most: counting must leave the rest of the program room.
    static DispatchQueue queue(DispatchQueue::applicationLabel(QStringLiteral(".tokens")),
                               std::max(1, static_cast<int>(std::thread::hardware_concurrency() / 2) - 1));
    return queue;
}

bool TokenBlocks::isSafeEnd(QStringView text, qsizetype p)
{
    if (p <= 0 || p >= text.size() || text[p - 1] != u'\n') return false;
    // "/" right after a line feed may join it (o200k's punctuation piece takes "[\r\n/]*").
    if (text[p] == u'/') return false;
    qsizetype i = p;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    if (i >= text.size()) return false;
    char32_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        c = QChar::surrogateToUcs4(text[i], text[i + 1]);
    }
    return isSolid(c);
}

std::vector<qsizetype> TokenBlocks::blockEnds(QStringView text, qsizetype minimum, qsizetype maximum)
{
    std::vector<qsizetype> ends;
    qsizetype start = 0;
    qsizetype p = text.indexOf(u'\n', std::max<qsizetype>(0, minimum - 1));
    while (p >= 0 && p + 1 < text.size()) {
        const qsizetype at = p + 1;
        if (at - start >= minimum && isSafeEnd(text, at) && (at - start >= maximum || isChosen(text, at))) {
            ends.push_back(at);
            start = at;
            p = text.indexOf(u'\n', at + std::max<qsizetype>(0, minimum - 1));
            continue;
        }
        p = text.indexOf(u'\n', at);
    }
    ends.push_back(text.size());
    return ends;
}

qint64 TokenBlocks::count(const TextSource& text, const std::function<bool()>& cancelled)
{
    return count(text.substring(0, text.length), cancelled);
}

qint64 TokenBlocks::count(const QString& text, const std::function<bool()>& cancelled)
{
    auto work = std::make_shared<Work>();
    work->text = text;
    work->tokenizer = tokenizer_;
    work->cancelled = cancelled;
    const std::vector<qsizetype> ends = blockEnds(text);

    QHash<Key, qint64> seen;
    seen.reserve(static_cast<qsizetype>(ends.size()));
    std::vector<Key> keys;
    keys.reserve(ends.size());
    qint64 total = 0;
    qsizetype start = 0;
    for (const qsizetype end : ends) {
        const QStringView block = QStringView(text).mid(start, end - start);
        const Key key{qHashBits(block.data(), static_cast<std::size_t>(block.size()) * sizeof(QChar), 0x6b6f7269u),
                      block.size()};
        keys.push_back(key);
        if (const auto found = current_.constFind(key); found != current_.constEnd()) {
            total += *found;
        } else if (const auto old = previous_.constFind(key); old != previous_.constEnd()) {
            total += *old;
        } else {
            work->starts.push_back(start);
            work->ends.push_back(end);
        }
        start = end;
    }
    const std::size_t blocks = work->starts.size();
    work->counts.assign(blocks, 0);
    work->errors.assign(blocks, nullptr);
    if (blocks > 1) {
        const int extra = std::min<int>(helpers().maxThreads(), static_cast<int>(blocks) - 1);
        for (int i = 0; i < extra; ++i) helpers().async([work] { work->run(); });
    }
    work->run();
    {
        std::unique_lock guard(work->lock);
        work->finished.wait(guard, [&] { return work->done == blocks; });
    }

    // The first failure in the text's order is the one a single pass would have met.
    for (std::size_t i = 0; i < blocks; ++i) {
        if (work->errors[i]) std::rethrow_exception(work->errors[i]);
    }
    QHash<Key, qint64> counted;
    counted.reserve(static_cast<qsizetype>(ends.size()));
    std::size_t next = 0;
    start = 0;
    for (std::size_t b = 0; b < ends.size(); ++b) {
        const Key& key = keys[b];
        if (next < blocks && work->starts[next] == start) {
            counted.insert(key, work->counts[next]);
            total += work->counts[next];
            ++next;
        } else {
            const auto found = current_.constFind(key);
            counted.insert(key, found != current_.constEnd() ? *found : previous_.value(key));
        }
        start = ends[b];
    }
    previous_ = std::move(current_);
    current_ = std::move(counted);
    lastBlocks_ = ends.size();
    lastCounted_ = blocks;
    return total;
}

}  // namespace korimado
