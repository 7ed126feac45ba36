// The program's JSON reader and the command-line client's, both over the one parser: they refuse
// the same texts, and read the others as the same tree (the client's texts with U+FFFD where the
// program keeps a lone surrogate).
#include "FuzzSupport.h"

#include "JsonNode.h"
#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonReader.h"

using namespace korimado;

namespace {

// The client's form of a text the program read.
std::string mended(const QString& text)
{
    QString copy = text;
    for (qsizetype i = 0; i < copy.size(); ++i) {
        if (copy[i].isHighSurrogate() && i + 1 < copy.size() && copy[i + 1].isLowSurrogate()) ++i;
        else if (copy[i].isSurrogate()) copy[i] = QChar::ReplacementCharacter;
    }
    return copy.toStdString();
}

bool same(const JsonValue& value, const wire::JsonNode& node)
{
    using Kind = wire::JsonNode::Kind;
    switch (value.type()) {
    case JsonValue::Type::null: return node.kind == Kind::null;
    case JsonValue::Type::boolean: return node.kind == Kind::boolean && node.boolean == value.toBool();
    case JsonValue::Type::number: return node.kind == Kind::number && node.text == value.toNumberLiteral().toStdString();
    case JsonValue::Type::string: return node.kind == Kind::string && node.text == mended(value.toString());
    case JsonValue::Type::array: {
        const JsonValue::Array& items = value.toArray();
        if (node.kind != Kind::array || node.items.size() != items.size()) return false;
        for (std::size_t i = 0; i < items.size(); ++i)
            if (!same(items[i], node.items[i])) return false;
        return true;
    }
    case JsonValue::Type::object: {
        const JsonValue::Object& members = value.toObject();
        if (node.kind != Kind::object || node.items.size() != members.size() || node.keys.size() != members.size())
            return false;
        for (std::size_t i = 0; i < members.size(); ++i)
            if (node.keys[i] != mended(members[i].key) || !same(members[i].value, node.items[i])) return false;
        return true;
    }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<wire::JsonNode> node =
        wire::JsonNode::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    std::optional<JsonValue> value;
    try {
        value = JsonReader::parse(fuzz::bytes(data, size));
    } catch (const JsonDecodingError& error) {
        FUZZ_CHECK(!error.errorDescription().isEmpty());
    }
    FUZZ_CHECK(node.has_value() == value.has_value());
    if (value) FUZZ_CHECK(same(*value, *node));
    return 0;
}
