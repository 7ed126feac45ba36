#pragma once

#include <QRect>
#include <QSize>

#include <functional>

class QWidget;

namespace korimado {

// A panel that works for a document window: a tool window of that window (kept above it, hidden
// with it and shown again with it), opened on screen near it, closed with Escape. One helper for
// every panel, so that they all behave alike with or without a window manager.
class ToolWindow {
public:
    // Who keeps the panel alive. A panel of one window dies with it; a shared one (one for the
    // whole program) is let go before its owner is destroyed and waits for the next owner.
    enum class Lifetime { withOwner, shared };
    // Where a panel shown from hidden goes: centred on its owner each time, or where it was last
    // (or where its saved frame puts it) as long as that is on the owner's screen.
    enum class Placement { centred, remembered };

    // Makes panel a tool window of owner's window, keeping its size. A null owner leaves the panel
    // a tool window of nobody.
    static void attach(QWidget* panel, QWidget* owner, Lifetime lifetime);
    // Attaches, places a hidden panel, then shows it in front and makes it the active window.
    static void present(QWidget* panel, QWidget* owner, Lifetime lifetime,
                        Placement placement = Placement::remembered);
    // Escape pressed anywhere in the panel that its focused control does not take runs action, or
    // closes the panel when action is empty.
    static void closeOnEscape(QWidget* panel, std::function<void()> action = {});

    // The window the panel is a tool window of, or nullptr.
    static QWidget* owner(const QWidget* panel);

    // Where a panel of that size opens for a window with that frame: centred on it, then moved
    // inside the available area (the top left corner wins when the panel is larger).
    static QRect centredFrame(const QSize& size, const QRect& ownerFrame, const QRect& available);
};

}  // namespace korimado
