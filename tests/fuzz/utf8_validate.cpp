// The vector UTF-8 check against the byte-at-a-time one: the two agree on every input, whatever its
// length and wherever a sequence straddles a 32-byte block.
#include "FuzzSupport.h"

#include "platform/wire/Utf8Validation.h"

#include <string_view>

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool scalar = wire::isWellFormedUtf8Scalar(bytes);
    FUZZ_CHECK(wire::isWellFormedUtf8Vector(bytes) == scalar);
    FUZZ_CHECK(wire::isWellFormedUtf8(bytes) == scalar);
    // Behind each of 1 to 40 bytes of ASCII: the same input at every offset within a block.
    if (size < 512) {
        std::string shifted;
        shifted.reserve(size + 40);
        for (std::size_t offset = 1; offset <= 40; ++offset) {
            shifted.assign(offset, 'a');
            shifted.append(bytes);
            FUZZ_CHECK(wire::isWellFormedUtf8Vector(shifted) == scalar);
        }
    }
    return 0;
}
