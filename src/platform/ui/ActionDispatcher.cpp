#include "platform/ui/ActionDispatcher.h"

#include "platform/ui/MenuModel.h"
#include "platform/ui/WindowActions.h"
#include "platform/ui/WindowTracker.h"

#include <QApplication>
#include <QWidget>

namespace korimado {

ActionDispatcher::ActionDispatcher(WindowTracker& tracker, QObject* parent) : QObject(parent), tracker_(tracker) {}

ActionDispatcher::~ActionDispatcher() = default;

ActionDispatcher& ActionDispatcher::shared()
{
    static auto* dispatcher = new ActionDispatcher(WindowTracker::shared(), qApp);
    return *dispatcher;
}

void ActionDispatcher::watch(QWidget* window)
{
    if (controllers_.contains(window) || documents_.contains(window))
        return;
    connect(window, &QObject::destroyed, this, [this](QObject* gone) {
        controllers_.remove(gone);
        documents_.remove(gone);
    });
}

void ActionDispatcher::setWindowController(QWidget* window, Responder* controller)
{
    if (!window)
        return;
    window = window->window();
    watch(window);
    if (controller)
        controllers_.insert(window, controller);
    else
        controllers_.remove(window);
}

Responder* ActionDispatcher::windowController(const QWidget* window) const
{
    return window ? controllers_.value(window->window()).get() : nullptr;
}

void ActionDispatcher::setWindowDocument(QWidget* window, Responder* document)
{
    if (!window)
        return;
    window = window->window();
    watch(window);
    if (document)
        documents_.insert(window, document);
    else
        documents_.remove(window);
}

Responder* ActionDispatcher::windowDocument(const QWidget* window) const
{
    return window ? documents_.value(window->window()).get() : nullptr;
}

void ActionDispatcher::appendWindowChain(QList<Responder*>& chain, QWidget* window) const
{
    const auto append = [&chain](Responder* responder) {
        if (responder && !chain.contains(responder))
            chain.append(responder);
    };
    QWidget* widget = window->focusWidget() ? window->focusWidget() : window;
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget())
        append(dynamic_cast<Responder*>(widget));
    append(WindowActions::forWindow(window));
    append(windowController(window));
    append(windowDocument(window));
}

QList<Responder*> ActionDispatcher::responderChain(QWidget* window) const
{
    QList<Responder*> chain;
    QWidget* key = window ? window->window() : tracker_.keyWindow();
    if (key)
        appendWindowChain(chain, key);
    // A panel can be key while the document window stays main: the main window's chain follows.
    QWidget* main = tracker_.mainWindow();
    if (main && main != key)
        appendWindowChain(chain, main);
    for (Responder* responder : {applicationDelegate(), documentController()})
        if (responder && !chain.contains(responder))
            chain.append(responder);
    return chain;
}

Responder* ActionDispatcher::targetForAction(const QString& action, Responder* target, QWidget* window) const
{
    if (action.isEmpty())
        return nullptr;
    if (target)
        return target->respondsTo(action) ? target : nullptr;
    for (Responder* responder : responderChain(window))
        if (responder->respondsTo(action))
            return responder;
    return nullptr;
}

bool ActionDispatcher::sendAction(const QString& action, Responder* target, MenuItem* sender, QWidget* window)
{
    Responder* responder = targetForAction(action, target, window);
    if (!responder)
        return false;
    responder->perform(action, sender);
    return true;
}

Responder* ActionDispatcher::itemTarget(const MenuItem& item, QWidget* window) const
{
    // An item whose explicit target is gone does nothing, rather than reach someone else.
    if (item.hasTarget() && !item.target())
        return nullptr;
    return targetForAction(item.action(), item.target(), window);
}

bool ActionDispatcher::validateItem(MenuItem& item, QWidget* window) const
{
    if (item.isSeparatorItem())
        return false;
    if (item.menu() && !item.menu()->autoenablesItems())
        return item.isEnabled();
    bool enabled = false;
    if (item.action().isEmpty()) {
        enabled = item.hasSubmenu();
    } else if (Responder* responder = itemTarget(item, window)) {
        enabled = responder->validate(item).value_or(true);
    }
    item.setEnabled(enabled);
    return enabled;
}

void ActionDispatcher::validateMenu(MenuModel& menu, QWidget* window) const
{
    // A copy: a validator may change the menu.
    const auto items = menu.items();
    for (const auto& item : items)
        validateItem(*item, window);
}

bool ActionDispatcher::performItem(MenuItem& item, QWidget* window)
{
    if (item.action().isEmpty() || !validateItem(item, window))
        return false;
    Responder* responder = itemTarget(item, window);
    if (!responder)
        return false;
    responder->perform(item.action(), &item);
    return true;
}

}  // namespace korimado
