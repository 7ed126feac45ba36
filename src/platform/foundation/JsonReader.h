#pragma once

#include "platform/foundation/JsonValue.h"
#include "platform/wire/JsonParser.h"

#include <QByteArrayView>

namespace korimado {

// JSON text as a JsonValue, read by the one strict parser (wire::JsonParser: RFC 8259 in UTF-8, a
// leading byte-order mark skipped). An escaped lone surrogate (\ud800) is kept as that unit, so
// text the writer wrote always reads back.
class JsonReader {
public:
    // Throws JsonDecodingError (dataCorrupted) naming the byte where reading stopped.
    static JsonValue parse(QByteArrayView utf8);

    // Deeper nesting is refused rather than risk the stack.
    static constexpr int maximumDepth = wire::JsonParser::maximumDepth;
};

}  // namespace korimado
