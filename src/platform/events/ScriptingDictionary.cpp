#include "platform/events/ScriptingDictionary.h"

#include <QFile>

#include <algorithm>

#include <pugixml.hpp>

namespace korimado {

namespace {

QString text(const pugi::xml_attribute& attribute)
{
    return QString::fromUtf8(attribute.value());
}

QString attribute(const pugi::xml_node& node, const char* name)
{
    return text(node.attribute(name));
}

// The binding's attribute, empty when the term has no binding or the binding lacks it.
QString binding(const pugi::xml_node& node, const char* name)
{
    return attribute(node.child("binding"), name);
}

// The first item that passes test, or nullptr.
template <typename Items, typename Test>
auto firstWhere(Items& items, Test test) -> decltype(&*items.begin())
{
    const auto found = std::find_if(items.begin(), items.end(), test);
    return found == items.end() ? nullptr : &*found;
}

struct Failure {
    QString message;
};

FourCharCode readCode(const pugi::xml_node& node, int length)
{
    const QString value = attribute(node, "code");
    if (value.size() != length || !isCodeText(value.left(4)) || (length == 8 && !isCodeText(value.mid(4))))
        throw Failure{QStringLiteral("<%1 name=\"%2\"> has no code of %3 characters")
                          .arg(QString::fromUtf8(node.name()), attribute(node, "name"))
                          .arg(length)};
    return code(value.left(4));
}

// A type given as an attribute, or as a <type type="…" list="yes"/> child.
void readType(const pugi::xml_node& node, QString& type, bool& isList)
{
    type = attribute(node, "type");
    if (type.isEmpty())
        if (const pugi::xml_node child = node.child("type")) {
            type = attribute(child, "type");
            isList = attribute(child, "list") == QLatin1String("yes");
        }
}

ScriptingDictionary::Property readProperty(const pugi::xml_node& node)
{
    ScriptingDictionary::Property property;
    property.name = attribute(node, "name");
    property.code = readCode(node, 4);
    property.key = binding(node, "key");
    readType(node, property.type, property.isList);
    property.readOnly = attribute(node, "access") == QLatin1String("r");
    return property;
}

void readClassBody(const pugi::xml_node& node, ScriptingDictionary::Class& target)
{
    if (const QString implementation = binding(node, "class"); !implementation.isEmpty())
        target.implementationClass = implementation;
    for (const pugi::xml_node& property : node.children("property"))
        target.properties.push_back(readProperty(property));
    for (const pugi::xml_node& element : node.children("element"))
        target.elements.push_back({attribute(element, "type"), binding(element, "key")});
    for (const pugi::xml_node& responds : node.children("responds-to"))
        target.respondsTo[attribute(responds, "command")] = binding(responds, "method");
}

}  // namespace

const ScriptingDictionary::Parameter* ScriptingDictionary::Command::parameter(FourCharCode code) const
{
    return firstWhere(parameters, [&](const Parameter& parameter) { return parameter.code == code; });
}

const ScriptingDictionary::Property* ScriptingDictionary::Class::property(FourCharCode code) const
{
    return firstWhere(properties, [&](const Property& property) { return property.code == code; });
}

const ScriptingDictionary::Property* ScriptingDictionary::Class::propertyWithKey(const QString& key) const
{
    return firstWhere(properties, [&](const Property& property) { return property.key == key; });
}

QString ScriptingDictionary::Class::method(const QString& command) const
{
    const auto found = respondsTo.find(command);
    return found == respondsTo.end() ? QString() : found->second;
}

std::optional<ScriptingDictionary> ScriptingDictionary::parse(QByteArrayView xml, QString* error)
{
    pugi::xml_document document;
    // The default options read no DOCTYPE and load nothing from outside.
    const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), size_t(xml.size()));
    if (!parsed) {
        if (error)
            *error = QString::fromUtf8(parsed.description()) + QStringLiteral(" at byte ") + QString::number(parsed.offset);
        return std::nullopt;
    }
    const pugi::xml_node root = document.child("dictionary");
    if (!root) {
        if (error) *error = QStringLiteral("no <dictionary> element");
        return std::nullopt;
    }
    ScriptingDictionary dictionary;
    std::vector<std::pair<QString, pugi::xml_node>> extensions;
    try {
        for (const pugi::xml_node& suite : root.children("suite")) {
            for (const pugi::xml_node& node : suite.children()) {
                const std::string_view kind = node.name();
                if (kind == "command") {
                    Command command;
                    command.name = attribute(node, "name");
                    readCode(node, 8);
                    const QString codes = attribute(node, "code");
                    command.eventClass = code(codes.left(4));
                    command.eventID = code(codes.mid(4));
                    command.implementationClass = binding(node, "class");
                    if (const pugi::xml_node direct = node.child("direct-parameter")) {
                        bool isList = false;
                        readType(direct, command.directParameterType, isList);
                        if (command.directParameterType.isEmpty())
                            command.directParameterType = QStringLiteral("any");
                    }
                    for (const pugi::xml_node& item : node.children("parameter")) {
                        Parameter parameter;
                        parameter.name = attribute(item, "name");
                        parameter.code = readCode(item, 4);
                        parameter.key = binding(item, "key");
                        readType(item, parameter.type, parameter.isList);
                        parameter.optional = attribute(item, "optional") == QLatin1String("yes");
                        command.parameters.push_back(std::move(parameter));
                    }
                    if (const pugi::xml_node result = node.child("result"))
                        command.resultType = attribute(result, "type");
                    dictionary.commands_.push_back(std::move(command));
                } else if (kind == "class") {
                    Class target;
                    target.name = attribute(node, "name");
                    target.code = readCode(node, 4);
                    readClassBody(node, target);
                    dictionary.classes_.push_back(std::move(target));
                } else if (kind == "class-extension") {
                    extensions.emplace_back(attribute(node, "extends"), node);
                } else if (kind == "enumeration") {
                    Enumeration enumeration;
                    enumeration.name = attribute(node, "name");
                    enumeration.code = readCode(node, 4);
                    for (const pugi::xml_node& item : node.children("enumerator")) {
                        Enumerator enumerator;
                        enumerator.name = attribute(item, "name");
                        enumerator.code = readCode(item, 4);
                        enumerator.text = binding(item, "text");
                        if (enumerator.text.isEmpty())
                            enumerator.text = enumerator.name;
                        enumeration.enumerators.push_back(std::move(enumerator));
                    }
                    dictionary.enumerations_.push_back(std::move(enumeration));
                }
            }
        }
        // Extensions apply once every suite's classes are known, whichever suite comes first.
        for (const auto& [extended, node] : extensions) {
            Class* target = firstWhere(dictionary.classes_, [&](const Class& c) { return c.name == extended; });
            if (!target)
                throw Failure{QStringLiteral("<class-extension> extends \"%1\", which no suite defines").arg(extended)};
            readClassBody(node, *target);
        }
        // Events look their command up one by one: the first declaration of a code answers.
        for (std::size_t i = 0; i < dictionary.commands_.size(); ++i)
            dictionary.commandIndex_.emplace(std::pair(dictionary.commands_[i].eventClass, dictionary.commands_[i].eventID), i);
    } catch (const Failure& failure) {
        if (error) *error = failure.message;
        return std::nullopt;
    }
    return dictionary;
}

