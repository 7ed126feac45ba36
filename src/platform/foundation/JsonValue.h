#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>
#include <vector>

namespace korimado {

struct JsonMember;

// One JSON value as read or to be written. Numbers keep their literal text, so 64-bit integers
// survive exactly (the JSON readers of Qt turn them into doubles). Objects keep their members in
// the order they were read or inserted.
class JsonValue {
public:
    enum class Type { null, boolean, number, string, array, object };
    using Array = std::vector<JsonValue>;
    using Object = std::vector<JsonMember>;

    JsonValue() = default;  // null
    explicit JsonValue(bool value);
    explicit JsonValue(QString value);
    explicit JsonValue(Array value);
    explicit JsonValue(Object value);
    static JsonValue integer(qint64 value);
    static JsonValue unsignedInteger(quint64 value);
    // A literal the reader has already checked against the JSON number grammar.
    static JsonValue numberLiteral(QByteArray literal);

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::null; }

    bool toBool() const { return bool_; }
    const QString& toString() const { return string_; }
    const QByteArray& toNumberLiteral() const { return number_; }
    const Array& toArray() const { return array_; }
    const Object& toObject() const { return object_; }

    // The number when it is written as an integer (no fraction, no exponent) that fits.
    std::optional<qint64> integerValue() const;
    std::optional<quint64> unsignedValue() const;

    // Objects: the member's value, or null when there is none.
    const JsonValue* member(QStringView key) const;
    // Objects: appends the member, or replaces the value of an existing one.
    void insert(const QString& key, JsonValue value);

    friend bool operator==(const JsonValue& a, const JsonValue& b);

private:
    Type type_ = Type::null;
    bool bool_ = false;
    QByteArray number_;
    QString string_;
    Array array_;
    Object object_;
};

struct JsonMember {
    QString key;
    JsonValue value;
    friend bool operator==(const JsonMember&, const JsonMember&) = default;
};

}  // namespace korimado
