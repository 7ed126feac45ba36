#include "platform/foundation/JsonValue.h"

#include <limits>

namespace korimado {

JsonValue::JsonValue(bool value) : type_(Type::boolean), bool_(value) {}
JsonValue::JsonValue(QString value) : type_(Type::string), string_(std::move(value)) {}
JsonValue::JsonValue(Array value) : type_(Type::array), array_(std::move(value)) {}
JsonValue::JsonValue(Object value) : type_(Type::object), object_(std::move(value)) {}

JsonValue JsonValue::integer(qint64 value)
{
    return numberLiteral(QByteArray::number(value));
}

JsonValue JsonValue::unsignedInteger(quint64 value)
{
    return numberLiteral(QByteArray::number(value));
}

JsonValue JsonValue::numberLiteral(QByteArray literal)
{
    JsonValue v;
    v.type_ = Type::number;
    v.number_ = std::move(literal);
    return v;
}

// Digits of an integer literal and its sign, or nothing for fractions and exponents.
static bool integerDigits(const QByteArray& literal, bool& negative, QByteArrayView& digits)
{
    QByteArrayView view(literal);
    negative = view.startsWith('-');
    if (negative) view = view.sliced(1);
    if (view.isEmpty()) return false;
    for (char c : view) {
        if (c < '0' || c > '9') return false;
    }
    digits = view;
    return true;
}

// Magnitude of a run of digits, or nothing past 2^64 - 1.
static std::optional<quint64> magnitude(QByteArrayView digits)
{
    quint64 value = 0;
    for (char c : digits) {
        const quint64 d = quint64(c - '0');
        if (value > (std::numeric_limits<quint64>::max() - d) / 10) return std::nullopt;
        value = value * 10 + d;
    }
    return value;
}

std::optional<qint64> JsonValue::integerValue() const
{
    bool negative = false;
    QByteArrayView digits;
    if (type_ != Type::number || !integerDigits(number_, negative, digits)) return std::nullopt;
    const std::optional<quint64> m = magnitude(digits);
    if (!m) return std::nullopt;
    const quint64 limit = quint64(std::numeric_limits<qint64>::max());
    if (!negative) return *m <= limit ? std::optional<qint64>(qint64(*m)) : std::nullopt;
    if (*m <= limit) return -qint64(*m);
    if (*m == limit + 1) return std::numeric_limits<qint64>::min();
    return std::nullopt;
}

std::optional<quint64> JsonValue::unsignedValue() const
{
    bool negative = false;
    QByteArrayView digits;
    if (type_ != Type::number || !integerDigits(number_, negative, digits)) return std::nullopt;
    const std::optional<quint64> m = magnitude(digits);
    if (!m || (negative && *m != 0)) return std::nullopt;
    return m;
}

const JsonValue* JsonValue::member(QStringView key) const
{
    for (const JsonMember& m : object_) {
        if (m.key == key) return &m.value;
    }
    return nullptr;
}

void JsonValue::insert(const QString& key, JsonValue value)
{
    type_ = Type::object;
    for (JsonMember& m : object_) {
        if (m.key == key) {
            m.value = std::move(value);
            return;
        }
    }
    object_.push_back(JsonMember{key, std::move(value)});
}

bool operator==(const JsonValue& a, const JsonValue& b)
{
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
    case JsonValue::Type::null: return true;
    case JsonValue::Type::boolean: return a.bool_ == b.bool_;
    case JsonValue::Type::number: return a.number_ == b.number_;
    case JsonValue::Type::string: return a.string_ == b.string_;
    case JsonValue::Type::array: return a.array_ == b.array_;
    case JsonValue::Type::object: return a.object_ == b.object_;
    }
    return false;
}

}  // namespace korimado
