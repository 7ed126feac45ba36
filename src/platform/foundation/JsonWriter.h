#pragma once

#include "platform/foundation/JsonValue.h"

#include <QByteArray>

namespace korimado {

// Writes JSON text in UTF-8. Non-ASCII text is written as UTF-8, never as \u escapes; quotation
// marks, backslashes and control characters are escaped as JSON requires, and so is a lone
// surrogate (the reader takes it back).
class JsonWriter {
public:
    struct Options {
        bool prettyPrinted = false;  // two-space indent, "key" : value
        bool sortedKeys = false;     // object keys in ascending UTF-16 order
        bool escapesSolidus = true;  // "/" written as "\/"
    };

    static QByteArray write(const JsonValue& value, Options options);
};

}  // namespace korimado
