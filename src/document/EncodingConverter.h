#pragma once

#include "document/TextEncoding.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace korimado {

// The strict conversion behind each TextEncoding: no substitution, no lossy fallback; a byte the
// encoding does not define, or a character it cannot hold, fails the whole conversion (none).
// Converters are cached per thread, so any thread may call it.
//
// Shift JIS, EUC-JP and ISO-2022-JP read the JIS wave dash (Shift JIS 81 60, EUC-JP A1 C1) as
// U+301C WAVE DASH, the character input methods type for 〜; U+FF5E FULLWIDTH TILDE then has no
// byte sequence of its own in Shift JIS and ISO-2022-JP and is refused; in EUC-JP it is JIS X 0212's
// tilde, 8F A2 B7, and reads and writes as those bytes.
class EncodingConverter {
public:
    static std::optional<QString> toText(TextEncoding encoding, QByteArrayView bytes);
    static std::optional<QByteArray> fromText(TextEncoding encoding, QStringView text);

    // The folder holding our own conversion tables (the Shift JIS X0213 table).
    static QString tablesDirectory();
};

}  // namespace korimado
