#include "search/engine/RegexLiterals.h"

#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>

namespace korimado {

namespace {

constexpr std::int64_t unbounded = -1;
constexpr std::int64_t lengthCap = std::int64_t(1) << 40;
constexpr size_t maximumLiterals = 8;

struct ParseFailure {};

// What one piece of an expression proves.
struct Info {
    std::optional<QString> exact;                  // matches exactly this text (as written)
    std::optional<std::vector<QString>> required;  // scan-ready literals, one in every match
    std::int64_t maximumLength = 0;                // unbounded: -1
    bool lineSafe = true;                          // never matches a line terminator
};

std::int64_t addLengths(std::int64_t a, std::int64_t b)
{
    if (a == unbounded || b == unbounded) return unbounded;
    return a + b >= lengthCap ? unbounded : a + b;
}

std::int64_t multiplyLength(std::int64_t a, std::int64_t times)
{
    if (a == 0) return 0;
    if (a == unbounded || times == unbounded) return unbounded;
    return times > lengthCap / a ? unbounded : a * times;
}

// A rough count per thousand characters of ordinary prose and source text; anything outside
// ASCII is taken as rare.
int characterCommonness(char16_t c)
{
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 0x20);
    switch (c) {
    case u' ': return 150;
    case u'e': return 90;
    case u't': return 65;
    case u'a': case u'o': case u'i': case u'n': return 60;
    case u's': case u'r': return 50;
    case u'h': case u'l': return 35;
    case u'\n': case u'd': case u'c': return 30;
    case u'u': case u'm': case u'p': return 22;
    case u'f': case u'g': case u'w': case u'y': case u'.': case u',': case u'(': case u')': case u'_': return 15;
    case u'b': case u'v': case u'k': case u';': case u'=': case u'"': case u'/': case u'-': case u'0': case u'1': return 10;
    case u'\t': case u'\r': case u'*': case u':': case u'{': case u'}': case u'<': case u'>': case u'2': return 6;
    default: break;
    }
    if (c < 0x80) return 3;
    return 2;
}

bool isAsciiAlnum(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

QString fromCodePoint(char32_t cp)
{
    return QString::fromUcs4(&cp, 1);
}

bool containsTerminator(char32_t lo, char32_t hi)
{
    const auto in = [&](char32_t x) { return lo <= x && x <= hi; };
    return (lo <= 0x0D && hi >= 0x0A) || in(0x85) || (lo <= 0x2029 && hi >= 0x2028);
}

// Properties whose every character is neither a control nor a line or paragraph separator.
bool isLineSafeProperty(QString name)
{
    name.remove(u' ');
    name.remove(u'_');
    name = name.toLower();
    if (name.startsWith(QStringLiteral("gc=")) || name.startsWith(QStringLiteral("sc="))) name = name.mid(3);
    static const char* const safe[] = {
        "l", "lu", "ll", "lt", "lm", "lo", "letter", "m", "mn", "mc", "me", "mark", "n", "nd", "nl", "no",
        "number", "p", "pc", "pd", "ps", "pe", "pi", "pf", "po", "punctuation", "s", "sm", "sc", "sk", "so",
        "symbol", "zs", "han", "hani", "hiragana", "hira", "katakana", "kana", "latin", "latn", "greek",
        "grek", "cyrillic", "cyrl", "hangul", "hang", "alphabetic", "alpha", "uppercase", "lowercase",
        "ideographic", "ideo"};
    for (const char* s : safe) {
        if (name == QLatin1String(s)) return true;
    }
    return false;
}

class Parser {
public:
    Parser(const QString& pattern, std::uint32_t flags)
        : p_(pattern), n_(pattern.size()), caseInsensitive_(flags & UREGEX_CASE_INSENSITIVE),
          dotAll_(flags & UREGEX_DOTALL), unixLines_(flags & UREGEX_UNIX_LINES)
    {
    }

    Info parse()
    {
        Info top = alternation();
        if (i_ != n_) throw ParseFailure{};
        return top;
    }

    // A literal as the scan looks for it: as written, or under case folding its longest run of
    // characters that only their own ASCII cases can stand for.
    std::optional<QString> scanLiteral(const QString& text) const
    {
        if (!caseInsensitive_) {
            if (text.isEmpty()) return std::nullopt;
            return text;
        }
        QString best;
        QString run;
        for (QChar c : text) {
            if (RegexLiterals::isCaseSafe(c.unicode())) {
                run += c.toLower();
                continue;
            }
            if (run.size() > best.size()) best = run;
            run.clear();
        }
        if (run.size() > best.size()) best = run;
        if (best.isEmpty()) return std::nullopt;
        return best;
    }

private:
    bool atEnd() const { return i_ >= n_; }
    char16_t peek(qsizetype ahead = 0) const { return i_ + ahead < n_ ? p_[i_ + ahead].unicode() : 0; }
    char16_t take()
    {
        if (atEnd()) throw ParseFailure{};
        return p_[i_++].unicode();
    }
    void expect(char16_t c)
    {
        if (take() != c) throw ParseFailure{};
    }

    std::optional<std::vector<QString>> setOf(const Info& info) const
    {
        if (info.required) return info.required;
        if (info.exact) {
            if (std::optional<QString> literal = scanLiteral(*info.exact)) return std::vector<QString>{*literal};
        }
        return std::nullopt;
    }

    static qsizetype score(const std::vector<QString>& set)
    {
        qsizetype shortest = std::numeric_limits<qsizetype>::max();
        for (const QString& s : set) shortest = std::min(shortest, s.size());
        return shortest * 16 - qsizetype(set.size());
    }

    // How often the scan may stop for the set: each literal counts as its rarest character.
    static int commonness(const std::vector<QString>& set)
    {
        int sum = 0;
        for (const QString& s : set) {
            int rarest = std::numeric_limits<int>::max();
            for (QChar c : s) rarest = std::min(rarest, characterCommonness(c.unicode()));
            sum += rarest;
        }
        return sum;
    }

    // Of two sets as good by length, the rarer: in (a+)+b every match holds "a" and "b", and a
    // text has many more "a" to stop at.
    static void keepBetter(std::optional<std::vector<QString>>& best, const std::optional<std::vector<QString>>& candidate)
    {
        if (!candidate || candidate->empty()) return;
        if (!best) {
            best = candidate;
            return;
        }
        const qsizetype a = score(*candidate);
        const qsizetype b = score(*best);
        if (a > b || (a == b && commonness(*candidate) < commonness(*best))) best = candidate;
    }

    Info alternation()
    {
        std::vector<Info> branches;
        branches.push_back(branch());
        while (!atEnd() && peek() == u'|') {
            ++i_;
            branches.push_back(branch());
        }
        if (branches.size() == 1) return branches.front();
        Info out;
        std::vector<QString> all;
        bool complete = true;
        for (const Info& b : branches) {
            if (out.maximumLength != unbounded)
                out.maximumLength = b.maximumLength == unbounded ? unbounded : std::max(out.maximumLength, b.maximumLength);
            out.lineSafe = out.lineSafe && b.lineSafe;
            const std::optional<std::vector<QString>> set = setOf(b);
            if (!set) {
                complete = false;
                continue;
            }
            for (const QString& s : *set) {
                if (std::find(all.begin(), all.end(), s) == all.end()) all.push_back(s);
            }
        }
        if (complete && !all.empty() && all.size() <= maximumLiterals) out.required = std::move(all);
        return out;
    }

    Info branch()
    {
        Info out;
        out.exact = QString();
        QString run;
        std::optional<std::vector<QString>> best;
        const auto flush = [&] {
            if (run.isEmpty()) return;
            if (std::optional<QString> literal = scanLiteral(run)) keepBetter(best, std::vector<QString>{*literal});
            run.clear();
        };
        while (!atEnd() && peek() != u'|' && peek() != u')') {
            const Info piece = quantified(atom());
            out.maximumLength = addLengths(out.maximumLength, piece.maximumLength);
            out.lineSafe = out.lineSafe && piece.lineSafe;
            if (piece.exact) {
                run += *piece.exact;
                if (out.exact) *out.exact += *piece.exact;
                continue;
            }
            out.exact.reset();
            flush();
            keepBetter(best, piece.required);
        }
        flush();
        out.required = best;
        return out;
    }

    Info quantified(Info atom)
    {
        if (atEnd()) return atom;
        std::int64_t minimum = 0;
        std::int64_t maximum = unbounded;
        const char16_t c = peek();
        if (c == u'*') {
            ++i_;
        } else if (c == u'+') {
            ++i_;
            minimum = 1;
        } else if (c == u'?') {
            ++i_;
            maximum = 1;
        } else if (c == u'{') {
            ++i_;
            minimum = number();
            maximum = minimum;
            if (peek() == u',') {
                ++i_;
                maximum = peek() == u'}' ? unbounded : number();
            }
            expect(u'}');
        } else {
            return atom;
        }
        if (peek() == u'?' || peek() == u'+') ++i_;  // lazy or possessive: the same extent
        if (peek() == u'*' || peek() == u'+' || peek() == u'?' || peek() == u'{') throw ParseFailure{};

        Info out;
        out.lineSafe = atom.lineSafe;
        out.maximumLength = multiplyLength(atom.maximumLength, maximum);
        if (atom.exact && maximum == minimum && atom.exact->size() * minimum <= 256) {
            out.exact = atom.exact->repeated(qsizetype(minimum));
        } else if (minimum >= 1) {
            out.required = setOf(atom);
        }
        return out;
    }

    std::int64_t number()
    {
        std::int64_t value = 0;
        int digits = 0;
        while (!atEnd() && peek() >= u'0' && peek() <= u'9') {
            value = std::min<std::int64_t>(value * 10 + (take() - u'0'), lengthCap);
            ++digits;
        }
        if (digits == 0) throw ParseFailure{};
        return value;
    }

    Info literal(char32_t cp)
    {
        Info out;
        out.exact = fromCodePoint(cp);
        out.maximumLength = caseInsensitive_ ? 6 : out.exact->size();
        out.lineSafe = !containsTerminator(cp, cp);
        return out;
    }

    static Info zeroWidth()
    {
        Info out;
        out.maximumLength = 0;
        return out;
    }

    static Info oneCharacter(bool lineSafe)
    {
        Info out;
        out.maximumLength = 2;
        out.lineSafe = lineSafe;
        return out;
    }

    Info atom()
    {
        const char16_t c = take();
        switch (c) {
        case u'(': return group();
        case u'[': return oneCharacter(characterClass());
        case u'.': return oneCharacter(!dotAll_ && !unixLines_);
        case u'^':
        case u'$': return zeroWidth();
        case u'\\': return escape();
        case u'*':
        case u'+':
        case u'?':
        case u'{':
        case u'}':
        case u']':
        case u')':
        case u'|': throw ParseFailure{};
        default: break;
        }
        if (QChar::isHighSurrogate(c) && !atEnd() && QChar::isLowSurrogate(peek()))
            return literal(QChar::surrogateToUcs4(c, take()));
        return literal(c);
    }

    Info group()
    {
        if (peek() != u'?') {
            Info inner = alternation();
            expect(u')');
            return inner;
        }
        ++i_;
        const char16_t kind = take();
        if (kind == u':' || kind == u'>') {
            Info inner = alternation();
            expect(u')');
            return inner;
        }
        if (kind == u'=' || kind == u'!') {
            alternation();
            expect(u')');
            return zeroWidth();
        }
        if (kind == u'#') {
            while (take() != u')') {
            }
            Info nothing = zeroWidth();
            nothing.exact = QString();
            return nothing;
        }
        if (kind == u'<') {
            if (peek() == u'=' || peek() == u'!') {
                ++i_;
                alternation();
                expect(u')');
                return zeroWidth();
            }
            if (!isAsciiAlnum(peek())) throw ParseFailure{};
            while (isAsciiAlnum(peek())) ++i_;
            expect(u'>');
            Info inner = alternation();
            expect(u')');
            return inner;
        }
        throw ParseFailure{};  // inline flags and anything else unknown
    }

    // Reads \p{...} or \pL after the p; tells whether the property is line-safe.
    bool property()
    {
        if (peek() != u'{') {
            const char16_t letter = take();
            return isLineSafeProperty(QString(QChar(letter)));
        }
        ++i_;
        const qsizetype start = i_;
        while (take() != u'}') {
        }
        return isLineSafeProperty(p_.mid(start, i_ - 1 - start));
    }

    char32_t hexDigits(int count)
    {
        char32_t value = 0;
        for (int k = 0; k < count; ++k) {
            const int h = hexValue(take());
            if (h < 0) throw ParseFailure{};
            value = value * 16 + char32_t(h);
        }
        return value;
    }

    char32_t bracedHex()
    {
        expect(u'{');
        char32_t value = 0;
        int digits = 0;
        while (peek() != u'}') {
            const int h = hexValue(take());
            if (h < 0 || ++digits > 8) throw ParseFailure{};
            value = value * 16 + char32_t(h);
        }
        ++i_;
        if (digits == 0 || value > 0x10FFFF) throw ParseFailure{};
        return value;
    }

    Info escape()
    {
        const char16_t c = take();
        if (c < 0x80 && !isAsciiAlnum(c)) {
            if (c < 0x20 || c == 0x7F) throw ParseFailure{};
            return literal(c);
        }
        switch (c) {
        case u't': return literal(0x09);
        case u'n': return literal(0x0A);
        case u'r': return literal(0x0D);
        case u'f': return literal(0x0C);
        case u'a': return literal(0x07);
        case u'e': return literal(0x1B);
        case u'u': return literal(hexDigits(4));
        case u'U': {
            const char32_t cp = hexDigits(8);
            if (cp > 0x10FFFF) throw ParseFailure{};
            return literal(cp);
        }
        case u'x': return literal(peek() == u'{' ? bracedHex() : hexDigits(2));
        case u'0': {
            char32_t value = 0;
            for (int k = 0; k < 3 && peek() >= u'0' && peek() <= u'7'; ++k) value = value * 8 + (take() - u'0');
            return literal(value);
        }
        case u'Q': {
            Info out;
            out.exact = QString();
            out.maximumLength = 0;
            while (!atEnd() && !(peek() == u'\\' && peek(1) == u'E')) {
                const char16_t u = take();
                *out.exact += QChar(u);
                out.maximumLength += caseInsensitive_ ? 6 : 1;
                out.lineSafe = out.lineSafe && !RegexLiterals::isLineTerminator(u);
            }
            if (!atEnd()) i_ += 2;
            return out;
        }
        case u'd':
        case u'w':
        case u'S':
        case u'h':
        case u'V': return oneCharacter(true);
        case u'D':
        case u'W':
        case u's':
        case u'H':
        case u'v': return oneCharacter(false);
        case u'R': return oneCharacter(false);
        case u'N': {
            expect(u'{');
            while (take() != u'}') {
            }
            return oneCharacter(false);
        }
        case u'p': return oneCharacter(property());
        case u'P':
            property();
            return oneCharacter(false);
        case u'X': {
            Info out;
            out.maximumLength = unbounded;
            out.lineSafe = false;
            return out;
        }
        case u'b':
        case u'B':
        case u'A':
        case u'z':
        case u'Z':
        case u'G': return zeroWidth();
        case u'k': {
            expect(u'<');
            while (take() != u'>') {
            }
            return backReference();
        }
        default: break;
        }
        if (c >= u'1' && c <= u'9') {
            while (peek() >= u'0' && peek() <= u'9') ++i_;
            return backReference();
        }
        throw ParseFailure{};
    }

    static Info backReference()
    {
        Info out;
        out.maximumLength = unbounded;
        out.lineSafe = false;
        return out;
    }

    // Skips a set after its "["; tells whether it can never match a line terminator.
    bool characterClass()
    {
        bool safe = true;
        if (peek() == u'^') {
            ++i_;
            safe = false;
        }
        if (peek() == u']') throw ParseFailure{};
        int depth = 1;
        std::optional<char32_t> previous;  // the last plain character, for a range
        bool pendingRange = false;
        while (depth > 0) {
            const char16_t c = take();
            std::optional<char32_t> value;
            if (c == u'[') {
                ++depth;
                safe = false;
            } else if (c == u']') {
                --depth;
            } else if (c == u'\\') {
                const char16_t e = take();
                if (e == u'Q') throw ParseFailure{};
                if (e == u'p' || e == u'P') {
                    const bool lineSafe = property();
                    safe = safe && e == u'p' && lineSafe;
                } else if (e == u'N' || (e == u'x' && peek() == u'{')) {
                    while (take() != u'}') {
                    }
                    safe = false;
                } else if (e == u'x') {
                    hexDigits(2);
                    safe = false;
                } else if (e == u'u') {
                    hexDigits(4);
                    safe = false;
                } else if (e == u'U') {
                    hexDigits(8);
                    safe = false;
                } else if (e == u'd' || e == u'w' || e == u'S' || e == u'h' || e == u'V') {
                } else if (e < 0x80 && !isAsciiAlnum(e) && e >= 0x20) {
                    value = e;
                } else if (e == u't') {
                    value = 0x09;
                } else {
                    safe = false;  // \n, \s, \D, octal and the rest: may well be a line break
                }
            } else if (c == u'&' && peek() == u'&') {
                safe = false;
            } else if (c == u'-' && previous && peek() != u']' && peek() != u'[' && peek() != u'\\') {
                pendingRange = true;
                continue;
            } else {
                char32_t cp = c;
                if (QChar::isHighSurrogate(c) && QChar::isLowSurrogate(peek())) cp = QChar::surrogateToUcs4(c, take());
                value = cp;
            }
            if (pendingRange) {
                if (!value || !previous || *value < *previous || containsTerminator(*previous, *value)) safe = false;
                pendingRange = false;
                previous.reset();
                continue;
            }
            if (value && containsTerminator(*value, *value)) safe = false;
            previous = value;
        }
        return safe;
    }

    const QString& p_;
    const qsizetype n_;
    qsizetype i_ = 0;
    const bool caseInsensitive_;
    const bool dotAll_;
    const bool unixLines_;
};

std::array<bool, 128> computeCaseSafe()
{
    std::array<bool, 128> safe{};
    safe.fill(true);
    // Characters beyond ASCII whose full case folding holds an ASCII character (the Kelvin sign,
    // the long s, ligatures, "ß", letters with a combining mark folded apart).
    for (char32_t t = 0x80; t <= 0xFFFF; ++t) {
        if (t >= 0xD800 && t <= 0xDFFF) continue;
        const UChar source[1] = {UChar(t)};
        UChar folded[8];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = u_strFoldCase(folded, 8, source, 1, U_FOLD_CASE_DEFAULT, &status);
        if (U_FAILURE(status)) continue;
        for (int32_t k = 0; k < length; ++k) {
            const UChar u = folded[k];
            if (u >= 0x80) continue;
            safe[u] = false;
            if (u >= u'a' && u <= u'z') safe[u - 0x20] = false;
            if (u >= u'A' && u <= u'Z') safe[u + 0x20] = false;
        }
    }
    for (char16_t u = 0; u < 0x20; ++u) safe[u] = false;
    safe[0x7F] = false;
    return safe;
}

}  // namespace

bool RegexLiterals::isCaseSafe(char16_t u)
{
    static const std::array<bool, 128> table = computeCaseSafe();
    return u < 0x80 && table[u];
}

std::optional<RegexLiterals> RegexLiterals::analyse(const QString& expression, std::uint32_t icuFlags)
{
    if (icuFlags & (UREGEX_COMMENTS | UREGEX_LITERAL | UREGEX_CANON_EQ)) return std::nullopt;
    try {
        Parser parser(expression, icuFlags);
        const Info top = parser.parse();
        std::optional<std::vector<QString>> set = top.required;
        if (!set && top.exact) {
            if (std::optional<QString> literal = parser.scanLiteral(*top.exact)) set = std::vector<QString>{*literal};
        }
        if (!set || set->empty()) return std::nullopt;
        RegexLiterals out;
        out.literals = std::move(*set);
        out.asciiCaseInsensitive = icuFlags & UREGEX_CASE_INSENSITIVE;
        if (top.maximumLength != unbounded) out.maximumLength = top.maximumLength;
        out.singleLine = top.lineSafe;
        return out;
    } catch (const ParseFailure&) {
        return std::nullopt;
    }
}

}  // namespace korimado
