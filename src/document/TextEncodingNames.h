#pragma once

#include "document/TextEncoding.h"

#include <QString>

namespace korimado {

// What an encoding is called where the user or a script reads it: the localized name the status
// line's encoding pop-up shows and scripts read, and the IANA charset name.
class TextEncodingNames {
public:
    TextEncodingNames() = delete;

    // "Unicode (UTF-8)", "日本語 (Shift JIS)"…; the display name where there is no other.
    static QString localizedName(TextEncoding encoding);
    // The IANA registry's name, lower-cased ("utf-8", "shift_jis"); the display name unchanged
    // for an encoding the registry does not name (Shift JIS X0213).
    static QString ianaName(TextEncoding encoding);
};

}  // namespace korimado
