// The binary property-list reader: hostile trailers, offsets, counts, cycles and shared
// references end in an error, never a crash or a huge allocation; what it accepts writes and
// reads back equal.
#include "FuzzSupport.h"

#include "platform/foundation/BinaryPropertyList.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes = fuzz::bytes(data, size);
    // Most inputs would miss the header; give every one a chance past it.
    if (!bytes.startsWith("bplist00")) bytes.prepend("bplist00");
    PropertyList value;
    try {
        value = BinaryPropertyList::read(bytes);
    } catch (const PropertyListError&) {
        return 0;
    }
    try {
        FUZZ_CHECK(BinaryPropertyList::read(BinaryPropertyList::write(value)) == value);
    } catch (const PropertyListError&) {
        FUZZ_CHECK(!"what was read must write and read back");
    }
    return 0;
}
