#pragma once

#include "selftest/SuiteTask.h"

#include <cstddef>
#include <functional>

class QWidget;

namespace korimado {

// The integration, startup-layout and feature-performance suites; each always terminates the
// application at its end.
class IntegrationTests {
public:
    IntegrationTests() = delete;
    // "--integration-only": one real source document driven through every area of the editor.
    static SuiteTask<> run();
    // "--startup-only": the starting layout, pinch zoom, previews and old window states, on a
    // window that is never shown.
    static SuiteTask<> runStartupLayout();
    // "--performance-only": opening and typing in generated files of three sizes.
    static SuiteTask<> runFeaturePerformance();

    // The number of items the workspace's File menu gives a document window (its top-level
    // window); set by the application, which owns the workspace commands.
    static inline std::function<std::size_t(QWidget* window)> fileMenuItemCount;
};

}  // namespace korimado
