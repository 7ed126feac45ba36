#include "platform/ui/MenuBinder.h"

#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/MenuItemList.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/WindowTabGroup.h"
#include "platform/ui/WindowTracker.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QKeySequence>
#include <QMenuBar>
#include <QWidgetAction>

#include <algorithm>
#include <vector>

namespace korimado {

namespace {

// Runs of plain items at least this long are shown as one scrolling list.
constexpr size_t listedRunLength = 100;

// An item a list row can stand for: no submenu, key equivalent or separator, and shown.
bool isPlain(const MenuItem& item)
{
    return !item.isSeparatorItem() && !item.hasSubmenu() && !item.isHidden() && item.keySequence().isEmpty();
}

// Closes the open menus, as choosing an item does.
void closeMenus()
{
    for (int i = 0; i < 16; ++i) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup)
            break;
        popup->hide();
    }
}

}  // namespace

// One menu of the model shown in one window: a QMenu, or the menu bar for the main menu.
class MenuBinder::Bound : public QObject {
public:
    // A pop-up shows key equivalents without taking them: the menu bar's items hold them.
    Bound(MenuBinder& binder, QWidget* window, std::shared_ptr<MenuModel> model, QWidget* container, QWidget* bar,
          Bound* parent, bool popup = false)
        : QObject(parent),
          binder_(binder),
          window_(window),
          model_(std::move(model)),
          container_(container),
          bar_(bar),
          parentBound_(parent),
          popup_(popup || (parent && parent->popup_))
    {
        connect(model_.get(), &MenuModel::changed, this, &Bound::modelChanged);
        if (QMenu* qmenu = menu()) {
            connect(qmenu, &QMenu::aboutToShow, this, &Bound::willShow);
            connect(qmenu, &QMenu::aboutToHide, this, &Bound::didHide);
        }
        rebuild();
    }

    ~Bound() override
    {
        // The menu bar belongs to the window; the menus below it belong to us.
        if (parentBound_ && container_)
            container_->deleteLater();
    }

    QMenu* menu() const { return qobject_cast<QMenu*>(container_.data()); }
    const MenuModel* model() const { return model_.get(); }

    QAction* actionFor(const MenuItem* item) const
    {
        for (const Entry& entry : entries_) {
            if (entry.key == item)
                return entry.action;
            if (entry.sub)
                if (QAction* found = entry.sub->actionFor(item))
                    return found;
        }
        return nullptr;
    }

    QMenu* menuFor(const MenuModel* model) const
    {
        for (const Entry& entry : entries_) {
            if (!entry.sub)
                continue;
            if (entry.sub->model() == model)
                return entry.sub->menu();
            if (QMenu* found = entry.sub->menuFor(model))
                return found;
        }
        return nullptr;
    }

    void detachActions()
    {
        if (!container_)
            return;
        for (QAction* action : container_->actions())
            container_->removeAction(action);
    }

private:
    struct Entry {
        std::weak_ptr<MenuItem> item;
        const MenuItem* key = nullptr;
        QPointer<QAction> action;
        Bound* sub = nullptr;
        const MenuModel* subModel = nullptr;
        QKeySequence shortcut;  // the item's own; its action gets it only when it owns it
        QList<QKeySequence> alternates;  // further keys for it, each taken only when no item has it
        MenuItemList* list = nullptr;  // a run of plain items, shown by the action's widget
    };

    bool isBar() const { return parentBound_ == nullptr && !popup_; }

    Bound* root()
    {
        Bound* bound = this;
        while (bound->parentBound_)
            bound = bound->parentBound_;
        return bound;
    }

    // Two actions with one shortcut in a window make Qt fire neither. As on the platform the
    // menus come from, the first item in menu order owns the key; later ones only show it.
    void applyKey(Entry& entry, const MenuItem& item, bool owner)
    {
        QAction* action = entry.action;
        QString text = displayTitle(item, nullptr);
        if ((!owner || popup_) && !entry.shortcut.isEmpty())
            text += QLatin1Char('\t') + entry.shortcut.toString(QKeySequence::NativeText);
        if (action->text() != text)
            action->setText(text);
        QList<QKeySequence> shortcuts;
        if (owner && !popup_ && !entry.shortcut.isEmpty()) {
            shortcuts.append(entry.shortcut);
            const auto& owners = root()->owners_;
            for (const QKeySequence& alternate : entry.alternates)
                if (owners.value(alternate) == &item)
                    shortcuts.append(alternate);
        }
        if (action->shortcuts() != shortcuts)
            action->setShortcuts(shortcuts);
    }

