#include "platform/wire/WireFormat.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace korimado::wire {

std::uint32_t readBigEndian32(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | std::uint32_t(b[3]);
}

std::uint64_t readBigEndian64(const char* bytes)
{
    return (std::uint64_t(readBigEndian32(bytes)) << 32) | readBigEndian32(bytes + 4);
}

static void writeBigEndian32(char* at, std::uint32_t value)
{
    at[0] = char(value >> 24);
    at[1] = char(value >> 16);
    at[2] = char(value >> 8);
    at[3] = char(value);
}

std::int64_t Value::integer() const
{
    return type == typeInteger ? std::int64_t(std::int32_t(readBigEndian32(payload.data())))
                               : std::int64_t(readBigEndian64(payload.data()));
}

double Value::real() const
{
    return std::bit_cast<double>(readBigEndian64(payload.data()));
}

FourCharCode Value::code() const
{
    return readBigEndian32(payload.data());
}

const Value* Value::value(FourCharCode key) const
{
    for (const Item& item : items)
        if (item.key == key)
            return &item.value;
    return nullptr;
}

namespace {

class Reader {
public:
    Reader(std::string_view bytes, std::string* error, std::size_t base = 0) : bytes_(bytes), error_(error), base_(base) {}

    bool fail(const char* message)
    {
        if (error_ && error_->empty())
            *error_ = std::string(message) + " at byte " + std::to_string(base_ + position_);
        return false;
    }

    bool atEnd() const { return position_ == bytes_.size(); }

    bool readCode(std::uint32_t& value)
    {
        if (bytes_.size() - position_ < 4)
            return fail("truncated code");
        value = readBigEndian32(bytes_.data() + position_);
        position_ += 4;
        return true;
    }

    // One value whose header starts here; depth counts the containers it lies in.
    bool readValue(Value& value, int depth)
    {
        std::uint32_t type = 0;
        std::uint32_t length = 0;
        if (!readCode(type) || !readCode(length))
            return false;
        if (length > bytes_.size() - position_)
            return fail("length past the end");
        value.type = type;
        value.payload = bytes_.substr(position_, length);
        if (!checkPayload(value, depth))
            return false;
        position_ += length;
        return true;
    }

    // Keyed (record) or plain (list) values until the end of a payload.
    bool readItems(std::string_view payload, bool keyed, std::vector<Item>& items, int depth)
    {
        Reader inner(payload, error_, base_ + position_);
        while (!inner.atEnd()) {
            Item item;
            if ((keyed && !inner.readCode(item.key)) || !inner.readValue(item.value, depth))
                return false;
            items.push_back(std::move(item));
        }
        return true;
    }

private:
    bool checkPayload(Value& value, int depth)
    {
        const std::size_t size = value.payload.size();
        const auto fixed = [&](std::size_t expected) {
            return size == expected || fail(("wrong size for " + codeText(value.type)).c_str());
        };
        switch (value.type) {
        case typeNull:
            return fixed(0);
        case typeBoolean:
            if (!fixed(1)) return false;
            return std::uint8_t(value.payload[0]) <= 1 || fail("boolean neither 0 nor 1");
        case typeInteger:
        case typeType:
        case typeEnumerated:
            return fixed(4);
        case typeInteger64:
        case typeReal:
            return fixed(8);
        case typeUTF8Text:
            return isWellFormedUtf8(value.payload) || fail("malformed UTF-8");
        case typeUnicodeText:
            return size % 2 == 0 || fail("odd length of UTF-16 text");
        case typeList:
        case typeRecord:
        case typeObjectSpecifier:
            if (depth >= maximumDepth) return fail("nested too deeply");
            return readItems(value.payload, value.type != typeList, value.items, depth + 1);
        default:
            return true;  // kept as its bytes
        }
    }

    std::string_view bytes_;
    std::string* error_;
    std::size_t base_;
    std::size_t position_ = 0;
};

}  // namespace

std::optional<Value> decodeValue(std::string_view bytes, std::string* error)
{
    Reader reader(bytes, error);
    Value value;
    if (!reader.readValue(value, 0))
        return std::nullopt;
    if (!reader.atEnd()) {
        reader.fail("bytes after the value");
        return std::nullopt;
    }
    return value;
}

std::optional<Event> decodeEvent(std::string_view bytes, std::string* error)
{
    Reader reader(bytes, error);
    std::uint32_t type = 0;
    std::uint32_t length = 0;
    Event event;
    if (!reader.readCode(type) || !reader.readCode(length))
        return std::nullopt;
    if (type != typeEvent) {
        reader.fail("not an event");
        return std::nullopt;
    }
    if (std::uint64_t(length) != bytes.size() - 8) {
        reader.fail("event length does not match");
        return std::nullopt;
    }
    if (!reader.readCode(event.eventClass) || !reader.readCode(event.eventID))
        return std::nullopt;
    Reader parameters(bytes.substr(16), error, 16);
    if (!parameters.readItems(bytes.substr(16), true, event.parameters, 1))
        return std::nullopt;
    return event;
}

char* Writer::room(std::size_t length)
{
    char* at = nullptr;
    if (fixed_) {
        at = fixed_ + size_;
    } else if (growing_) {
        growing_->resize(size_ + length);
        at = growing_->data() + size_;
    }
    size_ += length;
    return at;
}

void Writer::put32(std::uint32_t value)
{
    if (char* at = room(4))
        writeBigEndian32(at, value);
}

void Writer::put64(std::uint64_t value)
{
    put32(std::uint32_t(value >> 32));
    put32(std::uint32_t(value));
}

void Writer::header(FourCharCode type, std::uint32_t length)
{
    put32(type);
    put32(length);
}

void Writer::boolean(bool value)
{
    if (char* at = payload(typeBoolean, 1))
        *at = value ? 1 : 0;
}

void Writer::integer32(std::int32_t value)
{
    header(typeInteger, 4);
    put32(std::uint32_t(value));
}

void Writer::integer64(std::int64_t value)
{
    header(typeInteger64, 8);
    put64(std::uint64_t(value));
}

void Writer::real(double value)
{
    header(typeReal, 8);
    put64(std::bit_cast<std::uint64_t>(value));
}

void Writer::code(FourCharCode type, FourCharCode value)
{
    header(type, 4);
    put32(value);
}

void Writer::text(std::string_view utf8)
{
    if (char* at = payload(typeUTF8Text, utf8.size()))
        std::memcpy(at, utf8.data(), utf8.size());
}

char* Writer::payload(FourCharCode type, std::size_t length)
{
    header(type, std::uint32_t(std::min<std::size_t>(length, std::numeric_limits<std::uint32_t>::max())));
    return room(length);
}

void Writer::key(FourCharCode key)
{
    put32(key);
}

std::size_t Writer::begin(FourCharCode type)
{
    header(type, 0);
    return size_;
}

std::size_t Writer::beginEvent(FourCharCode eventClass, FourCharCode eventID)
{
    const std::size_t mark = begin(typeEvent);
    put32(eventClass);
    put32(eventID);
    return mark;
}

void Writer::end(std::size_t mark)
{
    // A payload past 4 GiB cannot be told; its length is clamped and the reader refuses it.
    const std::size_t length = std::min<std::size_t>(size_ - mark, std::numeric_limits<std::uint32_t>::max());
    if (fixed_)
        writeBigEndian32(fixed_ + mark - 4, std::uint32_t(length));
    else if (growing_)
        writeBigEndian32(growing_->data() + mark - 4, std::uint32_t(length));
}

}  // namespace korimado::wire
