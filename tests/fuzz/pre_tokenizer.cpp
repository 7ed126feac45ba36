// The token counter's hand-written pre-tokenizers against their ICU expressions: on text of
// every class the expressions name (and the letters their case-insensitive parts fold), both
// split into the same pieces. The first byte picks the encoding and whether the rest is raw UTF-16.
#include "FuzzSupport.h"

#include "preview/PreTokenizer.h"

using namespace korimado;

namespace {

QString textOf(const std::uint8_t* data, std::size_t size, bool raw)
{
    if (raw) {
        QString text;
        for (std::size_t i = 0; i + 1 < size; i += 2) text += QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        return text;
    }
    static const char32_t alphabet[] = {
        u'a', u'Z', u's', u'S', u't', u'T', u'r', u'R', u'e', u'E', u'v', u'V', u'm', u'M', u'l', u'L', u'd', u'D',
        u'\'', u'/', u' ', u'\t', u'\n', u'\r', u'\v', u'\f', u'.', u'!', u'"', u'0', u'7', 0x00A0, 0x0085, 0x1680,
        0x2028, 0x2029, 0x3000, 0x200B, 0x017F, 0x212A, 0x00DF, 0x01C5, 0x02B0, 0x3042, 0x30A2, 0x6F22, 0x0301,
        0x0903, 0x20DD, 0x0660, 0x2167, 0x00B2, 0xFF10, 0xFF21, 0xFF41, 0x3002, 0xFB05, 0x1E9E, 0x1D400, 0x1D41A,
        0x20000, 0x1D7CE, 0x1D165, 0x1F600, 0xD800, 0xDC00};
    QString text;
    for (std::size_t i = 0; i < size; ++i) {
        const char32_t c = alphabet[data[i] % std::size(alphabet)];
        if (c < 0x10000) {
            text += QChar(static_cast<char16_t>(c));
        } else {
            text += QString::fromUcs4(&c, 1);
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const TokenEncoding encoding = (data[0] & 1) ? TokenEncoding::cl100k : TokenEncoding::o200k;
    const QString text = textOf(data + 1, size - 1, (data[0] & 2) != 0);
    const std::vector<qsizetype> expected = PreTokenizer::expressionEnds(encoding, text);
    FUZZ_CHECK(PreTokenizer(encoding).ends(text) == expected);
    FUZZ_CHECK(expected.empty() ? text.isEmpty() : expected.back() == text.size());
    return 0;
}
