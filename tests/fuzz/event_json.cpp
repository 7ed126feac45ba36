// The command-line client's JSON reader against untrusted text: it refuses or reads, and what it
// reads and turns into a value is one value on the wire, which prints back as JSON it reads again.
#include "FuzzSupport.h"

#include "EventJson.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::optional<wire::JsonNode> json = wire::JsonNode::parse(input);
    if (!json)
        return 0;
    std::string bytes;
    wire::Writer writer(bytes);
    std::string error;
    if (!wire::EventJson::write(*json, writer, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(writer.size() == bytes.size());
    const std::optional<wire::Value> value = wire::decodeValue(bytes);
    FUZZ_CHECK(value.has_value());
    std::string printed;
    wire::EventJson::append(printed, *value);
    FUZZ_CHECK(wire::JsonNode::parse(printed).has_value());
    return 0;
}
