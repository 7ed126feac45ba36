#pragma once

#include <QByteArray>
#include <QStringView>

namespace korimado {

// UTF-16 to UTF-8; a surrogate that is not half of a pair becomes U+FFFD. Large texts are encoded
// in parts at the same time, each into its place.
class Utf8Encoder {
public:
    // The bytes encodeInto writes for text.
    static qsizetype length(QStringView text);
    // Writes length(text) bytes at out.
    static void encodeInto(QStringView text, char* out);
    static QByteArray encode(QStringView text);
};

}  // namespace korimado
