// Tab-separated rule text: reading never fails in the lenient mode, and what it reads exports and
// reads back to the same rules.
#include "document/UnicodeForms.h"
#include "search/BatchReplaceEngine.h"
#include "search/BatchReplaceError.h"

#include <cstdint>
#include <cstdlib>

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<QString> text =
        UnicodeForms::decode(UnicodeForms::Form::utf8, QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!text) return 0;
    const BatchReplaceDocument document = BatchReplaceEngine::importTSV(*text, QStringLiteral("f"), false);
    const QString exported = BatchReplaceEngine::exportTSV(document);
    const BatchReplaceDocument back = BatchReplaceEngine::importTSV(exported, QStringLiteral("f"), false);
    if (back.rules.size() != document.rules.size()) std::abort();
    for (qsizetype i = 0; i < back.rules.size(); ++i) {
        if (back.rules[i].find != document.rules[i].find || back.rules[i].replacement != document.rules[i].replacement)
            std::abort();
    }
    return 0;
}