    // Every item's own key first, in menu order; then the alternates, on keys nobody holds.
    void assignShortcuts(QHash<QKeySequence, const MenuItem*>& owners, bool alternates)
    {
        for (Entry& entry : entries_) {
            if (entry.sub) {
                entry.sub->assignShortcuts(owners, alternates);
                continue;
            }
            const auto item = entry.item.lock();
            if (!item || !entry.action || item->isSeparatorItem() || entry.shortcut.isEmpty())
                continue;
            if (!alternates) {
                if (!owners.contains(entry.shortcut))
                    owners.insert(entry.shortcut, item.get());
            } else if (owners.value(entry.shortcut) == item.get()) {
                for (const QKeySequence& alternate : entry.alternates)
                    if (!owners.contains(alternate))
                        owners.insert(alternate, item.get());
            }
        }
    }

    void applyKeys()
    {
        for (Entry& entry : entries_) {
            if (entry.sub) {
                entry.sub->applyKeys();
                continue;
            }
            const auto item = entry.item.lock();
            if (!item || !entry.action || item->isSeparatorItem())
                continue;
            applyKey(entry, *item, entry.shortcut.isEmpty() || root()->owners_.value(entry.shortcut) == item.get());
        }
    }

    void syncShortcuts()
    {
        Bound* top = root();
        top->owners_.clear();
        top->assignShortcuts(top->owners_, false);
        top->assignShortcuts(top->owners_, true);
        top->applyKeys();
    }

