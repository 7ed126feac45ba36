#include "commands/EditingTransforms.h"

#include "platform/foundation/LocalizedStandardCompare.h"
#include "platform/foundation/ParallelParts.h"
#include "platform/foundation/MemoryAdvice.h"
#include "platform/text/StringChecks.h"
#include "platform/text/TextBoundaries.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <QHash>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <numeric>

namespace korimado {

namespace {

bool isBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

char32_t scalarAt(QStringView s, qsizetype i)
{
    const char16_t c = s[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, s[i + 1].unicode());
    return c;
}

// True when the unit at i extends the character before it, so that no character ends at i.
bool continuesCharacter(QStringView s, qsizetype i)
{
    if (i <= 0 || i >= s.size()) return false;
    if (s[i].isLowSurrogate() && s[i - 1].isHighSurrogate()) return true;
    const char32_t c = scalarAt(s, i);
    if (c < 0x300) return false;  // fast path: nothing below the combining marks extends
    const int gcb = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return gcb == U_GCB_EXTEND || gcb == U_GCB_ZWJ || gcb == U_GCB_SPACING_MARK;
}

// rest starts with marker as whole characters.
bool startsWithMarker(QStringView rest, const QString& marker)
{
    return !marker.isEmpty() && rest.startsWith(marker) && !continuesCharacter(rest, marker.size());
}

bool isHorizontalSpace(char16_t c)
{
    return c == u'\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

QStringView trimmedHorizontal(QStringView s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isHorizontalSpace(s[from].unicode())) ++from;
    while (to > from && isHorizontalSpace(s[to - 1].unicode())) --to;
    // A space carrying a combining mark is a character of its own, not white space.
    if (to < s.size() && continuesCharacter(s, to) && to > from) ++to;
    return s.sliced(from, to - from);
}

int clampedWidth(int width)
{
    return std::max(width, 1);
}

std::unique_ptr<icu::RegexPattern> compile(const QString& pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(pattern.utf16()),
                                    static_cast<int32_t>(pattern.size()));
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(source, 0, parseError, status));
    if (U_FAILURE(status)) return nullptr;
    return compiled;
}

// The sort key of a line: the first match of the pattern (capture group 1 when it took part), or
// the whole content.
QString patternKey(icu::RegexMatcher& matcher, const QString& content)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString input(false, reinterpret_cast<const UChar*>(content.utf16()),
                                   static_cast<int32_t>(content.size()));
    matcher.reset(input);
    if (!matcher.find(0, status) || U_FAILURE(status)) return content;
    int group = 0;
    if (matcher.groupCount() >= 1 && matcher.start(1, status) >= 0 && U_SUCCESS(status)) group = 1;
    status = U_ZERO_ERROR;
    const int32_t start = matcher.start(group, status);
    const int32_t end = matcher.end(group, status);
    if (U_FAILURE(status) || start < 0) return content;
    return content.mid(start, end - start);
}

QString nfc(const QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.utf16()),
                                    static_cast<int32_t>(text.size()));
    if (normalizer->quickCheck(source, status) == UNORM_YES && U_SUCCESS(status)) return text;
    status = U_ZERO_ERROR;
    const icu::UnicodeString normalized = normalizer->normalize(source, status);
    if (U_FAILURE(status)) return text;
    return QString(reinterpret_cast<const QChar*>(normalized.getBuffer()), normalized.length());
}

// The BMP units that leave any text they are in normalized: quick check "yes" for NFC and no
// combining class. A line made only of those (kana, ideographs, full-width forms) needs no
// normalizer call.
class InertUnits {
public:
    InertUnits()
    {
        for (UChar32 c = 0; c < 0x10000; ++c) {
            if (U16_IS_SURROGATE(c)) continue;
            if (u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) == UNORM_YES && u_getCombiningClass(c) == 0)
                bits_[static_cast<size_t>(c) >> 6] |= uint64_t{1} << (c & 63);
        }
    }
    bool contains(char16_t c) const { return (bits_[c >> 6] >> (c & 63)) & 1; }

