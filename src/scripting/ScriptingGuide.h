#pragma once

#include "platform/ui/Responder.h"
#include "scripting/StandInWindow.h"

namespace korimado {

class MenuItem;

// The process-wide scripting guide and dictionary window, target of the Help menu's script items.
// Stand-in: says the guide is not available yet.
class ScriptingGuide : public Responder {
public:
    static ScriptingGuide& shared();

    void showGuide(MenuItem* sender);
    void showDictionary(MenuItem* sender);
    QWidget* window() { return window_.window(); }

private:
    ScriptingGuide();
    StandInWindow window_;
};

}  // namespace korimado
