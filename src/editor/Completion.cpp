#include "editor/Completion.h"

#include "editor/TextReader.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "platform/text/TextBoundaries.h"

#include <QSet>

#include <unicode/uchar.h>

#include <algorithm>

namespace korimado::completion {

namespace {

bool isWordCodePoint(char32_t c)
{
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

// The code point that starts at i (a lone surrogate stands for itself) and its width in units.
char32_t codePointAt(const TextReader& text, qsizetype i, int* width)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate()) {
        const QChar low = text.at(i + 1);
        if (low.isLowSurrogate()) {
            *width = 2;
            return QChar::surrogateToUcs4(c, low);
        }
    }
    *width = 1;
    return c.unicode();
}

qsizetype graphemeCount(const QString& s)
{
    if (s.size() <= 1) return s.size();
    const TextBoundaries boundaries(s);
    qsizetype count = 0;
    for (qsizetype p = 0; p < s.size(); p = boundaries.nextGrapheme(p)) ++count;
    return count;
}

}  // namespace

TextRange partialWordRange(const TextReader& text, qsizetype caret)
{
    const qsizetype end = std::clamp<qsizetype>(caret, 0, text.length());
    qsizetype start = end;
    while (start > 0) {
        qsizetype i = start - 1;
        if (text.at(i).isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate()) --i;
        int width = 0;
        if (!isWordCodePoint(codePointAt(text, i, &width))) break;
        start = i;
    }
    return TextRange::fromBounds(start, end);
}

std::optional<QStringList> candidates(const TextReader& text, TextRange range, const QStringList& extraWords)
{
    if (range.location < 0 || range.length < 0 || range.end() > text.length()) return std::nullopt;
    const QString partial = text.substring(range);
    const qsizetype partialCharacters = graphemeCount(partial);

    QSet<QString> seen;
    QStringList result;
    auto consider = [&](const QString& word, qsizetype minimumCharacters) {
        if (word.size() < partial.size() || !word.startsWith(partial, Qt::CaseInsensitive)) return;
        if (seen.contains(word)) return;
        const qsizetype characters = graphemeCount(word);
        if (characters < minimumCharacters || characters <= partialCharacters) return;
        seen.insert(word);
        result.push_back(word);
    };
    // A cheap look at the first units before a word is copied out of the text.
    const bool partialHasSurrogates = std::any_of(partial.begin(), partial.end(), [](QChar c) { return c.isSurrogate(); });
    auto mayStartWithPartial = [&](qsizetype start) {
        if (partialHasSurrogates) return true;
        for (qsizetype k = 0; k < partial.size(); ++k) {
            if (text.at(start + k).toCaseFolded() != partial.at(k).toCaseFolded()) return false;
        }
        return true;
    };

    const qsizetype length = text.length();
    qsizetype i = 0;
    while (i < length) {
        int width = 0;
        if (!isWordCodePoint(codePointAt(text, i, &width))) {
            i += width;
            continue;
        }
        const qsizetype start = i;
        while (i < length && isWordCodePoint(codePointAt(text, i, &width))) i += width;
        if (i - start >= partial.size() && i - start >= 2 && mayStartWithPartial(start))
            consider(text.substring(TextRange::fromBounds(start, i)), 2);
    }
    for (const QString& word : extraWords) consider(word, 0);

    std::stable_sort(result.begin(), result.end(), localizedStandardLess);
    return result;
}

}  // namespace korimado::completion
