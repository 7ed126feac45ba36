#include "platform/events/AppleEvent.h"

#include <algorithm>
#include <limits>

namespace korimado {

const EventDescriptor* AppleEvent::parameter(FourCharCode key) const
{
    for (const EventDescriptor::Item& item : parameters_)
        if (item.key == key)
            return &item.value;
    return nullptr;
}

void AppleEvent::setParameter(FourCharCode key, EventDescriptor value)
{
    for (EventDescriptor::Item& item : parameters_)
        if (item.key == key) {
            item.value = std::move(value);
            return;
        }
    parameters_.push_back({key, std::move(value)});
}

void AppleEvent::removeParameter(FourCharCode key)
{
    std::erase_if(parameters_, [key](const EventDescriptor::Item& item) { return item.key == key; });
}

int AppleEvent::errorNumber() const
{
    const EventDescriptor* number = parameter(keyErrorNumber);
    const std::optional<qint64> value = number ? number->toInteger() : std::nullopt;
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return 0;
    return int(*value);
}

QString AppleEvent::errorString() const
{
    const EventDescriptor* message = parameter(keyErrorString);
    return message ? message->toText().value_or(QString()) : QString();
}

void AppleEvent::setError(int number, const QString& message)
{
    setParameter(keyErrorNumber, EventDescriptor::integer(number));
    if (message.isEmpty())
        removeParameter(keyErrorString);
    else
        setParameter(keyErrorString, EventDescriptor::text(message));
}

}  // namespace korimado
