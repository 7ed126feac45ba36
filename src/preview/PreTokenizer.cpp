#include "preview/PreTokenizer.h"

#include "preview/LocalTokenizer.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <array>
#include <memory>

namespace korimado {

namespace {

// The classes the two expressions are made of, one bit each.
enum : std::uint8_t {
    letter = 1,      // \p{L}
    number = 2,      // \p{N}
    space = 4,       // \s: ICU's is the White_Space property
    upperish = 8,    // [\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]
    lowerish = 16,   // [\p{Ll}\p{Lm}\p{Lo}\p{M}]
    lineBreak = 32,  // [\r\n]
    prefix = 64,     // [^\r\n\p{L}\p{N}]
    symbol = 128,    // [^\s\p{L}\p{N}]
};

std::uint8_t classify(char32_t c)
{
    std::uint8_t f = 0;
    switch (u_charType(static_cast<UChar32>(c))) {
    case U_UPPERCASE_LETTER:
    case U_TITLECASE_LETTER:
        f = letter | upperish;
        break;
    case U_LOWERCASE_LETTER:
        f = letter | lowerish;
        break;
    case U_MODIFIER_LETTER:
    case U_OTHER_LETTER:
        f = letter | upperish | lowerish;
        break;
    case U_NON_SPACING_MARK:
    case U_ENCLOSING_MARK:
    case U_COMBINING_SPACING_MARK:
        f = upperish | lowerish;
        break;
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
        f = number;
        break;
    default:
        break;
    }
    if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE)) f |= space;
    if (c == u'\r' || c == u'\n') f |= lineBreak;
    if (!(f & (letter | number | lineBreak))) f |= prefix;
    if (!(f & (letter | number | space))) f |= symbol;
    return f;
}

// Every UTF-16 unit's classes, a lone surrogate's included; pairs are classified as they come.
const std::array<std::uint8_t, 65536>& unitClasses()
{
    static const std::array<std::uint8_t, 65536> table = [] {
        std::array<std::uint8_t, 65536> t{};
        for (char32_t c = 0; c < 65536; ++c) t[c] = classify(c);
        return t;
    }();
    return table;
}

struct Look {
    std::uint8_t flags;
    int width;
};

// A scanner over one text: `at` is always the start of a code point.
class Scan {
public:
    Scan(const char16_t* text, qsizetype length) : s_(text), n_(length), table_(unitClasses()) {}

    Look look(qsizetype i) const
    {
        const char16_t u = s_[i];
        if (u < 0xD800 || u > 0xDBFF || i + 1 >= n_ || s_[i + 1] < 0xDC00 || s_[i + 1] > 0xDFFF) return {table_[u], 1};
        return {classify(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s_[i + 1] - 0xDC00)), 2};
    }
    std::uint8_t flagsAt(qsizetype i) const { return i < n_ ? look(i).flags : 0; }

    qsizetype runEnd(qsizetype i, std::uint8_t mask) const
    {
        while (i < n_) {
            const Look l = look(i);
            if (!(l.flags & mask)) break;
            i += l.width;
        }
        return i;
    }

    // Up to three numbers.
    qsizetype digits(qsizetype i) const
    {
        for (int k = 0; k < 3 && i < n_; ++k) {
            const Look l = look(i);
            if (!(l.flags & number)) break;
            i += l.width;
        }
        return i;
    }

    // [\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]*[\p{Ll}\p{Lm}\p{Lo}\p{M}]+ with greedy loops: the first loop
    // gives back one character at a time until the second can start, and the second then runs
    // as far as it can.
    qsizetype lowerTail(qsizetype i) const
    {
        qsizetype lastLowerEnd = -1;
        while (i < n_) {
            const Look l = look(i);
            if (!(l.flags & upperish)) break;
            if (l.flags & lowerish) lastLowerEnd = i + l.width;
            i += l.width;
        }
        if (flagsAt(i) & lowerish) return runEnd(i, lowerish);
        return lastLowerEnd;
    }

    // [\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]+[\p{Ll}\p{Lm}\p{Lo}\p{M}]*
    qsizetype upperHead(qsizetype i) const
    {
        if (!(flagsAt(i) & upperish)) return -1;
        return runEnd(runEnd(i, upperish), lowerish);
    }

    // (?i:'s|'t|'re|'ve|'m|'ll|'d)? after a word. U+017F folds to s.
    qsizetype contraction(qsizetype e) const
    {
        if (e + 1 >= n_ || s_[e] != u'\'') return e;
        const char16_t a = folded(s_[e + 1]);
        if (a == u's' || a == u't' || a == u'm' || a == u'd') return e + 2;
        if (e + 2 < n_ && isPair(a, folded(s_[e + 2]))) return e + 3;
        return e;
    }
    // '(?i:[sdmt]|ll|ve|re)
    qsizetype apostrophe(qsizetype i) const
    {
        if (i + 1 >= n_ || s_[i] != u'\'') return -1;
        const char16_t a = folded(s_[i + 1]);
        if (a == u's' || a == u'd' || a == u'm' || a == u't') return i + 2;
        if (i + 2 < n_ && isPair(a, folded(s_[i + 2]))) return i + 3;
        return -1;
    }

    // A white-space run from i: its end, and where its last CR or LF is (-1: none).
    std::pair<qsizetype, qsizetype> spaceRun(qsizetype i) const
    {
        qsizetype lastBreak = -1;
        while (i < n_) {
            const char16_t u = s_[i];
            const std::uint8_t f = table_[u];  // no white space lies outside the BMP
            if (!(f & space)) break;
            if (f & lineBreak) lastBreak = i;
            ++i;
        }
        return {i, lastBreak};
    }

    bool isSpaceThenSymbol(qsizetype i) const { return s_[i] == u' ' && (flagsAt(i + 1) & symbol); }
    qsizetype length() const { return n_; }
    const char16_t* units() const { return s_; }

