// The tokenizer and the outline of the built-in languages: the first byte picks the language, the
// rest is the text (UTF-8). Spans are ordered, apart and inside the text; outline entries start
// on a character that is not white space, on the line the entry names.
#include "FuzzSupport.h"

#include "syntax/SyntaxLanguage.h"
#include "syntax/SyntaxParser.h"

using namespace korimado;

namespace {

// The 1-based line of a position, counted the simple way.
int lineAt(const QString& text, qsizetype location)
{
    int line = 1;
    for (qsizetype i = 0; i < location; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) continue;
        if (c == u'\n' || c == u'\r' || c == 0x0085 || c == 0x2028 || c == 0x2029) ++line;
    }
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::vector<SyntaxLanguage>& languages = SyntaxLanguage::builtIn();
    const SyntaxLanguage& language = languages[data[0] % languages.size()];
    const QString text = QString::fromUtf8(fuzz::bytes(data + 1, size - 1));

    const SyntaxParser::Result result = SyntaxParser::parse(text, language, 500);
    FUZZ_CHECK(result.tokens.size() <= 500);
    qsizetype end = 0;
    for (const SyntaxTokenSpan& token : result.tokens) {
        FUZZ_CHECK(token.range.location >= end && token.range.length > 0);
        end = token.range.end();
        FUZZ_CHECK(end <= text.size());
    }
    FUZZ_CHECK(result.outline.size() <= 500);
    for (const SyntaxOutlineEntry& entry : result.outline) {
        FUZZ_CHECK(entry.range.location >= 0 && entry.range.end() <= text.size());
        FUZZ_CHECK(entry.level >= 1);
        FUZZ_CHECK(entry.line == lineAt(text, entry.range.location));
        FUZZ_CHECK(entry.range.isEmpty() || !text[entry.range.location].isSpace());
    }
    return 0;
}
