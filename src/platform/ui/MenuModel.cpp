#include "platform/ui/MenuModel.h"

#include <algorithm>

namespace korimado {

namespace {

// Private-use characters the menus use for keys without a printable character.
int functionKey(char16_t c)
{
    switch (c) {
    case 0xF700: return Qt::Key_Up;
    case 0xF701: return Qt::Key_Down;
    case 0xF702: return Qt::Key_Left;
    case 0xF703: return Qt::Key_Right;
    case 0xF728: return Qt::Key_Delete;
    case 0xF729: return Qt::Key_Home;
    case 0xF72B: return Qt::Key_End;
    case 0xF72C: return Qt::Key_PageUp;
    case 0xF72D: return Qt::Key_PageDown;
    case u'\r':
    case u'\n': return Qt::Key_Return;
    case u'\t': return Qt::Key_Tab;
    case 0x19: return Qt::Key_Backtab;
    case 0x1B: return Qt::Key_Escape;
    case 0x08:
    case 0x7F: return Qt::Key_Backspace;
    case u' ': return Qt::Key_Space;
    default: break;
    }
    if (c >= 0xF704 && c <= 0xF722)  // F1 to F35
        return Qt::Key_F1 + (c - 0xF704);
    return 0;
}

}  // namespace

// MARK: MenuItem

MenuItem::MenuItem(const QString& title, const QString& action, const QString& keyEquivalent)
    : title_(title), action_(action), keyEquivalent_(keyEquivalent)
{
}

MenuItem::~MenuItem() = default;

std::shared_ptr<MenuItem> MenuItem::separator()
{
    auto item = std::make_shared<MenuItem>();
    item->separator_ = true;
    item->enabled_ = false;
    return item;
}

QKeySequence MenuItem::keySequence(const QString& key, KeyModifiers modifiers)
{
    if (key.size() != 1 && !(key.size() == 2 && key.at(0).isHighSurrogate()))
        return {};
    const char32_t c = key.toUcs4().value(0);
    int code = c <= 0xFFFF ? functionKey(static_cast<char16_t>(c)) : 0;
    bool shift = modifiers.testFlag(KeyModifier::Shift);
    if (code == 0) {
        if (c >= U'a' && c <= U'z') {
            code = Qt::Key_A + static_cast<int>(c - U'a');
        } else if (c >= U'A' && c <= U'Z') {
            code = Qt::Key_A + static_cast<int>(c - U'A');
            shift = true;  // an upper-case key equivalent means Shift
        } else {
            // Qt names other keys by their upper-case code point.
            code = static_cast<int>(QChar::toUpper(c));
        }
    }
    int combined = code;
    if (modifiers.testFlag(KeyModifier::Command))
        combined |= Qt::CTRL;
    if (modifiers.testFlag(KeyModifier::Option))
        combined |= Qt::ALT;
    if (modifiers.testFlag(KeyModifier::Control))
        combined |= Qt::META;
    if (shift)
        combined |= Qt::SHIFT;
    return QKeySequence(combined);
}

QList<QKeySequence> MenuItem::alternateKeySequences() const
{
    QList<QKeySequence> keys = alternateKeySequences(keyEquivalent_, modifiers_);
    for (const auto& [key, modifiers] : alternates_) {
        const QKeySequence second = keySequence(key, modifiers);
        if (second.isEmpty()) continue;
        keys.append(second);
        keys.append(alternateKeySequences(key, modifiers));
    }
    return keys;
}

void MenuItem::setAlternateKeyEquivalent(const QString& key, KeyModifiers modifiers)
{
    const std::vector<std::pair<QString, KeyModifiers>> one{{key, modifiers}};
    if (alternates_ == one)
        return;
    alternates_ = one;
    changed();
}

void MenuItem::addAlternateKeyEquivalent(const QString& key, KeyModifiers modifiers)
{
    alternates_.emplace_back(key, modifiers);
    changed();
}

QList<QKeySequence> MenuItem::alternateKeySequences(const QString& key, KeyModifiers modifiers)
{
    // The symbols that need Shift on the usual layouts.
    static const QString shifted = QStringLiteral("~!@#$%^&*()_+{}|:\"<>?");
    if (!modifiers.testFlag(KeyModifier::Shift) || key.size() != 1 || !shifted.contains(key.at(0)))
        return {};
    const QKeySequence unshifted = keySequence(key, modifiers & ~KeyModifiers(KeyModifier::Shift));
    return unshifted.isEmpty() ? QList<QKeySequence>() : QList<QKeySequence>{unshifted};
}

void MenuItem::changed()
{
    if (menu_)
        Q_EMIT menu_->changed(this);
}

void MenuItem::setAccessKey(QChar key)
{
    if (accessKey_ == key)
        return;
    accessKey_ = key;
    changed();
}

void MenuItem::setTitle(const QString& title)
{
    if (title_ == title)
        return;
    title_ = title;
    changed();
}

void MenuItem::setAction(const QString& action)
{
    if (action_ == action)
        return;
    action_ = action;
    changed();
}

void MenuItem::setKeyEquivalent(const QString& key)
{
    if (keyEquivalent_ == key)
        return;
    keyEquivalent_ = key;
    changed();
}

void MenuItem::setKeyEquivalentModifierMask(KeyModifiers mask)
{
    if (modifiers_ == mask)
        return;
    modifiers_ = mask;
    changed();
}

void MenuItem::setTarget(Responder* target)
{
    target_ = ResponderRef(target);
}

void MenuItem::setState(State state)
{
    if (state_ == state)
        return;
    state_ = state;
    changed();
}

void MenuItem::setEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    changed();
}

