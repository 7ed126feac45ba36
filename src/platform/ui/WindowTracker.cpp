#include "platform/ui/WindowTracker.h"

#include "platform/ui/WindowTabGroup.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QTimer>
#include <QWindow>

namespace korimado {

WindowTracker::WindowTracker(QObject* parent) : QObject(parent)
{
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &WindowTracker::focusWindowChanged);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        QWidget* window = trackableWindow(now);
        if (window && window->isVisible())
            setKey(window);
    });
}

WindowTracker::~WindowTracker() = default;

WindowTracker& WindowTracker::shared()
{
    static auto* tracker = new WindowTracker(qApp);
    return *tracker;
}

QWidget* WindowTracker::trackableWindow(QWidget* widget)
{
    QWidget* window = widget ? widget->window() : nullptr;
    if (!window || qobject_cast<QMenu*>(window))
        return nullptr;
    switch (window->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::Desktop: return nullptr;
    default: return window;
    }
}

void WindowTracker::focusWindowChanged(QWindow* window)
{
    // Losing focus to another application keeps key and main as they were: the menus still act
    // on the window the user comes back to.
    if (!window)
        return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window) {
            // Activation reported late for a window hidden since then is stale.
            QWidget* trackable = trackableWindow(widget);
            if (trackable && trackable->isVisible())
                setKey(trackable);
            return;
        }
    }
}

void WindowTracker::makeKeyAndOrderFront(QWidget* window)
{
    window = trackableWindow(window);
    if (!window)
        return;
    // Key first, so that the tab it replaces is hidden while it is no longer key.
    setKey(window);
    if (WindowTabGroup* group = WindowTabGroup::groupOf(window))
        group->selectWindow(window);
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

void WindowTracker::makeKeyWindow(QWidget* window)
{
    window = trackableWindow(window);
    if (!window)
        return;
    setKey(window);
    window->activateWindow();
}

QList<QWidget*> WindowTracker::orderedWindows() const
{
    QList<QWidget*> windows;
    for (const auto& window : order_)
        if (window)
            windows.append(window);
    return windows;
}

void WindowTracker::setCanBecomeMain(QWidget* window, bool can)
{
    if (!window)
        return;
    canBecomeMain_.insert(window, can);
    track(window);
}

bool WindowTracker::canBecomeMain(const QWidget* window) const
{
    if (!window)
        return false;
    const auto it = canBecomeMain_.constFind(window);
    if (it != canBecomeMain_.constEnd())
        return *it;
    switch (window->windowType()) {
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Drawer:
    case Qt::Tool:
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen: return false;
    default: return true;
    }
}

void WindowTracker::setKey(QWidget* window)
{
    if (window == key_ && window == keyId_)
        return;
    QWidget* previous = key_;
    key_ = window;
    keyId_ = window;
    if (window) {
        track(window);
        order_.removeAll(QPointer<QWidget>(window));
        order_.prepend(window);
        if (canBecomeMain(window))
            setMain(window);
    }
    Q_EMIT keyWindowChanged(window, previous);
}

void WindowTracker::setMain(QWidget* window)
{
    if (window == main_ && window == mainId_)
        return;
    QWidget* previous = main_;
    main_ = window;
    mainId_ = window;
    Q_EMIT mainWindowChanged(window, previous);
}

void WindowTracker::track(QWidget* window)
{
    if (tracked_.contains(window))
        return;
    tracked_.insert(window);
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, &WindowTracker::windowDestroyed);
}

bool WindowTracker::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
        auto* window = static_cast<QWidget*>(watched);
        if (window->isWindow())
            windowHidden(window);
    }
    return QObject::eventFilter(watched, event);
}

QWidget* WindowTracker::nextWindow(const QWidget* excluded, bool forMain) const
{
    for (const auto& window : order_) {
        if (!window || window == excluded || !window->isVisible() || window->isMinimized())
            continue;
        if (forMain && !canBecomeMain(window))
            continue;
        return window;
    }
    return nullptr;
}

void WindowTracker::windowHidden(QWidget* window)
{
    // Decided on the next turn: a tab group hiding one tab shows and selects another first.
    QTimer::singleShot(0, this, [this, window = QPointer<QWidget>(window)] {
        if (!window || window->isVisible())
            return;
        if (key_ == window) {
            QWidget* next = nextWindow(window, false);
            setKey(next);
            if (next)
                next->activateWindow();
        }
        if (main_ == window)
            setMain(nextWindow(window, true));
    });
}

void WindowTracker::windowDestroyed(QObject* window)
{
    tracked_.remove(window);
    canBecomeMain_.remove(window);
    // A widget reports its destruction before its pointers read null: compare addresses.
    order_.removeIf([window](const QPointer<QWidget>& entry) { return !entry || entry.data() == window; });
    if (keyId_ == window) {
        key_ = nullptr;
        keyId_ = nullptr;
        QWidget* next = nextWindow(nullptr, false);
        if (next)
            setKey(next);
        else
            Q_EMIT keyWindowChanged(nullptr, nullptr);
    }
    if (mainId_ == window) {
        main_ = nullptr;
        mainId_ = nullptr;
        if (QWidget* next = nextWindow(nullptr, true))
            setMain(next);
        else
            Q_EMIT mainWindowChanged(nullptr, nullptr);
    }
}

}  // namespace korimado