private:
    static char16_t folded(char16_t c)
    {
        if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
        return c == 0x017F ? u's' : c;
    }
    static bool isPair(char16_t a, char16_t b) { return (a == u'l' && b == u'l') || ((a == u'v' || a == u'r') && b == u'e'); }

    const char16_t* s_;
    qsizetype n_;
    const std::array<std::uint8_t, 65536>& table_;
};

}  // namespace

qsizetype PreTokenizer::o200kEnd(const char16_t* text, qsizetype length, qsizetype i)
{
    const Scan scan(text, length);
    const Look first = scan.look(i);
    const qsizetype next = i + first.width;
    const bool prefixed = (first.flags & prefix) && next < length;
    // [^\r\n\p{L}\p{N}]?(upper)*(lower)+(contraction)?, the optional prefix taken first.
    if (prefixed) {
        if (const qsizetype e = scan.lowerTail(next); e >= 0) return scan.contraction(e);
    }
    if (const qsizetype e = scan.lowerTail(i); e >= 0) return scan.contraction(e);
    // [^\r\n\p{L}\p{N}]?(upper)+(lower)*(contraction)?
    if (prefixed) {
        if (const qsizetype e = scan.upperHead(next); e >= 0) return scan.contraction(e);
    }
    if (const qsizetype e = scan.upperHead(i); e >= 0) return scan.contraction(e);
    // \p{N}{1,3}
    if (first.flags & number) return scan.digits(i);
    //  ?[^\s\p{L}\p{N}]+[\r\n/]*
    if (scan.isSpaceThenSymbol(i) || (first.flags & symbol)) {
        qsizetype e = scan.runEnd(text[i] == u' ' ? i + 1 : i, symbol);
        while (e < length && (text[e] == u'\r' || text[e] == u'\n' || text[e] == u'/')) ++e;
        return e;
    }
    if (!(first.flags & space)) return -1;
    const auto [end, lastBreak] = scan.spaceRun(i);
    if (lastBreak >= 0) return lastBreak + 1;  // \s*[\r\n]+
    if (end == length) return end;             // \s+(?!\S)
    if (end - i >= 2) return end - 1;          // \s+(?!\S), giving back the last
    return end;                                // \s+
}

qsizetype PreTokenizer::cl100kEnd(const char16_t* text, qsizetype length, qsizetype i)
{
    const Scan scan(text, length);
    if (const qsizetype e = scan.apostrophe(i); e >= 0) return e;
    const Look first = scan.look(i);
    // [^\r\n\p{L}\p{N}]?+\p{L}++: a prefix once taken is not given back.
    if (first.flags & prefix) {
        const qsizetype next = i + first.width;
        if (scan.flagsAt(next) & letter) return scan.runEnd(next, letter);
    } else if (first.flags & letter) {
        return scan.runEnd(i, letter);
    }
    if (first.flags & number) return scan.digits(i);
    //  ?[^\s\p{L}\p{N}]++[\r\n]*+
    if (scan.isSpaceThenSymbol(i) || (first.flags & symbol)) {
        return scan.runEnd(scan.runEnd(text[i] == u' ' ? i + 1 : i, symbol), lineBreak);
    }
    if (!(first.flags & space)) return -1;
    const auto [end, lastBreak] = scan.spaceRun(i);
    if (end == length) return end;             // \s++$
    if (lastBreak >= 0) return lastBreak + 1;  // \s*[\r\n]
    if (end - i >= 2) return end - 1;          // \s+(?!\S)
    return i + 1;                              // \s
}

std::vector<qsizetype> PreTokenizer::ends(QStringView text) const
{
    std::vector<qsizetype> out;
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype end = pieceEnd(units, text.size(), at);
        if (end <= at) break;
        out.push_back(end);
        at = end;
    }
    return out;
}

std::vector<qsizetype> PreTokenizer::expressionEnds(TokenEncoding encoding, QStringView text)
{
    std::vector<qsizetype> out;
    const QString source = LocalTokenizer::pattern(encoding);
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const icu::UnicodeString icuSource(reinterpret_cast<const UChar*>(source.utf16()), static_cast<int32_t>(source.size()));
    std::unique_ptr<icu::RegexPattern> expression(icu::RegexPattern::compile(icuSource, 0, parseError, status));
    if (U_FAILURE(status)) return out;
    UText ut = UTEXT_INITIALIZER;
    utext_openUChars(&ut, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    std::unique_ptr<icu::RegexMatcher> matcher(expression->matcher(status));
    if (U_SUCCESS(status)) {
        matcher->reset(&ut);
        qsizetype covered = 0;
        while (matcher->find(status) && U_SUCCESS(status)) {
            if (matcher->start64(status) != covered) break;
            covered = matcher->end64(status);
            out.push_back(covered);
        }
    }
    matcher.reset();
    utext_close(&ut);
    return out;
}

}  // namespace korimado