void MenuItem::setIndentationLevel(int level)
{
    level = std::clamp(level, 0, 15);
    if (indentationLevel_ == level)
        return;
    indentationLevel_ = level;
    changed();
}

void MenuItem::setHidden(bool hidden)
{
    if (hidden_ == hidden)
        return;
    hidden_ = hidden;
    changed();
}

void MenuItem::setSubmenu(std::shared_ptr<MenuModel> submenu)
{
    if (submenu_ == submenu)
        return;
    submenu_ = std::move(submenu);
    changed();
}

// MARK: MenuModel

MenuModel::MenuModel(const QString& title) : title_(title) {}

MenuModel::~MenuModel()
{
    for (const auto& item : items_)
        item->menu_ = nullptr;
}

void MenuModel::setTitle(const QString& title)
{
    if (title_ == title)
        return;
    title_ = title;
    Q_EMIT changed(nullptr);
}

MenuItem* MenuModel::itemAt(int index) const
{
    return sharedItemAt(index).get();
}

std::shared_ptr<MenuItem> MenuModel::sharedItemAt(int index) const
{
    if (index < 0 || index >= numberOfItems())
        return nullptr;
    return items_[static_cast<size_t>(index)];
}

int MenuModel::indexOfItem(const MenuItem* item) const
{
    const auto& all = items();
    const auto it = std::find_if(all.begin(), all.end(), [item](const auto& i) { return i.get() == item; });
    return it == all.end() ? -1 : static_cast<int>(it - all.begin());
}

MenuItem* MenuModel::itemWithTag(int tag) const
{
    for (const auto& item : items())
        if (item->tag() == tag)
            return item.get();
    return nullptr;
}

MenuItem* MenuModel::itemWithTitle(const QString& title) const
{
    for (const auto& item : items())
        if (item->title() == title)
            return item.get();
    return nullptr;
}

MenuItem* MenuModel::addItem(std::shared_ptr<MenuItem> item)
{
    return insertItem(std::move(item), numberOfItems());
}

MenuItem* MenuModel::addItem(const QString& title, const QString& action, const QString& keyEquivalent)
{
    return addItem(std::make_shared<MenuItem>(title, action, keyEquivalent));
}

MenuItem* MenuModel::addSeparator()
{
    return addItem(MenuItem::separator());
}

void MenuModel::detach(MenuItem& item)
{
    if (!item.menu_)
        return;
    MenuModel* owner = item.menu_;
    const int index = owner->indexOfItem(&item);
    item.menu_ = nullptr;
    if (index >= 0) {
        // Keep the item alive while it moves: the menu may hold its only reference.
        const auto keep = owner->items_[static_cast<size_t>(index)];
        owner->items_.erase(owner->items_.begin() + index);
        Q_EMIT owner->changed(nullptr);
    }
}

MenuItem* MenuModel::insertItem(std::shared_ptr<MenuItem> item, int index)
{
    if (!item)
        return nullptr;
    detach(*item);
    index = std::clamp(index, 0, numberOfItems());
    item->menu_ = this;
    items_.insert(items_.begin() + index, item);
    Q_EMIT changed(nullptr);
    return item.get();
}

void MenuModel::replaceItem(int index, std::shared_ptr<MenuItem> item)
{
    if (!item || index < 0 || index >= numberOfItems())
        return;
    if (items_[static_cast<size_t>(index)] == item)
        return;
    const int previous = item->menu_ == this ? indexOfItem(item.get()) : -1;
    detach(*item);
    if (previous >= 0 && previous < index)
        --index;
    items_[static_cast<size_t>(index)]->menu_ = nullptr;
    item->menu_ = this;
    items_[static_cast<size_t>(index)] = std::move(item);
    Q_EMIT changed(nullptr);
}

void MenuModel::removeItem(const MenuItem* item)
{
    removeItemAt(indexOfItem(item));
}

void MenuModel::removeItemAt(int index)
{
    if (index < 0 || index >= numberOfItems())
        return;
    const auto keep = items_[static_cast<size_t>(index)];
    keep->menu_ = nullptr;
    items_.erase(items_.begin() + index);
    Q_EMIT changed(nullptr);
}

void MenuModel::removeAllItems()
{
    pendingFill_ = nullptr;
    if (items_.empty())
        return;
    const auto keep = std::move(items_);
    items_.clear();
    for (const auto& item : keep)
        item->menu_ = nullptr;
    Q_EMIT changed(nullptr);
}

void MenuModel::setItems(std::vector<std::shared_ptr<MenuItem>> items)
{
    pendingFill_ = nullptr;
    const auto previous = std::move(items_);
    items_.clear();
    for (const auto& item : previous)
        item->menu_ = nullptr;
    std::vector<std::shared_ptr<MenuItem>> next;
    next.reserve(items.size());
    for (auto& item : items) {
        // An item listed twice stays at its first place.
        if (!item || item->menu_ == this)
            continue;
        detach(*item);
        item->menu_ = this;
        next.push_back(std::move(item));
    }
    items_ = std::move(next);
    if (!previous.empty() || !items_.empty())
        Q_EMIT changed(nullptr);
}

void MenuModel::setNeedsFill(Filler fill)
{
    pendingFill_ = std::move(fill);
    // Shown menus follow now; hidden ones wait until they open.
    Q_EMIT changed(nullptr);
}

void MenuModel::settle() const
{
    if (!pendingFill_)
        return;
    // Reading the items of a menu is what fills it: the object itself is never const.
    auto* self = const_cast<MenuModel*>(this);
    const Filler fill = std::move(self->pendingFill_);
    self->pendingFill_ = nullptr;
    fill(*self);
}

}  // namespace korimado