private:
    uint64_t bits_[0x10000 / 64] = {};
};

bool isNFC(QStringView text)
{
    // Below U+0300 nothing composes or decomposes.
    static const InertUnits inert;
    bool plain = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x300 && !inert.contains(c.unicode())) {
            plain = false;
            break;
        }
    }
    if (plain) return true;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return true;
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    return normalizer->quickCheck(source, status) == UNORM_YES && U_SUCCESS(status);
}

// The collation keys of many strings, made once each and sorted in place: every record keeps the
// key's first eight bytes, so most comparisons stay inside the array; the rest of a key lives in
// blocks that never move.
class LocalizedSortKeys {
public:
    struct Record {
        uint64_t prefix;
        const uint8_t* rest;  // the key's bytes after the first eight, when it has more
        uint32_t length;      // of the whole key, without its terminator
        uint32_t index;       // of the string among those given
    };

    template <typename PieceAt>
    LocalizedSortKeys(size_t count, PieceAt pieceAt)
    {
        records_.reserve(count);
        adviseLargeBuffer(records_.data(), count * sizeof(Record));
        records_.resize(count);
        // Keys do not depend on one another and each thread has its own collator: a large input
        // is keyed in a few parts at once.
        const size_t workers = parallelPartCount(count, 100'000, 4);
        arenas_.resize(workers);
        const size_t share = (count + workers - 1) / workers;
        runInParts(workers, [&](size_t w) { makeKeys(w * share, std::min(count, (w + 1) * share), pieceAt, arenas_[w]); });
    }

    std::vector<Record>& records() { return records_; }

    static int compare(const Record& x, const Record& y)
    {
        if (x.prefix != y.prefix) return x.prefix < y.prefix ? -1 : 1;
        const uint32_t common = std::min(x.length, y.length);
        const int c = common > 8 ? std::memcmp(x.rest, y.rest, common - 8) : 0;
        if (c != 0) return c;
        return x.length == y.length ? 0 : (x.length < y.length ? -1 : 1);
    }

private:
    struct Arena {
        std::vector<std::unique_ptr<uint8_t[]>> blocks;
        size_t capacity = 0;
        size_t used = 0;

        const uint8_t* keep(const uint8_t* bytes, size_t n)
        {
            constexpr size_t blockSize = 1 << 20;
            if (blocks.empty() || used + n > capacity) {
                capacity = std::max(blockSize, n);
                blocks.emplace_back(new uint8_t[capacity]);
                used = 0;
            }
            uint8_t* at = blocks.back().get() + used;
            std::memcpy(at, bytes, n);
            used += n;
            return at;
        }
    };

    template <typename PieceAt>
    void makeKeys(size_t from, size_t to, PieceAt& pieceAt, Arena& arena)
    {
        std::vector<uint8_t> scratch(256);
        for (size_t i = from; i < to; ++i) {
            const QStringView piece = pieceAt(i);
            int32_t length = localizedStandardSortKey(piece, scratch.data(), static_cast<int32_t>(scratch.size()));
            if (length > static_cast<int32_t>(scratch.size())) {
                scratch.resize(static_cast<size_t>(length));
                length = localizedStandardSortKey(piece, scratch.data(), length);
            }
            Record& r = records_[i];
            r.length = static_cast<uint32_t>(std::max(length - 1, 0));
            r.index = static_cast<uint32_t>(i);
            uint64_t prefix = 0;
            for (uint32_t k = 0; k < 8; ++k) prefix = (prefix << 8) | (k < r.length ? scratch[k] : 0);
            r.prefix = prefix;
            r.rest = r.length > 8 ? arena.keep(scratch.data() + 8, r.length - 8) : nullptr;
        }
    }

    std::vector<Record> records_;
    std::vector<Arena> arenas_;
};

// Sorts a large vector in a few parts at once, then merges them. The order is total (ties are
// settled by index), so the result is the one a single sort gives.
template <typename T, typename Less>
void sortInParts(std::vector<T>& items, Less less)
{
    const size_t parts = parallelPartCount(items.size(), 200'000, 4);
    if (parts < 2) {
        std::sort(items.begin(), items.end(), less);
        return;
    }
    std::vector<size_t> bounds(parts + 1);
    for (size_t p = 0; p <= parts; ++p) bounds[p] = items.size() * p / parts;
    runInParts(parts, [&](size_t p) { std::sort(items.begin() + bounds[p], items.begin() + bounds[p + 1], less); });
    // Neighbouring runs merged pairwise, the pairs of a round at once.
    for (size_t width = 1; width < parts; width *= 2) {
        std::vector<size_t> starts;
        for (size_t p = 0; p + width < parts; p += 2 * width) starts.push_back(p);
        runInParts(starts.size(), [&](size_t k) {
            const size_t p = starts[k];
            const auto begin = items.begin() + bounds[p];
            const auto middle = items.begin() + bounds[p + width];
            const auto end = items.begin() + bounds[std::min(parts, p + 2 * width)];
            std::inplace_merge(begin, middle, end, less);
        });
    }
}

// One line of a text by offsets: no copies, for the transforms that touch every line of a large
// block.
struct Span {
    qsizetype start;
    qsizetype contentEnd;
    qsizetype end;
    qsizetype contentLength() const { return contentEnd - start; }
};

// The line that begins at start (< text.size()).
Span spanAt(QStringView text, qsizetype start)
{
    const qsizetype n = text.size();
    const auto* p = reinterpret_cast<const char16_t*>(text.utf16());
    qsizetype end = start;
    while (true) {
        end = TextBoundaries::firstPossibleBreak(p, end, n);
        if (end >= n || isBreak(p[end])) break;
        ++end;
    }
    qsizetype after = end;
    if (after < n) after += (p[after] == u'\r' && after + 1 < n && p[after + 1] == u'\n') ? 2 : 1;
    return {start, end, after};
}

// Calls fn(span) for every line, in order, until it returns false.
template <typename Fn>
void forEachSpan(QStringView text, Fn fn)
{
    for (qsizetype start = 0; start < text.size();) {
        const Span span = spanAt(text, start);
        if (!fn(span)) return;
        start = span.end;
    }
}

std::vector<Span> spans(QStringView text)
{
    // Counted first: growing a vector of a million lines would copy it and touch twice the memory.
    size_t count = 0;
    forEachSpan(text, [&](const Span&) { return ++count, true; });
    std::vector<Span> result;
    result.reserve(count);
    adviseLargeBuffer(result.data(), count * sizeof(Span));
    forEachSpan(text, [&](const Span& span) {
        result.push_back(span);
        return true;
    });
    return result;
}

// The distinct keys seen so far among keys given up front, by open addressing over their hashes:
// sized once for all of them, so it never grows nor hashes a key twice.
class ViewSet {
public:
    explicit ViewSet(const std::vector<QStringView>& keys) : keys_(keys)
    {
        size_t size = 1024;
        while (size < keys.size() * 2) size *= 2;
        slots_.resize(size);
    }
    // True when keys[index] was not in the set.
    bool insert(uint32_t index, size_t hash)
    {
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.index == 0) {
                slot = {static_cast<uint32_t>(hash), index + 1};
                return true;
            }
            if (slot.hash == static_cast<uint32_t>(hash) && keys_[slot.index - 1] == keys_[index]) return false;
        }
    }

private:
    struct Slot {
        uint32_t hash = 0;
        uint32_t index = 0;  // into keys_, plus one; 0 for an empty slot
    };
    const std::vector<QStringView>& keys_;
    std::vector<Slot> slots_;
};

