// The XML property-list reader: whatever it accepts writes in binary and reads back equal, and,
// where XML can carry it, writes as XML and reads back equal too.
#include "FuzzSupport.h"

#include "platform/foundation/BinaryPropertyList.h"
#include "platform/foundation/XMLPropertyList.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    PropertyList value;
    try {
        value = XMLPropertyList::read(fuzz::bytes(data, size));
    } catch (const PropertyListError&) {
        return 0;
    }
    try {
        FUZZ_CHECK(BinaryPropertyList::read(BinaryPropertyList::write(value)) == value);
        if (XMLPropertyList::canWrite(value)) FUZZ_CHECK(XMLPropertyList::read(XMLPropertyList::write(value)) == value);
    } catch (const PropertyListError&) {
        FUZZ_CHECK(!"what was read must write and read back");
    }
    return 0;
}
