#include "EventJson.h"

#include "platform/wire/JsonParser.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace korimado::wire {

namespace {

using Kind = JsonNode::Kind;

bool fail(std::string* error, std::string message)
{
    if (error && error->empty())
        *error = std::move(message);
    return false;
}

bool readCode(const JsonNode& json, FourCharCode& out, std::string* error)
{
    if (json.kind != Kind::string || !isCodeText(json.text))
        return fail(error, "コードは英数字など4文字の文字列で書いてください。");
    out = code(json.text);
    return true;
}

// A code written bare ("docu") or tagged ({"type":"docu"} / {"enum":"name"}).
bool readBareOrTaggedCode(const JsonNode& json, std::string_view tag, FourCharCode& out, std::string* error)
{
    if (json.kind == Kind::object && json.keys.size() == 1 && json.keys.front() == tag)
        return readCode(json.items.front(), out, error);
    return readCode(json, out, error);
}

bool convert(const JsonNode& json, Writer& writer, std::string* error, int depth);

bool convertObjectSpecifier(const JsonNode& json, Writer& writer, std::string* error, int depth)
{
    if (json.kind != Kind::object)
        return fail(error, "\"obj\" にはwant、form、seld、fromのオブジェクトを書いてください。");
    const JsonNode* want = nullptr;
    const JsonNode* form = nullptr;
    const JsonNode* seld = nullptr;
    const JsonNode* from = nullptr;
    for (std::size_t i = 0; i < json.keys.size(); ++i) {
        const std::string& key = json.keys[i];
        const JsonNode* member = &json.items[i];
        if (key == "want") want = member;
        else if (key == "form") form = member;
        else if (key == "seld") seld = member;
        else if (key == "from") from = member;
        else return fail(error, "\"obj\" に使えない項目「" + key + "」があります。");
    }
    FourCharCode wantCode = 0;
    FourCharCode formCode = 0;
    if ((want && !readBareOrTaggedCode(*want, "type", wantCode, error))
        || (form && !readBareOrTaggedCode(*form, "enum", formCode, error)))
        return false;
    if (!want || !form || !seld)
        return fail(error, "\"obj\" にはwant、form、seldが必要です。");
    const std::size_t mark = writer.begin(typeObjectSpecifier);
    writer.key(fourCharCode("want"));
    writer.code(typeType, wantCode);
    writer.key(fourCharCode("form"));
    writer.code(typeEnumerated, formCode);
    writer.key(fourCharCode("seld"));
    if (!convert(*seld, writer, error, depth + 1))
        return false;
    writer.key(fourCharCode("from"));
    if (from) {
        if (!convert(*from, writer, error, depth + 1))
            return false;
    } else {
        writer.null();
    }
    writer.end(mark);
    return true;
}

bool convertNumber(const std::string& literal, Writer& writer, std::string* error)
{
    std::int64_t integer = 0;
    const char* end = literal.data() + literal.size();
    if (literal.find_first_of(".eE") == std::string::npos) {
        const auto [stop, failure] = std::from_chars(literal.data(), end, integer);
        if (failure == std::errc() && stop == end) {
            if (integer >= std::numeric_limits<std::int32_t>::min() && integer <= std::numeric_limits<std::int32_t>::max())
                writer.integer32(std::int32_t(integer));
            else
                writer.integer64(integer);
            return true;
        }
    }
    // The client never sets a locale: the point is a point.
    const double value = std::strtod(literal.c_str(), nullptr);
    if (!std::isfinite(value))
        return fail(error, "数値が大きすぎます。");
    writer.real(value);
    return true;
}

bool convert(const JsonNode& json, Writer& writer, std::string* error, int depth)
{
    if (depth > 64)
        return fail(error, "値の入れ子が深すぎます。");
    switch (json.kind) {
    case Kind::null:
        writer.null();
        return true;
    case Kind::boolean:
        writer.boolean(json.boolean);
        return true;
    case Kind::number:
        return convertNumber(json.text, writer, error);
    case Kind::string:
        writer.text(json.text);
        return true;
    case Kind::array: {
        const std::size_t mark = writer.begin(typeList);
        for (const JsonNode& item : json.items)
            if (!convert(item, writer, error, depth + 1))
                return false;
        writer.end(mark);
        return true;
    }
    case Kind::object:
        break;
    }
    if (json.keys.size() != 1)
        return fail(error, "オブジェクトは \"type\"、\"enum\"、\"obj\"、\"record\" のどれか一つだけを持ちます。");
    const std::string& tag = json.keys.front();
    const JsonNode& value = json.items.front();
    if (tag == "type" || tag == "enum") {
        FourCharCode code = 0;
        if (!readCode(value, code, error))
            return false;
        writer.code(tag == "type" ? typeType : typeEnumerated, code);
        return true;
    }
    if (tag == "obj")
        return convertObjectSpecifier(value, writer, error, depth);
    if (tag == "record") {
        if (value.kind != Kind::object)
            return fail(error, "\"record\" には4文字のキーを持つオブジェクトを書いてください。");
        const std::size_t mark = writer.begin(typeRecord);
        for (std::size_t i = 0; i < value.keys.size(); ++i) {
            if (!isCodeText(value.keys[i]))
                return fail(error, "レコードのキー「" + value.keys[i] + "」は4文字ではありません。");
            writer.key(code(value.keys[i]));
            if (!convert(value.items[i], writer, error, depth + 1))
                return false;
        }
        writer.end(mark);
        return true;
    }
    return fail(error, "「" + tag + "」という種類の値は使えません。");
}

void appendCode(std::string& out, FourCharCode code)
{
    appendJsonString(out, codeText(code));
}

void appendTagged(std::string& out, const char* tag)
{
    out += "{\"";
    out += tag;
    out += "\":";
}

std::string base64(std::string_view bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const std::uint32_t group = (std::uint32_t(std::uint8_t(bytes[i])) << 16)
                                    | (left > 1 ? std::uint32_t(std::uint8_t(bytes[i + 1])) << 8 : 0)
                                    | (left > 2 ? std::uint32_t(std::uint8_t(bytes[i + 2])) : 0);
        out += alphabet[(group >> 18) & 63];
        out += alphabet[(group >> 12) & 63];
        out += left > 1 ? alphabet[(group >> 6) & 63] : '=';
        out += left > 2 ? alphabet[group & 63] : '=';
    }
    return out;
}

