#include "scripting/model/ScriptCommand.h"

namespace korimado {

ScriptCommand::ScriptCommand(QString name, std::optional<EventDescriptor> directParameter,
                             std::map<QString, EventDescriptor> arguments)
    : name_(std::move(name)), directParameter_(std::move(directParameter)), arguments_(std::move(arguments))
{
}

const EventDescriptor* ScriptCommand::argument(const QString& key) const
{
    const auto found = arguments_.find(key);
    return found == arguments_.end() ? nullptr : &found->second;
}

std::optional<QString> ScriptCommand::text(const QString& key) const
{
    const EventDescriptor* value = argument(key);
    return value ? value->toText() : std::nullopt;
}

std::optional<bool> ScriptCommand::boolean(const QString& key) const
{
    const EventDescriptor* value = argument(key);
    return value ? value->toBoolean() : std::nullopt;
}

std::optional<qint64> ScriptCommand::integer(const QString& key) const
{
    const EventDescriptor* value = argument(key);
    return value ? value->toInteger() : std::nullopt;
}

std::optional<std::vector<qint64>> ScriptCommand::integers(const QString& key) const
{
    const EventDescriptor* value = argument(key);
    return value ? integers(*value) : std::nullopt;
}

std::optional<std::vector<qint64>> ScriptCommand::integers(const EventDescriptor& value)
{
    if (!value.isList())
        return std::nullopt;
    std::vector<qint64> numbers;
    for (const EventDescriptor::Item& item : value.items()) {
        const std::optional<qint64> number = item.value.toInteger();
        if (!number)
            return std::nullopt;
        numbers.push_back(*number);
    }
    return numbers;
}

void ScriptCommand::setScriptError(int number, const QString& message)
{
    errorNumber_ = number;
    errorString_ = message;
}

}  // namespace korimado
