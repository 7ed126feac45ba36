#include "platform/ui/WindowDisplay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace korimado {

void WindowDisplay::keepOffScreen(QWidget* window)
{
    if (!window) return;
    window = window->window();
    if (window->isVisible()) return;
    // Shown as far as Qt is concerned, so updates are collected and painted into the backing
    // store, but never mapped: nothing appears and the foreground is not taken.
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->show();
}

void WindowDisplay::displayIfNeeded(QWidget* window)
{
    if (!window) return;
    // The repaint manager posts one update request to the top-level window for everything marked
    // since its last paint; delivering it now is the paint the event loop would do next.
    QCoreApplication::sendPostedEvents(window->window(), QEvent::UpdateRequest);
}

}  // namespace korimado
