// Tab-separated rule text: the lenient reader never fails and keeps only rules with a find text
// and no break; the strict one agrees or names a line; what reads is written and read back to
// the same rules, unless the writer refuses a first find text that begins with U+FEFF.
#include "FuzzSupport.h"

#include "document/UnicodeForms.h"
#include "search/batch/BatchReplaceEngine.h"
#include "search/batch/BatchReplaceError.h"

using namespace korimado;

namespace {

bool sameTexts(const BatchReplaceDocument& a, const BatchReplaceDocument& b)
{
    if (a.rules.size() != b.rules.size()) return false;
    for (qsizetype i = 0; i < a.rules.size(); ++i) {
        if (a.rules[i].find != b.rules[i].find || a.rules[i].replacement != b.rules[i].replacement) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<QString> text =
        UnicodeForms::decode(UnicodeForms::Form::utf8, QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!text) return 0;
    const BatchReplaceDocument document = BatchReplaceEngine::importTSV(*text, QStringLiteral("f"), false);
    for (const BatchReplaceRule& rule : document.rules) {
        FUZZ_CHECK(!rule.find.isEmpty() && !rule.find.contains(u'\t') && !rule.replacement.contains(u'\t'));
        FUZZ_CHECK(rule.enabled && rule.options == BatchReplaceRule::standardRuleOptions());
    }
    // A leading byte-order mark is no part of the first rule.
    if (text->startsWith(QChar(0xFEFF)) && !text->mid(1).startsWith(QChar(0xFEFF)))
        FUZZ_CHECK(sameTexts(BatchReplaceEngine::importTSV(text->mid(1), QStringLiteral("f"), false), document));
    try {
        FUZZ_CHECK(sameTexts(BatchReplaceEngine::importTSV(*text, QStringLiteral("f"), true), document));
    } catch (const BatchReplaceError& error) {
        FUZZ_CHECK(error.kind() == BatchReplaceError::Kind::invalidTSVLine && error.number() >= 1);
    }

    QString exported;
    try {
        exported = BatchReplaceEngine::exportTSV(document);
    } catch (const BatchReplaceError& error) {
        FUZZ_CHECK(error.kind() == BatchReplaceError::Kind::lossyTSVExport && error.number() == 1);
        FUZZ_CHECK(error.reason() == BatchReplaceError::leadingMarkReason);
        return 0;
    }
    const BatchReplaceDocument back = BatchReplaceEngine::importTSV(exported, QStringLiteral("f"), false);
    FUZZ_CHECK(sameTexts(back, document));
    FUZZ_CHECK(BatchReplaceEngine::exportTSV(back) == exported);
    return 0;
}
