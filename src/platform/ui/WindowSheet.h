#pragma once

#include <functional>

class QDialog;
class QWidget;

namespace korimado {

// A sheet is a dialog shown modal over one window: a question about that window (saving before
// it closes) or a panel working for it.
class WindowSheet {
public:
    WindowSheet() = delete;
    // The visible modal dialog owned by window; nullptr when there is none.
    static QDialog* attached(const QWidget* window);

    // Whether a modal dialog or a pop-up menu is up. One that runs its own event loop serves
    // events (a script's, a timer's) while the code that opened it still holds its windows and
    // documents: nothing may tear those down before it has returned.
    static bool isAnyOpen();
    // Runs work from the main event loop, later, once no modal dialog or pop-up menu is up.
    static void afterAllClosed(std::function<void()> work);
};

}  // namespace korimado
