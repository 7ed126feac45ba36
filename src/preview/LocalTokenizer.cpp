#include "preview/LocalTokenizer.h"

#include "platform/foundation/Bundle.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <unicode/uchar.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace korimado {

namespace {

std::mutex poolLock;
QHash<int, std::shared_ptr<const LocalTokenizer>>& pool()
{
    static QHash<int, std::shared_ptr<const LocalTokenizer>> tokenizers;  // guarded by poolLock
    return tokenizers;
}

// One part of a piece while merging: a run of bytes in a linked list over the piece.
struct State {
    int previous;
    int next;
    int end;
    int version;
    bool alive;
};

struct Merge {
    std::uint32_t rank;
    int start;
    int version;
};

// Min-heap order: lower rank first, and of equal ranks the leftmost pair.
struct MergeAfter {
    bool operator()(const Merge& a, const Merge& b) const
    {
        return a.rank != b.rank ? a.rank > b.rank : a.start > b.start;
    }
};

// UTF-8 of a stretch of UTF-16; a lone surrogate becomes U+FFFD, as the text's own conversion does.
// Written through a pointer into room for the longest form: pieces are short and many.
std::size_t appendUtf8(const char16_t* units, qsizetype length, std::string& out)
{
    if (out.size() < static_cast<std::size_t>(length) * 3) out.resize(static_cast<std::size_t>(length) * 3);
    char* o = out.data();
    for (qsizetype i = 0; i < length; ++i) {
        char32_t c = units[i];
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (c >> 18));
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return static_cast<std::size_t>(o - out.data());
}

// Whether the text holds a run of one character (digits aside) long enough that one of its pieces
// must pass the merge limit: such a run splits into at most three pieces (the white space before
// its last line break, the rest but one, the last one), so past twice the limit one is too long.
// Found here in one pass, it is refused before any piece is counted.
bool hasOverlongRun(const char16_t* units, qsizetype length, std::size_t limit)
{
    const auto overlong = static_cast<qsizetype>(2 * limit + 2);
    qsizetype i = 0;
    while (i < length) {
        char32_t c = units[i];
        qsizetype width = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            width = 2;
        }
        qsizetype end = i + width;
        qsizetype run = 1;
        while (end + width <= length && units[end] == units[i] && (width == 1 || units[end + 1] == units[i + 1])) {
            end += width;
            ++run;
        }
        if (run > overlong && u_charType(static_cast<UChar32>(c)) != U_DECIMAL_DIGIT_NUMBER
            && u_charType(static_cast<UChar32>(c)) != U_LETTER_NUMBER && u_charType(static_cast<UChar32>(c)) != U_OTHER_NUMBER) {
            return true;
        }
        i = end;
    }
    return false;
}

// Counts of pieces that needed merging, kept per thread for the tokenizer that made them: words
// recur, and merging one costs far more than looking it up. Keyed by the rank table's hash, which
// the caller has made already; the bytes live in one buffer. Bounded; emptied when full.
class PieceCounts {
public:
    static constexpr std::size_t longestPiece = 256;
    static constexpr std::size_t capacity = 65536;

    static PieceCounts& forThread(std::uint64_t tokenizer)
    {
        thread_local PieceCounts counts;
        if (counts.owner_ != tokenizer) {
            counts.clear();
            counts.owner_ = tokenizer;
        }
        return counts;
    }
    std::optional<qint64> find(std::string_view piece, std::uint64_t hashed) const
    {
        if (piece.size() > longestPiece || slots_.empty()) return std::nullopt;
        for (std::size_t i = hashed & mask; slots_[i].hash != 0; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (s.hash == (hashed | 1) && s.length == piece.size()
                && std::memcmp(bytes_.data() + s.offset, piece.data(), piece.size()) == 0) {
                return s.count;
            }
        }
        return std::nullopt;
    }
    void keep(std::string_view piece, std::uint64_t hashed, qint64 count)
    {
        if (piece.size() > longestPiece) return;
        if (slots_.empty() || used_ >= capacity) clear();
        std::size_t i = hashed & mask;
        while (slots_[i].hash != 0) i = (i + 1) & mask;
        slots_[i] = {hashed | 1, static_cast<std::uint32_t>(bytes_.size()), static_cast<std::uint32_t>(piece.size()), count};
        bytes_.append(piece);
        ++used_;
    }

private:
    static constexpr std::size_t mask = 2 * capacity - 1;
    struct Slot {
        std::uint64_t hash;  // 0: empty
        std::uint32_t offset;
        std::uint32_t length;
        qint64 count;
    };
    void clear()
    {
        slots_.assign(2 * capacity, Slot{});
        bytes_.clear();
        used_ = 0;
    }

