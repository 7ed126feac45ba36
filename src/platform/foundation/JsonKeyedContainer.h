#pragma once

#include "platform/foundation/JsonValue.h"

#include <QString>

#include <optional>

namespace korimado {

// Strict keyed decoding of one JSON object, with the coding path every error names. A required
// key must be present with a value of its type (null counts as missing); an optional key may be
// absent or null. Keys nobody asks for are ignored. Every failure throws JsonDecodingError.
class JsonKeyedContainer {
public:
    // Throws typeMismatch when value is not an object.
    JsonKeyedContainer(const JsonValue& value, QString codingPath);

    const QString& codingPath() const { return path_; }
    QString pathFor(const QString& key) const;

    bool decodeBool(const QString& key) const;
    std::optional<bool> decodeBoolIfPresent(const QString& key) const;
    QString decodeString(const QString& key) const;
    std::optional<QString> decodeStringIfPresent(const QString& key) const;
    qint64 decodeInteger(const QString& key) const;
    quint64 decodeUnsigned(const QString& key) const;
    std::optional<quint64> decodeUnsignedIfPresent(const QString& key) const;
    const JsonValue::Array& decodeArray(const QString& key) const;
    // Any value but null.
    const JsonValue& decodeValue(const QString& key) const { return required(key); }
    JsonKeyedContainer nestedContainer(const QString& key) const;

private:
    const JsonValue& required(const QString& key) const;
    const JsonValue* optional(const QString& key) const;

    const JsonValue* value_;
    QString path_;
};

}  // namespace korimado
