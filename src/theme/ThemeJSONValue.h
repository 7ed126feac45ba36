#pragma once

#include <QJsonValue>
#include <QMap>
#include <QString>

namespace korimado {

// Any JSON value a theme file holds, kept so that writing the theme back loses nothing.
class ThemeJSONValue {
public:
    enum class Kind { boolValue, number, string, array, object, null };

    ThemeJSONValue() = default;  // null
    // Throws EditorThemeError::invalidJSON for a value no JSON text can hold (undefined).
    explicit ThemeJSONValue(const QJsonValue& any);

    Kind kind() const;
    // The value for the JSON writer.
    const QJsonValue& foundationValue() const { return value_; }

    // Same kind and equal payloads: numbers as doubles, arrays in order, objects as maps.
    friend bool operator==(const ThemeJSONValue& a, const ThemeJSONValue& b) { return equal(a.value_, b.value_); }

private:
    static bool equal(const QJsonValue& a, const QJsonValue& b);

    QJsonValue value_;
};

using ThemeJSONObject = QMap<QString, ThemeJSONValue>;

}  // namespace korimado
