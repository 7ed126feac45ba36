#pragma once

#include "platform/events/EventDescriptor.h"

#include <QString>

#include <optional>
#include <vector>

namespace korimado {

// One event (a command sent to the program) or its reply: a class, an ID and keyed parameters.
// The direct object travels as "----"; a reply carries its value there and an error as "errn"
// (number) and "errs" (message).
class AppleEvent {
public:
    static constexpr FourCharCode keyDirectObject = fourCharCode("----");
    static constexpr FourCharCode keyErrorNumber = fourCharCode("errn");
    static constexpr FourCharCode keyErrorString = fourCharCode("errs");
    // Replies are events of this class and ID.
    static constexpr FourCharCode replyClass = fourCharCode("aevt");
    static constexpr FourCharCode replyID = fourCharCode("ansr");

    AppleEvent() = default;
    AppleEvent(FourCharCode eventClass, FourCharCode eventID) : eventClass_(eventClass), eventID_(eventID) {}
    static AppleEvent reply() { return {replyClass, replyID}; }

    FourCharCode eventClass() const { return eventClass_; }
    FourCharCode eventID() const { return eventID_; }
    bool isReply() const { return eventClass_ == replyClass && eventID_ == replyID; }

    const std::vector<EventDescriptor::Item>& parameters() const { return parameters_; }
    const EventDescriptor* parameter(FourCharCode key) const;
    // Replaces the parameter under key, or appends it.
    void setParameter(FourCharCode key, EventDescriptor value);
    void removeParameter(FourCharCode key);

    const EventDescriptor* directObject() const { return parameter(keyDirectObject); }
    void setDirectObject(EventDescriptor value) { setParameter(keyDirectObject, std::move(value)); }

    // Replies: the error number, 0 when there is none; the message, empty when there is none.
    int errorNumber() const;
    QString errorString() const;
    void setError(int number, const QString& message);

    friend bool operator==(const AppleEvent&, const AppleEvent&) = default;

private:
    FourCharCode eventClass_ = 0;
    FourCharCode eventID_ = 0;
    std::vector<EventDescriptor::Item> parameters_;
};

}  // namespace korimado