QStringView contentOf(QStringView text, const Span& span)
{
    return text.sliced(span.start, span.contentLength());
}

QStringView endingOf(QStringView text, const Span& span)
{
    return text.sliced(span.contentEnd, span.end - span.contentEnd);
}

qsizetype indentationOf(QStringView content)
{
    qsizetype i = 0;
    while (i < content.size() && (content[i] == u' ' || content[i] == u'\t')) ++i;
    if (i > 0 && continuesCharacter(content, i)) --i;
    return i;
}

bool isBlankView(QStringView content)
{
    for (QChar c : content)
        if (!isHorizontalSpace(c.unicode())) return false;
    return true;
}

}  // namespace

std::vector<EditingTransforms::Line> EditingTransforms::lines(const QString& text)
{
    std::vector<Line> result;
    const qsizetype n = text.size();
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && !isBreak(p[end])) ++end;
        qsizetype after = end;
        if (after < n) after += (p[after] == u'\r' && after + 1 < n && p[after + 1] == u'\n') ? 2 : 1;
        result.push_back({text.sliced(start, end - start), text.sliced(end, after - end)});
        start = after;
    }
    return result;
}

QString EditingTransforms::joined(const std::vector<Line>& lines)
{
    qsizetype size = 0;
    for (const Line& line : lines) size += line.content.size() + line.ending.size();
    QString result = reservedString(size);
    for (const Line& line : lines) {
        result += line.content;
        result += line.ending;
    }
    return result;
}

