#pragma once

#include "scripting/StandInWindow.h"

namespace korimado {

class MenuItem;

// The process-wide script console window. Stand-in: says the console is not available yet.
class ScriptConsole {
public:
    static ScriptConsole& shared();

    void showWindow(MenuItem* sender = nullptr);
    QWidget* window() { return window_.window(); }

private:
    ScriptConsole();
    StandInWindow window_;
};

}  // namespace korimado
