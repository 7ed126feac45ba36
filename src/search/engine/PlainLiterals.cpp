#include "search/engine/PlainLiterals.h"

#include "search/engine/PlainMatcher.h"
#include "search/engine/TextFolding.h"

#include <array>
#include <mutex>

namespace korimado {

namespace {

bool isLineBreak(char16_t u)
{
    return u == 0x0A || u == 0x0D || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// ASCII characters that, in the folded text, can only have come from themselves (or, with case
// folding, their other ASCII case): no character beyond ASCII folds into one.
struct SafeTable {
    std::once_flag once;
    std::array<bool, 128> safe{};
};

const std::array<bool, 128>& safeCharacters(FoldingMode mode)
{
    static SafeTable tables[16];
    SafeTable& table = tables[mode.index()];
    std::call_once(table.once, [&] {
        table.safe.fill(true);
        for (char16_t u = 0; u < 0x20; ++u) table.safe[u] = false;
        table.safe[0x7F] = false;
        const TextFolding folding(mode);
        for (char32_t t = 0x80; t <= 0xFFFF; ++t) {
            if (t >= 0xD800 && t <= 0xDFFF) continue;
            const char16_t unit = char16_t(t);
            for (QChar c : folding.fold(QStringView(&unit, 1))) {
                if (c.unicode() < 0x80) table.safe[c.unicode()] = false;
            }
        }
    });
    return table.safe;
}

}  // namespace

std::optional<PlainLiterals> PlainLiterals::forPattern(const QString& pattern, const SearchOptions& options)
{
    const FoldingMode mode = PlainMatcher::foldingMode(options);
    PlainLiterals out;
    const bool folds = mode.caseInsensitive || mode.diacriticInsensitive || mode.widthInsensitive || !mode.literal;
    if (!folds) {
        qsizetype start = 0;
        for (qsizetype i = 0; i <= pattern.size(); ++i) {
            if (i < pattern.size() && !isLineBreak(pattern[i].unicode())) continue;
            if (i - start > out.literal.size()) out.literal = pattern.mid(start, i - start);
            start = i + 1;
        }
        // A lone surrogate at an edge could be half of a pair in the text.
        if (!out.literal.isEmpty() && out.literal.front().isLowSurrogate()) out.literal.remove(0, 1);
        if (!out.literal.isEmpty() && out.literal.back().isHighSurrogate()) out.literal.chop(1);
    } else {
        const std::array<bool, 128>& safe = safeCharacters(mode);
        const QString folded = TextFolding(mode).fold(pattern);
        QString run;
        for (qsizetype i = 0; i <= folded.size(); ++i) {
            const char16_t u = i < folded.size() ? folded[i].unicode() : 0;
            if (i < folded.size() && u < 0x80 && safe[u]) {
                run += QChar(u);
                continue;
            }
            if (run.size() > out.literal.size()) out.literal = run;
            run.clear();
        }
        out.asciiCaseInsensitive = mode.caseInsensitive;
        if (mode.caseInsensitive) out.literal = out.literal.toLower();
        // With marks dropped, "1\u03012" matches "12": a dropped mark may stand between any two
        // characters of the piece, so only one of them is sure to show as it stands.
        if (mode.diacriticInsensitive) out.literal.truncate(1);
    }
    if (out.literal.isEmpty()) return std::nullopt;
    return out;
}

}  // namespace korimado
