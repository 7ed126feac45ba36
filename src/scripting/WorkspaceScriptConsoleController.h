#pragma once

#include "scripting/StandInWindow.h"

#include <optional>

namespace korimado {

class MenuItem;

// The per-window script runner, working in the document's folder.
// Stand-in: says the runner is not available yet.
class WorkspaceScriptConsoleController {
public:
    explicit WorkspaceScriptConsoleController(std::optional<QString> workingDirectory);

    std::optional<QString> workingDirectory() const { return workingDirectory_; }
    void showWindow(MenuItem* sender = nullptr);
    QWidget* window() { return window_.window(); }

private:
    std::optional<QString> workingDirectory_;
    StandInWindow window_;
};

}  // namespace korimado
