#pragma once

#include "platform/ui/Responder.h"

#include <QFlags>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

#include <memory>
#include <utility>
#include <vector>

namespace korimado {

class MenuModel;

// Modifiers of a key equivalent, named as the program's menus name them. On screen Command is
// Ctrl, Option is Alt and Control is Meta.
enum class KeyModifier : unsigned {
    Command = 1u << 0,
    Option = 1u << 1,
    Control = 1u << 2,
    Shift = 1u << 3,
};
Q_DECLARE_FLAGS(KeyModifiers, KeyModifier)
Q_DECLARE_OPERATORS_FOR_FLAGS(KeyModifiers)

// One entry of a menu: a command sent by name, a separator, or the holder of a submenu.
class MenuItem {
public:
    enum class State { off, on, mixed };

    explicit MenuItem(const QString& title = {}, const QString& action = {}, const QString& keyEquivalent = {});
    ~MenuItem();
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;

    static std::shared_ptr<MenuItem> separator();

    QString title() const { return title_; }
    void setTitle(const QString& title);
    // The action name, such as "saveDocument:"; empty for none.
    QString action() const { return action_; }
    void setAction(const QString& action);
    // One character (empty for none). An upper-case letter implies Shift.
    QString keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(const QString& key);
    // Command unless set otherwise.
    KeyModifiers keyEquivalentModifierMask() const { return modifiers_; }
    void setKeyEquivalentModifierMask(KeyModifiers mask);
    // The shortcut shown and matched for this item; empty without a key equivalent.
    QKeySequence keySequence() const { return keySequence(keyEquivalent_, modifiers_); }
    static QKeySequence keySequence(const QString& key, KeyModifiers modifiers);
    // Further keys that reach the item: a symbol typed with Shift ("{" with Command and Shift)
    // arrives from X with Shift taken into the symbol (Ctrl+{), not as the key sequence says.
    // Also the second key equivalent set below, when there is one.
    QList<QKeySequence> alternateKeySequences() const;
    static QList<QKeySequence> alternateKeySequences(const QString& key, KeyModifiers modifiers);
    // A second key for the item, as the platform's users know the command by two keys (Ctrl+Y and
    // Ctrl+Shift+Z for redo). Not shown; it reaches the item only where no other item holds it.
    void setAlternateKeyEquivalent(const QString& key, KeyModifiers modifiers);
    // One more such key (Ctrl+Tab and Ctrl+PageDown both select the next tab).
    void addAlternateKeyEquivalent(const QString& key, KeyModifiers modifiers);

    // An explicit target gets the action directly; without one the responder chain decides.
    Responder* target() const { return target_.get(); }
    bool hasTarget() const { return target_.isSet(); }
    void setTarget(Responder* target);

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    State state() const { return state_; }
    void setState(State state);
    QVariant representedObject() const { return representedObject_; }
    void setRepresentedObject(const QVariant& object) { representedObject_ = object; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int indentationLevel() const { return indentationLevel_; }
    void setIndentationLevel(int level);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    // The letter that opens the item's menu with Alt from the menu bar, shown after its title
    // ("ファイル(F)"); none by default.
    QChar accessKey() const { return accessKey_; }
    void setAccessKey(QChar key);
    bool isSeparatorItem() const { return separator_; }

    MenuModel* submenu() const { return submenu_.get(); }
    std::shared_ptr<MenuModel> sharedSubmenu() const { return submenu_; }
    void setSubmenu(std::shared_ptr<MenuModel> submenu);
    bool hasSubmenu() const { return submenu_ != nullptr; }

    // The menu that holds this item, or nullptr.
    MenuModel* menu() const { return menu_; }

private:
    friend class MenuModel;
    void changed();

    QString title_;
    QString action_;
    QString keyEquivalent_;
    KeyModifiers modifiers_ = KeyModifier::Command;
    std::vector<std::pair<QString, KeyModifiers>> alternates_;
    ResponderRef target_;
    int tag_ = 0;
    State state_ = State::off;
    QVariant representedObject_;
    bool enabled_ = true;
    int indentationLevel_ = 0;
    bool hidden_ = false;
    QChar accessKey_;
    bool separator_ = false;
    std::shared_ptr<MenuModel> submenu_;
    MenuModel* menu_ = nullptr;
};

// A menu held by the program: a title and an ordered list of items, any of which may hold a
// submenu. Windows show it through MenuBinder, which follows every change.
class MenuModel : public QObject {
    Q_OBJECT

public:
    explicit MenuModel(const QString& title = {});
    ~MenuModel() override;

    QString title() const { return title_; }
    void setTitle(const QString& title);

    const std::vector<std::shared_ptr<MenuItem>>& items() const
    {
        settle();
        return items_;
    }
    int numberOfItems() const { return static_cast<int>(items().size()); }
    MenuItem* itemAt(int index) const;
    std::shared_ptr<MenuItem> sharedItemAt(int index) const;
    // -1 when the item is not in this menu.
    int indexOfItem(const MenuItem* item) const;
    // The first item with that tag or exact title, or nullptr.
    MenuItem* itemWithTag(int tag) const;
    MenuItem* itemWithTitle(const QString& title) const;

    // An item belongs to one menu at a time: adding it here takes it out of the one that held it.
    MenuItem* addItem(std::shared_ptr<MenuItem> item);
    MenuItem* addItem(const QString& title, const QString& action, const QString& keyEquivalent = {});
    MenuItem* addSeparator();
    MenuItem* insertItem(std::shared_ptr<MenuItem> item, int index);
    void replaceItem(int index, std::shared_ptr<MenuItem> item);
    void removeItem(const MenuItem* item);
    void removeItemAt(int index);
    void removeAllItems();
    // Replaces every item at once, with one change notification: filling a long menu item by item
    // would have every bound menu follow each step.
    void setItems(std::vector<std::shared_ptr<MenuItem>> items);

    // Puts filling off until the items are first read (a window about to show the menu, a command
    // looking for an item): a long menu refilled after every parse is mostly never opened. A
    // newer fill replaces one still pending; setItems and removeAllItems drop it.
    using Filler = std::function<void(MenuModel&)>;
    void setNeedsFill(Filler fill);
    bool needsFill() const { return static_cast<bool>(pendingFill_); }

    // With auto-enabling on (the default) validation decides whether items are enabled; with it
    // off each item's own enabled flag stands.
    bool autoenablesItems() const { return autoenablesItems_; }
    void setAutoenablesItems(bool on) { autoenablesItems_ = on; }

Q_SIGNALS:
    // item is nullptr when the list of items or the title changed.
    void changed(korimado::MenuItem* item);

private:
    friend class MenuItem;
    void detach(MenuItem& item);
    void settle() const;

    QString title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
    bool autoenablesItems_ = true;
    Filler pendingFill_;
};

}  // namespace korimado
