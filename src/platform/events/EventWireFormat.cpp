#include "platform/events/EventWireFormat.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>

#include <bit>
#include <cstring>
#include <limits>

namespace korimado {

namespace {

using D = EventDescriptor;

void putCode(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

// The payload length is written once the payload is, at the place reserved for it.
qint64 utf8Length(const QString& text)
{
    qint64 length = 0;
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype count = text.size();
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80)
            length += 1;
        else if (unit < 0x800)
            length += 2;
        else if (QChar::isHighSurrogate(unit) && i + 1 < count && QChar::isLowSurrogate(units[i + 1])) {
            length += 4;
            ++i;
        } else
            length += 3;  // a lone surrogate is written as U+FFFD
    }
    return length;
}

QString withReplacedSurrogates(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i].isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate())
            ++i;
        else if (out[i].isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

class Writer {
public:
    explicit Writer(QByteArray& out) : out_(out) {}

    void write(const EventDescriptor& value)
    {
        putCode(out_, value.type());
        const qsizetype lengthAt = out_.size();
        putCode(out_, 0);
        writePayload(value);
        const qint64 length = out_.size() - lengthAt - 4;
        qToBigEndian(quint32(std::min<qint64>(length, std::numeric_limits<quint32>::max())), out_.data() + lengthAt);
    }

    void writeItems(const std::vector<EventDescriptor::Item>& items, bool keyed)
    {
        for (const EventDescriptor::Item& item : items) {
            if (keyed)
                putCode(out_, item.key);
            write(item.value);
        }
    }

private:
    void writePayload(const EventDescriptor& value)
    {
        switch (value.type()) {
        case D::typeNull:
            return;
        case D::typeBoolean:
            out_.append(char(*value.toBoolean() ? 1 : 0));
            return;
        case D::typeInteger: {
            char bytes[4];
            qToBigEndian(qint32(*value.toInteger()), bytes);
            out_.append(bytes, 4);
            return;
        }
        case D::typeInteger64: {
            char bytes[8];
            qToBigEndian(qint64(*value.toInteger()), bytes);
            out_.append(bytes, 8);
            return;
        }
        case D::typeReal: {
            char bytes[8];
            qToBigEndian(std::bit_cast<quint64>(*value.toReal()), bytes);
            out_.append(bytes, 8);
            return;
        }
        case D::typeUTF8Text: {
            const QString text = *value.toText();
            // Straight into the output: a large text would otherwise pass through a copy three
            // times its length first.
            const qsizetype at = out_.size();
            const qint64 length = utf8Length(text);
            out_.resize(at + length);
            QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
            const char* end = encoder.appendToBuffer(out_.data() + at, text);
            // A lone surrogate comes out shorter; the reader and the size count take it as U+FFFD.
            if (end - (out_.constData() + at) != length) {
                out_.resize(at);
                out_.append(withReplacedSurrogates(text).toUtf8());
            }
            return;
        }
        case D::typeUnicodeText: {
            const QString text = *value.toText();
            const qsizetype at = out_.size();
            out_.resize(at + text.size() * 2);
            qToBigEndian<char16_t>(text.utf16(), text.size(), out_.data() + at);
            return;
        }
        case D::typeType:
        case D::typeEnumerated:
            putCode(out_, *value.toCode());
            return;
        case D::typeList:
            writeItems(value.items(), false);
            return;
        case D::typeRecord:
        case D::typeObjectSpecifier:
            writeItems(value.items(), true);
            return;
        default:
            out_.append(value.opaqueData());
            return;
        }
    }

    QByteArray& out_;
};

qint64 sizeOf(const EventDescriptor& value);

qint64 sizeOfItems(const std::vector<EventDescriptor::Item>& items, bool keyed)
{
    qint64 size = 0;
    for (const EventDescriptor::Item& item : items)
        size += (keyed ? 4 : 0) + sizeOf(item.value);
    return size;
}


qint64 sizeOf(const EventDescriptor& value)
{
    qint64 payload = 0;
    switch (value.type()) {
    case D::typeNull: break;
    case D::typeBoolean: payload = 1; break;
    case D::typeInteger: payload = 4; break;
    case D::typeInteger64:
    case D::typeReal: payload = 8; break;
    case D::typeUTF8Text: payload = utf8Length(*value.toText()); break;
    case D::typeUnicodeText: payload = value.toText()->size() * 2; break;
    case D::typeType:
    case D::typeEnumerated: payload = 4; break;
    case D::typeList: payload = sizeOfItems(value.items(), false); break;
    case D::typeRecord:
    case D::typeObjectSpecifier: payload = sizeOfItems(value.items(), true); break;
    default: payload = value.opaqueData().size(); break;
    }
    return 8 + payload;
}

class Reader {
public:
    // base: where bytes lie in the whole input, for messages.
    Reader(QByteArrayView bytes, QString* error, qsizetype base = 0) : bytes_(bytes), error_(error), base_(base) {}

    bool fail(const QString& message)
    {
        if (error_ && error_->isEmpty())
            *error_ = message + QStringLiteral(" at byte ") + QString::number(base_ + position_);
        return false;
    }

    bool atEnd() const { return position_ == bytes_.size(); }
    qsizetype position() const { return position_; }

    bool readCode(quint32& value)
    {
        if (bytes_.size() - position_ < 4)
            return fail(QStringLiteral("truncated code"));
        value = qFromBigEndian<quint32>(bytes_.data() + position_);
        position_ += 4;
        return true;
    }

    // One value whose header starts here; depth counts the containers it lies in.
    bool readValue(EventDescriptor& value, int depth)
    {
        quint32 type = 0;
        quint32 length = 0;
        if (!readCode(type) || !readCode(length))
            return false;
        if (qint64(length) > bytes_.size() - position_)
            return fail(QStringLiteral("length past the end"));
        const QByteArrayView payload = bytes_.sliced(position_, length);
        const qsizetype end = position_ + length;
        if (!readPayload(type, payload, value, depth))
            return false;
        position_ = end;
        return true;
    }

    // Keyed (record) or plain (list) values until the end of a payload.
    bool readItems(QByteArrayView payload, bool keyed, std::vector<EventDescriptor::Item>& items, int depth)
    {
        Reader inner(payload, error_, base_ + position_);
        while (!inner.atEnd()) {
            EventDescriptor::Item item;
            if ((keyed && !inner.readCode(item.key)) || !inner.readValue(item.value, depth))
                return false;
            items.push_back(std::move(item));
        }
        return true;
    }

private:
    bool readPayload(quint32 type, QByteArrayView payload, EventDescriptor& value, int depth)
    {
        const auto fixed = [&](qsizetype size) {
            return payload.size() == size || fail(QStringLiteral("wrong size for ") + codeString(type));
        };
        switch (type) {
        case D::typeNull:
            if (!fixed(0)) return false;
            value = EventDescriptor();
            return true;
        case D::typeBoolean:
            if (!fixed(1)) return false;
            if (quint8(payload[0]) > 1) return fail(QStringLiteral("boolean neither 0 nor 1"));
            value = EventDescriptor::boolean(payload[0] != 0);
            return true;
        case D::typeInteger:
            if (!fixed(4)) return false;
            value = EventDescriptor::integer(qFromBigEndian<qint32>(payload.data()));
            return true;
        case D::typeInteger64:
            if (!fixed(8)) return false;
            value = EventDescriptor::integer64(qFromBigEndian<qint64>(payload.data()));
            return true;
        case D::typeReal:
            if (!fixed(8)) return false;
            value = EventDescriptor::real(std::bit_cast<double>(qFromBigEndian<quint64>(payload.data())));
            return true;
        case D::typeUTF8Text: {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            QString text = decoder(payload);
            if (decoder.hasError()) return fail(QStringLiteral("malformed UTF-8"));
            value = EventDescriptor::text(std::move(text));
            return true;
        }
        case D::typeUnicodeText: {
            if (payload.size() % 2) return fail(QStringLiteral("odd length of UTF-16 text"));
            QString text(payload.size() / 2, Qt::Uninitialized);
            qFromBigEndian<char16_t>(payload.data(), text.size(), text.data());
            value = EventDescriptor::unicodeText(std::move(text));
            return true;
        }
        case D::typeType:
        case D::typeEnumerated:
            if (!fixed(4)) return false;
            value = type == D::typeType ? EventDescriptor::typeCode(qFromBigEndian<quint32>(payload.data()))
                                        : EventDescriptor::enumerated(qFromBigEndian<quint32>(payload.data()));
            return true;
        case D::typeList:
        case D::typeRecord:
        case D::typeObjectSpecifier: {
            if (depth >= EventWireFormat::maximumDepth) return fail(QStringLiteral("nested too deeply"));
            std::vector<EventDescriptor::Item> items;
            if (!readItems(payload, type != D::typeList, items, depth + 1)) return false;
            value = makeContainer(type, std::move(items));
            return true;
        }
        default:
            value = EventDescriptor::opaque(type, payload.toByteArray());
            return true;
        }
    }

    static EventDescriptor makeContainer(quint32 type, std::vector<EventDescriptor::Item> items)
    {
        if (type == D::typeList) {
            std::vector<EventDescriptor> values;
            values.reserve(items.size());
            for (EventDescriptor::Item& item : items)
                values.push_back(std::move(item.value));
            return EventDescriptor::list(std::move(values));
        }
        return type == D::typeObjectSpecifier ? EventDescriptor::objectSpecifier(std::move(items))
                                              : EventDescriptor::record(std::move(items));
    }

    QByteArrayView bytes_;
    QString* error_;
    qsizetype base_;
    qsizetype position_ = 0;
};

}  // namespace

