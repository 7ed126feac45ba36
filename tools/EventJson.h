#pragma once

#include "JsonNode.h"
#include "platform/wire/WireFormat.h"

#include <string>

namespace korimado::wire {

// Event values written as JSON, for the command-line client: null, booleans, numbers (integers
// within 64 bits as integers, others as reals), strings as text and arrays as lists as they
// stand; codes and containers as objects of one member: {"type":"PCnt"}, {"enum":"cCup"},
// {"record":{"kocl":…}}, {"obj":{"want":"docu","form":"name","seld":"a.txt","from":null}} (in
// an object specifier "want" and "form" may be written as bare codes; "from" may be left out).
class EventJson {
public:
    EventJson() = delete;

    // Writes the value json names; false, with the reason in error (Japanese, for the user), when
    // it names none (the writer then holds part of it).
    static bool write(const JsonNode& json, Writer& writer, std::string* error = nullptr);
    // Every value has a JSON form; a type without one is written {"opaque":{"type":…,"base64":…}}.
    static void append(std::string& out, const Value& value);
};

}  // namespace korimado::wire
