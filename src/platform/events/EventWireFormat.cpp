#include "platform/events/EventWireFormat.h"

#include "platform/foundation/Utf8Decoder.h"
#include "platform/foundation/Utf8Encoder.h"
#include "platform/wire/HugePages.h"
#include "platform/wire/WireFormat.h"

#include <QtEndian>

#include <cstring>

namespace korimado {

namespace {

using D = EventDescriptor;

// Straight into the output, in parts at once when large; a lone surrogate is written as U+FFFD,
// as the reader and the size count take it.
void encodeText(wire::Writer& writer, const QString& text)
{
    const qsizetype length = Utf8Encoder::length(text);
    if (char* at = writer.payload(wire::typeUTF8Text, size_t(length)))
        Utf8Encoder::encodeInto(text, at);
}

void encodeValue(wire::Writer& writer, const EventDescriptor& value);

void encodeItems(wire::Writer& writer, const std::vector<EventDescriptor::Item>& items, bool keyed)
{
    for (const EventDescriptor::Item& item : items) {
        if (keyed)
            writer.key(item.key);
        encodeValue(writer, item.value);
    }
}

void encodeValue(wire::Writer& writer, const EventDescriptor& value)
{
    switch (value.type()) {
    case D::typeNull:
        writer.null();
        return;
    case D::typeBoolean:
        writer.boolean(*value.toBoolean());
        return;
    case D::typeInteger:
        writer.integer32(qint32(*value.toInteger()));
        return;
    case D::typeInteger64:
        writer.integer64(*value.toInteger());
        return;
    case D::typeReal:
        writer.real(*value.toReal());
        return;
    case D::typeUTF8Text:
        encodeText(writer, *value.toText());
        return;
    case D::typeUnicodeText: {
        const QString text = *value.toText();
        if (char* at = writer.payload(D::typeUnicodeText, size_t(text.size()) * 2))
            qToBigEndian<char16_t>(text.utf16(), text.size(), at);
        return;
    }
    case D::typeType:
    case D::typeEnumerated:
        writer.code(value.type(), *value.toCode());
        return;
    case D::typeList:
    case D::typeRecord:
    case D::typeObjectSpecifier: {
        const size_t mark = writer.begin(value.type());
        encodeItems(writer, value.items(), value.type() != D::typeList);
        writer.end(mark);
        return;
    }
    default: {
        const QByteArray data = value.opaqueData();
        if (char* at = writer.payload(value.type(), size_t(data.size())))
            std::memcpy(at, data.constData(), size_t(data.size()));
        return;
    }
    }
}

void encodeEvent(wire::Writer& writer, const AppleEvent& event)
{
    const size_t mark = writer.beginEvent(event.eventClass(), event.eventID());
    encodeItems(writer, event.parameters(), true);
    writer.end(mark);
}

// UTF-8 the wire has checked, into a string of exactly its size, decoded in parts at once when
// it is large. A leading U+FEFF is part of the text.
QString textOf(std::string_view utf8)
{
    return Utf8Decoder::decode(QByteArrayView(utf8.data(), qsizetype(utf8.size()))).value_or(QString());
}

EventDescriptor descriptorOf(const wire::Value& value)
{
    switch (value.type) {
    case D::typeNull:
        return EventDescriptor();
    case D::typeBoolean:
        return EventDescriptor::boolean(value.boolean());
    case D::typeInteger:
        return EventDescriptor::integer(value.integer());
    case D::typeInteger64:
        return EventDescriptor::integer64(value.integer());
    case D::typeReal:
        return EventDescriptor::real(value.real());
    case D::typeUTF8Text:
        return EventDescriptor::text(textOf(value.payload));
    case D::typeUnicodeText: {
        QString text(qsizetype(value.payload.size() / 2), Qt::Uninitialized);
        qFromBigEndian<char16_t>(value.payload.data(), text.size(), text.data());
        return EventDescriptor::unicodeText(std::move(text));
    }
    case D::typeType:
        return EventDescriptor::typeCode(value.code());
    case D::typeEnumerated:
        return EventDescriptor::enumerated(value.code());
    case D::typeList: {
        std::vector<EventDescriptor> values;
        values.reserve(value.items.size());
        for (const wire::Item& item : value.items)
            values.push_back(descriptorOf(item.value));
        return EventDescriptor::list(std::move(values));
    }
    case D::typeRecord:
    case D::typeObjectSpecifier: {
        std::vector<EventDescriptor::Item> items;
        items.reserve(value.items.size());
        for (const wire::Item& item : value.items)
            items.push_back({item.key, descriptorOf(item.value)});
        return value.type == D::typeObjectSpecifier ? EventDescriptor::objectSpecifier(std::move(items))
                                                    : EventDescriptor::record(std::move(items));
    }
    default:
        return EventDescriptor::opaque(value.type, QByteArray(value.payload.data(), qsizetype(value.payload.size())));
    }
}

std::string_view viewOf(QByteArrayView bytes)
{
    return {bytes.data(), size_t(bytes.size())};
}

}  // namespace

QByteArray EventWireFormat::encode(const EventDescriptor& value)
{
    wire::Writer counter;
    encodeValue(counter, value);
    QByteArray out(qsizetype(counter.size()), Qt::Uninitialized);
    wire::adviseHugePages(out.data(), size_t(out.size()));
    wire::Writer writer(out.data());
    encodeValue(writer, value);
    return out;
}

QByteArray EventWireFormat::encode(const AppleEvent& event)
{
    QByteArray out(encodedSize(event), Qt::Uninitialized);
    wire::adviseHugePages(out.data(), size_t(out.size()));
    encode(event, out.data());
    return out;
}

void EventWireFormat::encode(const AppleEvent& event, char* out)
{
    wire::Writer writer(out);
    encodeEvent(writer, event);
}

qint64 EventWireFormat::encodedSize(const AppleEvent& event)
{
    wire::Writer counter;
    encodeEvent(counter, event);
    return qint64(counter.size());
}

std::optional<EventDescriptor> EventWireFormat::decodeDescriptor(QByteArrayView bytes, QString* error)
{
    std::string message;
    const std::optional<wire::Value> value = wire::decodeValue(viewOf(bytes), &message);
    if (!value) {
        if (error)
            *error = QString::fromStdString(message);
        return std::nullopt;
    }
    return descriptorOf(*value);
}

std::optional<AppleEvent> EventWireFormat::decodeEvent(QByteArrayView bytes, QString* error)
{
    std::string message;
    const std::optional<wire::Event> read = wire::decodeEvent(viewOf(bytes), &message);
    if (!read) {
        if (error)
            *error = QString::fromStdString(message);
        return std::nullopt;
    }
    AppleEvent event(read->eventClass, read->eventID);
    for (const wire::Item& item : read->parameters)
        event.setParameter(item.key, descriptorOf(item.value));
    return event;
}

}  // namespace korimado
