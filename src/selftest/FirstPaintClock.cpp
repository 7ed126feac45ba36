#include "selftest/FirstPaintClock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace korimado {

FirstPaintClock::FirstPaintClock(QWidget* widget) : widget_(widget)
{
    if (widget_) widget_->installEventFilter(this);
}

FirstPaintClock::~FirstPaintClock()
{
    if (widget_) widget_->removeEventFilter(this);
}

bool FirstPaintClock::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != widget_ || event->type() != QEvent::Paint) return false;
    widget_->removeEventFilter(this);
    QElapsedTimer clock;
    clock.start();
    // Delivered here, within the paint pass that sent it, and timed; the pass goes on after it.
    QCoreApplication::sendEvent(widget_, event);
    milliseconds_ = double(clock.nsecsElapsed()) / 1e6;
    return true;
}

}  // namespace korimado
