#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korimado::wire {

// A JSON value as the command-line client reads its arguments, read by the one strict parser
// (JsonParser). Strings are kept in UTF-8; an escaped lone surrogate becomes U+FFFD, as it would
// on the wire.
struct JsonNode {
    enum class Kind { null, boolean, number, string, array, object };

    Kind kind = Kind::null;
    bool boolean = false;
    std::string text;               // a string, or a number's literal as written
    std::vector<std::string> keys;  // an object's, in order, one per item
    std::vector<JsonNode> items;    // an array's values, an object's member values

    // None when the text is not one JSON value.
    static std::optional<JsonNode> parse(std::string_view utf8);
};

// Appends well-formed UTF-8 as a JSON string: quotes, backslashes and control characters escaped,
// everything else as it stands.
void appendJsonString(std::string& out, std::string_view utf8);
// The same without the quotes: a long text escaped a slice at a time, cut anywhere.
void appendJsonStringContents(std::string& out, std::string_view utf8);

}  // namespace korimado::wire
