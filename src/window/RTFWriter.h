#pragma once

#include "platform/text/TextRange.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace korimado {

// A small writer of Rich Text Format for styled copies: one font, and colours over ranges of the
// text. Every character outside ASCII is written as a Unicode escape, so that Japanese text and
// emoji survive any reader's code page.
class RTFWriter {
public:
    struct Run {
        TextRange range;  // in the text given to write
        std::optional<std::uint32_t> foreground;  // 0xRRGGBB
        std::optional<std::uint32_t> background;
    };

    // Runs may come in any order and need not cover the text; where they overlap the later wins.
    static QByteArray write(const QString& text, const QString& fontFamily, double pointSize, const std::vector<Run>& runs);
};

}  // namespace korimado
