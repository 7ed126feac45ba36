#pragma once

#include "platform/events/EventDescriptor.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace korimado {

// One command as its handler sees it: its name in the dictionary, the direct parameter, the
// evaluated arguments by key (an enumerator already turned into its text), and the error the
// handler sets. Readers give none for an absent argument and for one of another type.
class ScriptCommand {
public:
    ScriptCommand(QString name, std::optional<EventDescriptor> directParameter,
                  std::map<QString, EventDescriptor> arguments);

    const QString& name() const { return name_; }
    const EventDescriptor* directParameter() const { return directParameter_ ? &*directParameter_ : nullptr; }
    const std::map<QString, EventDescriptor>& arguments() const { return arguments_; }
    const EventDescriptor* argument(const QString& key) const;

    std::optional<QString> text(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
    std::optional<qint64> integer(const QString& key) const;
    // A list whose every item is an integer; none for anything else.
    std::optional<std::vector<qint64>> integers(const QString& key) const;
    // The same reading of any value.
    static std::optional<std::vector<qint64>> integers(const EventDescriptor& value);
    // A value as a script would read it written out: a text as it is, a number in decimal, a
    // boolean as true or false, a list or record in braces ({1, "a"}, {pnam:"x"}); empty for
    // nothing.
    static QString description(const EventDescriptor& value);

    void setScriptError(int number, const QString& message);
    int errorNumber() const { return errorNumber_; }
    const QString& errorString() const { return errorString_; }

private:
    QString name_;
    std::optional<EventDescriptor> directParameter_;
    std::map<QString, EventDescriptor> arguments_;
    int errorNumber_ = 0;
    QString errorString_;
};

}  // namespace korimado
