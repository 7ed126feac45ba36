#pragma once

namespace korimado {

// The integration, startup-layout and feature-performance suites; each always terminates the
// application at its end. Stand-ins: they report that they are not built yet.
class IntegrationTests {
public:
    IntegrationTests() = delete;
    static void run();
    static void runStartupLayout();
    static void runFeaturePerformance();
};

}  // namespace korimado
