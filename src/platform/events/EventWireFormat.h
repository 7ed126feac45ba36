#pragma once

#include "platform/events/AppleEvent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace korimado {

// The bytes events travel in between processes (platform/wire, shared with the command-line client),
// read to and written from the program's values. Every value is its type (four bytes), the length
// of its payload (four bytes, big-endian) and the payload: integers, reals and codes big-endian,
// text as UTF-8 ("utxt" as UTF-16BE), a list its values one after the other, a record or object
// specifier each key (four bytes) followed by its value. An event is a value of type "aevt" whose
// payload is the class, the ID and the keyed parameters.
//
// Reading trusts nothing: every length is checked against the bytes left, fixed-size values must
// have their size, text must be well-formed, nesting stops at maximumDepth, and nothing may follow
// the value.
class EventWireFormat {
public:
    EventWireFormat() = delete;

    static constexpr FourCharCode typeEvent = fourCharCode("aevt");
    static constexpr int maximumDepth = 64;

    static QByteArray encode(const EventDescriptor& value);
    static QByteArray encode(const AppleEvent& event);
    // Into out, which holds encodedSize(event) bytes (a mapped file, say).
    static void encode(const AppleEvent& event, char* out);
    // The size encode() gives, without encoding (text is measured, not converted).
    static qint64 encodedSize(const AppleEvent& event);

    // None, with a message in error (English, for diagnostics), when the bytes are not one value.
    static std::optional<EventDescriptor> decodeDescriptor(QByteArrayView bytes, QString* error = nullptr);
    static std::optional<AppleEvent> decodeEvent(QByteArrayView bytes, QString* error = nullptr);
};

}  // namespace korimado