qsizetype EditingTransforms::indentationLength(const QString& content)
{
    return indentationOf(content);
}

QString EditingTransforms::indent(const QString& text, int width, bool spaces, bool remove)
{
    const int w = clampedWidth(width);
    std::vector<Line> all = lines(text);
    for (Line& line : all) {
        QString& c = line.content;
        if (remove) {
            const qsizetype run = indentationLength(c);
            if (run > 0 && c[0] == u'\t') {
                c.remove(0, 1);
            } else {
                qsizetype count = 0;
                while (count < run && count < w && c[count] == u' ') ++count;
                c.remove(0, count);
            }
        } else {
            c.prepend(spaces ? QString(w, u' ') : QStringLiteral("\t"));
        }
    }
    return joined(all);
}

QString EditingTransforms::convertIndentation(const QString& text, int width, bool toSpaces)
{
    const int w = clampedWidth(width);
    std::vector<Line> all = lines(text);
    for (Line& line : all) {
        const qsizetype run = indentationLength(line.content);
        if (run == 0) continue;
        qsizetype column = 0;
        for (qsizetype i = 0; i < run; ++i)
            column = line.content[i] == u'\t' ? column + w - column % w : column + 1;
        const QString replacement =
            toSpaces ? QString(column, u' ') : QString(column / w, u'\t') + QString(column % w, u' ');
        line.content.replace(0, run, replacement);
    }
    return joined(all);
}

QString EditingTransforms::toggleLineComment(const QString& text, const QString& marker)
{
    if (marker.isEmpty()) return text;
    const QStringView view(text);
    bool anyCandidate = false;
    bool commented = true;
    qsizetype lineCount = 0;
    forEachSpan(view, [&](const Span& span) {
        ++lineCount;
        const QStringView content = contentOf(view, span);
        if (isBlankView(content)) return true;
        anyCandidate = true;
        commented = startsWithMarker(content.sliced(indentationOf(content)), marker);
        return commented;
    });
    if (!anyCandidate) return text;
    // Uncommenting only shortens; commenting counted the lines up to the first uncommented one,
    // and the string grows past them as needed.
    QString result = reservedString(text.size() + (commented ? 0 : (lineCount + 1) * (marker.size() + 1)));
    forEachSpan(view, [&](const Span& span) {
        const QStringView content = contentOf(view, span);
        if (isBlankView(content)) {
            result += content;
        } else {
            const qsizetype run = indentationOf(content);
            const QStringView rest = content.sliced(run);
            result += content.first(run);
            if (commented) {
                if (startsWithMarker(rest, marker)) {
                    qsizetype skip = marker.size();
                    if (skip < rest.size() && rest[skip] == u' ' && !continuesCharacter(rest, skip + 1)) ++skip;
                    result += rest.sliced(skip);
                } else {
                    result += rest;
                }
            } else {
                result += marker;
                if (!rest.isEmpty()) result += u' ';
                result += rest;
            }
        }
        result += endingOf(view, span);
        return true;
    });
    return result;
}

