#include "commands/SyntaxColorCode.h"

#include "editor/TextReader.h"
#include "platform/text/StringChecks.h"

#include <QStringList>

#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace korimado {

namespace {

// White space as the finder's regular expressions see it: tab, LF, FF, CR and separators.
bool isRegexSpace(char16_t c)
{
    if (c == u'\t' || c == u'\n' || c == 0x0C || c == u'\r') return true;
    const int8_t type = u_charType(c);
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

double clamp01(double x)
{
    return std::isnan(x) ? 0 : std::clamp(x, 0.0, 1.0);
}

std::optional<double> readNumber(const QString& text)
{
    if (text.isEmpty()) return std::nullopt;
    for (QChar c : text)
        if (c.isSpace()) return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok) return std::nullopt;
    return value;
}

std::optional<double> inRange(const QString& text, double low, double high)
{
    const std::optional<double> value = readNumber(text);
    if (!value || !(*value >= low && *value <= high)) return std::nullopt;
    return value;
}

std::optional<SyntaxColorCode::Parsed> parseHex(const QString& code)
{
    const QString digits = code.mid(1);
    const qsizetype count = digits.size();
    if (count != 3 && count != 4 && count != 6 && count != 8) return std::nullopt;
    bool letter = false;
    bool lower = false;
    int values[8] = {};
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t c = digits[i].unicode();
        if (c >= u'0' && c <= u'9') values[i] = c - u'0';
        else if (c >= u'a' && c <= u'f') { values[i] = c - u'a' + 10; letter = lower = true; }
        else if (c >= u'A' && c <= u'F') { values[i] = c - u'A' + 10; letter = true; }
        else return std::nullopt;
    }
    int bytes[4] = {255, 255, 255, 255};
    const bool shortForm = count <= 4;
    const int n = shortForm ? static_cast<int>(count) : static_cast<int>(count / 2);
    for (int i = 0; i < n; ++i) bytes[i] = shortForm ? values[i] * 17 : values[2 * i] * 16 + values[2 * i + 1];
    SyntaxColorCode::Parsed parsed;
    parsed.color = {bytes[0] / 255.0, bytes[1] / 255.0, bytes[2] / 255.0, n == 4 ? bytes[3] / 255.0 : 1.0};
    parsed.format = SyntaxColorFormat::hex(static_cast<int>(count), letter && !lower);
    return parsed;
}

struct FunctionBody {
    QStringList components;
    std::optional<QString> alpha;
    bool commaSeparated = false;
};

QString trimmedHorizontally(const QString& s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && isHorizontalSpace(s[from])) ++from;
    while (to > from && isHorizontalSpace(s[to - 1])) --to;
    return s.mid(from, to - from);
}

