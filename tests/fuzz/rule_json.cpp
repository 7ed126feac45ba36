// Own JSON rule files: reading refuses only with a decoding error or unsupportedVersion, and what
// reads is written and read back equal, the written bytes a fixed point.
#include "FuzzSupport.h"

#include "platform/foundation/JsonDecodingError.h"
#include "search/batch/BatchReplaceEngine.h"
#include "search/batch/BatchReplaceError.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::optional<BatchReplaceDocument> document;
    try {
        document = BatchReplaceEngine::decodeJSON(fuzz::bytes(data, size));
    } catch (const JsonDecodingError&) {
        return 0;
    } catch (const BatchReplaceError& error) {
        FUZZ_CHECK(error.kind() == BatchReplaceError::Kind::unsupportedVersion && error.version() != 1);
        return 0;
    }
    const QByteArray written = BatchReplaceEngine::encodeJSON(*document);
    try {
        const BatchReplaceDocument back = BatchReplaceEngine::decodeJSON(written);
        FUZZ_CHECK(back == *document);
        FUZZ_CHECK(BatchReplaceEngine::encodeJSON(back) == written);
    } catch (const JsonDecodingError&) {
        FUZZ_CHECK(!"a written rule file must read back");
    }
    return 0;
}
