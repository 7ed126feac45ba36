#include "platform/foundation/JsonKeyedContainer.h"

#include "platform/foundation/JsonDecodingError.h"

namespace korimado {

static const QString boolName = QStringLiteral("真偽値");
static const QString stringName = QStringLiteral("文字列");
static const QString integerName = QStringLiteral("整数");
static const QString unsignedName = QStringLiteral("0以上の整数");
static const QString arrayName = QStringLiteral("配列");
static const QString objectName = QStringLiteral("オブジェクト");

JsonKeyedContainer::JsonKeyedContainer(const JsonValue& value, QString codingPath)
    : value_(&value), path_(std::move(codingPath))
{
    if (value.type() != JsonValue::Type::object) throw JsonDecodingError::typeMismatch(path_, objectName);
}

QString JsonKeyedContainer::pathFor(const QString& key) const
{
    return path_.isEmpty() ? key : path_ + QLatin1Char('.') + key;
}

const JsonValue& JsonKeyedContainer::required(const QString& key) const
{
    const JsonValue* v = value_->member(key);
    if (!v) throw JsonDecodingError::keyNotFound(path_, key);
    if (v->isNull()) throw JsonDecodingError::valueNotFound(pathFor(key));
    return *v;
}

const JsonValue* JsonKeyedContainer::optional(const QString& key) const
{
    const JsonValue* v = value_->member(key);
    return v && !v->isNull() ? v : nullptr;
}

static bool boolOf(const JsonValue& v, const QString& path)
{
    if (v.type() != JsonValue::Type::boolean) throw JsonDecodingError::typeMismatch(path, boolName);
    return v.toBool();
}

static const QString& stringOf(const JsonValue& v, const QString& path)
{
    if (v.type() != JsonValue::Type::string) throw JsonDecodingError::typeMismatch(path, stringName);
    return v.toString();
}

static quint64 unsignedOf(const JsonValue& v, const QString& path)
{
    if (v.type() != JsonValue::Type::number) throw JsonDecodingError::typeMismatch(path, unsignedName);
    const std::optional<quint64> n = v.unsignedValue();
    if (!n) {
        throw JsonDecodingError::dataCorrupted(path, QStringLiteral("数値 ") + QString::fromLatin1(v.toNumberLiteral())
                                                         + QStringLiteral(" は0以上の64ビット整数として表せません。"));
    }
    return *n;
}

bool JsonKeyedContainer::decodeBool(const QString& key) const
{
    return boolOf(required(key), pathFor(key));
}

std::optional<bool> JsonKeyedContainer::decodeBoolIfPresent(const QString& key) const
{
    const JsonValue* v = optional(key);
    if (!v) return std::nullopt;
    return boolOf(*v, pathFor(key));
}

QString JsonKeyedContainer::decodeString(const QString& key) const
{
    return stringOf(required(key), pathFor(key));
}

std::optional<QString> JsonKeyedContainer::decodeStringIfPresent(const QString& key) const
{
    const JsonValue* v = optional(key);
    if (!v) return std::nullopt;
    return stringOf(*v, pathFor(key));
}

qint64 JsonKeyedContainer::decodeInteger(const QString& key) const
{
    const JsonValue& v = required(key);
    if (v.type() != JsonValue::Type::number) throw JsonDecodingError::typeMismatch(pathFor(key), integerName);
    const std::optional<qint64> n = v.integerValue();
    if (!n) {
        throw JsonDecodingError::dataCorrupted(pathFor(key), QStringLiteral("数値 ") + QString::fromLatin1(v.toNumberLiteral())
                                                                 + QStringLiteral(" は64ビット整数として表せません。"));
    }
    return *n;
}

quint64 JsonKeyedContainer::decodeUnsigned(const QString& key) const
{
    return unsignedOf(required(key), pathFor(key));
}

std::optional<quint64> JsonKeyedContainer::decodeUnsignedIfPresent(const QString& key) const
{
    const JsonValue* v = optional(key);
    if (!v) return std::nullopt;
    return unsignedOf(*v, pathFor(key));
}

const JsonValue::Array& JsonKeyedContainer::decodeArray(const QString& key) const
{
    const JsonValue& v = required(key);
    if (v.type() != JsonValue::Type::array) throw JsonDecodingError::typeMismatch(pathFor(key), arrayName);
    return v.toArray();
}

JsonKeyedContainer JsonKeyedContainer::nestedContainer(const QString& key) const
{
    return JsonKeyedContainer(required(key), pathFor(key));
}

}  // namespace korimado
