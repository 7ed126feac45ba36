#pragma once

class QDialog;
class QWidget;

namespace korimado {

// What stands for a window's sheet here: a modal dialog on screen that belongs to the window
// (a panel or an alert asking about that window).
class AttachedSheet {
public:
    AttachedSheet() = delete;

    // The window's sheet, or nullptr when none is shown.
    static QDialog* of(const QWidget* window);
};

}  // namespace korimado