    void rebuild()
    {
        if (!container_)
            return;
        if (model_->needsFill()) {
            // A menu filled on demand is filled when it opens; until then it shows what it had.
            if (!showing_ && !isBar()) {
                stale_ = true;
                return;
            }
            // The fill's change notification reaches the other windows; this one goes on below.
            filling_ = true;
            model_->items();
            filling_ = false;
        }
        stale_ = false;
        QHash<const MenuItem*, size_t> previous;
        std::vector<size_t> previousLists;
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].list)
                previousLists.push_back(i);
            else if (entries_[i].key)
                previous.insert(entries_[i].key, i);
        }
        size_t listsReused = 0;
        std::vector<Entry> next;
        const auto& items = model_->items();
        for (size_t i = 0; i < items.size();) {
            size_t runEnd = i;
            while (!isBar() && runEnd < items.size() && isPlain(*items[runEnd]))
                ++runEnd;
            if (runEnd - i >= listedRunLength) {
                std::vector<std::shared_ptr<MenuItem>> run(items.begin() + static_cast<qsizetype>(i),
                                                           items.begin() + static_cast<qsizetype>(runEnd));
                if (listsReused < previousLists.size()) {
                    Entry& reused = entries_[previousLists[listsReused++]];
                    reused.list->setItems(std::move(run));
                    next.push_back(reused);
                    reused.list = nullptr;
                    reused.action = nullptr;
                } else {
                    next.push_back(listEntry(std::move(run)));
                }
                i = runEnd;
                continue;
            }
            for (const size_t end = std::max(runEnd, i + 1); i < end; ++i) {
                const auto& item = items[i];
                const auto reused = previous.constFind(item.get());
                if (reused != previous.constEnd()) {
                    Entry& old = entries_[reused.value()];
                    if (old.subModel == item->submenu() && old.action) {
                        next.push_back(old);
                        old.key = nullptr;
                        continue;
                    }
                }
                next.push_back(itemEntry(item));
            }
        }
        for (const Entry& stale : entries_) {
            if (!stale.key && !stale.list)
                continue;  // kept
            if (stale.sub)
                stale.sub->deleteLater();
            else if (stale.action)
                stale.action->deleteLater();
        }
        detachActions();
        windowList_.clear();
        entries_ = std::move(next);
        index_.clear();
        for (size_t i = 0; i < entries_.size(); ++i) {
            Entry& entry = entries_[i];
            if (entry.key)
                index_.insert(entry.key, i);
            container_->addAction(entry.action);
            update(entry, false);
        }
        syncShortcuts();
    }

    Entry itemEntry(const std::shared_ptr<MenuItem>& item)
    {
        Entry entry{item, item.get(), nullptr, nullptr, item->submenu(), {}, {}, nullptr};
        if (item->hasSubmenu()) {
            auto* qmenu = new QMenu(bar_);
            entry.sub = new Bound(binder_, window_, item->sharedSubmenu(), qmenu, bar_, this);
            entry.action = qmenu->menuAction();
        } else {
            entry.action = new QAction(container_);
            const MenuItem* key = item.get();
            connect(entry.action, &QAction::triggered, this, [this, key] { trigger(key); });
        }
        return entry;
    }

    Entry listEntry(std::vector<std::shared_ptr<MenuItem>> run)
    {
        auto* action = new QWidgetAction(container_);
        auto* list = new MenuItemList;
        list->setItems(std::move(run));
        list->setValidator([this](MenuItem& item) {
            // Enabling an item tells the menu, which must not redraw the list for it.
            const bool wasValidating = validatingRow_;
            validatingRow_ = true;
            const bool enabled = binder_.dispatcher().validateItem(item, window_);
            validatingRow_ = wasValidating;
            return enabled;
        });
        action->setDefaultWidget(list);
        connect(list, &MenuItemList::chosen, this, [this, list](int row) { chooseListed(list, row); });
        Entry entry;
        entry.action = action;
        entry.list = list;
        return entry;
    }

    void chooseListed(MenuItemList* list, int row)
    {
        if (row < 0 || static_cast<size_t>(row) >= list->items().size())
            return;
        // Held: the action may refill this menu.
        const std::shared_ptr<MenuItem> item = list->items()[static_cast<size_t>(row)];
        closeMenus();
        binder_.dispatcher().performItem(*item, window_);
    }

    QString displayTitle(const MenuItem& item, const MenuModel* submenu) const
    {
        // The menu bar names a menu by the submenu's own title, as the platform's menus did.
        QString title = isBar() && submenu && !submenu->title().isEmpty() ? submenu->title() : item.title();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (isBar() && !item.accessKey().isNull())
            title += QStringLiteral("(&") + item.accessKey() + QLatin1Char(')');
        return QString(item.indentationLevel() * 4, QLatin1Char(' ')) + title;
    }

    bool enabledFor(const MenuItem& item, bool hasSubmenu) const
    {
        if (item.isSeparatorItem())
            return false;
        if (!model_->autoenablesItems() || showing_)
            return item.isEnabled();
        // While the menu is closed actions stay armed for their shortcuts; validation runs on
        // trigger.
        return !item.action().isEmpty() || hasSubmenu;
    }

    // A changed key is settled over the whole menu tree at once, unless the caller does that.
    void update(Entry& entry, bool syncChangedKey = true)
    {
        const auto item = entry.item.lock();
        QAction* action = entry.action;
        if (!item || !action)
            return;
        action->setVisible(!item->isHidden());
        if (item->isSeparatorItem()) {
            action->setSeparator(true);
            return;
        }
        const QString title = displayTitle(*item, entry.sub ? entry.sub->model() : nullptr);
        if (entry.sub) {
            if (QMenu* qmenu = entry.sub->menu())
                qmenu->setTitle(title);
        } else {
            const QKeySequence shortcut = item->keySequence();
            const QList<QKeySequence> alternates = item->alternateKeySequences();
            if (shortcut != entry.shortcut || alternates != entry.alternates) {
                entry.shortcut = shortcut;
                entry.alternates = alternates;
                if (syncChangedKey)
                    syncShortcuts();
            } else {
                applyKey(entry, *item, shortcut.isEmpty() || root()->owners_.value(shortcut) == item.get());
            }
        }
        const bool marked = item->state() != MenuItem::State::off;
        action->setCheckable(marked);
        action->setChecked(marked);
        action->setEnabled(enabledFor(*item, entry.sub != nullptr));
    }

    Entry* entryFor(const MenuItem* item)
    {
        const auto found = index_.constFind(item);
        return found == index_.constEnd() ? nullptr : &entries_[found.value()];
    }

    void modelChanged(MenuItem* item)
    {
        if (filling_)
            return;
        if (!item) {
            rebuild();
            if (parentBound_)
                parentBound_->updateSubmenuEntry(this);
            return;
        }
        Entry* entry = entryFor(item);
        if (!entry) {
            // An item shown in a list.
            if (item->menu() != model_.get() || validatingRow_)
                return;
            if (!isPlain(*item))
                rebuild();
            else
                refreshLists(false);
            return;
        }
        if (entry->subModel != item->submenu())
            rebuild();
        else
            update(*entry);
    }

    void updateSubmenuEntry(const Bound* sub)
    {
        for (Entry& entry : entries_)
            if (entry.sub == sub)
                update(entry);
    }

    void refreshLists(bool revalidate)
    {
        for (Entry& entry : entries_)
            if (entry.list)
                entry.list->refresh(revalidate);
    }

    void willShow()
    {
        showing_ = true;
        if (stale_ || model_->needsFill())
            rebuild();
        // Listed rows are validated as they come on screen.
        for (Entry& entry : entries_)
            if (const auto item = entry.item.lock())
                binder_.dispatcher().validateItem(*item, window_);
        refreshLists(true);
        for (Entry& entry : entries_)
            update(entry);
        if (model_.get() == binder_.windowsMenu())
            listWindows();
    }

    void didHide()
    {
        showing_ = false;
        for (Entry& entry : entries_)
            update(entry);
    }

    void trigger(const MenuItem* key)
    {
        Entry* entry = entryFor(key);
        const auto item = entry ? entry->item.lock() : nullptr;
        if (!item)
            return;
        const QPointer<Bound> self(this);
        binder_.dispatcher().performItem(*item, window_);
        // Qt flips a checkable action on its own; the model says what it shows.
        if (self)
            if (Entry* after = entryFor(key))
                update(*after);
    }

    void listWindows()
    {
        for (const auto& action : windowList_)
            if (action) {
                container_->removeAction(action);
                action->deleteLater();
            }
        windowList_.clear();
        WindowTracker& tracker = binder_.dispatcher().tracker();
        QList<QWidget*> windows;
        for (QWidget* window : tracker.orderedWindows())
            if (window->windowType() == Qt::Window && !window->windowTitle().isEmpty()
                && (window->isVisible() || WindowTabGroup::groupOf(window)))
                windows.append(window);
        if (windows.isEmpty())
            return;
        windowList_.append(container_->addAction(QString()));
        windowList_.constLast()->setSeparator(true);
        for (QWidget* window : windows) {
            QString title = window->windowTitle().remove(QStringLiteral("[*]"));
            title.replace(QLatin1Char('&'), QStringLiteral("&&"));
            QAction* action = container_->addAction(title);
            action->setCheckable(true);
            action->setChecked(window == tracker.keyWindow());
            connect(action, &QAction::triggered, this, [&tracker, target = QPointer<QWidget>(window)] {
                if (target)
                    tracker.makeKeyAndOrderFront(target);
            });
            windowList_.append(action);
        }
    }

    MenuBinder& binder_;
    QPointer<QWidget> window_;
    std::shared_ptr<MenuModel> model_;
    QPointer<QWidget> container_;
    QPointer<QWidget> bar_;
    Bound* parentBound_;
    bool popup_ = false;
    std::vector<Entry> entries_;
    QHash<const MenuItem*, size_t> index_;  // entries_ by their item
    QList<QPointer<QAction>> windowList_;
    bool showing_ = false;
    bool validatingRow_ = false;
    bool stale_ = false;  // the model changed while a fill was pending
    bool filling_ = false;
    QHash<QKeySequence, const MenuItem*> owners_;  // in the root: which item holds each shortcut
};

