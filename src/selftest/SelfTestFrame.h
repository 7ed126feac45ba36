#pragma once

#include <QString>

namespace korimado {

// What every self-test suite shares: console lines and the end of a run.
class SelfTestFrame {
public:
    SelfTestFrame() = delete;

    static bool argumentsContain(const QString& flag);
    // One line on standard output (unbuffered in self-test mode).
    static void printLine(const QString& line);
    // Asks the application to quit once the current event has been handled.
    static void terminate();
    // The end of a suite that is not built yet: says so, and terminates when the suite would.
    static void reportNotBuilt(const QString& suite, bool terminates);
};

}  // namespace korimado
