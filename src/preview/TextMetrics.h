#pragma once

#include <QtGlobal>

#include <optional>

namespace korimado {

// What the statistics engine delivers for one request.
struct TextMetrics {
    qint64 characters = 0;          // of the whole text
    qint64 selectedCharacters = 0;  // in the selection
    qint64 position = 0;            // before the selection start
    std::optional<qint64> bytes;    // the saved size; none when the format cannot hold the text

    friend bool operator==(const TextMetrics&, const TextMetrics&) = default;
};

}  // namespace korimado
