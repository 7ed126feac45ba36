#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace korimado {

class MenuItem;
class Responder;

// A reference to a responder that turns null once the responder is destroyed, so that menu items
// and registrations never call into an object that is gone.
class ResponderRef {
public:
    ResponderRef() = default;
    ResponderRef(Responder* responder);  // NOLINT: implicit on purpose, like a pointer

    Responder* get() const { return alive_.expired() ? nullptr : responder_; }
    // True when a responder was given, even if it is gone now.
    bool isSet() const { return responder_ != nullptr; }

private:
    Responder* responder_ = nullptr;
    std::weak_ptr<void> alive_;
};

// An object that handles actions by name ("undo:", "saveDocument:"). Subclasses either register
// handlers with registerAction() or override the three virtual members.
class Responder {
public:
    using Handler = std::function<void(MenuItem* sender)>;
    // Decides whether an item is enabled; it may also set the item's title or state.
    using Validator = std::function<std::optional<bool>(MenuItem& item)>;

    Responder();
    virtual ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    virtual bool respondsTo(const QString& action) const;
    // sender is the menu item that asked, or nullptr when code sent the action.
    virtual void perform(const QString& action, MenuItem* sender);
    // No value means no opinion: the item is enabled.
    virtual std::optional<bool> validate(MenuItem& item);

protected:
    void registerAction(const QString& action, Handler handler, Validator validator = {});

private:
    friend class ResponderRef;
    struct Entry {
        Handler handler;
        Validator validator;
    };
    QHash<QString, Entry> actions_;
    std::shared_ptr<int> alive_;
};

}  // namespace korimado
