// Automatic detection: whatever it accepts must be written back byte for byte, and the
// extension-less sniffing must agree with it on what counts as text.
#include "FuzzSupport.h"

#include "document/LineEnding.h"
#include "document/TextCodec.h"
#include "document/TextDocumentSupport.h"
#include "platform/text/StringChecks.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const bool looksLikeText = TextDocumentSupport::looksLikeText(input.left(TextDocumentSupport::sniffLength));

    DecodedText decoded;
    try {
        decoded = TextCodec::decode(input);
    } catch (const CodecError&) {
        return 0;
    }
    FUZZ_CHECK(!decoded.text.contains(QChar(0)));
    QByteArray back;
    try {
        back = TextCodec::encode(decoded.text, decoded.format);
    } catch (const CodecError&) {
        FUZZ_CHECK(!"a detected text must encode again");
    }
    FUZZ_CHECK(back == input);
    FUZZ_CHECK(TextCodec::encodedSize(decoded.text, decoded.format) == back.size());

    const QList<LineEnding> kinds = LineEnding::kinds(decoded.text);
    FUZZ_CHECK(decoded.format.lineEnding == (kinds.isEmpty() ? LineEnding(LineEnding::lf) : kinds.first()));
    FUZZ_CHECK(decoded.format.mixedLineEndings == (kinds.size() > 1));

    // What opening reads whole and finds free of control characters, the sidebar offers too
    // (leaving aside what it takes for binary: NUL bytes and document formats).
    const bool binary = input.contains('\0') || input.startsWith("%PDF-") || input.startsWith("PK\x03\x04");
    const bool wholeInTheHead = input.size() <= TextDocumentSupport::sniffLength;
    if (wholeInTheHead && !binary && !containsControlCharacterBesidesWhiteSpace(decoded.text)) FUZZ_CHECK(looksLikeText);
    return 0;
}
