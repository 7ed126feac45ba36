#include "platform/ui/WindowTabGroup.h"

#include "platform/ui/WindowTracker.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QMainWindow>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>

namespace korimado {

namespace {

constexpr const char* modeProperty = "_korimado_tabbingMode";
constexpr const char* identifierProperty = "_korimado_tabbingIdentifier";
// How far a tab moved to a window of its own is set off from the frame it leaves.
constexpr int moveOffset = 24;

QHash<const QWidget*, WindowTabGroup*>& registry()
{
    static QHash<const QWidget*, WindowTabGroup*> groups;
    return groups;
}

bool canBeTabbed(const QWidget* window)
{
    if (!window || !window->isWindow())
        return false;
    switch (window->windowType()) {
    case Qt::Window:
    case Qt::Widget: return WindowTabGroup::tabbingMode(window) != WindowTabGroup::TabbingMode::disallowed;
    default: return false;
    }
}

// Joins a window whose mode is "preferred" to the key window's tabs when it is first shown.
class PreferredTabbing : public QObject {
public:
    static PreferredTabbing& shared()
    {
        static auto* instance = new PreferredTabbing(qApp);
        return *instance;
    }

    void watch(QWidget* window)
    {
        window->removeEventFilter(this);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        window->removeEventFilter(this);
        if (WindowTabGroup::tabbingMode(window) != WindowTabGroup::TabbingMode::preferred
            || WindowTabGroup::groupOf(window))
            return false;
        QWidget* host = WindowTracker::shared().keyWindow();
        if (!host || host == window || !host->isVisible())
            host = WindowTracker::shared().mainWindow();
        if (!host || host == window || !host->isVisible() || !canBeTabbed(host)
            || WindowTabGroup::tabbingIdentifier(host) != WindowTabGroup::tabbingIdentifier(window))
            return false;
        // Not inside the show event itself: the group hides and moves windows.
        QTimer::singleShot(0, window, [window, host = QPointer<QWidget>(host)] {
            if (host && WindowTabGroup::addTabbedWindow(host, window, WindowTabGroup::Ordering::above))
                WindowTracker::shared().makeKeyAndOrderFront(window);
        });
        return false;
    }

private:
    using QObject::QObject;
};

}  // namespace

// MARK: per-window entry points

WindowTabGroup* WindowTabGroup::groupOf(const QWidget* window)
{
    return registry().value(window, nullptr);
}

std::optional<QList<QWidget*>> WindowTabGroup::tabbedWindows(const QWidget* window)
{
    if (WindowTabGroup* group = groupOf(window))
        return group->windows();
    return std::nullopt;
}

bool WindowTabGroup::addTabbedWindow(QWidget* window, QWidget* other, Ordering ordered)
{
    if (!window || !other || window == other || !canBeTabbed(window) || !canBeTabbed(other))
        return false;
    WindowTabGroup* group = groupOf(window);
    if (!group)
        group = makeGroup(window);
    if (WindowTabGroup* previous = groupOf(other)) {
        if (previous == group)
            group->windows_.removeAll(QPointer<QWidget>(other));
        else
            previous->removeWindow(other, true);
    }
    const int anchor = static_cast<int>(group->windows_.indexOf(QPointer<QWidget>(window)));
    group->insertWindow(other, ordered == Ordering::above ? anchor + 1 : anchor);
    if (group->selected_ != other)
        group->hideQuietly(other);
    group->syncStrips();
    Q_EMIT group->windowsChanged();
    return true;
}

void WindowTabGroup::selectNextTab(QWidget* window)
{
    if (WindowTabGroup* group = groupOf(window))
        group->showAdjacent(window, 1);
}

void WindowTabGroup::selectPreviousTab(QWidget* window)
{
    if (WindowTabGroup* group = groupOf(window))
        group->showAdjacent(window, -1);
}

void WindowTabGroup::moveTabToNewWindow(QWidget* window)
{
    WindowTabGroup* group = groupOf(window);
    if (!group || group->count() < 2)
        return;
    const QRect frame = (group->selected_ ? group->selected_.data() : window)->geometry();
    group->removeWindow(window, true);
    window->setGeometry(frame.translated(moveOffset, moveOffset));
    WindowTracker::shared().makeKeyAndOrderFront(window);
}

void WindowTabGroup::mergeAllWindows(QWidget* window)
{
    if (!canBeTabbed(window))
        return;
    const QString identifier = tabbingIdentifier(window);
    QWidget* last = window;
    if (WindowTabGroup* group = groupOf(window))
        last = group->windows().constLast();
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (candidate == window || !canBeTabbed(candidate) || tabbingIdentifier(candidate) != identifier)
            continue;
        const WindowTabGroup* current = groupOf(candidate);
        if (current && current == groupOf(window))
            continue;
        if (!candidate->isVisible() && !current)
            continue;
        if (addTabbedWindow(last, candidate, Ordering::above))
            last = candidate;
    }
    WindowTracker::shared().makeKeyAndOrderFront(window);
}

