#include "platform/events/EventDescriptor.h"

#include <cmath>
#include <limits>

namespace korimado {

namespace {

const std::vector<EventDescriptor::Item>& noItems()
{
    static const std::vector<EventDescriptor::Item> none;
    return none;
}

}  // namespace

EventDescriptor::EventDescriptor() = default;

EventDescriptor EventDescriptor::boolean(bool value)
{
    return {typeBoolean, value};
}

EventDescriptor EventDescriptor::integer(qint64 value)
{
    const bool fits = value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max();
    return {fits ? typeInteger : typeInteger64, value};
}

EventDescriptor EventDescriptor::integer64(qint64 value)
{
    return {typeInteger64, value};
}

EventDescriptor EventDescriptor::real(double value)
{
    return {typeReal, value};
}

EventDescriptor EventDescriptor::text(QString value)
{
    return {typeUTF8Text, std::move(value)};
}

EventDescriptor EventDescriptor::unicodeText(QString value)
{
    return {typeUnicodeText, std::move(value)};
}

EventDescriptor EventDescriptor::typeCode(FourCharCode value)
{
    return {typeType, qint64(value)};
}

EventDescriptor EventDescriptor::enumerated(FourCharCode value)
{
    return {typeEnumerated, qint64(value)};
}

EventDescriptor EventDescriptor::list(std::vector<EventDescriptor> values)
{
    auto items = std::make_shared<std::vector<Item>>();
    items->reserve(values.size());
    for (EventDescriptor& value : values)
        items->push_back({0, std::move(value)});
    return {typeList, std::move(items)};
}

EventDescriptor EventDescriptor::record(std::vector<Item> items)
{
    return {typeRecord, std::make_shared<std::vector<Item>>(std::move(items))};
}

EventDescriptor EventDescriptor::objectSpecifier(FourCharCode want, FourCharCode form, EventDescriptor seld,
                                                 EventDescriptor from)
{
    std::vector<Item> items{{keyWant, typeCode(want)},
                            {keyForm, enumerated(form)},
                            {keySeld, std::move(seld)},
                            {keyFrom, std::move(from)}};
    return {typeObjectSpecifier, std::make_shared<std::vector<Item>>(std::move(items))};
}

EventDescriptor EventDescriptor::objectSpecifier(std::vector<Item> items)
{
    return {typeObjectSpecifier, std::make_shared<std::vector<Item>>(std::move(items))};
}

EventDescriptor EventDescriptor::opaque(FourCharCode type, QByteArray data)
{
    return {type, std::move(data)};
}

std::optional<bool> EventDescriptor::toBoolean() const
{
    if (type_ == typeBoolean)
        return std::get<bool>(payload_);
    return std::nullopt;
}

std::optional<qint64> EventDescriptor::toInteger() const
{
    if (type_ == typeInteger || type_ == typeInteger64)
        return std::get<qint64>(payload_);
    if (type_ == typeReal) {
        const double value = std::get<double>(payload_);
        // 2^63 itself is out of range; every double below it converts exactly.
        if (std::isfinite(value) && std::trunc(value) == value && value >= -9223372036854775808.0
            && value < 9223372036854775808.0)
            return qint64(value);
    }
    return std::nullopt;
}

std::optional<double> EventDescriptor::toReal() const
{
    if (type_ == typeReal)
        return std::get<double>(payload_);
    if (type_ == typeInteger || type_ == typeInteger64)
        return double(std::get<qint64>(payload_));
    return std::nullopt;
}

std::optional<QString> EventDescriptor::toText() const
{
    if (type_ == typeUTF8Text || type_ == typeUnicodeText)
        return std::get<QString>(payload_);
    return std::nullopt;
}

std::optional<FourCharCode> EventDescriptor::toCode() const
{
    if (type_ == typeType || type_ == typeEnumerated)
        return FourCharCode(std::get<qint64>(payload_));
    return std::nullopt;
}

QByteArray EventDescriptor::opaqueData() const
{
    if (const auto* data = std::get_if<QByteArray>(&payload_))
        return *data;
    return {};
}

const std::vector<EventDescriptor::Item>& EventDescriptor::items() const
{
    if (const auto* items = std::get_if<Items>(&payload_))
        return **items;
    return noItems();
}

const EventDescriptor* EventDescriptor::value(FourCharCode key) const
{
    if (!isRecord())
        return nullptr;
    for (const Item& item : items())
        if (item.key == key)
            return &item.value;
    return nullptr;
}

std::vector<EventDescriptor::Item>& EventDescriptor::mutableItems()
{
    auto* items = std::get_if<Items>(&payload_);
    if (!items) {
        // A scalar turned into a container keeps nothing of its value.
        payload_ = std::make_shared<std::vector<Item>>();
        items = std::get_if<Items>(&payload_);
    } else if (items->use_count() > 1) {
        *items = std::make_shared<std::vector<Item>>(**items);
    }
    return **items;
}

void EventDescriptor::setValue(FourCharCode key, EventDescriptor value)
{
    if (!isRecord()) {
        type_ = typeRecord;
        payload_ = std::monostate{};
    }
    std::vector<Item>& items = mutableItems();
    for (Item& item : items)
        if (item.key == key) {
            item.value = std::move(value);
            return;
        }
    items.push_back({key, std::move(value)});
}

void EventDescriptor::append(EventDescriptor value)
{
    if (!isList()) {
        type_ = typeList;
        payload_ = std::monostate{};
    }
    mutableItems().push_back({0, std::move(value)});
}

bool operator==(const EventDescriptor& a, const EventDescriptor& b)
{
    if (a.type_ != b.type_)
        return false;
    const auto* ai = std::get_if<EventDescriptor::Items>(&a.payload_);
    const auto* bi = std::get_if<EventDescriptor::Items>(&b.payload_);
    if (ai || bi)
        return a.items() == b.items();
    return a.payload_ == b.payload_;
}

}  // namespace korimado
