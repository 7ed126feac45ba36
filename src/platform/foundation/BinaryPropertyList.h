#pragma once

#include "platform/foundation/PropertyList.h"

namespace korimado {

// The binary property-list form ("bplist00"). Reading trusts nothing: the trailer, the offset
// table and every count are checked against the bytes there before anything is allocated, every
// reference must name an object, a reference back to an object on the current path is a cycle,
// and nesting and the values expanded from shared references are bounded (PropertyList limits).
class BinaryPropertyList {
public:
    // Throws PropertyListError.
    static PropertyList read(QByteArrayView data);
    // Equal strings are written once and shared.
    static QByteArray write(const PropertyList& value);
};

}  // namespace korimado
