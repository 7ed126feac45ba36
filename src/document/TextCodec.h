#pragma once

#include "document/CodecError.h"
#include "document/DecodedText.h"
#include "document/TextEncoding.h"
#include "document/TextFormat.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace korimado {

// File bytes to text and back. Both directions are strict: a conversion that would lose or alter
// a character fails with a CodecError instead. Pure functions, callable from any thread.
class TextCodec {
public:
    // The largest file that is read (64 MiB).
    static constexpr qsizetype maximumFileSize = 67'108'864;

    // Decodes with the requested encoding, or detects it when none is given: byte-order mark,
    // ISO-2022-JP escapes, UTF-8, then the Japanese encodings that re-encode exactly.
    // Throws CodecError.
    static DecodedText decode(const QByteArray& data, std::optional<TextEncoding> requested = std::nullopt);
    // The same without looking at the line endings: the format says LF, not mixed, until
    // readLineEndings is called. For a reader that needs them only in some texts (a folder
    // search, in files with a hit).
    static DecodedText decodeLeavingLineEndings(const QByteArray& data);
    // Sets decoded's line ending and mixed flag from its text, as decode does.
    static void readLineEndings(DecodedText& decoded);

    // Encodes with the format's encoding after checking that the bytes read back as the same
    // text, with the byte-order mark when asked for and the encoding has one. Line breaks are
    // written as they stand. Throws CodecError.
    static QByteArray encode(const QString& text, const TextFormat& format);
    // The size of encode(text, format), with the same refusals. The Unicode forms are counted
    // without building the bytes, so that counting a large document costs no copy of it.
    static qsizetype encodedSize(const QString& text, const TextFormat& format);

    // The encoding whose byte-order mark data begins with, as automatic detection tests them
    // (UTF-32 LE before UTF-16 LE, whose mark begins it); none when data has no mark.
    static std::optional<TextEncoding> markedEncoding(const QByteArray& data);

    // Whether decoded, written again in its own format, gives back exactly data. Detection only
    // accepts such decodings; a chosen encoding may read several byte sequences as one character,
    // and saving then rewrites bytes the user never touched.
    static bool reencodesExactly(const QByteArray& data, const DecodedText& decoded);
};

}  // namespace korimado
