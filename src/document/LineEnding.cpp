#include "document/LineEnding.h"

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

QList<LineEnding> LineEnding::kinds(const QString& text)
{
    QList<LineEnding> found;
    bool seen[count] = {};
    auto record = [&](Value v) {
        if (!seen[v]) {
            seen[v] = true;
            found.append(v);
        }
    };
    bool afterCR = false;
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = p + text.size();
    for (; p < end; ++p) {
#ifdef __SSE2__
        // Eight units at a time past those that are neither breaks nor CR: most of a large text.
        if (!afterCR && (reinterpret_cast<quintptr>(p) & 15) == 0) {
            const __m128i low = _mm_set1_epi16(0x0D);
            const __m128i nel = _mm_set1_epi16(0x0085);
            const __m128i separators = _mm_set1_epi16(0x2028);
            const __m128i evenMask = _mm_set1_epi16(static_cast<short>(0xFFFE));
            const __m128i zero = _mm_setzero_si128();
            while (end - p >= 8) {
                const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
                const __m128i special = _mm_or_si128(
                    _mm_or_si128(_mm_cmpeq_epi16(_mm_subs_epu16(v, low), zero), _mm_cmpeq_epi16(v, nel)),
                    _mm_cmpeq_epi16(_mm_and_si128(v, evenMask), separators));
                if (_mm_movemask_epi8(special) != 0) break;
                p += 8;
            }
            if (p == end) break;
        }
#endif
        const char16_t u = *p;
        // Most units are neither breaks nor CR; skip them without touching the flag twice.
        if (u > 0x0D && u != 0x0085 && u != 0x2028 && u != 0x2029) {
            if (afterCR) {
                record(cr);
                afterCR = false;
            }
            continue;
        }
        if (u == 0x0A && afterCR) {
            record(crlf);
            afterCR = false;
            continue;
        }
        if (afterCR) record(cr);
        afterCR = (u == 0x0D);
        switch (u) {
        case 0x0A: record(lf); break;
        case 0x0085: record(nel); break;
        case 0x2028: record(ls); break;
        case 0x2029: record(ps); break;
        default: break;
        }
        if (found.size() == count) break;
    }
    if (afterCR) record(cr);
    return found;
}

QString LineEnding::replacing(const QString& text) const
{
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

}  // namespace korimado