struct MenuBinder::Binding {
    QPointer<QWidget> window;
    QPointer<QMenuBar> bar;
    QPointer<Bound> root;
};

MenuBinder::MenuBinder(ActionDispatcher& dispatcher, QObject* parent) : QObject(parent), dispatcher_(dispatcher) {}

MenuBinder::~MenuBinder()
{
    for (const auto& binding : std::as_const(bindings_))
        delete binding->root;
}

MenuBinder& MenuBinder::shared()
{
    static auto* binder = new MenuBinder(ActionDispatcher::shared(), qApp);
    return *binder;
}

void MenuBinder::setMainMenu(std::shared_ptr<MenuModel> menu)
{
    mainMenu_ = std::move(menu);
    for (const auto& binding : std::as_const(bindings_)) {
        if (binding->root) {
            binding->root->detachActions();
            binding->root->deleteLater();
        }
        binding->root = nullptr;
        if (mainMenu_ && binding->bar)
            binding->root = new Bound(*this, binding->window, mainMenu_, binding->bar, binding->bar, nullptr);
    }
}

namespace {

MenuItem* itemForKey(const MenuModel& menu, const QKeySequence& key, bool alternates)
{
    for (const auto& item : menu.items()) {
        if (item->isSeparatorItem() || item->isHidden()) continue;
        if (const MenuModel* submenu = item->submenu()) {
            if (MenuItem* found = itemForKey(*submenu, key, alternates)) return found;
            continue;
        }
        if (item->keyEquivalent().isEmpty()) continue;
        if (alternates ? item->alternateKeySequences().contains(key) : item->keySequence() == key) return item.get();
    }
    return nullptr;
}

}  // namespace

