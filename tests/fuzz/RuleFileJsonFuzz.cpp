// Own JSON rule files: reading never crashes, and what reads is written back and read again equal.
#include "platform/foundation/JsonDecodingError.h"
#include "search/BatchReplaceEngine.h"
#include "search/BatchReplaceError.h"

#include <cstdint>
#include <cstdlib>

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const BatchReplaceDocument document = BatchReplaceEngine::decodeJSON(bytes);
        const QByteArray written = BatchReplaceEngine::encodeJSON(document);
        if (!(BatchReplaceEngine::decodeJSON(written) == document)) std::abort();
        if (BatchReplaceEngine::encodeJSON(BatchReplaceEngine::decodeJSON(written)) != written) std::abort();
    } catch (const JsonDecodingError&) {
    } catch (const BatchReplaceError&) {
    }
    return 0;
}