    std::vector<Slot> slots_;
    std::string bytes_;
    std::size_t used_ = 0;
    std::uint64_t owner_ = 0;
};

std::atomic<std::uint64_t> tokenizerSerial{0};

}  // namespace

QString LocalTokenizer::pattern(TokenEncoding encoding)
{
    if (encoding == TokenEncoding::cl100k) {
        return QStringLiteral(
            R"('(?i:[sdmt]|ll|ve|re)|[^\r\n\p{L}\p{N}]?+\p{L}++|\p{N}{1,3}+| ?[^\s\p{L}\p{N}]++[\r\n]*+|\s++$|\s*[\r\n]|\s+(?!\S)|\s)");
    }
    const QStringList alternatives = {
        QStringLiteral(R"([^\r\n\p{L}\p{N}]?[\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]*[\p{Ll}\p{Lm}\p{Lo}\p{M}]+(?i:'s|'t|'re|'ve|'m|'ll|'d)?)"),
        QStringLiteral(R"([^\r\n\p{L}\p{N}]?[\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]+[\p{Ll}\p{Lm}\p{Lo}\p{M}]*(?i:'s|'t|'re|'ve|'m|'ll|'d)?)"),
        QStringLiteral(R"(\p{N}{1,3})"),
        QStringLiteral(R"( ?[^\s\p{L}\p{N}]+[\r\n/]*)"),
        QStringLiteral(R"(\s*[\r\n]+)"),
        QStringLiteral(R"(\s+(?!\S))"),
        QStringLiteral(R"(\s+)"),
    };
    return alternatives.join(QLatin1Char('|'));
}

std::shared_ptr<const LocalTokenizer> LocalTokenizer::shared(TokenEncoding encoding)
{
    // Held across the load, so that a second caller waits for the first load instead of repeating it.
    std::lock_guard guard(poolLock);
    auto& tokenizers = pool();
    const int key = static_cast<int>(encoding);
    if (const auto found = tokenizers.constFind(key); found != tokenizers.constEnd()) return *found;
    auto made = std::make_shared<const LocalTokenizer>(encoding, std::nullopt);
    tokenizers.insert(key, made);
    return made;
}

