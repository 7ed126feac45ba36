#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korimado::wire {

// Where the client takes a value written "@file" or "@-" from: a file's bytes or standard input,
// read whole, so that a script can pass text larger than an argument may hold (128 KiB). The
// value is text and must be UTF-8.
class ValueSource {
public:
    // Whether an argument's value names a source rather than standing for itself.
    static bool names(std::string_view value) { return value.size() > 1 && value.front() == '@'; }

    // Reads what value (as names() accepts) points at; none, with a message for the user in error.
    // Standard input is read once: a second "@-" is refused.
    std::optional<std::string> read(std::string_view value, std::string* error);

private:
    bool readStandardInput_ = false;
};

}  // namespace korimado::wire
