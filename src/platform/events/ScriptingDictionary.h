#pragma once

#include "platform/events/AppleEvent.h"

#include <QByteArrayView>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace korimado {

// The scripting terms of a program, read from its dictionary file (an XML "dictionary" of suites
// with commands, classes, class extensions and enumerations, each term with its four-character
// code and a <binding> to the program: key, class, method or text). The event dispatcher takes
// from here which command an event is, which keys its parameters and properties have, what may be
// set, and what text an enumerator stands for.
class ScriptingDictionary {
public:
    struct Parameter {
        QString name;
        FourCharCode code = 0;
        QString key;   // the argument key the handler reads
        QString type;  // empty when the type is given as a list element type
        bool isList = false;
        bool optional = false;
    };

    struct Command {
        QString name;
        FourCharCode eventClass = 0;
        FourCharCode eventID = 0;
        QString implementationClass;  // a command class of its own, else empty
        QString directParameterType;  // empty when there is none
        std::vector<Parameter> parameters;
        QString resultType;
        const Parameter* parameter(FourCharCode code) const;
    };

    struct Property {
        QString name;
        FourCharCode code = 0;
        QString key;
        QString type;
        bool isList = false;
        bool readOnly = false;
    };

    struct Element {
        QString type;  // the class name of the elements
        QString key;
    };

    struct Class {
        QString name;
        FourCharCode code = 0;
        QString implementationClass;
        std::vector<Property> properties;
        std::vector<Element> elements;
        std::map<QString, QString> respondsTo;  // command name → handler method
        const Property* property(FourCharCode code) const;
        const Property* propertyWithKey(const QString& key) const;
        // The handler method for a command, or empty when the class does not answer it.
        QString method(const QString& command) const;
    };

    struct Enumerator {
        QString name;
        FourCharCode code = 0;
        QString text;  // what the handler receives: the binding's text, else the name
    };

    struct Enumeration {
        QString name;
        FourCharCode code = 0;
        std::vector<Enumerator> enumerators;
    };

    // None, with the reason in error, when the XML is not well-formed or a code is not four
    // characters. External entities are never loaded.
    static std::optional<ScriptingDictionary> parse(QByteArrayView xml, QString* error = nullptr);
    static std::optional<ScriptingDictionary> load(const QString& path, QString* error = nullptr);

    const std::vector<Command>& commands() const { return commands_; }
    const std::vector<Class>& classes() const { return classes_; }
    const std::vector<Enumeration>& enumerations() const { return enumerations_; }

    const Command* command(FourCharCode eventClass, FourCharCode eventID) const;
    const Command* commandNamed(const QString& name) const;
    const Class* classNamed(const QString& name) const;
    const Class* classWithCode(FourCharCode code) const;
    const Class* classImplementedBy(const QString& implementationClass) const;
    const Enumeration* enumeration(const QString& name) const;

    // The evaluated arguments of an event for its command: each known parameter under its key,
    // an enumerator of the parameter's enumeration turned into its text. Parameters the command
    // does not declare, and the direct object, are left out.
    std::map<QString, EventDescriptor> arguments(const Command& command, const AppleEvent& event) const;

private:
    std::vector<Command> commands_;
    std::vector<Class> classes_;
    std::vector<Enumeration> enumerations_;
    std::map<std::pair<FourCharCode, FourCharCode>, std::size_t> commandIndex_;
};

}  // namespace korimado