LocalTokenizer::LocalTokenizer(TokenEncoding encoding, const std::optional<QString>& directory)
    : serial_(++tokenizerSerial), pieces_(encoding)
{
    if (encoding == TokenEncoding::off) throw CountingError::missingTable;
    QString folder;
    if (directory) {
        folder = *directory;
    } else {
        const QString resources = Bundle::main().resourcePath();
        if (resources.isEmpty()) throw CountingError::missingTable;
        folder = resources + QStringLiteral("/Tokenizers");
    }
    const QString path = folder + QLatin1Char('/') + rawValue(encoding) + QStringLiteral(".tiktoken");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw TokenizerError(QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw TokenizerError(QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
    }
    {
        QStringDecoder check(QStringDecoder::Utf8);
        (void)check.decode(bytes);
        if (check.hasError()) throw TokenizerError(QStringLiteral("%1: not UTF-8 text").arg(path).toStdString());
    }
    const std::size_t expected = encoding == TokenEncoding::o200k ? o200kEntries : cl100kEntries;
    ranks_ = TokenRankTable::parse(bytes, encoding == TokenEncoding::o200k ? 200'000 : expected);
    if (ranks_.size() != expected || !ranks_.hasEverySingleByte()) throw CountingError::malformedTable;

}

LocalTokenizer::~LocalTokenizer() = default;

qint64 LocalTokenizer::count(QStringView text, const std::function<bool()>& cancelled) const
{
    if (text.isEmpty()) return 0;
    if (hasOverlongRun(text.utf16(), text.size(), maximumPieceBytes)) {
        throw CountingError::resourceLimit;
    }
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype length = text.size();
    std::string buffer;
    PieceCounts& known = PieceCounts::forThread(serial_);
    qint64 total = 0;
    std::uint32_t pieces = 0;
    for (qsizetype at = 0; at < length; ++pieces) {
        if (pieces % 256 == 0 && cancelled && cancelled()) throw CountingError::cancelled;
        const qsizetype end = pieces_.pieceEnd(units, length, at);
        if (end <= at) throw CountingError::unmatchedText;
        const std::size_t bytes = appendUtf8(units + at, end - at, buffer);  // may move the buffer
        const std::string_view piece(buffer.data(), bytes);
        at = end;
        if (piece.size() == 1) {
            total += 1;
            continue;
        }
        const std::uint64_t hashed = TokenRankTable::hash(piece);
        if (ranks_.rank(piece, hashed)) {
            total += 1;
        } else if (const std::optional<qint64> seen = known.find(piece, hashed)) {
            total += *seen;
        } else {
            const qint64 n = pieceCount(piece, cancelled);
            known.keep(piece, hashed, n);
            total += n;
        }
    }
    return total;
}

qint64 LocalTokenizer::pieceCount(std::string_view bytes, const std::function<bool()>& cancelled) const
{
    if (bytes.size() > maximumPieceBytes) throw CountingError::resourceLimit;
    const int m = static_cast<int>(bytes.size());
    // Short pieces reuse the thread's buffers; a long one gets its own, freed when it is counted.
    thread_local std::vector<State> sharedParts;
    thread_local std::vector<Merge> sharedHeap;
    std::vector<State> ownParts;
    std::vector<Merge> ownHeap;
    const bool small = m <= 4096;
    std::vector<State>& parts = small ? sharedParts : ownParts;
    std::vector<Merge>& heap = small ? sharedHeap : ownHeap;
    parts.resize(static_cast<std::size_t>(m));
    heap.clear();
    for (int i = 0; i < m; ++i) parts[static_cast<std::size_t>(i)] = {i - 1, i + 1 < m ? i + 1 : -1, i + 1, 0, true};

    const auto rankForPair = [&](int i) -> std::optional<std::uint32_t> {
        const State& part = parts[static_cast<std::size_t>(i)];
        if (part.next < 0) return std::nullopt;
        const int end = parts[static_cast<std::size_t>(part.next)].end;
        return ranks_.rank(bytes.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(end - i)));
    };
    const MergeAfter after;
    for (int i = 0; i + 1 < m; ++i) {
        if (const auto rank = rankForPair(i)) heap.push_back({*rank, i, 0});
    }
    std::make_heap(heap.begin(), heap.end(), after);

    qint64 count = m;
    std::uint64_t pops = 0;
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), after);
        const Merge top = heap.back();
        heap.pop_back();
        if (++pops % 1024 == 0 && cancelled && cancelled()) throw CountingError::cancelled;
        State& part = parts[static_cast<std::size_t>(top.start)];
        if (!part.alive || part.version != top.version || part.next < 0) continue;
        State& right = parts[static_cast<std::size_t>(part.next)];
        if (!right.alive) continue;

        part.next = right.next;
        part.end = right.end;
        ++part.version;
        right.alive = false;
        ++right.version;
        if (part.next >= 0) parts[static_cast<std::size_t>(part.next)].previous = top.start;
        --count;

        if (const auto rank = rankForPair(top.start)) {
            heap.push_back({*rank, top.start, part.version});
            std::push_heap(heap.begin(), heap.end(), after);
        }
        if (part.previous >= 0) {
            State& previous = parts[static_cast<std::size_t>(part.previous)];
            ++previous.version;
            if (const auto rank = rankForPair(part.previous)) {
                heap.push_back({*rank, part.previous, previous.version});
                std::push_heap(heap.begin(), heap.end(), after);
            }
        }
    }
    return count;
}

}  // namespace korimado
