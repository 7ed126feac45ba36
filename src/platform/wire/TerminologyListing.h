#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korimado::wire {

// The listing of the scripting terms, with the four-character codes a script passes to
// korimado-event beside every command, parameter, class, property and enumerator: what the Help
// menu's dictionary shows and what `korimado-event --list` prints, read from the scripting
// dictionary (an sdef) whenever it is asked for. Plain C++ so that the client shares it.
class TerminologyListing {
public:
    TerminologyListing() = delete;

    static constexpr const char* title = "Korimado 用語辞書";

    // The listing of a dictionary's XML, in UTF-8; none when it does not parse. Nothing is loaded
    // from outside the text.
    static std::optional<std::string> listing(std::string_view xml);
};

}  // namespace korimado::wire
