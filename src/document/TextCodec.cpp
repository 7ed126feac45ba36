#include "document/TextCodec.h"

#include "document/EncodingConverter.h"
#include "document/LineEnding.h"
#include "document/UnicodeForms.h"

#include "platform/foundation/ParallelParts.h"

#include <QByteArrayView>

#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace korimado {

namespace {

struct ByteMarks {
    bool escape = false;  // ESC: ISO-2022-JP is tried first
    bool nul = false;     // NUL: no ASCII-based encoding reads it
};

// One pass for both bytes, in parts at once for a large text.
ByteMarks markBytes(QByteArrayView data)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.data());
    const size_t size = static_cast<size_t>(data.size());
    const size_t parts = parallelPartCount(size, size_t(4) << 20, 8);
    std::vector<unsigned char> escape(parts, 0), nul(parts, 0);
    runInParts(parts, [&](size_t k) {
        size_t i = size * k / parts;
        const size_t end = size * (k + 1) / parts;
        unsigned foundEscape = 0, foundNul = 0;
#ifdef __SSE2__
        const __m128i esc = _mm_set1_epi8(0x1B);
        const __m128i zero = _mm_setzero_si128();
        __m128i e = zero, z = zero;
        for (; i + 16 <= end; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            e = _mm_or_si128(e, _mm_cmpeq_epi8(v, esc));
            z = _mm_or_si128(z, _mm_cmpeq_epi8(v, zero));
        }
        foundEscape = unsigned(_mm_movemask_epi8(e));
        foundNul = unsigned(_mm_movemask_epi8(z));
#endif
        for (; i < end; ++i) {
            foundEscape |= bytes[i] == 0x1B;
            foundNul |= bytes[i] == 0;
        }
        escape[k] = foundEscape != 0;
        nul[k] = foundNul != 0;
    });
    ByteMarks marks;
    for (size_t k = 0; k < parts; ++k) {
        marks.escape = marks.escape || escape[k];
        marks.nul = marks.nul || nul[k];
    }
    return marks;
}

// Decodes with the encoding and keeps the text only if it encodes back into exactly these bytes.
std::optional<QString> decodeExactly(TextEncoding encoding, QByteArrayView data)
{
    std::optional<QString> text = EncodingConverter::toText(encoding, data);
    if (!text) return std::nullopt;
    const std::optional<QByteArray> back = EncodingConverter::fromText(encoding, *text);
    if (!back || QByteArrayView(*back) != data) return std::nullopt;
    return text;
}

struct Detection {
    TextEncoding encoding;
    std::optional<QString> text;  // the decoded text, when detection already produced it
    bool withoutNul = false;      // the bytes hold no NUL, and the encoding makes none of others
};

Detection detect(QByteArrayView data)
{
    std::optional<QString> iso2022;
    const ByteMarks marks = markBytes(data);
    const bool hasEscape = marks.escape;
    if (hasEscape) {
        iso2022 = decodeExactly(TextEncoding::iso2022JP, data);
        if (iso2022) return {TextEncoding::iso2022JP, std::move(iso2022)};
    }
    const bool hasNul = marks.nul;
    if (!hasNul) {
        if (std::optional<QString> text = EncodingConverter::toText(TextEncoding::utf8, data)) {
            return {TextEncoding::utf8, std::move(text), true};
        }
    }
    if (hasNul) throw CodecError::makeUnsupported();

    QList<TextEncoding> fitting;
    std::optional<QString> first;
    for (TextEncoding candidate : {TextEncoding::shiftJIS, TextEncoding::eucJP, TextEncoding::iso2022JP}) {
        // ISO-2022-JP was already tried above when the data holds an escape; the answer is the same.
        std::optional<QString> text = candidate == TextEncoding::iso2022JP && hasEscape
            ? std::nullopt
            : decodeExactly(candidate, data);
        if (!text) continue;
        fitting.append(candidate);
        if (!first) first = std::move(text);
    }
    if (fitting.isEmpty()) throw CodecError::makeUnsupported();
    if (fitting.size() > 1) throw CodecError::makeAmbiguous(fitting);
    return {fitting.first(), std::move(first)};
}

}  // namespace

namespace {

DecodedText decodeText(const QByteArray& data, std::optional<TextEncoding> requested);

}  // namespace

DecodedText TextCodec::decode(const QByteArray& data, std::optional<TextEncoding> requested)
{
    DecodedText decoded = decodeText(data, requested);
    readLineEndings(decoded);
    return decoded;
}