FunctionBody splitFunctionBody(const QString& body)
{
    FunctionBody result;
    result.commaSeparated = body.contains(u',');
    if (result.commaSeparated) {
        QStringList pieces = body.split(u',', Qt::KeepEmptyParts);
        for (QString& piece : pieces) piece = trimmedOfWhiteSpaceAndNewlines(piece);
        if (pieces.size() == 4) {
            result.alpha = pieces[3];
            pieces.removeLast();
        } else if (pieces.last().contains(u'/')) {
            const QString& last = pieces.last();
            const qsizetype slash = last.indexOf(u'/');
            QStringList parts;
            if (slash > 0) parts << last.left(slash);
            if (slash + 1 < last.size()) parts << last.mid(slash + 1);
            if (parts.size() == 2) {
                pieces.last() = trimmedHorizontally(parts[0]);
                result.alpha = trimmedHorizontally(parts[1]);
            }
        }
        result.components = pieces;
        return result;
    }
    const qsizetype slash = body.indexOf(u'/');
    const QString before = slash < 0 ? body : body.left(slash);
    QString current;
    for (QChar c : before) {
        if (isWhiteSpaceOrNewline(c.unicode())) {
            if (!current.isEmpty()) result.components << current;
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty()) result.components << current;
    if (slash >= 0) result.alpha = trimmedOfWhiteSpaceAndNewlines(body.mid(slash + 1));
    return result;
}

std::optional<double> parseAlpha(const std::optional<QString>& text)
{
    if (!text) return 1.0;
    if (text->endsWith(u'%')) {
        const std::optional<double> percent = inRange(text->chopped(1), 0, 100);
        if (!percent) return std::nullopt;
        return *percent / 100;
    }
    return inRange(*text, 0, 1);
}

std::optional<SyntaxColorCode::Parsed> parseRGB(const QString& body, bool functionHasAlpha)
{
    const FunctionBody parts = splitFunctionBody(body);
    if (parts.components.size() != 3) return std::nullopt;
    int withPercent = 0;
    for (const QString& c : parts.components)
        if (c.endsWith(u'%')) ++withPercent;
    if (withPercent != 0 && withPercent != 3) return std::nullopt;
    const bool percentages = withPercent == 3;
    double values[3];
    for (int i = 0; i < 3; ++i) {
        const QString& c = parts.components[i];
        const std::optional<double> v = percentages ? inRange(c.chopped(1), 0, 100) : inRange(c, 0, 255);
        if (!v) return std::nullopt;
        values[i] = *v / (percentages ? 100.0 : 255.0);
    }
    const std::optional<double> alpha = parseAlpha(parts.alpha);
    if (!alpha) return std::nullopt;
    SyntaxColorCode::Parsed parsed;
    parsed.color = {clamp01(values[0]), clamp01(values[1]), clamp01(values[2]), clamp01(*alpha)};
    parsed.format = SyntaxColorFormat::rgb(percentages, parts.alpha.has_value() || functionHasAlpha, parts.commaSeparated);
    return parsed;
}

std::optional<SyntaxColorCode::Parsed> parseHSL(const QString& body, bool functionHasAlpha)
{
    const FunctionBody parts = splitFunctionBody(body);
    if (parts.components.size() != 3) return std::nullopt;
    const QString hueText = parts.components[0].toLower();
    struct Unit {
        const char* suffix;
        double factor;
    };
    static const Unit units[] = {{"turn", 360}, {"grad", 0.9}, {"rad", 57.29577951308232}, {"deg", 1}};
    double factor = 1;
    QString number = hueText;
    for (const Unit& unit : units) {
        if (hueText.endsWith(QLatin1String(unit.suffix))) {
            factor = unit.factor;
            number = hueText.chopped(static_cast<qsizetype>(std::strlen(unit.suffix)));
            break;
        }
    }
    const std::optional<double> hueValue = readNumber(number);
    if (!hueValue) return std::nullopt;
    double hue = std::fmod(*hueValue * factor, 360.0);
    if (hue < 0) hue += 360;
    if (!std::isfinite(hue)) return std::nullopt;
    double sl[2];
    for (int i = 0; i < 2; ++i) {
        const QString& c = parts.components[i + 1];
        if (!c.endsWith(u'%')) return std::nullopt;
        const std::optional<double> v = inRange(c.chopped(1), 0, 100);
        if (!v) return std::nullopt;
        sl[i] = *v / 100;
    }
    const double s = sl[0];
    const double l = sl[1];
    const double chroma = (1 - std::fabs(2 * l - 1)) * s;
    const double h = hue / 60;
    const double hMod2 = h - 2 * std::trunc(h / 2);
    const double x = chroma * (1 - std::fabs(hMod2 - 1));
    const double m = l - chroma / 2;
    double r = 0, g = 0, b = 0;
    if (h < 1) { r = chroma; g = x; }
    else if (h < 2) { r = x; g = chroma; }
    else if (h < 3) { g = chroma; b = x; }
    else if (h < 4) { g = x; b = chroma; }
    else if (h < 5) { r = x; b = chroma; }
    else { r = chroma; b = x; }
    const std::optional<double> alpha = parseAlpha(parts.alpha);
    if (!alpha) return std::nullopt;
    SyntaxColorCode::Parsed parsed;
    parsed.color = {clamp01(m + r), clamp01(m + g), clamp01(m + b), clamp01(*alpha)};
    parsed.format = SyntaxColorFormat::hsl(parts.alpha.has_value() || functionHasAlpha, parts.commaSeparated);
    return parsed;
}

int byteOf(double x)
{
    return x >= 0 ? static_cast<int>(std::round(std::min(x, 1.0) * 255)) : 0;
}

const icu::RegexPattern* codePattern()
{
    static const std::unique_ptr<icu::RegexPattern> pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError error;
        std::unique_ptr<icu::RegexPattern> p(icu::RegexPattern::compile(
            icu::UnicodeString(u"(?i)(?:#(?:[0-9a-f]{8}|[0-9a-f]{6}|[0-9a-f]{4}|[0-9a-f]{3})\\b|(?:rgba?|hsla?)\\([^\\r\\n\\)]*\\))"),
            0, error, status));
        return U_SUCCESS(status) ? std::move(p) : nullptr;
    }();
    return pattern.get();
}

}  // namespace

