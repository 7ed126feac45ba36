#include "scripting/text/ScriptCommand.h"

#include <QLocale>
#include <QStringList>

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

namespace {

QString described(const EventDescriptor& value, bool nested)
{
    using D = EventDescriptor;
    if (const std::optional<QString> text = value.toText())
        return nested ? u'"' + *text + u'"' : *text;
    switch (value.type()) {
    case D::typeNull: return QString();
    case D::typeBoolean: return *value.toBoolean() ? QStringLiteral("true") : QStringLiteral("false");
    case D::typeInteger:
    case D::typeInteger64: return QString::number(*value.toInteger());
    case D::typeReal: return QString::number(*value.toReal(), 'g', QLocale::FloatingPointShortest);
    case D::typeType:
    case D::typeEnumerated: return codeString(*value.toCode());
    default: break;
    }
    if (value.isList() || value.isRecord()) {
        QStringList items;
        for (const D::Item& item : value.items())
            items.append((value.isList() ? QString() : codeString(item.key) + u':') + described(item.value, true));
        return u'{' + items.join(QStringLiteral(", ")) + u'}';
    }
    return u'«' + codeString(value.type()) + u'»';
}

}  // namespace

QString ScriptCommand::description(const EventDescriptor& value)
{
    return described(value, false);
}

void ScriptCommand::setScriptError(int number, const QString& message)
{
    errorNumber_ = number;
    errorString_ = message;
}

}  // namespace korimado
