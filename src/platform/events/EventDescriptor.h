#pragma once

#include "platform/events/EventCode.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace korimado {

// One value carried by an event: null, a boolean, an integer, a real, a text, a type or
// enumerator code, a list, a record of keyed values, or an object specifier (a record of "want",
// "form", "seld" and "from" naming an object of the program). Values are immutable and share
// their items, so copying one is cheap.
class EventDescriptor {
public:
    struct Item;

    static constexpr FourCharCode typeNull = fourCharCode("null");
    static constexpr FourCharCode typeBoolean = fourCharCode("bool");
    static constexpr FourCharCode typeInteger = fourCharCode("long");
    static constexpr FourCharCode typeInteger64 = fourCharCode("comp");
    static constexpr FourCharCode typeReal = fourCharCode("doub");
    static constexpr FourCharCode typeUTF8Text = fourCharCode("utf8");
    static constexpr FourCharCode typeUnicodeText = fourCharCode("utxt");
    static constexpr FourCharCode typeType = fourCharCode("type");
    static constexpr FourCharCode typeEnumerated = fourCharCode("enum");
    static constexpr FourCharCode typeList = fourCharCode("list");
    static constexpr FourCharCode typeRecord = fourCharCode("reco");
    static constexpr FourCharCode typeObjectSpecifier = fourCharCode("obj ");

    // The keys of an object specifier.
    static constexpr FourCharCode keyWant = fourCharCode("want");
    static constexpr FourCharCode keyForm = fourCharCode("form");
    static constexpr FourCharCode keySeld = fourCharCode("seld");
    static constexpr FourCharCode keyFrom = fourCharCode("from");

    EventDescriptor();  // null
    static EventDescriptor boolean(bool value);
    // "long" when the value fits 32 bits, else "comp".
    static EventDescriptor integer(qint64 value);
    // "comp" whatever the value.
    static EventDescriptor integer64(qint64 value);
    static EventDescriptor real(double value);
    // "utf8", the form text travels in.
    static EventDescriptor text(QString value);
    // "utxt": the same text, read from the UTF-16 form.
    static EventDescriptor unicodeText(QString value);
    static EventDescriptor typeCode(FourCharCode value);
    static EventDescriptor enumerated(FourCharCode value);
    static EventDescriptor list(std::vector<EventDescriptor> items);
    static EventDescriptor record(std::vector<Item> items);
    static EventDescriptor objectSpecifier(FourCharCode want, FourCharCode form, EventDescriptor seld,
                                           EventDescriptor from);
    // An object specifier of the keyed items given, as they came.
    static EventDescriptor objectSpecifier(std::vector<Item> items);
    // A type this layer does not interpret, kept as its bytes.
    static EventDescriptor opaque(FourCharCode type, QByteArray data);

    FourCharCode type() const { return type_; }
    bool isNull() const { return type_ == typeNull; }
    bool isList() const { return type_ == typeList; }
    // Records and object specifiers keep keyed items.
    bool isRecord() const { return type_ == typeRecord || type_ == typeObjectSpecifier; }
    bool isObjectSpecifier() const { return type_ == typeObjectSpecifier; }

    // Coercions. A value of a type a coercion does not cover gives none.
    std::optional<bool> toBoolean() const;
    // "long", "comp", and a "doub" that is a whole number within 64 bits.
    std::optional<qint64> toInteger() const;
    // "doub", "long", "comp".
    std::optional<double> toReal() const;
    // "utf8" and "utxt".
    std::optional<QString> toText() const;
    // "type" and "enum".
    std::optional<FourCharCode> toCode() const;
    // The bytes of an opaque value.
    QByteArray opaqueData() const;

    // Lists: the values; records and object specifiers: the keyed items in order.
    const std::vector<Item>& items() const;
    qsizetype count() const;
    // Records and object specifiers: the value under key, or nullptr.
    const EventDescriptor* value(FourCharCode key) const;
    // Records and object specifiers: replaces the value under key, or appends it.
    void setValue(FourCharCode key, EventDescriptor value);
    // Lists: appends a value.
    void append(EventDescriptor value);

    friend bool operator==(const EventDescriptor& a, const EventDescriptor& b);

private:
    using Items = std::shared_ptr<std::vector<Item>>;
    using Payload = std::variant<std::monostate, bool, qint64, double, QString, QByteArray, Items>;
    EventDescriptor(FourCharCode type, Payload payload) : type_(type), payload_(std::move(payload)) {}
    std::vector<Item>& mutableItems();

    FourCharCode type_ = typeNull;
    Payload payload_;
};

struct EventDescriptor::Item {
    FourCharCode key = 0;  // 0 for the values of a list
    EventDescriptor value;
    friend bool operator==(const Item&, const Item&) = default;
};

inline qsizetype EventDescriptor::count() const
{
    return qsizetype(items().size());
}

}  // namespace korimado
