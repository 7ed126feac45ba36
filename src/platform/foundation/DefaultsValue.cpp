#include "platform/foundation/DefaultsValue.h"

#include "platform/foundation/PropertyListScalars.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>

#include <cmath>
#include <limits>

namespace korimado {

namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;
// Integers beyond this lose precision as JSON numbers in some readers; they are written as text.
constexpr qint64 kSafeJsonInteger = (qint64(1) << 53);

qsizetype skipSpaces(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i).isSpace()) ++i;
    return i;
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Leading white space, an optional sign and decimal digits; the rest is ignored. No digits give 0,
// too many saturate.
qint64 integerPrefix(const QString& s)
{
    qsizetype i = skipSpaces(s);
    bool negative = false;
    if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-')) negative = s.at(i++) == u'-';
    qint64 value = 0;
    for (; i < s.size() && isAsciiDigit(s.at(i)); ++i) {
        const int digit = s.at(i).unicode() - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
            return negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

// The longest leading decimal number ("3.5e2kg" gives 350); no number gives 0.
double doublePrefix(const QString& s)
{
    qsizetype i = skipSpaces(s);
    const qsizetype start = i;
    if (i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-')) ++i;
    qsizetype digits = 0;
    for (; i < s.size() && isAsciiDigit(s.at(i)); ++i) ++digits;
    if (i < s.size() && s.at(i) == u'.') {
        ++i;
        for (; i < s.size() && isAsciiDigit(s.at(i)); ++i) ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s.at(i) == u'e' || s.at(i) == u'E')) {
        qsizetype j = i + 1;
        if (j < s.size() && (s.at(j) == u'+' || s.at(j) == u'-')) ++j;
        if (j < s.size() && isAsciiDigit(s.at(j))) {
            while (j < s.size() && isAsciiDigit(s.at(j))) ++j;
            i = j;
        }
    }
    return s.mid(start, i - start).toLatin1().toDouble();
}

qint64 truncatedToInteger(double d)
{
    if (std::isnan(d)) return 0;
    if (d >= kTwoTo63) return std::numeric_limits<qint64>::max();
    if (d < -kTwoTo63) return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}

// A number as a double; none for another kind or one beyond a double's range.
std::optional<double> finiteNumber(const JsonValue& value)
{
    if (value.type() != JsonValue::Type::number) return std::nullopt;
    const auto d = PropertyListScalars::parseReal(value.toNumberLiteral());
    if (!d || !std::isfinite(*d)) return std::nullopt;
    return d;
}

QJsonObject typed(const char* type, const QJsonValue& value)
{
    return QJsonObject{{QStringLiteral("type"), QString::fromLatin1(type)}, {QStringLiteral("value"), value}};
}

}  // namespace

bool DefaultsValue::boolValue() const
{
    const bool* v = std::get_if<bool>(&value_);
    return v ? *v : false;
}

qint64 DefaultsValue::integerValue() const
{
    const qint64* v = std::get_if<qint64>(&value_);
    return v ? *v : 0;
}

double DefaultsValue::doubleValue() const
{
    const double* v = std::get_if<double>(&value_);
    return v ? *v : 0.0;
}

QString DefaultsValue::stringValue() const
{
    const QString* v = std::get_if<QString>(&value_);
    return v ? *v : QString();
}

QByteArray DefaultsValue::bytesValue() const
{
    const QByteArray* v = std::get_if<QByteArray>(&value_);
    return v ? *v : QByteArray();
}

DefaultsValue::Array DefaultsValue::arrayValue() const
{
    const Array* v = std::get_if<Array>(&value_);
    return v ? *v : Array();
}

DefaultsValue::Dictionary DefaultsValue::dictionaryValue() const
{
    const Dictionary* v = std::get_if<Dictionary>(&value_);
    return v ? *v : Dictionary();
}

std::optional<qint64> DefaultsValue::convertedInteger() const
{
    switch (type()) {
    case Type::boolean: return boolValue() ? 1 : 0;
    case Type::integer: return integerValue();
    case Type::real: return truncatedToInteger(doubleValue());
    case Type::string: return integerPrefix(stringValue());
    default: return std::nullopt;
    }
}

std::optional<double> DefaultsValue::convertedDouble() const
{
    switch (type()) {
    case Type::boolean: return boolValue() ? 1.0 : 0.0;
    case Type::integer: return static_cast<double>(integerValue());
    case Type::real: return doubleValue();
    case Type::string: return doublePrefix(stringValue());
    default: return std::nullopt;
    }
}

std::optional<bool> DefaultsValue::convertedBool() const
{
    switch (type()) {
    case Type::boolean: return boolValue();
    case Type::integer: return integerValue() != 0;
    case Type::real: return doubleValue() != 0.0;
    case Type::string: {
        const QString s = stringValue().trimmed();
        if (s.compare(u"yes", Qt::CaseInsensitive) == 0 || s.compare(u"true", Qt::CaseInsensitive) == 0) return true;
        if (s.compare(u"no", Qt::CaseInsensitive) == 0 || s.compare(u"false", Qt::CaseInsensitive) == 0) return false;
        return integerPrefix(s) != 0;
    }
    default: return std::nullopt;
    }
}

std::optional<QString> DefaultsValue::convertedString() const
{
    switch (type()) {
    case Type::boolean: return boolValue() ? QStringLiteral("1") : QStringLiteral("0");
    case Type::integer: return QString::number(integerValue());
    case Type::real: return QString::number(doubleValue(), 'g', QLocale::FloatingPointShortest);
    case Type::string: return stringValue();
    default: return std::nullopt;
    }
}

std::optional<qint64> DefaultsValue::exactInteger() const
{
    switch (type()) {
    case Type::boolean: return boolValue() ? 1 : 0;
    case Type::integer: return integerValue();
    case Type::real: {
        const double d = doubleValue();
        if (!std::isfinite(d) || std::trunc(d) != d || d < -kTwoTo63 || d >= kTwoTo63) return std::nullopt;
        return static_cast<qint64>(d);
    }
    default: return std::nullopt;
    }
}

QJsonValue DefaultsValue::toJson() const
{
    switch (type()) {
    case Type::boolean: return typed("bool", boolValue());
    case Type::integer: {
        const qint64 v = integerValue();
        if (v >= -kSafeJsonInteger && v <= kSafeJsonInteger) return typed("int", QJsonValue(v));
        return typed("int", QString::number(v));
    }
    case Type::real: {
        const double d = doubleValue();
        if (std::isnan(d)) return typed("double", QStringLiteral("nan"));
        if (std::isinf(d)) return typed("double", d > 0 ? QStringLiteral("inf") : QStringLiteral("-inf"));
        return typed("double", d);
    }
    case Type::string: return typed("string", stringValue());
    case Type::bytes: return typed("data", QString::fromLatin1(bytesValue().toBase64()));
    case Type::array: {
        QJsonArray items;
        for (const DefaultsValue& item : std::get<Array>(value_)) items.append(item.toJson());
        return typed("array", items);
    }
    case Type::dictionary: {
        QJsonObject items;
        const Dictionary& dict = std::get<Dictionary>(value_);
        for (auto it = dict.cbegin(); it != dict.cend(); ++it) items.insert(it.key(), it.value().toJson());
        return typed("dictionary", items);
    }
    }
    return {};
}

std::optional<DefaultsValue> DefaultsValue::fromJson(const JsonValue& json)
{
    if (json.type() != JsonValue::Type::object) return std::nullopt;
    const JsonValue* typeName = json.member(u"type");
    const JsonValue* value = json.member(u"value");
    if (!typeName || typeName->type() != JsonValue::Type::string || !value) return std::nullopt;
    const QString& type = typeName->toString();
    const auto isA = [value](JsonValue::Type kind) { return value->type() == kind; };

    if (type == u"bool") {
        if (!isA(JsonValue::Type::boolean)) return std::nullopt;
        return DefaultsValue(value->toBool());
    }
    if (type == u"int") {
        if (isA(JsonValue::Type::string)) {
            bool ok = false;
            const qint64 v = value->toString().toLongLong(&ok);
            if (!ok) return std::nullopt;
            return DefaultsValue(v);
        }
        // As a number only within the range a double holds exactly ("5.0" is 5 too).
        const auto d = finiteNumber(*value);
        if (!d || std::trunc(*d) != *d || *d < double(-kSafeJsonInteger) || *d > double(kSafeJsonInteger))
            return std::nullopt;
        return DefaultsValue(value->integerValue().value_or(static_cast<qint64>(*d)));
    }
    if (type == u"double") {
        if (const auto d = finiteNumber(*value)) return DefaultsValue(*d);
        if (!isA(JsonValue::Type::string)) return std::nullopt;
        const QString& s = value->toString();
        if (s == u"nan") return DefaultsValue(std::numeric_limits<double>::quiet_NaN());
        if (s == u"inf") return DefaultsValue(std::numeric_limits<double>::infinity());
        if (s == u"-inf") return DefaultsValue(-std::numeric_limits<double>::infinity());
        return std::nullopt;
    }
    if (type == u"string") {
        if (!isA(JsonValue::Type::string)) return std::nullopt;
        return DefaultsValue(value->toString());
    }
    if (type == u"data") {
        if (!isA(JsonValue::Type::string)) return std::nullopt;
        const auto decoded = QByteArray::fromBase64Encoding(value->toString().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) return std::nullopt;
        return DefaultsValue(*decoded);
    }
    if (type == u"array") {
        if (!isA(JsonValue::Type::array)) return std::nullopt;
        Array items;
        for (const JsonValue& item : value->toArray()) {
            auto decoded = fromJson(item);
            if (!decoded) return std::nullopt;
            items.append(*decoded);
        }
        return DefaultsValue(items);
    }
    if (type == u"dictionary") {
        if (!isA(JsonValue::Type::object)) return std::nullopt;
        Dictionary items;
        for (const JsonMember& member : value->toObject()) {
            auto decoded = fromJson(member.value);
            if (!decoded) return std::nullopt;
            items.insert(member.key, *decoded);
        }
        return DefaultsValue(items);
    }
    return std::nullopt;
}

}  // namespace korimado