QByteArray EventWireFormat::encode(const EventDescriptor& value)
{
    QByteArray out;
    out.reserve(sizeOf(value));
    Writer(out).write(value);
    return out;
}

QByteArray EventWireFormat::encode(const AppleEvent& event)
{
    QByteArray out;
    out.reserve(encodedSize(event));
    putCode(out, typeEvent);
    const qsizetype lengthAt = out.size();
    putCode(out, 0);
    putCode(out, event.eventClass());
    putCode(out, event.eventID());
    Writer(out).writeItems(event.parameters(), true);
    qToBigEndian(quint32(std::min<qint64>(out.size() - 8, std::numeric_limits<quint32>::max())), out.data() + lengthAt);
    return out;
}

qint64 EventWireFormat::encodedSize(const AppleEvent& event)
{
    return 16 + sizeOfItems(event.parameters(), true);
}

std::optional<EventDescriptor> EventWireFormat::decodeDescriptor(QByteArrayView bytes, QString* error)
{
    Reader reader(bytes, error);
    EventDescriptor value;
    if (!reader.readValue(value, 0))
        return std::nullopt;
    if (!reader.atEnd()) {
        reader.fail(QStringLiteral("bytes after the value"));
        return std::nullopt;
    }
    return value;
}

std::optional<AppleEvent> EventWireFormat::decodeEvent(QByteArrayView bytes, QString* error)
{
    Reader reader(bytes, error);
    quint32 type = 0;
    quint32 length = 0;
    quint32 eventClass = 0;
    quint32 eventID = 0;
    if (!reader.readCode(type) || !reader.readCode(length))
        return std::nullopt;
    if (type != typeEvent) {
        reader.fail(QStringLiteral("not an event"));
        return std::nullopt;
    }
    if (qint64(length) != bytes.size() - 8) {
        reader.fail(QStringLiteral("event length does not match"));
        return std::nullopt;
    }
    if (!reader.readCode(eventClass) || !reader.readCode(eventID))
        return std::nullopt;
    std::vector<EventDescriptor::Item> items;
    Reader parameters(bytes.sliced(16), error, 16);
    if (!parameters.readItems(bytes.sliced(16), true, items, 1))
        return std::nullopt;
    AppleEvent event(eventClass, eventID);
    for (EventDescriptor::Item& item : items)
        event.setParameter(item.key, std::move(item.value));
    return event;
}

}  // namespace korimado
