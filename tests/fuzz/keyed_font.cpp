// The keyed-archive font record: what is read writes in binary and reads back equal.
#include "FuzzSupport.h"

#include "platform/foundation/KeyedArchive.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ArchivedFont font;
    try {
        font = KeyedArchive::decodeFont(fuzz::bytes(data, size));
    } catch (const PropertyListError&) {
        return 0;
    }
    try {
        FUZZ_CHECK(KeyedArchive::decodeFont(KeyedArchive::encodeFont(font)) == font);
    } catch (const PropertyListError&) {
        FUZZ_CHECK(!"a font that was read must write and read back");
    }
    return 0;
}
