#include "platform/events/EventJson.h"

#include <cmath>

namespace korimado {

namespace {

using D = EventDescriptor;

bool fail(QString* error, const QString& message)
{
    if (error && error->isEmpty())
        *error = message;
    return false;
}

bool readCode(const JsonValue& json, FourCharCode& out, QString* error)
{
    if (json.type() != JsonValue::Type::string || !isCodeText(json.toString()))
        return fail(error, QStringLiteral("コードは英数字など4文字の文字列で書いてください。"));
    out = code(json.toString());
    return true;
}

// A code written bare ("docu") or tagged ({"type":"docu"} / {"enum":"name"}).
bool readBareOrTaggedCode(const JsonValue& json, const char* tag, FourCharCode& out, QString* error)
{
    if (json.type() == JsonValue::Type::object && json.toObject().size() == 1
        && json.toObject().front().key == QLatin1String(tag))
        return readCode(json.toObject().front().value, out, error);
    return readCode(json, out, error);
}

bool convert(const JsonValue& json, D& out, QString* error, int depth);

bool convertObjectSpecifier(const JsonValue& json, D& out, QString* error, int depth)
{
    if (json.type() != JsonValue::Type::object)
        return fail(error, QStringLiteral("\"obj\" にはwant、form、seld、fromのオブジェクトを書いてください。"));
    FourCharCode want = 0;
    FourCharCode form = 0;
    D seld;
    D from;
    bool hasWant = false;
    bool hasForm = false;
    bool hasSeld = false;
    for (const JsonMember& member : json.toObject()) {
        if (member.key == QLatin1String("want")) {
            if (!readBareOrTaggedCode(member.value, "type", want, error)) return false;
            hasWant = true;
        } else if (member.key == QLatin1String("form")) {
            if (!readBareOrTaggedCode(member.value, "enum", form, error)) return false;
            hasForm = true;
        } else if (member.key == QLatin1String("seld")) {
            if (!convert(member.value, seld, error, depth + 1)) return false;
            hasSeld = true;
        } else if (member.key == QLatin1String("from")) {
            if (!convert(member.value, from, error, depth + 1)) return false;
        } else {
            return fail(error, QStringLiteral("\"obj\" に使えない項目「%1」があります。").arg(member.key));
        }
    }
    if (!hasWant || !hasForm || !hasSeld)
        return fail(error, QStringLiteral("\"obj\" にはwant、form、seldが必要です。"));
    out = D::objectSpecifier(want, form, std::move(seld), std::move(from));
    return true;
}

bool convert(const JsonValue& json, D& out, QString* error, int depth)
{
    if (depth > 64)
        return fail(error, QStringLiteral("値の入れ子が深すぎます。"));
    switch (json.type()) {
    case JsonValue::Type::null:
        out = D();
        return true;
    case JsonValue::Type::boolean:
        out = D::boolean(json.toBool());
        return true;
    case JsonValue::Type::number:
        if (const std::optional<qint64> integer = json.integerValue()) {
            out = D::integer(*integer);
            return true;
        } else {
            bool ok = false;
            const double value = json.toNumberLiteral().toDouble(&ok);
            if (!ok || !std::isfinite(value))
                return fail(error, QStringLiteral("数値が大きすぎます。"));
            out = D::real(value);
            return true;
        }
    case JsonValue::Type::string:
        out = D::text(json.toString());
        return true;
    case JsonValue::Type::array: {
        std::vector<D> values;
        for (const JsonValue& item : json.toArray()) {
            D value;
            if (!convert(item, value, error, depth + 1)) return false;
            values.push_back(std::move(value));
        }
        out = D::list(std::move(values));
        return true;
    }
    case JsonValue::Type::object:
        break;
    }
    const JsonValue::Object& object = json.toObject();
    if (object.size() != 1)
        return fail(error, QStringLiteral("オブジェクトは \"type\"、\"enum\"、\"obj\"、\"record\" のどれか一つだけを持ちます。"));
    const QString& tag = object.front().key;
    const JsonValue& value = object.front().value;
    FourCharCode code = 0;
    if (tag == QLatin1String("type") || tag == QLatin1String("enum")) {
        if (!readCode(value, code, error)) return false;
        out = tag == QLatin1String("type") ? D::typeCode(code) : D::enumerated(code);
        return true;
    }
    if (tag == QLatin1String("obj"))
        return convertObjectSpecifier(value, out, error, depth);
    if (tag == QLatin1String("record")) {
        if (value.type() != JsonValue::Type::object)
            return fail(error, QStringLiteral("\"record\" には4文字のキーを持つオブジェクトを書いてください。"));
        std::vector<D::Item> items;
        for (const JsonMember& member : value.toObject()) {
            if (!isCodeText(member.key))
                return fail(error, QStringLiteral("レコードのキー「%1」は4文字ではありません。").arg(member.key));
            D item;
            if (!convert(member.value, item, error, depth + 1)) return false;
            items.push_back({korimado::code(member.key), std::move(item)});
        }
        out = D::record(std::move(items));
        return true;
    }
    return fail(error, QStringLiteral("「%1」という種類の値は使えません。").arg(tag));
}

JsonValue tagged(const char* tag, JsonValue value)
{
    JsonValue object{JsonValue::Object{}};
    object.insert(QString::fromLatin1(tag), std::move(value));
    return object;
}

}  // namespace

std::optional<EventDescriptor> EventJson::descriptor(const JsonValue& json, QString* error)
{
    D value;
    if (!convert(json, value, error, 0))
        return std::nullopt;
    return value;
}

JsonValue EventJson::json(const EventDescriptor& value)
{
    switch (value.type()) {
    case D::typeNull:
        return JsonValue();
    case D::typeBoolean:
        return JsonValue(*value.toBoolean());
    case D::typeInteger:
    case D::typeInteger64:
        return JsonValue::integer(*value.toInteger());
    case D::typeReal: {
        const double real = *value.toReal();
        if (!std::isfinite(real))
            return JsonValue();
        return JsonValue::numberLiteral(QByteArray::number(real, 'g', 17));
    }
    case D::typeUTF8Text:
    case D::typeUnicodeText:
        return JsonValue(*value.toText());
    case D::typeType:
        return tagged("type", JsonValue(codeString(*value.toCode())));
    case D::typeEnumerated:
        return tagged("enum", JsonValue(codeString(*value.toCode())));
    case D::typeList: {
        JsonValue::Array array;
        for (const D::Item& item : value.items())
            array.push_back(json(item.value));
        return JsonValue(std::move(array));
    }
    case D::typeRecord:
    case D::typeObjectSpecifier: {
        JsonValue members{JsonValue::Object{}};
        for (const D::Item& item : value.items()) {
            // An object specifier's want and form read best bare.
            const bool bare = value.isObjectSpecifier() && (item.key == D::keyWant || item.key == D::keyForm)
                              && item.value.toCode();
            members.insert(codeString(item.key), bare ? JsonValue(codeString(*item.value.toCode())) : json(item.value));
        }
        return tagged(value.isObjectSpecifier() ? "obj" : "record", std::move(members));
    }
    default: {
        JsonValue opaque{JsonValue::Object{}};
        opaque.insert(QStringLiteral("type"), JsonValue(codeString(value.type())));
        opaque.insert(QStringLiteral("base64"), JsonValue(QString::fromLatin1(value.opaqueData().toBase64())));
        return tagged("opaque", std::move(opaque));
    }
    }
}

}  // namespace korimado
