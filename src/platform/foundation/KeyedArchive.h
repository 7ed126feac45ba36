#pragma once

#include "platform/foundation/PropertyList.h"

namespace korimado {

// A font as a keyed archive records it: only its name and point size are kept.
struct ArchivedFont {
    QString name;
    double pointSize = 0;
    friend bool operator==(const ArchivedFont&, const ArchivedFont&) = default;
};

// The keyed-archive record of a font: a property list whose "$objects" hold the font object, its
// name and its class, linked by UIDs from "$top"'s "root".
class KeyedArchive {
public:
    KeyedArchive() = delete;

    // Any property-list format. Throws PropertyListError when the bytes are not such a record: no
    // "$archiver" of the keyed archiver, a UID naming no object, a root whose class is not the
    // font class, a name that is not a string or a size that is not a finite number.
    static ArchivedFont decodeFont(QByteArrayView data);
    // The binary record.
    static QByteArray encodeFont(const ArchivedFont& font);
};

}  // namespace korimado
