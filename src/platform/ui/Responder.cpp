#include "platform/ui/Responder.h"

#include "platform/ui/MenuModel.h"

namespace korimado {

ResponderRef::ResponderRef(Responder* responder)
    : responder_(responder), alive_(responder ? std::weak_ptr<void>(responder->alive_) : std::weak_ptr<void>())
{
}

Responder::Responder() : alive_(std::make_shared<int>(0)) {}

Responder::~Responder() = default;

bool Responder::respondsTo(const QString& action) const
{
    return actions_.contains(action);
}

void Responder::perform(const QString& action, MenuItem* sender)
{
    const auto it = actions_.constFind(action);
    if (it != actions_.constEnd() && it->handler)
        it->handler(sender);
}

std::optional<bool> Responder::validate(MenuItem& item)
{
    const auto it = actions_.constFind(item.action());
    if (it != actions_.constEnd() && it->validator)
        return it->validator(item);
    return std::nullopt;
}

void Responder::registerAction(const QString& action, Handler handler, Validator validator)
{
    actions_.insert(action, Entry{std::move(handler), std::move(validator)});
}

}  // namespace korimado