void WindowTabGroup::toggleTabBar(QWidget* window)
{
    if (!canBeTabbed(window))
        return;
    WindowTabGroup* group = groupOf(window);
    if (!group) {
        group = makeGroup(window);
        group->tabBarRequested_ = true;
        group->syncStrips();
        Q_EMIT group->windowsChanged();
        return;
    }
    if (group->count() > 1)
        return;
    group->tabBarRequested_ = !group->tabBarRequested_;
    group->dissolveIfAlone();
}

bool WindowTabGroup::isTabBarVisible(const QWidget* window)
{
    const WindowTabGroup* group = groupOf(window);
    return group && group->isTabBarShown();
}

void WindowTabGroup::setTabbingMode(QWidget* window, TabbingMode mode)
{
    if (!window)
        return;
    window->setProperty(modeProperty, static_cast<int>(mode));
    if (mode == TabbingMode::disallowed) {
        if (WindowTabGroup* group = groupOf(window))
            group->removeWindow(window, true);
    } else if (mode == TabbingMode::preferred && !window->isVisible()) {
        PreferredTabbing::shared().watch(window);
    }
}

WindowTabGroup::TabbingMode WindowTabGroup::tabbingMode(const QWidget* window)
{
    const QVariant value = window ? window->property(modeProperty) : QVariant();
    return value.isValid() ? static_cast<TabbingMode>(value.toInt()) : TabbingMode::automatic;
}

void WindowTabGroup::setTabbingIdentifier(QWidget* window, const QString& identifier)
{
    if (window)
        window->setProperty(identifierProperty, identifier);
}

QString WindowTabGroup::tabbingIdentifier(const QWidget* window)
{
    if (!window)
        return {};
    const QVariant value = window->property(identifierProperty);
    return value.isValid() ? value.toString() : QString::fromLatin1(window->metaObject()->className());
}

// MARK: the group

WindowTabGroup::WindowTabGroup() = default;

WindowTabGroup::~WindowTabGroup() = default;

WindowTabGroup* WindowTabGroup::makeGroup(QWidget* first)
{
    auto* group = new WindowTabGroup;
    group->insertWindow(first, 0);
    group->selected_ = first;
    return group;
}

QList<QWidget*> WindowTabGroup::windows() const
{
    QList<QWidget*> list;
    for (const auto& window : windows_)
        if (window)
            list.append(window);
    return list;
}

QTabBar* WindowTabGroup::tabBar(const QWidget* window) const
{
    return strips_.value(window).tabs;
}

void WindowTabGroup::insertWindow(QWidget* window, int index)
{
    index = std::clamp(index, 0, static_cast<int>(windows_.size()));
    windows_.insert(index, window);
    if (registry().value(window) == this)
        return;
    registry().insert(window, this);
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this, window](QObject*) {
        // The window is half destroyed (its pointers may not read null yet): forget it
        // without touching it.
        registry().remove(window);
        strips_.remove(window);
        windows_.removeIf([window](const QPointer<QWidget>& member) { return !member || member.data() == window; });
        if (selected_.data() == window)
            selected_ = nullptr;
        if (!selected_ && !windows_.isEmpty())
            selectWindow(windows_.constFirst());
        syncStrips();
        Q_EMIT windowsChanged();
        dissolveIfAlone();
    });
}

void WindowTabGroup::removeWindow(QWidget* window, bool showNeighbour)
{
    const int index = static_cast<int>(windows_.indexOf(QPointer<QWidget>(window)));
    if (index < 0)
        return;
    const QRect frame = window->geometry();
    const bool wasSelected = selected_ == window;
    const bool wasKey = WindowTracker::shared().keyWindow() == window;
    windows_.removeAt(index);
    registry().remove(window);
    window->removeEventFilter(this);
    disconnect(window, &QObject::destroyed, this, nullptr);
    removeStrip(window);
    if (wasSelected) {
        selected_ = nullptr;
        if (!windows_.isEmpty()) {
            QWidget* neighbour = windows_.value(std::min(index, static_cast<int>(windows_.size()) - 1));
            if (showNeighbour) {
                neighbour->setGeometry(frame);
                selectWindow(neighbour);
                if (wasKey)
                    WindowTracker::shared().makeKeyAndOrderFront(neighbour);
            } else {
                selected_ = neighbour;
            }
        }
    }
    syncStrips();
    Q_EMIT windowsChanged();
    dissolveIfAlone();
}

void WindowTabGroup::dissolveIfAlone()
{
    if (windows_.size() > 1 || (tabBarRequested_ && !windows_.isEmpty()))
        return;
    for (const auto& window : windows_) {
        if (!window)
            continue;
        registry().remove(window);
        window->removeEventFilter(this);
        disconnect(window, &QObject::destroyed, this, nullptr);
        removeStrip(window);
    }
    windows_.clear();
    Q_EMIT windowsChanged();
    deleteLater();
}

