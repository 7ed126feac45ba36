#pragma once

#include "selftest/SuiteTask.h"

namespace korimado {

// The UI self-test suite.
class UITestRunner {
public:
    UITestRunner() = delete;
    // Terminates the application only with "--exit-after-tests".
    static SuiteTask<> run();
};

}  // namespace korimado
