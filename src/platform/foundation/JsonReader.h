#pragma once

#include "platform/foundation/JsonValue.h"

#include <QByteArrayView>

namespace korimado {

// A strict reader of JSON text (RFC 8259) in UTF-8: one value, nothing after it but white space,
// no comments or trailing commas, well-formed UTF-8, no raw control characters in strings, no key
// twice in one object. A leading UTF-8 byte-order mark is skipped. An escaped lone surrogate
// (\ud800) is kept as that unit, so text the writer wrote always reads back.
class JsonReader {
public:
    // Throws JsonDecodingError (dataCorrupted) naming the byte where reading stopped.
    static JsonValue parse(QByteArrayView utf8);

    // Deeper nesting is refused rather than risk the stack.
    static constexpr int maximumDepth = 512;
};

}  // namespace korimado
