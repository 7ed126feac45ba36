#pragma once

namespace korimado {

// The UI self-test suite. Stand-in: reports that it is not built yet.
class UITestRunner {
public:
    UITestRunner() = delete;
    // Terminates the application only with "--exit-after-tests".
    static void run();
};

}  // namespace korimado
