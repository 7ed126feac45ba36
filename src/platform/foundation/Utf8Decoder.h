#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace korimado {

// UTF-8 to UTF-16, checked: shortest forms only, no surrogates, nothing past U+10FFFF; none at
// the first malformed sequence. A leading U+FEFF is kept as text. Large texts are decoded in parts
// at the same time, into a string of exactly their size.
class Utf8Decoder {
public:
    static std::optional<QString> decode(QByteArrayView bytes);
};

}  // namespace korimado
