#pragma once

#include "platform/wire/FourCharCode.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace korimado::wire {

// The arguments of the command-line client: [--pid PID] [--timeout S] CLASS ID [DIRECT]
// [KEY=VALUE]…, every value in JSON (see EventJson), or --list. An argument that begins with a
// four-character key and "=" is a parameter ("----=…" is the direct object); the one other argument
// is the direct object. A value that is not JSON and does not begin with "{" or "[" is taken as
// text, so that plain words need no quotes; "@file" and "@-" are text read from a file or standard
// input (ValueSource).
class EventCommandLine {
public:
    static constexpr double defaultTimeoutSeconds = 60;

    std::optional<long long> pid;
    double timeoutSeconds = defaultTimeoutSeconds;
    bool help = false;
    bool list = false;  // print the dictionary instead of sending
    FourCharCode eventClass = 0;
    FourCharCode eventID = 0;
    std::string event;  // in the wire form

    // The parsed line, or a message for the user. Arguments are UTF-8.
    static std::variant<EventCommandLine, std::string> parse(const std::vector<std::string>& arguments);
    static const char* usage();
};

}  // namespace korimado::wire
