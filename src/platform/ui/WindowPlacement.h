#pragma once

class QWidget;

namespace korimado {

// Where a window of the program's own (not a panel of a document window) first opens: the middle
// of the main screen's free area, rather than the screen's corner where a window manager may leave
// it. A saved frame applied afterwards still wins.
class WindowPlacement {
public:
    static void centreOnScreen(QWidget* window);
};

}  // namespace korimado
