// The event wire form against untrusted bytes: reading never fails but by refusing, whatever is
// read writes back to bytes that read to the same value, and the size is known before writing.
// Also the JSON form the command-line client reads and prints.
#include "FuzzSupport.h"

#include "platform/events/EventJson.h"
#include "platform/events/EventWireFormat.h"
#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    if (const std::optional<AppleEvent> event = EventWireFormat::decodeEvent(input)) {
        const QByteArray written = EventWireFormat::encode(*event);
        FUZZ_CHECK(EventWireFormat::encodedSize(*event) == written.size());
        const std::optional<AppleEvent> again = EventWireFormat::decodeEvent(written);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(EventWireFormat::encode(*again) == written);
        // Every value has a JSON form, and it reads back (reals that are not finite aside).
        for (const EventDescriptor::Item& item : event->parameters()) {
            const QByteArray json = JsonWriter::write(EventJson::json(item.value), {});
            try {
                (void)EventJson::descriptor(JsonReader::parse(json));
            } catch (const JsonDecodingError&) {
                FUZZ_CHECK(false);
            }
        }
    }
    if (const std::optional<EventDescriptor> value = EventWireFormat::decodeDescriptor(input)) {
        const QByteArray written = EventWireFormat::encode(*value);
        const std::optional<EventDescriptor> again = EventWireFormat::decodeDescriptor(written);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(EventWireFormat::encode(*again) == written);
    }
    // The same bytes as JSON text, as the client reads its arguments.
    try {
        if (const std::optional<EventDescriptor> value = EventJson::descriptor(JsonReader::parse(input))) {
            const QByteArray wire = EventWireFormat::encode(*value);
            FUZZ_CHECK(EventWireFormat::decodeDescriptor(wire).has_value());
        }
    } catch (const JsonDecodingError&) {
    }
    return 0;
}
