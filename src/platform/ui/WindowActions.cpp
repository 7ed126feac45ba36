#include "platform/ui/WindowActions.h"

#include "platform/ui/WindowTabGroup.h"

#include <QApplication>
#include <QVariant>
#include <QWidget>

namespace korimado {

WindowActions* WindowActions::forWindow(QWidget* window)
{
    if (!window)
        return nullptr;
    window = window->window();
    auto* existing = window->findChild<WindowActions*>(QStringLiteral("windowActions"), Qt::FindDirectChildrenOnly);
    return existing ? existing : new WindowActions(window);
}

WindowActions::WindowActions(QWidget* window) : QObject(window), window_(window)
{
    setObjectName(QStringLiteral("windowActions"));
    const auto withWindow = [this](void (*command)(QWidget*)) {
        return [this, command](MenuItem*) {
            if (window_)
                command(window_);
        };
    };
    const auto whenTabbed = [this](MenuItem&) -> std::optional<bool> {
        const WindowTabGroup* group = WindowTabGroup::groupOf(window_);
        return group && group->count() > 1;
    };

    registerAction(QStringLiteral("performClose:"), [this](MenuItem*) {
        if (window_)
            window_->close();
    });
    registerAction(QStringLiteral("performMiniaturize:"), [this](MenuItem*) {
        if (window_)
            window_->showMinimized();
    });
    registerAction(QStringLiteral("performZoom:"), [this](MenuItem*) {
        if (window_)
            window_->isMaximized() ? window_->showNormal() : window_->showMaximized();
    });
    registerAction(QStringLiteral("toggleFullScreen:"), [this](MenuItem*) {
        if (window_)
            window_->isFullScreen() ? window_->showNormal() : window_->showFullScreen();
    });
    registerAction(QStringLiteral("toggleTabBar:"), withWindow(&WindowTabGroup::toggleTabBar),
              [this](MenuItem&) -> std::optional<bool> {
                  const WindowTabGroup* group = WindowTabGroup::groupOf(window_);
                  return WindowTabGroup::tabbingMode(window_) != WindowTabGroup::TabbingMode::disallowed
                         && (!group || group->count() <= 1);
              });
    registerAction(QStringLiteral("selectNextTab:"), withWindow(&WindowTabGroup::selectNextTab), whenTabbed);
    registerAction(QStringLiteral("selectPreviousTab:"), withWindow(&WindowTabGroup::selectPreviousTab), whenTabbed);
    registerAction(QStringLiteral("moveTabToNewWindow:"), withWindow(&WindowTabGroup::moveTabToNewWindow), whenTabbed);
    registerAction(QStringLiteral("mergeAllWindows:"), withWindow(&WindowTabGroup::mergeAllWindows),
              [this](MenuItem&) -> std::optional<bool> { return hasOtherMergeableWindow(); });
}

int WindowActions::level(const QWidget* window)
{
    if (!window)
        return normalLevel;
    const QVariant stored = window->window()->property("_korimado_windowLevel");
    if (stored.isValid())
        return stored.toInt();
    return window->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint) ? floatingLevel : normalLevel;
}

void WindowActions::setLevel(QWidget* window, int level)
{
    if (!window)
        return;
    window = window->window();
    window->setProperty("_korimado_windowLevel", level);
    const bool onTop = level > normalLevel;
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    // Changing the flags hides a shown window; it comes back where it was.
    const bool shown = window->isVisible();
    const QRect frame = window->geometry();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (shown) {
        window->setGeometry(frame);
        window->show();
    }
}

bool WindowActions::hasOtherMergeableWindow() const
{
    if (!window_ || WindowTabGroup::tabbingMode(window_) == WindowTabGroup::TabbingMode::disallowed)
        return false;
    const QString identifier = WindowTabGroup::tabbingIdentifier(window_);
    const WindowTabGroup* group = WindowTabGroup::groupOf(window_);
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other == window_ || !other->isVisible() || other->windowType() != Qt::Window)
            continue;
        if (WindowTabGroup::tabbingMode(other) == WindowTabGroup::TabbingMode::disallowed
            || WindowTabGroup::tabbingIdentifier(other) != identifier)
            continue;
        if (!group || WindowTabGroup::groupOf(other) != group)
            return true;
    }
    return false;
}

}  // namespace korimado