QString EditingTransforms::uncomment(const QString& text, const std::optional<QString>& lineMarker,
                                     const std::optional<std::pair<QString, QString>>& block)
{
    if (block && !block->first.isEmpty() && !block->second.isEmpty()) {
        const QString trimmed = trimmedOfWhiteSpaceAndNewlines(text);
        const QString& open = block->first;
        const QString& close = block->second;
        if (trimmed.startsWith(open) && trimmed.endsWith(close)) {
            const qsizetype start = text.indexOf(open);
            const qsizetype end = text.lastIndexOf(close);
            if (start >= 0 && end >= 0 && end >= start + open.size()) {
                QString result = text;
                result.remove(end, close.size());
                result.remove(start, open.size());
                return result;
            }
        }
    }
    if (lineMarker && !lineMarker->isEmpty()) {
        std::vector<Line> all = lines(text);
        for (Line& line : all) {
            QString& c = line.content;
            const qsizetype run = indentationLength(c);
            if (!startsWithMarker(QStringView(c).sliced(run), *lineMarker)) continue;
            qsizetype remove = lineMarker->size();
            if (run + remove < c.size() && c[run + remove] == u' ' && !continuesCharacter(c, run + remove + 1))
                ++remove;
            c.remove(run, remove);
        }
        return joined(all);
    }
    return text;
}

