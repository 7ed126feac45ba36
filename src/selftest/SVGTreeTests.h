#pragma once

#include "selftest/SuiteTask.h"

namespace korimado {

// The features suite (SVG preview and file tree).
class SVGTreeTests {
public:
    SVGTreeTests() = delete;
    // Terminates the application only with "--exit-after-tests".
    static SuiteTask<> run();
};

}  // namespace korimado
