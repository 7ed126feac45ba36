#include "platform/foundation/PropertyListScalars.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace korimado {

namespace {

constexpr qint64 kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<qint64>(dayOfEra) - 719468;
}

void civilFromDays(qint64 days, qint64& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<qint64>(yearOfEra) + era * 400 + (month <= 2);
}

const qint64 kReferenceDays = daysFromCivil(2001, 1, 1);

// XML's white space around a value; nothing else is taken away.
QByteArrayView trimmed(QByteArrayView text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.isEmpty() && isSpace(text.front())) text = text.sliced(1);
    while (!text.isEmpty() && isSpace(text.back())) text.chop(1);
    return text;
}

}  // namespace

std::optional<PropertyList> PropertyListScalars::parseInteger(QByteArrayView text)
{
    text = trimmed(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    quint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        if (magnitude > (std::numeric_limits<quint64>::max() - static_cast<quint64>(digit)) / static_cast<quint64>(base)) {
            return std::nullopt;
        }
        magnitude = magnitude * static_cast<quint64>(base) + static_cast<quint64>(digit);
    }
    if (!negative) return PropertyList::unsignedInteger(magnitude);
    constexpr quint64 kMinimumMagnitude = quint64(1) << 63;
    if (magnitude > kMinimumMagnitude) return std::nullopt;
    return PropertyList(magnitude == kMinimumMagnitude ? std::numeric_limits<qint64>::min()
                                                       : -static_cast<qint64>(magnitude));
}

std::optional<double> PropertyListScalars::parseReal(QByteArrayView text)
{
    text = trimmed(text);
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin == end) return std::nullopt;
    const bool plus = *begin == '+';
    if (plus) ++begin;
    double value = 0;
    const auto [rest, error] = std::from_chars(begin, end, value);
    if (rest != end || begin == end || (plus && (*begin == '-' || *begin == '+'))) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // from_chars gives no value out of range; strtod gives the infinity or the denormal.
        const std::string terminated(text.data(), static_cast<size_t>(text.size()));
        return std::strtod(terminated.c_str(), nullptr);
    }
    if (error != std::errc()) return std::nullopt;
    return value;
}

std::optional<PropertyList::Date> PropertyListScalars::parseDate(QByteArrayView text)
{
    text = trimmed(text);
    // YYYY[-MM[-DD[THH[:MM[:SS]]]]]Z
    const auto number = [&text](qsizetype at, int digits) -> int {
        if (at + digits > text.size()) return -1;
        int value = 0;
        for (int i = 0; i < digits; ++i) {
            const char c = text[at + i];
            if (c < '0' || c > '9') return -1;
            value = value * 10 + (c - '0');
        }
        return value;
    };
    int parts[6] = {0, 1, 1, 0, 0, 0};
    static constexpr char kSeparators[] = {'\0', '-', '-', 'T', ':', ':'};
    static constexpr int kMaximum[] = {9999, 12, 31, 23, 59, 59};
    static constexpr int kMinimum[] = {0, 1, 1, 0, 0, 0};
    qsizetype at = 0;
    for (int part = 0; part < 6; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != kSeparators[part]) break;
            ++at;
        }
        const int value = number(at, part == 0 ? 4 : 2);
        if (value < kMinimum[part] || value > kMaximum[part]) return std::nullopt;
        parts[part] = value;
        at += part == 0 ? 4 : 2;
    }
    if (at + 1 != text.size() || text[at] != 'Z') return std::nullopt;
    const qint64 days = daysFromCivil(parts[0], static_cast<unsigned>(parts[1]), static_cast<unsigned>(parts[2]));
    const qint64 seconds = (days - kReferenceDays) * kSecondsPerDay + parts[3] * 3600 + parts[4] * 60 + parts[5];
    return PropertyList::Date{static_cast<double>(seconds)};
}

std::optional<QByteArray> PropertyListScalars::parseBase64(QByteArrayView text)
{
    // Written data is broken into indented lines: the alphabet alone is gathered first, on the
    // stack for the common small value.
    QVarLengthArray<char, 1024> compact;
    compact.reserve(text.size());
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
        compact.append(c);
    }
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromRawData(compact.constData(), compact.size()),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return std::move(*decoded);
}

QByteArray PropertyListScalars::formatReal(double value)
{
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "+infinity" : "-infinity";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

QByteArray PropertyListScalars::formatDate(PropertyList::Date date)
{
    double whole = std::floor(date.seconds);
    // Far beyond any calendar a reader takes: clamp rather than overflow.
    constexpr double kLimit = 3e11;
    if (!std::isfinite(whole)) whole = std::isnan(whole) ? 0 : (whole > 0 ? kLimit : -kLimit);
    whole = std::clamp(whole, -kLimit, kLimit);
    const qint64 total = static_cast<qint64>(whole);
    qint64 days = total / kSecondsPerDay;
    qint64 rest = total % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    qint64 year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(days + kReferenceDays, year, month, day);
    const QString text = QStringLiteral("%1-%2-%3T%4:%5:%6Z")
                             .arg(year, 4, 10, QLatin1Char('0'))
                             .arg(month, 2, 10, QLatin1Char('0'))
                             .arg(day, 2, 10, QLatin1Char('0'))
                             .arg(rest / 3600, 2, 10, QLatin1Char('0'))
                             .arg(rest % 3600 / 60, 2, 10, QLatin1Char('0'))
                             .arg(rest % 60, 2, 10, QLatin1Char('0'));
    return text.toLatin1();
}

bool PropertyListScalars::canFormatDate(PropertyList::Date date)
{
    static const double first = parseDate("0000-01-01T00:00:00Z")->seconds;
    static const double afterLast = parseDate("9999-12-31T23:59:59Z")->seconds + 1;
    // NaN fails both comparisons.
    return date.seconds >= first && date.seconds < afterLast;
}

}  // namespace korimado
