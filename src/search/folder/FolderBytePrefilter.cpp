#include "search/folder/FolderBytePrefilter.h"

#include "document/TextCodec.h"
#include "search/engine/PlainLiterals.h"
#include "search/engine/RegexLiterals.h"
#include "search/engine/SearchEngineError.h"
#include "search/engine/SearchRegex.h"

#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

bool isAsciiLetter(uchar b)
{
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

bool isContinuation(uchar b)
{
    return (b & 0xC0) == 0x80;
}

// The first occurrence of literal in data, comparing ASCII letters in either case when folding.
bool occursIn(QByteArrayView data, const QByteArray& literal, bool fold)
{
    const qsizetype m = literal.size();
    const qsizetype n = data.size();
    if (m == 0) return true;
    if (m > n) return false;
    const auto* text = reinterpret_cast<const uchar*>(data.data());
    const auto* p = reinterpret_cast<const uchar*>(literal.constData());
    if (!fold) {
        const void* found = ::memmem(text, size_t(n), p, size_t(m));
        return found != nullptr;
    }
    std::vector<uchar> masks(static_cast<size_t>(m));
    for (qsizetype k = 0; k < m; ++k) masks[size_t(k)] = isAsciiLetter(p[k]) ? 0x20 : 0;
    const auto matchesAt = [&](const uchar* at) {
        for (qsizetype k = 0; k < m; ++k) {
            if (uchar(at[k] | masks[size_t(k)]) != p[k]) return false;
        }
        return true;
    };
    const qsizetype last = m - 1;
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(char(p[0]));
    const __m128i firstMask = _mm_set1_epi8(char(masks[0]));
    const __m128i lastByte = _mm_set1_epi8(char(p[last]));
    const __m128i lastMask = _mm_set1_epi8(char(masks[size_t(last)]));
    for (; i + last + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + last));
        unsigned bits = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstMask), first),
                                                                 _mm_cmpeq_epi8(_mm_or_si128(b, lastMask), lastByte))));
        while (bits) {
            if (matchesAt(text + i + __builtin_ctz(bits))) return true;
            bits &= bits - 1;
        }
    }
#endif
    for (; i + m <= n; ++i) {
        if (matchesAt(text + i)) return true;
    }
    return false;
}

}  // namespace

std::optional<FolderBytePrefilter> FolderBytePrefilter::forRequest(const SearchRequest& request)
{
    if (request.pattern.isEmpty()) return std::nullopt;
    FolderBytePrefilter out;
    if (request.options.mode == SearchMode::regularExpression) {
        QString expression;
        uint32_t flags = 0;
        try {
            SearchRegex::compiled(request, &expression, &flags);
        } catch (const SearchEngineError&) {
            return std::nullopt;
        }
        const std::optional<RegexLiterals> found = RegexLiterals::analyse(expression, flags);
        if (!found) return std::nullopt;
        for (const QString& literal : found->literals) out.literals_.push_back(literal.toUtf8());
        out.asciiCaseInsensitive_ = found->asciiCaseInsensitive;
    } else {
        const std::optional<PlainLiterals> found = PlainLiterals::forPattern(request.pattern, request.options);
        if (!found) return std::nullopt;
        out.literals_.push_back(found->literal.toUtf8());
        out.asciiCaseInsensitive_ = found->asciiCaseInsensitive;
    }
    return out;
}

bool FolderBytePrefilter::isPlainUtf8(QByteArrayView data)
{
    const auto* p = reinterpret_cast<const uchar*>(data.data());
    const qsizetype n = data.size();
    qsizetype i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // Runs of ASCII without NUL or ESC, sixteen bytes at a time.
        const __m128i zero = _mm_setzero_si128();
        const __m128i escape = _mm_set1_epi8(0x1B);
        while (i + 16 <= n) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const int special = _mm_movemask_epi8(_mm_or_si128(x, _mm_or_si128(_mm_cmpeq_epi8(x, zero), _mm_cmpeq_epi8(x, escape))));
            if (special) {
                i += __builtin_ctz(unsigned(special));
                break;
            }
            i += 16;
        }
        if (i >= n) break;
#endif
        const uchar b0 = p[i];
        if (b0 < 0x80) {
            if (b0 == 0 || b0 == 0x1B) return false;
            ++i;
            continue;
        }
        if (b0 < 0xC2) return false;
        if (b0 < 0xE0) {
            if (n - i < 2 || !isContinuation(p[i + 1])) return false;
            i += 2;
        } else if (b0 < 0xF0) {
            if (n - i < 3 || !isContinuation(p[i + 1]) || !isContinuation(p[i + 2])) return false;
            if ((b0 == 0xE0 && p[i + 1] < 0xA0) || (b0 == 0xED && p[i + 1] >= 0xA0)) return false;
            i += 3;
        } else if (b0 < 0xF5) {
            if (n - i < 4 || !isContinuation(p[i + 1]) || !isContinuation(p[i + 2]) || !isContinuation(p[i + 3]))
                return false;
            if ((b0 == 0xF0 && p[i + 1] < 0x90) || (b0 == 0xF4 && p[i + 1] >= 0x90)) return false;
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

bool FolderBytePrefilter::isRefusedByCodec(QByteArrayView data)
{
    for (const char* mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\x00\x00\xFE\xFF"}) {
        const QByteArrayView m(mark, mark[0] == 0 ? 4 : qsizetype(std::strlen(mark)));
        if (data.startsWith(m)) return false;
    }
    return !data.isEmpty() && std::memchr(data.data(), 0, size_t(data.size())) != nullptr;
}

bool FolderBytePrefilter::containsLiteral(QByteArrayView data) const
{
    for (const QByteArray& literal : literals_) {
        if (occursIn(data, literal, asciiCaseInsensitive_)) return true;
    }
    return false;
}

bool FolderBytePrefilter::provesNoHit(QByteArrayView data) const
{
    if (data.size() > TextCodec::maximumFileSize) return false;
    // The literal test first: most files that hold a literal are passed on without validation.
    return !containsLiteral(data) && isPlainUtf8(data);
}

}  // namespace korimado
