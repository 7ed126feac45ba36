#pragma once

#include "platform/foundation/PropertyList.h"

#include <optional>

namespace korimado {

// The text forms of the XML property list's scalars. Readers take the element's UTF-8 text as it
// stands; the XML white space around a number or date is allowed.
class PropertyListScalars {
public:
    PropertyListScalars() = delete;

    // Decimal with an optional sign, or hexadecimal after "0x"; -2^63 to 2^64 - 1.
    static std::optional<PropertyList> parseInteger(QByteArrayView text);
    // A decimal number, or "nan", "inf", "infinity" with an optional sign, in any case.
    static std::optional<double> parseReal(QByteArrayView text);
    // "2024-05-06T07:08:09Z", the later parts optional from the month on; always UTC.
    static std::optional<PropertyList::Date> parseDate(QByteArrayView text);
    // Base64 with white space anywhere; any other character outside the alphabet is an error.
    static std::optional<QByteArray> parseBase64(QByteArrayView text);

    // The shortest text that reads back to the same double ("4", "0.1", "+infinity", "nan").
    static QByteArray formatReal(double value);
    // Whole seconds, UTC.
    static QByteArray formatDate(PropertyList::Date date);
    // Whether formatDate gives a text parseDate takes back: a finite date in the years 0 to 9999.
    static bool canFormatDate(PropertyList::Date date);
};

}  // namespace korimado
