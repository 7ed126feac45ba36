#include "commands/EditingTransforms.h"

#include "platform/foundation/LocalizedStandardCompare.h"
#include "platform/foundation/StringChecks.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <QSet>

#include <algorithm>
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

bool isBlank(const QString& content)
{
    for (QChar c : content)
        if (!isHorizontalSpace(c.unicode())) return false;
    return true;
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
    QString result;
    result.reserve(size);
    for (const Line& line : lines) {
        result += line.content;
        result += line.ending;
    }
    return result;
}

qsizetype EditingTransforms::indentationLength(const QString& content)
{
    qsizetype i = 0;
    while (i < content.size() && (content[i] == u' ' || content[i] == u'\t')) ++i;
    if (i > 0 && continuesCharacter(content, i)) --i;
    return i;
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
    std::vector<Line> all = lines(text);
    bool anyCandidate = false;
    bool commented = true;
    for (const Line& line : all) {
        if (isBlank(line.content)) continue;
        anyCandidate = true;
        const qsizetype run = indentationLength(line.content);
        if (!startsWithMarker(QStringView(line.content).sliced(run), marker)) {
            commented = false;
            break;
        }
    }
    if (!anyCandidate) return text;
    for (Line& line : all) {
        if (isBlank(line.content)) continue;
        QString& c = line.content;
        const qsizetype run = indentationLength(c);
        if (commented) {
            if (!startsWithMarker(QStringView(c).sliced(run), marker)) continue;
            qsizetype remove = marker.size();
            if (run + remove < c.size() && c[run + remove] == u' ' && !continuesCharacter(c, run + remove + 1))
                ++remove;
            c.remove(run, remove);
        } else {
            c.insert(run, run == c.size() ? marker : marker + u' ');
        }
    }
    return joined(all);
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
    std::vector<Line> all = lines(text);
    if (all.size() < 2) return text;
    const QString lastEnding = all.back().ending;

    std::vector<QByteArray> keys(all.size());
    std::vector<QString> keyTexts(all.size());
    std::unique_ptr<icu::RegexPattern> compiled = pattern ? compile(*pattern) : nullptr;
    std::unique_ptr<icu::RegexMatcher> matcher;
    if (compiled) {
        UErrorCode status = U_ZERO_ERROR;
        matcher.reset(compiled->matcher(status));
        if (U_FAILURE(status)) matcher.reset();
    }
    for (size_t i = 0; i < all.size(); ++i) {
        keyTexts[i] = matcher ? patternKey(*matcher, all[i].content) : all[i].content;
        keys[i] = localizedStandardSortKey(keyTexts[i]);
    }

    std::vector<size_t> order(all.size());
    std::iota(order.begin(), order.end(), size_t{0});
    // The sort key orders as the localized comparison does; equal keys fall back to the code
    // units, as that comparison does.
    auto compare = [&](size_t a, size_t b) {
        const int byKey = std::memcmp(keys[a].constData(), keys[b].constData(),
                                      static_cast<size_t>(std::min(keys[a].size(), keys[b].size()) + 1));
        return byKey != 0 ? byKey : keyTexts[a].compare(keyTexts[b]);
    };
    if (ascending)
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return compare(a, b) < 0; });
    else
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return compare(a, b) > 0; });

    std::vector<Line> sorted;
    sorted.reserve(all.size());
    for (size_t i : order) sorted.push_back(std::move(all[i]));
    QString firstEnding = QStringLiteral("\n");
    for (const Line& line : sorted) {
        if (!line.ending.isEmpty()) {
            firstEnding = line.ending;
            break;
        }
    }
    for (size_t i = 0; i + 1 < sorted.size(); ++i)
        if (sorted[i].ending.isEmpty()) sorted[i].ending = firstEnding;
    sorted.back().ending = lastEnding;
    return joined(sorted);
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
    std::vector<Line> all = lines(text);
    QSet<QString> seen;
    seen.reserve(static_cast<qsizetype>(all.size()));
    std::vector<Line> kept;
    kept.reserve(all.size());
    for (Line& line : all) {
        const QString key = nfc(line.content);
        if (seen.contains(key)) continue;
        seen.insert(key);
        kept.push_back(std::move(line));
    }
    return joined(kept);
}

QString EditingTransforms::joinLines(const QString& text)
{
    const std::vector<Line> all = lines(text);
    if (all.size() < 2) return text;
    QString result;
    result.reserve(text.size());
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
    QString result = text;
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
