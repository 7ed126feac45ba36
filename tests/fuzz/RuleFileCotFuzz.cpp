// Outside-editor replacement definitions: reading never crashes; a definition that reads is
// written and read back to the same bytes.
#include "search/BatchReplaceEngine.h"
#include "search/BatchReplaceError.h"

#include <cstdint>
#include <cstdlib>

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const BatchReplaceDocument document = BatchReplaceEngine::decodeCotReplacement(bytes, QStringLiteral("f"));
        const QByteArray written = BatchReplaceEngine::encodeCotReplacement(document);
        const QByteArray again = BatchReplaceEngine::encodeCotReplacement(
            BatchReplaceEngine::decodeCotReplacement(written, QStringLiteral("f")));
        if (again != written) std::abort();
    } catch (const BatchReplaceError&) {
    }
    return 0;
}