void WindowTabGroup::selectWindow(QWidget* window)
{
    if (!window || !windows_.contains(QPointer<QWidget>(window)))
        return;
    QWidget* previous = selected_;
    if (previous == window) {
        syncStrips();
        return;
    }
    switching_ = true;
    if (previous && previous->isVisible()) {
        window->setGeometry(previous->geometry());
        if (previous->isMaximized())
            window->setWindowState(window->windowState() | Qt::WindowMaximized);
    }
    selected_ = window;
    window->show();
    window->raise();
    for (const auto& other : windows_)
        if (other && other != window && other->isVisible())
            other->hide();
    switching_ = false;
    syncStrips();
}

void WindowTabGroup::hideQuietly(QWidget* window)
{
    switching_ = true;
    window->hide();
    switching_ = false;
}

void WindowTabGroup::showAdjacent(QWidget* window, int step)
{
    const int count = static_cast<int>(windows_.size());
    const int index = static_cast<int>(windows_.indexOf(QPointer<QWidget>(window)));
    if (count < 2 || index < 0)
        return;
    QWidget* next = windows_.value(((index + step) % count + count) % count);
    if (next)
        WindowTracker::shared().makeKeyAndOrderFront(next);
}

bool WindowTabGroup::eventFilter(QObject* watched, QEvent* event)
{
    if (switching_ || !watched->isWidgetType() || event->spontaneous())
        return false;
    auto* window = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::WindowTitleChange: syncStrips(); break;
    case QEvent::Show:
        // Code that shows a background tab selects it.
        if (window != selected_)
            QTimer::singleShot(0, this, [this, window = QPointer<QWidget>(window)] {
                if (window && window->isVisible() && window != selected_)
                    selectWindow(window);
            });
        break;
    case QEvent::Close:
        // A background tab shows itself before closing, so that a question it asks is seen
        // and its hiding takes it out of the group.
        if (window != selected_)
            selectWindow(window);
        break;
    case QEvent::Hide:
        // A tab closed or ordered out leaves the group.
        QTimer::singleShot(0, this, [this, window = QPointer<QWidget>(window)] {
            if (window && !window->isVisible() && groupOf(window) == this && window == selected_)
                removeWindow(window, true);
        });
        break;
    default: break;
    }
    return false;
}

void WindowTabGroup::addStrip(QWidget* window)
{
    if (strips_.contains(window))
        return;
    auto* tabs = new QTabBar;
    tabs->setObjectName(QStringLiteral("windowTabBar"));
    tabs->setDocumentMode(true);
    tabs->setExpanding(true);
    tabs->setTabsClosable(true);
    tabs->setFocusPolicy(Qt::NoFocus);
    QWidget* container = tabs;
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        auto* bar = new QToolBar(main);
        bar->setObjectName(QStringLiteral("windowTabStrip"));
        bar->setMovable(false);
        bar->setFloatable(false);
        bar->toggleViewAction()->setVisible(false);
        bar->addWidget(tabs);
        bool hasTopToolBar = false;
        for (QToolBar* other : main->findChildren<QToolBar*>(Qt::FindDirectChildrenOnly))
            hasTopToolBar = hasTopToolBar || (other != bar && main->toolBarArea(other) == Qt::TopToolBarArea);
        if (hasTopToolBar)
            main->addToolBarBreak(Qt::TopToolBarArea);
        main->addToolBar(Qt::TopToolBarArea, bar);
        container = bar;
    } else if (auto* box = qobject_cast<QBoxLayout*>(window->layout())) {
        tabs->setParent(window);
        box->insertWidget(0, tabs);
    } else {
        tabs->setParent(window);
    }
    connect(tabs, &QTabBar::tabBarClicked, this, [this](int index) {
        if (QWidget* target = windows_.value(index))
            WindowTracker::shared().makeKeyAndOrderFront(target);
    });
    connect(tabs, &QTabBar::tabCloseRequested, this, [this](int index) {
        if (QWidget* target = windows_.value(index))
            target->close();
    });
    strips_.insert(window, Strip{container, tabs});
}

void WindowTabGroup::removeStrip(QWidget* window)
{
    const Strip strip = strips_.take(window);
    if (!strip.container)
        return;
    if (auto* main = qobject_cast<QMainWindow*>(window))
        if (auto* bar = qobject_cast<QToolBar*>(strip.container.data()))
            main->removeToolBarBreak(bar);
    strip.container->deleteLater();
    strip.container->hide();
}

void WindowTabGroup::syncStrips()
{
    const bool shown = isTabBarShown();
    const int selectedIndex = static_cast<int>(windows_.indexOf(selected_));
    for (const auto& window : windows_) {
        if (!window)
            continue;
        addStrip(window);
        const Strip& strip = strips_[window];
        if (!strip.tabs)
            continue;
        const QSignalBlocker blocker(strip.tabs);
        while (strip.tabs->count() > windows_.size())
            strip.tabs->removeTab(strip.tabs->count() - 1);
        for (int i = 0; i < windows_.size(); ++i) {
            const QString title = windows_[i] ? windows_[i]->windowTitle().remove(QStringLiteral("[*]")) : QString();
            if (i < strip.tabs->count())
                strip.tabs->setTabText(i, title);
            else
                strip.tabs->addTab(title);
        }
        strip.tabs->setCurrentIndex(selectedIndex);
        strip.container->setVisible(shown);
    }
}

}  // namespace korimado
