#pragma once

#include "platform/events/EventDescriptor.h"
#include "platform/foundation/JsonValue.h"

#include <QString>

#include <optional>

namespace korimado {

// Event values written as JSON, for the command-line client: null, booleans, numbers (integers
// within 64 bits as integers, others as reals), strings as text and arrays as lists as they
// stand; codes and containers as objects of one member: {"type":"PCnt"}, {"enum":"cCup"},
// {"record":{"kocl":…}}, {"obj":{"want":"docu","form":"name","seld":"a.txt","from":null}} (in
// an object specifier "want" and "form" may be written as bare codes; "from" may be left out).
class EventJson {
public:
    EventJson() = delete;

    // None, with the reason in error (Japanese, for the user), when the value is not one of these.
    static std::optional<EventDescriptor> descriptor(const JsonValue& json, QString* error = nullptr);
    // Every value has a JSON form; a type without one is written {"opaque":{"type":…,"base64":…}}.
    static JsonValue json(const EventDescriptor& value);
};

}  // namespace korimado
