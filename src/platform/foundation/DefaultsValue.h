#pragma once

#include "platform/foundation/JsonValue.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>

#include <concepts>
#include <optional>
#include <variant>

namespace korimado {

// One user-defaults value. The kinds stay apart (an integer is never a double, a Boolean never a
// number), because readers convert between them by fixed rules and the store must give back
// exactly what was written.
//
// Not a PropertyList, though the two trees look alike: a defaults value has no date, UID or integer
// above 2^63 (the defaults file cannot carry them, and nothing stores them), its dictionaries are
// sorted by key (the file is written the same way each time) where a property list keeps the order
// it read, and it carries the readers' conversions ("YES" is true, "3" is 3) that a property list
// must never apply. No value passes from one tree to the other: a settings archive reaches user
// defaults through the settings snapshot.
class DefaultsValue {
public:
    enum class Type { boolean, integer, real, string, bytes, array, dictionary };
    using Array = QList<DefaultsValue>;
    using Dictionary = QMap<QString, DefaultsValue>;

    DefaultsValue() = default;  // false
    DefaultsValue(bool value) : value_(value) {}
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    DefaultsValue(T value) : value_(static_cast<qint64>(value)) {}
    DefaultsValue(double value) : value_(value) {}
    DefaultsValue(const QString& value) : value_(value) {}
    DefaultsValue(const char* utf8) : value_(QString::fromUtf8(utf8)) {}
    DefaultsValue(const QByteArray& value) : value_(value) {}
    DefaultsValue(const Array& value) : value_(value) {}
    DefaultsValue(const Dictionary& value) : value_(value) {}

    Type type() const { return static_cast<Type>(value_.index()); }
    bool isBool() const { return type() == Type::boolean; }
    bool isInteger() const { return type() == Type::integer; }
    bool isDouble() const { return type() == Type::real; }
    bool isNumber() const { return isBool() || isInteger() || isDouble(); }
    bool isString() const { return type() == Type::string; }
    bool isBytes() const { return type() == Type::bytes; }
    bool isArray() const { return type() == Type::array; }
    bool isDictionary() const { return type() == Type::dictionary; }

    // The stored value of that kind; a neutral value when the kind differs (no conversion).
    bool boolValue() const;
    qint64 integerValue() const;
    double doubleValue() const;
    QString stringValue() const;
    QByteArray bytesValue() const;
    Array arrayValue() const;
    Dictionary dictionaryValue() const;

    // The conversions the defaults readers apply: numbers and numeric texts become numbers,
    // "YES"/"true"/"1" become true, numbers become text. Other kinds give nothing.
    std::optional<qint64> convertedInteger() const;
    std::optional<double> convertedDouble() const;
    std::optional<bool> convertedBool() const;
    std::optional<QString> convertedString() const;
    // Only a number that is an integer exactly (an integer, a Boolean, or a double with an integral
    // value in range); a text is never one.
    std::optional<qint64> exactInteger() const;

    // The typed JSON form used by the defaults file: {"type": "int", "value": 3}; bytes as base64.
    // Written through Qt's writer, read back by the strict reader (JsonReader).
    QJsonValue toJson() const;
    static std::optional<DefaultsValue> fromJson(const JsonValue& json);

    friend bool operator==(const DefaultsValue& a, const DefaultsValue& b) { return a.value_ == b.value_; }

private:
    // Alternative order follows Type.
    std::variant<bool, qint64, double, QString, QByteArray, Array, Dictionary> value_{false};
};

}  // namespace korimado
