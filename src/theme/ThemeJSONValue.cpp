#include "theme/ThemeJSONValue.h"

#include "theme/EditorThemeError.h"

#include <QJsonArray>
#include <QJsonObject>

namespace korimado {

ThemeJSONValue::ThemeJSONValue(const QJsonValue& any) : value_(any)
{
    if (any.isUndefined()) throw EditorThemeError::invalidJSON();
}

ThemeJSONValue::Kind ThemeJSONValue::kind() const
{
    switch (value_.type()) {
    case QJsonValue::Bool: return Kind::boolValue;
    case QJsonValue::Double: return Kind::number;
    case QJsonValue::String: return Kind::string;
    case QJsonValue::Array: return Kind::array;
    case QJsonValue::Object: return Kind::object;
    case QJsonValue::Null:
    case QJsonValue::Undefined: break;
    }
    return Kind::null;
}

bool ThemeJSONValue::equal(const QJsonValue& a, const QJsonValue& b)
{
    if (a.type() != b.type()) return false;
    switch (a.type()) {
    case QJsonValue::Bool: return a.toBool() == b.toBool();
    case QJsonValue::Double: return a.toDouble() == b.toDouble();
    case QJsonValue::String: return a.toString() == b.toString();
    case QJsonValue::Array: {
        const QJsonArray x = a.toArray();
        const QJsonArray y = b.toArray();
        if (x.size() != y.size()) return false;
        for (qsizetype i = 0; i < x.size(); ++i) {
            if (!equal(x.at(i), y.at(i))) return false;
        }
        return true;
    }
    case QJsonValue::Object: {
        const QJsonObject x = a.toObject();
        const QJsonObject y = b.toObject();
        if (x.size() != y.size()) return false;
        for (auto it = x.begin(); it != x.end(); ++it) {
            const auto other = y.constFind(it.key());
            if (other == y.constEnd() || !equal(it.value(), other.value())) return false;
        }
        return true;
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined: return true;
    }
    return false;
}

}  // namespace korimado
