// The event wire form against untrusted bytes: reading never fails but by refusing, whatever is
// read writes back to bytes that read to the same value, and the size is known before writing.
// The client's reader agrees with the program's, and everything it reads has a JSON form.
#include "FuzzSupport.h"

#include "platform/events/EventWireFormat.h"
#include "EventJson.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const std::string_view view(input.constData(), size_t(input.size()));

    const std::optional<AppleEvent> event = EventWireFormat::decodeEvent(input);
    const std::optional<wire::Event> plainEvent = wire::decodeEvent(view);
    FUZZ_CHECK(event.has_value() == plainEvent.has_value());
    if (event) {
        const QByteArray written = EventWireFormat::encode(*event);
        FUZZ_CHECK(EventWireFormat::encodedSize(*event) == written.size());
        const std::optional<AppleEvent> again = EventWireFormat::decodeEvent(written);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(EventWireFormat::encode(*again) == written);
        // Every value has a JSON form, and it reads back (reals that are not finite aside).
        for (const wire::Item& item : plainEvent->parameters) {
            std::string json;
            wire::EventJson::append(json, item.value);
            const std::optional<wire::JsonNode> node = wire::JsonNode::parse(json);
            FUZZ_CHECK(node.has_value());
            std::string bytes;
            wire::Writer writer(bytes);
            (void)wire::EventJson::write(*node, writer);
        }
    }
    const std::optional<EventDescriptor> value = EventWireFormat::decodeDescriptor(input);
    FUZZ_CHECK(value.has_value() == wire::decodeValue(view).has_value());
    if (value) {
        const QByteArray written = EventWireFormat::encode(*value);
        const std::optional<EventDescriptor> again = EventWireFormat::decodeDescriptor(written);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(EventWireFormat::encode(*again) == written);
    }
    return 0;
}