QString EditingTransforms::sortLines(const QString& text, bool ascending, const std::optional<QString>& pattern)
{
    const QStringView view(text);
    const std::vector<Span> all = spans(view);
    if (all.size() < 2) return text;

    std::unique_ptr<icu::RegexPattern> compiled = pattern ? compile(*pattern) : nullptr;
    std::unique_ptr<icu::RegexMatcher> matcher;
    if (compiled) {
        UErrorCode status = U_ZERO_ERROR;
        matcher.reset(compiled->matcher(status));
        if (U_FAILURE(status)) matcher.reset();
    }
    // The key texts, as offsets into the text: a line's content or its pattern match.
    std::vector<TextRange> keyRanges;
    if (matcher) {
        keyRanges.resize(all.size());
        for (size_t i = 0; i < all.size(); ++i) {
            TextRange key(all[i].start, all[i].contentLength());
            const QString content = contentOf(view, all[i]).toString();
            const QString matched = patternKey(*matcher, content);
            if (matched.size() != content.size()) key = TextRange(all[i].start + content.indexOf(matched), matched.size());
            keyRanges[i] = key;
        }
    }
    const auto keyText = [&](size_t i) {
        return matcher ? view.sliced(keyRanges[i].location, keyRanges[i].length) : contentOf(view, all[i]);
    };
    LocalizedSortKeys keys(all.size(), keyText);
    std::vector<LocalizedSortKeys::Record>& records = keys.records();

    // Lines whose keys collate equal (case and width variants among them) keep their order: the
    // index settles those ties, so the sort need not be stable.
    using Record = LocalizedSortKeys::Record;
    if (ascending)
        sortInParts(records, [](const Record& a, const Record& b) {
            const int c = LocalizedSortKeys::compare(a, b);
            return c != 0 ? c < 0 : a.index < b.index;
        });
    else
        sortInParts(records, [](const Record& a, const Record& b) {
            const int c = LocalizedSortKeys::compare(a, b);
            return c != 0 ? c > 0 : a.index < b.index;
        });
    std::vector<uint32_t> order(records.size());
    for (size_t k = 0; k < records.size(); ++k) order[k] = records[k].index;

    QStringView firstEnding;
    for (uint32_t i : order) {
        if (all[i].end > all[i].contentEnd) {
            firstEnding = endingOf(view, all[i]);
            break;
        }
    }
    if (firstEnding.isEmpty()) firstEnding = u"\n";
    const QStringView lastEnding = endingOf(view, all.back());
    // Each line with the ending it takes in the sorted text, measured first and then copied into
    // a string of exactly that size.
    const auto endingAt = [&](size_t k) {
        const Span& span = all[order[k]];
        if (k + 1 == order.size()) return lastEnding;
        return span.end > span.contentEnd ? endingOf(view, span) : firstEnding;
    };
    // The lines are gathered from all over the text: a few parts at once, each into its own
    // stretch of the result.
    const size_t parts = parallelPartCount(order.size(), 200'000, 4);
    std::vector<qsizetype> partStarts(parts + 1, 0);
    const auto partBegin = [&](size_t part) { return order.size() * part / parts; };
    runInParts(parts, [&](size_t part) {
        qsizetype size = 0;
        for (size_t k = partBegin(part); k < partBegin(part + 1); ++k)
            size += all[order[k]].contentLength() + endingAt(k).size();
        partStarts[part + 1] = size;
    });
    for (size_t part = 0; part < parts; ++part) partStarts[part + 1] += partStarts[part];
    QString result = reservedString(partStarts[parts]);
    result.resize(partStarts[parts]);
    QChar* const data = result.data();
    runInParts(parts, [&](size_t part) {
        QChar* out = data + partStarts[part];
        const auto put = [&out](QStringView piece) {
            std::memcpy(out, piece.data(), static_cast<size_t>(piece.size()) * sizeof(QChar));
            out += piece.size();
        };
        for (size_t k = partBegin(part); k < partBegin(part + 1); ++k) {
            put(contentOf(view, all[order[k]]));
            put(endingAt(k));
        }
    });
    return result;
}

QString EditingTransforms::reverseLines(const QString& text)
{
    std::vector<Line> all = lines(text);
    const size_t n = all.size();
    for (size_t i = 0; i < n / 2; ++i) std::swap(all[i].content, all[n - 1 - i].content);
    return joined(all);
}

QString EditingTransforms::deduplicateLines(const QString& text)
{
    const QStringView view(text);
    const std::vector<Span> all = spans(view);
    const size_t n = all.size();
    // Each line's key (its NFC form when the line is not in it) and hash, made in a few parts at
    // once; only the lookups need to go in order.
    std::vector<QStringView> keys(n);
    std::vector<size_t> hashes(n);
    const size_t parts = parallelPartCount(n, 100'000, 4);
    std::vector<std::deque<QString>> normalized(parts);  // keeps the NFC forms the keys refer to
    runInParts(parts, [&](size_t part) {
        for (size_t i = n * part / parts; i < n * (part + 1) / parts; ++i) {
            QStringView key = contentOf(view, all[i]);
            if (!isNFC(key)) {
                normalized[part].push_back(nfc(key.toString()));
                key = normalized[part].back();
            }
            keys[i] = key;
            hashes[i] = qHash(key);
        }
    });
    ViewSet seen(keys);
    std::vector<uint32_t> kept;
    kept.reserve(n);
    qsizetype size = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!seen.insert(static_cast<uint32_t>(i), hashes[i])) continue;
        kept.push_back(static_cast<uint32_t>(i));
        size += all[i].end - all[i].start;
    }
    if (kept.size() == n) return text;
    QString result = reservedString(size);
    result.resize(size);
    QChar* out = result.data();
    for (uint32_t i : kept) {
        const qsizetype length = all[i].end - all[i].start;
        std::memcpy(out, view.data() + all[i].start, static_cast<size_t>(length) * sizeof(QChar));
        out += length;
    }
    return result;
}

