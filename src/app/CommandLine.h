#pragma once

#include <QStringList>

#include <string>

namespace korimado {

// The command line as the program reads it before anything starts: flags, Qt's own options, and
// file names taken from their bytes so that a name in any encoding still names its file.
class CommandLine {
public:
    CommandLine() = delete;

    enum class Request { start, help, version, invalid };

    // What the arguments ask for; for invalid, message says why. Reads nothing but argv, so that
    // the answer needs no display and no bus.
    static Request check(int argc, const char* const* argv, std::string* message);
    static const char* usage();

    // Every argument, the program path first, each decoded reversibly from its bytes.
    static QStringList arguments(int argc, const char* const* argv);
};

}  // namespace korimado
