// Outside-editor replacement definitions: reading refuses only with invalidCotDefinition, every
// rule read carries the one shared settings block, and what reads is written and read back to the
// same bytes.
#include "FuzzSupport.h"

#include "search/batch/BatchReplaceEngine.h"
#include "search/batch/BatchReplaceError.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::optional<BatchReplaceDocument> document;
    try {
        document = BatchReplaceEngine::decodeCotReplacement(fuzz::bytes(data, size), QStringLiteral("f"));
    } catch (const BatchReplaceError& error) {
        FUZZ_CHECK(error.kind() == BatchReplaceError::Kind::invalidCotDefinition);
        FUZZ_CHECK(error.errorDescription().startsWith(QStringLiteral(".cotrpl置換定義を読み込めません。")));
        return 0;
    }
    FUZZ_CHECK(document->version == 1 && document->name == QStringLiteral("f"));
    const QByteArray written = BatchReplaceEngine::encodeCotReplacement(*document);
    const BatchReplaceDocument back = BatchReplaceEngine::decodeCotReplacement(written, QStringLiteral("f"));
    FUZZ_CHECK(back.rules.size() == document->rules.size());
    for (qsizetype i = 0; i < back.rules.size(); ++i) {
        BatchReplaceRule expected = document->rules[i];
        expected.id = back.rules[i].id;
        FUZZ_CHECK(back.rules[i] == expected);
    }
    FUZZ_CHECK(BatchReplaceEngine::encodeCotReplacement(back) == written);
    return 0;
}
