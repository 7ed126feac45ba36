#include "JsonNode.h"

#include "platform/wire/JsonParser.h"

#include <cstdint>

namespace korimado::wire {

namespace {

// Builds the tree in place: an open container is the last item of the one around it, which grows
// only once it is closed again.
class NodeBuilder final : public JsonEvents {
public:
    JsonNode root;

    void null() override { add(JsonNode::Kind::null); }
    void boolean(bool value) override { add(JsonNode::Kind::boolean).boolean = value; }
    void number(std::string_view literal) override { add(JsonNode::Kind::number).text = literal; }
    void string(std::string_view text) override
    {
        JsonNode& node = add(JsonNode::Kind::string);
        node.text = text;
        replaceLoneSurrogates(node.text);
    }
    void key(std::string_view text) override
    {
        std::string& key = open_.back()->keys.emplace_back(text);
        replaceLoneSurrogates(key);
    }
    void beginArray() override { open_.push_back(&add(JsonNode::Kind::array)); }
    void beginObject() override { open_.push_back(&add(JsonNode::Kind::object)); }
    void endArray() override { open_.pop_back(); }
    void endObject() override { open_.pop_back(); }

private:
    JsonNode& add(JsonNode::Kind kind)
    {
        JsonNode& node = open_.empty() ? root : open_.back()->items.emplace_back();
        node.kind = kind;
        return node;
    }

    std::vector<JsonNode*> open_;
};

}  // namespace

std::optional<JsonNode> JsonNode::parse(std::string_view utf8)
{
    NodeBuilder builder;
    if (JsonParser::parse(utf8, builder))
        return std::nullopt;
    return std::move(builder.root);
}

void appendJsonString(std::string& out, std::string_view utf8)
{
    out += '"';
    appendJsonStringContents(out, utf8);
    out += '"';
}

void appendJsonStringContents(std::string& out, std::string_view utf8)
{
    static const char hex[] = "0123456789abcdef";
    std::size_t plain = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = std::uint8_t(utf8[i]);
        const char* escape = nullptr;
        switch (c) {
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        case '\b': escape = "\\b"; break;
        case '\f': escape = "\\f"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\t': escape = "\\t"; break;
        default:
            if (c >= 0x20)
                continue;
        }
        out.append(utf8.data() + plain, i - plain);
        plain = i + 1;
        if (escape) {
            out += escape;
        } else {
            const char unit[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            out.append(unit, sizeof unit);
        }
    }
    out.append(utf8.data() + plain, utf8.size() - plain);
}

}  // namespace korimado::wire