QString EditingTransforms::joinLines(const QString& text)
{
    const std::vector<Line> all = lines(text);
    if (all.size() < 2) return text;
    QString result = reservedString(text.size());
    for (const Line& line : all) {
        const QStringView trimmed = trimmedHorizontal(line.content);
        if (trimmed.isEmpty()) continue;
        if (!result.isEmpty()) result += u' ';
        result += trimmed;
    }
    return result + all.back().ending;
}

QString EditingTransforms::swapAdjacentLineBlocks(const QString& first, const QString& second)
{
    std::vector<Line> a = lines(first);
    std::vector<Line> b = lines(second);
    std::vector<QString> endings;
    for (const Line& line : a) endings.push_back(line.ending);
    for (const Line& line : b) endings.push_back(line.ending);
    std::vector<Line> result;
    for (Line& line : b) result.push_back(std::move(line));
    for (Line& line : a) result.push_back(std::move(line));
    for (size_t i = 0; i < result.size(); ++i) result[i].ending = endings[i];
    return joined(result);
}

QString EditingTransforms::convertWidth(const QString& text, bool toFull)
{
    QString result = reservedString(text.size());
    result.append(text);
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (toFull) {
            if (u == 0x20) c = QChar(0x3000);
            else if (u >= 0x21 && u <= 0x7E) c = QChar(static_cast<char16_t>(u + 0xFEE0));
        } else {
            if (u == 0x3000) c = QChar(0x20);
            else if (u >= 0xFF01 && u <= 0xFF5E) c = QChar(static_cast<char16_t>(u - 0xFEE0));
        }
    }
    return result;
}

std::optional<QString> EditingTransforms::scalar(const QString& typed)
{
    QString s = trimmedOfWhiteSpaceAndNewlines(typed).toUpper();
    if (s.startsWith(QLatin1String("U+"))) s.remove(0, 2);
    if (s.startsWith(QLatin1String("0X"))) s.remove(0, 2);
    if (s.isEmpty()) return std::nullopt;
    bool negative = false;
    qsizetype i = 0;
    if (s[0] == u'+' || s[0] == u'-') {
        negative = s[0] == u'-';
        i = 1;
    }
    if (i == s.size()) return std::nullopt;
    quint64 value = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        else return std::nullopt;
        value = value * 16 + static_cast<quint64>(digit);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    if (negative && value != 0) return std::nullopt;
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return std::nullopt;
    const char32_t scalar = static_cast<char32_t>(value);
    return QString::fromUcs4(&scalar, 1);
}

QString EditingTransforms::characterDescription(const QString& text)
{
    if (text.isEmpty()) return QStringLiteral("文字が選択されていません。");
    qsizetype characters = 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> graphemes(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.utf16()),
                                    static_cast<int32_t>(text.size()));
    if (U_SUCCESS(status)) {
        graphemes->setText(source);
        graphemes->first();
        while (graphemes->next() != icu::BreakIterator::DONE) ++characters;
    }
    const QList<uint> scalars = text.toUcs4();
    QStringList out;
    out << QStringLiteral("書記素: ") + QString::number(characters)
        << QStringLiteral("Unicodeスカラー: ") + QString::number(scalars.size())
        << QStringLiteral("UTF-16単位: ") + QString::number(text.size()) << QString();
    for (uint scalar : scalars) {
        char name[256];
        UErrorCode nameStatus = U_ZERO_ERROR;
        const int32_t length = u_charName(static_cast<UChar32>(scalar), U_UNICODE_CHAR_NAME, name, sizeof name, &nameStatus);
        const QString named = U_SUCCESS(nameStatus) && length > 0 ? QString::fromLatin1(name, length)
                                                                 : QStringLiteral("名称なし");
        out << QStringLiteral("U+%1  %2").arg(QString::number(scalar, 16).toUpper().rightJustified(4, u'0'), named);
    }
    return out.join(u'\n');
}

}  // namespace korimado
