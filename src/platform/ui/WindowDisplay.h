#pragma once

class QWidget;

namespace korimado {

// Painting a window synchronously, as the screen would next, but only where its widgets asked
// for it: an edit that marked one row paints that row, not the window.
class WindowDisplay {
public:
    WindowDisplay() = delete;
    // Lets a window that must stay off screen keep track of what needs painting: Qt forgets the
    // updates of a hidden widget. The window is neither mapped nor activated; the first display
    // after this paints it whole.
    static void keepOffScreen(QWidget* window);
    // Paints into the window's backing store what is pending in it now; nothing when nothing is.
    static void displayIfNeeded(QWidget* window);
};

}  // namespace korimado
