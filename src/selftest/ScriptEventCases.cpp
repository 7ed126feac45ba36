#include "selftest/ScriptEventCases.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace korimado::ScriptEventCases {

namespace {

// Reads the members of one object, remembering the first fault.
class Fields {
public:
    Fields(const QJsonObject& object, qsizetype index, QString* error) : object_(object), index_(index), error_(error) {}

    bool ok() const { return ok_; }

    QString string(const char* key) { return required(key, QJsonValue::String).toString(); }
    bool boolean(const char* key) { return required(key, QJsonValue::Bool).toBool(); }
    std::optional<QString> optionalString(const char* key)
    {
        const QJsonValue v = optional(key, QJsonValue::String);
        return v.isString() ? std::optional(v.toString()) : std::nullopt;
    }
    std::optional<bool> optionalBoolean(const char* key)
    {
        const QJsonValue v = optional(key, QJsonValue::Bool);
        return v.isBool() ? std::optional(v.toBool()) : std::nullopt;
    }
    std::optional<int> optionalInteger(const char* key)
    {
        const QJsonValue v = optional(key, QJsonValue::Double);
        if (!v.isDouble()) return std::nullopt;
        const double d = v.toDouble();
        if (d != static_cast<double>(static_cast<int>(d))) {
            failWith(key, "an integer");
            return std::nullopt;
        }
        return static_cast<int>(d);
    }

private:
    QJsonValue required(const char* key, QJsonValue::Type type)
    {
        const QJsonValue v = object_.value(QLatin1String(key));
        if (v.isUndefined()) failWith(key, "present");
        else if (v.type() != type) failWith(key, typeName(type));
        return v;
    }
    QJsonValue optional(const char* key, QJsonValue::Type type)
    {
        const QJsonValue v = object_.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull()) return {};
        if (v.type() != type) {
            failWith(key, typeName(type));
            return {};
        }
        return v;
    }
    static const char* typeName(QJsonValue::Type type)
    {
        return type == QJsonValue::String ? "a string" : type == QJsonValue::Bool ? "a boolean" : "a number";
    }
    void failWith(const char* key, const char* what)
    {
        if (!ok_) return;
        ok_ = false;
        if (error_)
            *error_ = QStringLiteral("case %1: \"%2\" must be %3").arg(index_).arg(QLatin1String(key), QLatin1String(what));
    }

    const QJsonObject& object_;
    qsizetype index_;
    QString* error_;
    bool ok_ = true;
};

std::optional<QJsonArray> array(const QByteArray& json, QString* error)
{
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        if (error) *error = parse.errorString();
        return std::nullopt;
    }
    if (!document.isArray()) {
        if (error) *error = QStringLiteral("the file is not a JSON array");
        return std::nullopt;
    }
    return document.array();
}

bool isObject(const QJsonValue& value, qsizetype index, QString* error)
{
    if (value.isObject()) return true;
    if (error) *error = QStringLiteral("case %1 is not an object").arg(index);
    return false;
}

}  // namespace

std::optional<QList<ReplaceCase>> decodeReplaceCases(const QByteArray& json, QString* error)
{
    const std::optional<QJsonArray> items = array(json, error);
    if (!items) return std::nullopt;
    QList<ReplaceCase> cases;
    for (qsizetype i = 0; i < items->size(); ++i) {
        if (!isObject(items->at(i), i, error)) return std::nullopt;
        const QJsonObject object = items->at(i).toObject();
        Fields f(object, i, error);
        ReplaceCase c{f.string("id"),
                      f.string("source"),
                      f.string("pattern"),
                      f.string("replacement"),
                      f.boolean("regex"),
                      f.boolean("ignoreCase"),
                      f.optionalInteger("count"),
                      f.optionalString("output"),
                      f.optionalString("error"),
                      f.optionalBoolean("skipExactComparison")};
        if (!f.ok()) return std::nullopt;
        cases.append(std::move(c));
    }
    return cases;
}

std::optional<QList<NormalizationCase>> decodeNormalizationCases(const QByteArray& json, QString* error)
{
    const std::optional<QJsonArray> items = array(json, error);
    if (!items) return std::nullopt;
    QList<NormalizationCase> cases;
    for (qsizetype i = 0; i < items->size(); ++i) {
        if (!isObject(items->at(i), i, error)) return std::nullopt;
        const QJsonObject object = items->at(i).toObject();
        Fields f(object, i, error);
        NormalizationCase c{f.string("form"), f.string("source"), f.string("output"), f.string("error")};
        if (!f.ok()) return std::nullopt;
        cases.append(std::move(c));
    }
    return cases;
}

}  // namespace korimado::ScriptEventCases