std::optional<SyntaxColorMatch> SyntaxColorCode::find(const QString& text, TextRange selection)
{
    const qsizetype length = text.size();
    if (selection.isNotFound() || selection.location < 0 || selection.location > length || selection.length < 0
        || selection.end() > length)
        return std::nullopt;
    if (!selection.isEmpty()) {
        const QStringView selected = QStringView(text).sliced(selection.location, selection.length);
        qsizetype leading = 0;
        while (leading < selected.size() && isRegexSpace(selected[leading].unicode())) ++leading;
        qsizetype trailing = 0;
        while (trailing < selected.size() && isRegexSpace(selected[selected.size() - 1 - trailing].unicode())) ++trailing;
        const TextRange candidate(selection.location + leading, std::max<qsizetype>(0, selection.length - leading - trailing));
        const std::optional<Parsed> parsed = parse(text.mid(candidate.location, candidate.length));
        if (!parsed) return std::nullopt;
        return SyntaxColorMatch{candidate, parsed->color, parsed->format};
    }
    const icu::RegexPattern* pattern = codePattern();
    if (!pattern) return std::nullopt;
    TextRange line(0, 0);
    if (length > 0) {
        const TextReader reader(text);
        const TextReader::Line l = reader.lineAt(std::min(selection.location, length - 1));
        line = TextRange::fromBounds(l.start, l.end);
    }
    const qsizetype caret = selection.location;
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString lineText(false, reinterpret_cast<const UChar*>(text.utf16()) + line.location,
                                      static_cast<int32_t>(line.length));
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(lineText, status));
    if (U_FAILURE(status)) return std::nullopt;
    std::vector<TextRange> touching;
    while (matcher->find(status) && U_SUCCESS(status)) {
        const TextRange match = TextRange::fromBounds(line.location + matcher->start(status),
                                                      line.location + matcher->end(status));
        if (match.location <= caret && caret <= match.end()) touching.push_back(match);
    }
    std::stable_sort(touching.begin(), touching.end(),
                     [](TextRange a, TextRange b) { return a.length < b.length; });
    for (TextRange match : touching) {
        if (const std::optional<Parsed> parsed = parse(text.mid(match.location, match.length)))
            return SyntaxColorMatch{match, parsed->color, parsed->format};
    }
    return std::nullopt;
}

std::optional<SyntaxColorCode::Parsed> SyntaxColorCode::parse(const QString& code)
{
    const QString s = trimmedOfWhiteSpaceAndNewlines(code);
    if (s.startsWith(u'#')) return parseHex(s);
    const qsizetype open = s.indexOf(u'(');
    if (open < 0 || !s.endsWith(u')')) return std::nullopt;
    const QString name = s.left(open).toLower();
    const QString body = s.mid(open + 1, s.size() - open - 2);
    if (name == QLatin1String("rgb") || name == QLatin1String("rgba")) return parseRGB(body, name.size() == 4);
    if (name == QLatin1String("hsl") || name == QLatin1String("hsla")) return parseHSL(body, name.size() == 4);
    return std::nullopt;
}

