#include "document/LineEnding.h"

#include "platform/foundation/ParallelParts.h"

#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

const char* const kRawValues[LineEnding::count] = {"LF", "CRLF", "CR", "NEL", "LS", "PS"};

}  // namespace

QString LineEnding::rawValue() const
{
    return QString::fromLatin1(kRawValues[value_]);
}

QString LineEnding::breakString() const
{
    switch (value_) {
    case lf: return QStringLiteral("\n");
    case crlf: return QStringLiteral("\r\n");
    case cr: return QStringLiteral("\r");
    case nel: return QString(QChar(0x0085));
    case ls: return QString(QChar(0x2028));
    case ps: return QString(QChar(0x2029));
    }
    return QStringLiteral("\n");
}

std::optional<LineEnding> LineEnding::fromRawValue(const QString& name)
{
    for (LineEnding e : allCases()) {
        if (name == QLatin1String(kRawValues[e.value()])) return e;
    }
    return std::nullopt;
}

const std::array<LineEnding, LineEnding::count>& LineEnding::allCases()
{
    static const std::array<LineEnding, count> cases = {lf, crlf, cr, nel, ls, ps};
    return cases;
}

namespace {

// The kinds of break in [p, end), in the order they first appear; afterCR carries a CR at the
// end that may yet pair with an LF beyond it, and is not counted here.
struct KindScan {
    std::vector<LineEnding::Value> found;
    bool seen[LineEnding::count] = {};
    bool afterCR = false;

    void record(LineEnding::Value v)
    {
        if (!seen[v]) {
            seen[v] = true;
            found.push_back(v);
        }
    }

    void run(const char16_t* p, const char16_t* const end)
    {
        for (; p < end; ++p) {
#ifdef __SSE2__
            // Eight units at a time past those that are neither breaks nor CR: most of a large text.
            // LF and CR are compared exactly, so that the tabs of source text do not stop the run.
            if (!afterCR && (reinterpret_cast<quintptr>(p) & 15) == 0) {
                const __m128i lf = _mm_set1_epi16(0x0A);
                const __m128i cr = _mm_set1_epi16(0x0D);
                const __m128i nel = _mm_set1_epi16(0x0085);
                const __m128i separators = _mm_set1_epi16(0x2028);
                const __m128i evenMask = _mm_set1_epi16(static_cast<short>(0xFFFE));
                while (end - p >= 8) {
                    const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
                    const __m128i special = _mm_or_si128(
                        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, cr)), _mm_cmpeq_epi16(v, nel)),
                        _mm_cmpeq_epi16(_mm_and_si128(v, evenMask), separators));
                    if (_mm_movemask_epi8(special) != 0) break;
                    p += 8;
                }
                if (p == end) break;
            }
#endif
            const char16_t u = *p;
            // Most units are neither breaks nor CR; skip them without touching the flag twice.
            if (u != 0x0A && u != 0x0D && u != 0x0085 && u != 0x2028 && u != 0x2029) {
                if (afterCR) {
                    record(LineEnding::cr);
                    afterCR = false;
                }
                continue;
            }
            if (u == 0x0A && afterCR) {
                record(LineEnding::crlf);
                afterCR = false;
                continue;
            }
            if (afterCR) record(LineEnding::cr);
            afterCR = (u == 0x0D);
            switch (u) {
            case 0x0A: record(LineEnding::lf); break;
            case 0x0085: record(LineEnding::nel); break;
            case 0x2028: record(LineEnding::ls); break;
            case 0x2029: record(LineEnding::ps); break;
            default: break;
            }
            if (found.size() == LineEnding::count) return;
        }
    }
};

}  // namespace

QList<LineEnding> LineEnding::kinds(const QString& text)
{
    const char16_t* const begin = reinterpret_cast<const char16_t*>(text.utf16());
    const size_t size = static_cast<size_t>(text.size());
    // A large text is scanned in parts at once. A part after the first that starts with an LF
    // leaves it out: whether it ends a CR LF depends on the part before.
    const size_t parts = parallelPartCount(size, size_t(8) << 20, 8);
    std::vector<KindScan> scans(parts);
    std::vector<char> leadingLF(parts, 0);
    runInParts(parts, [&](size_t k) {
        const char16_t* p = begin + size * k / parts;
        const char16_t* const end = begin + size * (k + 1) / parts;
        if (k > 0 && p < end && *p == 0x0A) {
            leadingLF[k] = 1;
            ++p;
        }
        scans[k].run(p, end);
    });
    KindScan all;
    for (size_t k = 0; k < parts; ++k) {
        if (leadingLF[k]) {
            all.record(all.afterCR ? crlf : lf);
        } else if (all.afterCR) {
            all.record(cr);
        }
        for (const Value v : scans[k].found) all.record(v);
        all.afterCR = scans[k].afterCR;
    }
    if (all.afterCR) all.record(cr);
    QList<LineEnding> found;
    for (const Value v : all.found) found.append(v);
    return found;
}

// Whether the text holds a break other than LF; eight units at a time, so that a large text
// without one is passed over at memory speed.
static bool hasBreakOtherThanLF(const char16_t* p, qsizetype size)
{
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi16(0x0D);
    const __m128i nel = _mm_set1_epi16(0x0085);
    const __m128i ls = _mm_set1_epi16(0x2028);
    const __m128i ps = _mm_set1_epi16(0x2029);
    for (; i + 8 <= size; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, nel)),
                                           _mm_or_si128(_mm_cmpeq_epi16(v, ls), _mm_cmpeq_epi16(v, ps)));
        if (_mm_movemask_epi8(found))
            return true;
    }
#endif
    for (; i < size; ++i) {
        const char16_t u = p[i];
        if (u == 0x0D || u == 0x0085 || u == 0x2028 || u == 0x2029)
            return true;
    }
    return false;
}

QString LineEnding::replacing(const QString& text) const
{
    // Text already in LF is the text itself, shared rather than copied line by line.
    if (value_ == lf && !hasBreakOtherThanLF(reinterpret_cast<const char16_t*>(text.utf16()), text.size()))
        return text;
    // One pass doing what the five literal replacements to LF, then LF to the target, would do.
    const QString target = breakString();
    QString out;
    out.reserve(text.size() + (value_ == crlf ? text.size() / 16 : 0));
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = p + text.size();
    const char16_t* runStart = p;
    for (; p < end; ++p) {
        const char16_t u = *p;
        if (u != 0x0A && u != 0x0D && u != 0x0085 && u != 0x2028 && u != 0x2029) continue;
        out.append(QStringView(runStart, p - runStart));
        out.append(target);
        if (u == 0x0D && p + 1 < end && p[1] == 0x0A) ++p;
        runStart = p + 1;
    }
    out.append(QStringView(runStart, end - runStart));
    return out;
}

QVector<TextRange> LineEnding::foreignBreaks(QStringView text) const
{
    QVector<TextRange> found;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t u = text[i].unicode();
        if (u > 0x0D && u != 0x0085 && u != 0x2028 && u != 0x2029) continue;
        Value kind = lf;
        qsizetype length = 1;
        switch (u) {
        case 0x0A: kind = lf; break;
        case 0x0D:
            kind = i + 1 < size && text[i + 1].unicode() == 0x0A ? crlf : cr;
            length = kind == crlf ? 2 : 1;
            break;
        case 0x0085: kind = nel; break;
        case 0x2028: kind = ls; break;
        case 0x2029: kind = ps; break;
        default: continue;
        }
        if (kind != value_) found.append(TextRange(i, length));
        i += length - 1;
    }
    return found;
}

}  // namespace korimado