bool MenuBinder::performKeyEquivalent(const QKeyEvent& event, QWidget* window)
{
    if (!mainMenu_ || event.type() != QEvent::KeyPress || event.key() == Qt::Key_unknown) return false;
    const QKeySequence key(event.keyCombination());
    MenuItem* item = itemForKey(*mainMenu_, key, false);
    if (!item) item = itemForKey(*mainMenu_, key, true);
    return item && dispatcher_.performItem(*item, window ? window->window() : nullptr);
}

QMenuBar* MenuBinder::attach(QWidget* window)
{
    if (!window)
        return nullptr;
    window = window->window();
    if (const auto existing = bindings_.value(window))
        return existing->bar;
    auto* bar = new QMenuBar(window);
    // Every window shows the menu itself; there is no shared menu bar to hand it to.
    bar->setNativeMenuBar(false);
    if (auto* main = qobject_cast<QMainWindow*>(window))
        main->setMenuBar(bar);
    else if (window->layout())
        window->layout()->setMenuBar(bar);
    auto binding = std::make_shared<Binding>();
    binding->window = window;
    binding->bar = bar;
    if (mainMenu_)
        binding->root = new Bound(*this, window, mainMenu_, bar, bar, nullptr);
    bindings_.insert(window, binding);
    connect(window, &QObject::destroyed, this, [this](QObject* gone) {
        const auto binding = bindings_.take(gone);
        if (binding && binding->root)
            binding->root->deleteLater();
    });
    return bar;
}

void MenuBinder::detach(QWidget* window)
{
    if (!window)
        return;
    const auto binding = bindings_.take(window->window());
    if (!binding)
        return;
    disconnect(window->window(), &QObject::destroyed, this, nullptr);
    if (binding->root) {
        binding->root->detachActions();
        binding->root->deleteLater();
    }
    if (binding->bar)
        binding->bar->deleteLater();
}

void MenuBinder::popUp(std::shared_ptr<MenuModel> menu, QWidget* window, const QPoint& globalPosition)
{
    if (!menu)
        return;
    QMenu shown;
    auto bound = std::make_unique<Bound>(*this, window, std::move(menu), &shown, &shown, nullptr, true);
    shown.exec(globalPosition);
    bound.reset();
}

QMenuBar* MenuBinder::menuBar(const QWidget* window) const
{
    const auto binding = window ? bindings_.value(window->window()) : nullptr;
    return binding ? binding->bar : nullptr;
}

QAction* MenuBinder::actionFor(const QWidget* window, const MenuItem* item) const
{
    const auto binding = window ? bindings_.value(window->window()) : nullptr;
    return binding && binding->root ? binding->root->actionFor(item) : nullptr;
}

QMenu* MenuBinder::menuFor(const QWidget* window, const MenuModel* menu) const
{
    const auto binding = window ? bindings_.value(window->window()) : nullptr;
    return binding && binding->root ? binding->root->menuFor(menu) : nullptr;
}

}  // namespace korimado
