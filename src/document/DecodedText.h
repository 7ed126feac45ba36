#pragma once

#include "document/TextFormat.h"

#include <QString>

namespace korimado {

// A file's text (without its byte-order mark) and the format it was read with.
struct DecodedText {
    QString text;
    TextFormat format;
};

}  // namespace korimado