QString SyntaxColorCode::renderHex(const SyntaxRGBA& color, int requestedDigits, bool uppercase)
{
    std::vector<int> bytes{byteOf(color.red), byteOf(color.green), byteOf(color.blue)};
    if (!(color.alpha >= 0.9995) || requestedDigits == 4 || requestedDigits == 8) bytes.push_back(byteOf(color.alpha));
    const bool wantsShort = requestedDigits == 3 || requestedDigits == 4;
    const bool canShort = std::all_of(bytes.begin(), bytes.end(), [](int b) { return (b >> 4) == (b & 0xF); });
    QString result = QStringLiteral("#");
    for (int b : bytes) {
        if (wantsShort && canShort)
            result += QString::asprintf(uppercase ? "%1X" : "%1x", b >> 4);
        else
            result += QString::asprintf(uppercase ? "%02X" : "%02x", b);
    }
    return result;
}

QString SyntaxColorCode::number(double value, int decimals)
{
    QString text = QString::asprintf(decimals == 1 ? "%.1f" : "%.3f", value);
    while (text.contains(u'.') && text.endsWith(u'0')) text.chop(1);
    if (text.endsWith(u'.')) text.chop(1);
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

QString SyntaxColorCode::renderRGB(const SyntaxRGBA& color, bool percentages, bool includesAlpha, bool commaSeparated)
{
    QStringList parts;
    for (double x : {color.red, color.green, color.blue}) {
        if (percentages) parts << number(x * 100, 1) + u'%';
        else parts << QString::number(static_cast<long long>(std::round(x * 255)));
    }
    const QString alpha = number(color.alpha, 3);
    if (commaSeparated)
        return (includesAlpha ? QStringLiteral("rgba(") : QStringLiteral("rgb(")) + parts.join(QStringLiteral(", "))
            + (includesAlpha ? QStringLiteral(", ") + alpha + u')' : QStringLiteral(")"));
    return QStringLiteral("rgb(") + parts.join(u' ') + (includesAlpha ? QStringLiteral(" / ") + alpha + u')' : QStringLiteral(")"));
}

QString SyntaxColorCode::renderHSL(const SyntaxRGBA& color, bool includesAlpha, bool commaSeparated)
{
    const double r = color.red, g = color.green, b = color.blue;
    const double maximum = std::max({r, g, b});
    const double minimum = std::min({r, g, b});
    const double l = (maximum + minimum) / 2;
    const double d = maximum - minimum;
    double s = 0;
    double hue = 0;
    if (d != 0) {
        s = d / (1 - std::fabs(2 * l - 1));
        if (maximum == r) hue = 60 * std::fmod((g - b) / d, 6.0);
        else if (maximum == g) hue = 60 * ((b - r) / d + 2);
        else hue = 60 * ((r - g) / d + 4);
        if (hue < 0) hue += 360;
    }
    const QStringList parts{number(hue, 1), number(s * 100, 1) + u'%', number(l * 100, 1) + u'%'};
    const QString alpha = number(color.alpha, 3);
    if (commaSeparated)
        return (includesAlpha ? QStringLiteral("hsla(") : QStringLiteral("hsl(")) + parts.join(QStringLiteral(", "))
            + (includesAlpha ? QStringLiteral(", ") + alpha + u')' : QStringLiteral(")"));
    return QStringLiteral("hsl(") + parts.join(u' ') + (includesAlpha ? QStringLiteral(" / ") + alpha + u')' : QStringLiteral(")"));
}

QString SyntaxColorCode::render(const SyntaxRGBA& color, const SyntaxColorFormat& format)
{
    const SyntaxRGBA c{clamp01(color.red), clamp01(color.green), clamp01(color.blue), clamp01(color.alpha)};
    const bool translucent = c.alpha < 0.9995;
    switch (format.kind) {
    case SyntaxColorFormat::Kind::hex: return renderHex(c, format.digits, format.uppercase);
    case SyntaxColorFormat::Kind::rgb: return renderRGB(c, format.percentages, format.alpha || translucent, format.commaSeparated);
    case SyntaxColorFormat::Kind::hsl: return renderHSL(c, format.alpha || translucent, format.commaSeparated);
    }
    return {};
}

}  // namespace korimado