// UTF-16BE as a JSON string: pairs as their character, a lone surrogate as its escape.
void appendUtf16(std::string& out, std::string_view bigEndian)
{
    static const char hex[] = "0123456789abcdef";
    std::string utf8;
    const std::size_t count = bigEndian.size() / 2;
    const auto unitAt = [&](std::size_t i) {
        return char16_t((std::uint8_t(bigEndian[2 * i]) << 8) | std::uint8_t(bigEndian[2 * i + 1]));
    };
    out += '"';
    const auto flush = [&] {
        const std::size_t at = out.size();
        appendJsonString(out, utf8);
        // Without its quotes: the string goes on.
        out.erase(at, 1);
        out.pop_back();
        utf8.clear();
    };
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = unitAt(i);
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(unitAt(i + 1)) - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            flush();
            const char escape[] = {'\\', 'u', hex[unit >> 12], hex[(unit >> 8) & 0xF], hex[(unit >> 4) & 0xF], hex[unit & 0xF]};
            out.append(escape, sizeof escape);
            continue;
        }
        appendUtf8(utf8, cp);
    }
    flush();
    out += '"';
}

void appendReal(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char digits[32];
    const int length = std::snprintf(digits, sizeof digits, "%.17g", value);
    out.append(digits, std::size_t(length));
}

}  // namespace

bool EventJson::write(const JsonNode& json, Writer& writer, std::string* error)
{
    return convert(json, writer, error, 0);
}

void EventJson::append(std::string& out, const Value& value)
{
    switch (value.type) {
    case typeNull:
        out += "null";
        return;
    case typeBoolean:
        out += value.boolean() ? "true" : "false";
        return;
    case typeInteger:
    case typeInteger64:
        out += std::to_string(value.integer());
        return;
    case typeReal:
        appendReal(out, value.real());
        return;
    case typeUTF8Text:
        appendJsonString(out, value.payload);
        return;
    case typeUnicodeText:
        appendUtf16(out, value.payload);
        return;
    case typeType:
    case typeEnumerated:
        appendTagged(out, value.type == typeType ? "type" : "enum");
        appendCode(out, value.code());
        out += '}';
        return;
    case typeList:
        out += '[';
        for (std::size_t i = 0; i < value.items.size(); ++i) {
            if (i)
                out += ',';
            append(out, value.items[i].value);
        }
        out += ']';
        return;
    case typeRecord:
    case typeObjectSpecifier: {
        const bool specifier = value.type == typeObjectSpecifier;
        appendTagged(out, specifier ? "obj" : "record");
        out += '{';
        bool first = true;
        for (std::size_t i = 0; i < value.items.size(); ++i) {
            const FourCharCode key = value.items[i].key;
            // A key given twice is written once, where it first stands, with its last value.
            bool earlier = false;
            for (std::size_t k = 0; k < i && !earlier; ++k)
                earlier = value.items[k].key == key;
            if (earlier)
                continue;
            const Value* item = &value.items[i].value;
            for (std::size_t k = i + 1; k < value.items.size(); ++k)
                if (value.items[k].key == key)
                    item = &value.items[k].value;
            if (!first)
                out += ',';
            first = false;
            appendCode(out, key);
            out += ':';
            // An object specifier's want and form read best bare.
            if (specifier && (key == fourCharCode("want") || key == fourCharCode("form"))
                && (item->type == typeType || item->type == typeEnumerated))
                appendCode(out, item->code());
            else
                append(out, *item);
        }
        out += "}}";
        return;
    }
    default:
        out += "{\"opaque\":{\"type\":";
        appendCode(out, value.type);
        out += ",\"base64\":\"";
        out += base64(value.payload);
        out += "\"}}";
        return;
    }
}

}  // namespace korimado::wire