DecodedText TextCodec::decodeLeavingLineEndings(const QByteArray& data)
{
    return decodeText(data, std::nullopt);
}

void TextCodec::readLineEndings(DecodedText& decoded)
{
    const QList<LineEnding> kinds = LineEnding::kinds(decoded.text);
    decoded.format.lineEnding = kinds.isEmpty() ? LineEnding(LineEnding::lf) : kinds.first();
    decoded.format.mixedLineEndings = kinds.size() > 1;
}

namespace {

DecodedText decodeText(const QByteArray& data, std::optional<TextEncoding> requested)
{
    if (data.size() > TextCodec::maximumFileSize) throw CodecError::makeTooLarge();

    QByteArrayView body(data);
    std::optional<TextEncoding> encoding;
    bool bom = false;
    // UTF-32 LE before UTF-16 LE: FF FE 00 00 begins both. Only an encoding with a mark reads one:
    // in Latin-1 or Windows-1252 the same bytes are ordinary characters.
    const bool readsMark = !requested || requested->supportsBOM();
    if (const std::optional<TextEncoding> marked = readsMark ? TextCodec::markedEncoding(data) : std::nullopt) {
        if (requested && *requested != *marked) throw CodecError::makeUndecodable(*requested);
        encoding = marked;
        bom = true;
        body = body.sliced(marked->marker().size());
    }

    std::optional<QString> text;
    bool withoutNul = false;
    if (!encoding && requested) encoding = requested;
    if (!encoding) {
        Detection found = detect(body);
        encoding = found.encoding;
        text = std::move(found.text);
        withoutNul = found.withoutNul;
    }
    if (!text) text = EncodingConverter::toText(*encoding, body);
    if (!text || (!withoutNul && text->contains(QChar(0)))) {
        if (requested) throw CodecError::makeUndecodable(*requested);
        throw CodecError::makeUnsupported();
    }

    TextFormat format;
    format.encoding = *encoding;
    format.bom = bom;
    format.lineEnding = LineEnding::lf;
    format.mixedLineEndings = false;
    return DecodedText{std::move(*text), format};
}

}  // namespace

QByteArray TextCodec::encode(const QString& text, const TextFormat& format)
{
    const TextEncoding encoding = format.encoding;
    std::optional<QByteArray> bytes = EncodingConverter::fromText(encoding, text);
    if (!bytes) throw CodecError::makeUnrepresentable(encoding);
    // A table-driven converter may map a character to bytes that read back as another one. The
    // Unicode forms are encoded by hand and refuse unpaired surrogates, so what they write always
    // reads back unchanged; checking 64 MiB again would only double the cost of saving.
    if (!encoding.supportsBOM()) {
        const std::optional<QString> back = EncodingConverter::toText(encoding, *bytes);
        if (!back || *back != text) throw CodecError::makeUnrepresentable(encoding);
    }
    if (format.bom && encoding.supportsBOM()) bytes->prepend(encoding.marker());
    return std::move(*bytes);
}

std::optional<TextEncoding> TextCodec::markedEncoding(const QByteArray& data)
{
    for (TextEncoding marked : {TextEncoding::utf32LE, TextEncoding::utf32BE, TextEncoding::utf8,
                                TextEncoding::utf16LE, TextEncoding::utf16BE}) {
        if (data.startsWith(marked.marker())) return marked;
    }
    return std::nullopt;
}

bool TextCodec::reencodesExactly(const QByteArray& data, const DecodedText& decoded)
{
    try {
        return encode(decoded.text, decoded.format) == data;
    } catch (const CodecError&) {
        return false;
    }
}

qsizetype TextCodec::encodedSize(const QString& text, const TextFormat& format)
{
    const TextEncoding encoding = format.encoding;
    if (!encoding.supportsBOM()) return encode(text, format).size();
    if (!UnicodeForms::isWellFormed(text)) throw CodecError::makeUnrepresentable(encoding);
    const qsizetype mark = format.bom ? encoding.marker().size() : 0;
    switch (encoding) {
    case TextEncoding::utf16LE:
    case TextEncoding::utf16BE: return mark + 2 * text.size();
    case TextEncoding::utf32LE:
    case TextEncoding::utf32BE: {
        qsizetype scalars = 0;
        for (const QChar c : text) scalars += c.isLowSurrogate() ? 0 : 1;
        return mark + 4 * scalars;
    }
    default: {
        qsizetype bytes = 0;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            // A surrogate pair makes four bytes: two for each half.
            bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : QChar::isSurrogate(u) ? 2 : 3;
        }
        return mark + bytes;
    }
    }
}

}  // namespace korimado
