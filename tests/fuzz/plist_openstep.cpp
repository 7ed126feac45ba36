// The old text property-list reader: whatever it accepts writes in binary and reads back equal.
#include "FuzzSupport.h"

#include "platform/foundation/BinaryPropertyList.h"
#include "platform/foundation/OpenStepPropertyList.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    PropertyList value;
    try {
        value = OpenStepPropertyList::read(fuzz::bytes(data, size));
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
