#pragma once

#include "platform/foundation/PropertyList.h"

namespace korimado {

// The old text form: { key = value; }, ( a, b ), <0fbd 7782>, quoted or bare strings, C comments,
// and a top level of bare "key = value;" pairs. Every scalar reads as a string; hexadecimal in
// angle brackets as data. The text is UTF-8, or UTF-16 after a byte-order mark.
class OpenStepPropertyList {
public:
    // Throws PropertyListError.
    static PropertyList read(QByteArrayView data);
};

}  // namespace korimado
