#pragma once

#include "platform/foundation/PropertyList.h"

namespace korimado {

// The XML property-list form. Reading skips any doctype and knows no entity but the five
// predefined ones and character references; a dictionary whose one key is "CF$UID" with an integer
// is a UID, as keyed archives write them. Writing refuses UIDs and strings with characters XML 1.0
// forbids; a carriage return is written as a character reference so that it reads back.
class XMLPropertyList {
public:
    // Throws PropertyListError.
    static PropertyList read(QByteArrayView data);
    // Throws PropertyListError when canWrite is false.
    static QByteArray write(const PropertyList& value);
    static bool canWrite(const PropertyList& value);
};

}  // namespace korimado
