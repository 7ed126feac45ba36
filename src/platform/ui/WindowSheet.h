#pragma once

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
};

}  // namespace korimado
