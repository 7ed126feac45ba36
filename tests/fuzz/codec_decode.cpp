// Decoding with an encoding the user chose (the first byte picks it): the text never holds NUL,
// and bytes the codec writes are canonical: read back and written again they stay the same.
#include "FuzzSupport.h"

#include "document/TextCodec.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const TextEncoding encoding = TextEncoding::allCases()[data[0] % TextEncoding::count];
    const QByteArray input = fuzz::bytes(data + 1, size - 1);

    DecodedText decoded;
    try {
        decoded = TextCodec::decode(input, encoding);
    } catch (const CodecError& error) {
        FUZZ_CHECK(error.kind() == CodecError::unsupported);
        // Every byte is a character of ISO-8859-1, whatever a mark of another encoding would read.
        FUZZ_CHECK(encoding != TextEncoding::latin1 || input.contains('\0'));
        return 0;
    }
    FUZZ_CHECK(decoded.format.encoding == encoding);
    FUZZ_CHECK(!decoded.text.contains(QChar(0)));
    FUZZ_CHECK(!decoded.format.bom || encoding.supportsBOM());

    QByteArray written;
    try {
        written = TextCodec::encode(decoded.text, decoded.format);
    } catch (const CodecError& error) {
        FUZZ_CHECK(error.kind() == CodecError::unrepresentable && error.encoding() == encoding);
        return 0;
    }
    FUZZ_CHECK(TextCodec::reencodesExactly(input, decoded) == (written == input));

    DecodedText again;
    try {
        again = TextCodec::decode(written, encoding);
    } catch (const CodecError&) {
        FUZZ_CHECK(!"bytes the codec wrote must read back");
    }
    FUZZ_CHECK(TextCodec::reencodesExactly(written, again));
    return 0;
}
