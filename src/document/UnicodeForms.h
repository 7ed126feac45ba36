#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace korimado {

// Strict conversions between text and the Unicode encoding forms, written out by hand because
// they carry the largest files: malformed input (a bad or truncated sequence, an unpaired
// surrogate, a code point past U+10FFFF) fails the whole conversion and nothing is replaced.
class UnicodeForms {
public:
    enum class Form { utf8, utf16LE, utf16BE, utf32LE, utf32BE };

    static std::optional<QString> decode(Form form, QByteArrayView bytes);
    static std::optional<QByteArray> encode(Form form, QStringView text);

    // True when every surrogate in the text is part of a pair.
    static bool isWellFormed(QStringView text);

private:
    static std::optional<QString> decodeUtf8(QByteArrayView bytes);
    static std::optional<QString> decodeUtf16(QByteArrayView bytes, bool bigEndian);
    static std::optional<QString> decodeUtf32(QByteArrayView bytes, bool bigEndian);
    static QByteArray encodeUtf16(QStringView text, bool bigEndian);
    static QByteArray encodeUtf32(QStringView text, bool bigEndian);
};

}  // namespace korimado
