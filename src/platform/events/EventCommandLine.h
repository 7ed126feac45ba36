#pragma once

#include "platform/events/AppleEvent.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace korimado {

// The arguments of the command-line client: [--pid PID] [--timeout S] CLASS ID [DIRECT]
// [KEY=VALUE]…, every value in JSON (see EventJson). An argument that begins with a four-character
// key and "=" is a parameter ("----=…" is the direct object); the one other argument is the direct
// object. A value that is not JSON and does not begin with "{" or "[" is taken as text, so that
// plain words need no quotes.
class EventCommandLine {
public:
    static constexpr double defaultTimeoutSeconds = 60;

    std::optional<qint64> pid;
    double timeoutSeconds = defaultTimeoutSeconds;
    AppleEvent event;
    bool help = false;

    // The parsed line, or a message for the user.
    static std::variant<EventCommandLine, QString> parse(const QStringList& arguments);
    static QString usage();
};

}  // namespace korimado