std::optional<ScriptingDictionary> ScriptingDictionary::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    return parse(file.readAll(), error);
}

const ScriptingDictionary::Command* ScriptingDictionary::command(FourCharCode eventClass, FourCharCode eventID) const
{
    const auto found = commandIndex_.find({eventClass, eventID});
    return found == commandIndex_.end() ? nullptr : &commands_[found->second];
}

const ScriptingDictionary::Command* ScriptingDictionary::commandNamed(const QString& name) const
{
    return firstWhere(commands_, [&](const Command& command) { return command.name == name; });
}

const ScriptingDictionary::Class* ScriptingDictionary::classNamed(const QString& name) const
{
    return firstWhere(classes_, [&](const Class& target) { return target.name == name; });
}

const ScriptingDictionary::Class* ScriptingDictionary::classWithCode(FourCharCode code) const
{
    return firstWhere(classes_, [&](const Class& target) { return target.code == code; });
}

const ScriptingDictionary::Class* ScriptingDictionary::classImplementedBy(const QString& implementationClass) const
{
    return firstWhere(classes_, [&](const Class& target) { return target.implementationClass == implementationClass; });
}

const ScriptingDictionary::Enumeration* ScriptingDictionary::enumeration(const QString& name) const
{
    return firstWhere(enumerations_, [&](const Enumeration& enumeration) { return enumeration.name == name; });
}

std::map<QString, EventDescriptor> ScriptingDictionary::arguments(const Command& command, const AppleEvent& event) const
{
    std::map<QString, EventDescriptor> arguments;
    for (const EventDescriptor::Item& item : event.parameters()) {
        const Parameter* parameter = command.parameter(item.key);
        if (!parameter || item.key == AppleEvent::keyDirectObject)
            continue;
        EventDescriptor value = item.value;
        const Enumeration* enumeration =
            value.type() == EventDescriptor::typeEnumerated ? this->enumeration(parameter->type) : nullptr;
        if (enumeration) {
            const Enumerator* enumerator = firstWhere(enumeration->enumerators,
                                                      [&](const Enumerator& e) { return e.code == *value.toCode(); });
            // An enumerator the parameter does not know reaches the handler as its code, which the
            // handler refuses, rather than as no value, which it would take for its default.
            value = EventDescriptor::text(enumerator ? enumerator->text : codeString(*value.toCode()));
        }
        arguments[parameter->key.isEmpty() ? parameter->name : parameter->key] = std::move(value);
    }
    return arguments;
}

}  // namespace korimado
