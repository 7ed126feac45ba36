#pragma once

#include "platform/wire/FourCharCode.h"
#include "platform/wire/Utf8Validation.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korimado::wire {

// The bytes events travel in between processes, shared by the program and the command-line
// client. Every value is its type (four bytes), the length of its payload (four bytes, big-endian)
// and the payload: integers, reals and codes big-endian, text as UTF-8 ("utxt" as UTF-16BE), a list
// its values one after the other, a record or object specifier each key (four bytes) followed by
// its value. An event is a value of type "aevt" whose payload is the class, the ID and the keyed
// parameters.

constexpr FourCharCode typeNull = fourCharCode("null");
constexpr FourCharCode typeBoolean = fourCharCode("bool");
constexpr FourCharCode typeInteger = fourCharCode("long");
constexpr FourCharCode typeInteger64 = fourCharCode("comp");
constexpr FourCharCode typeReal = fourCharCode("doub");
constexpr FourCharCode typeUTF8Text = fourCharCode("utf8");
constexpr FourCharCode typeUnicodeText = fourCharCode("utxt");
constexpr FourCharCode typeType = fourCharCode("type");
constexpr FourCharCode typeEnumerated = fourCharCode("enum");
constexpr FourCharCode typeList = fourCharCode("list");
constexpr FourCharCode typeRecord = fourCharCode("reco");
constexpr FourCharCode typeObjectSpecifier = fourCharCode("obj ");
constexpr FourCharCode typeEvent = fourCharCode("aevt");
constexpr int maximumDepth = 64;

struct Item;

// One value as read, its payload viewing the bytes it was read from: those must outlive it.
struct Value {
    FourCharCode type = typeNull;
    std::string_view payload;
    std::vector<Item> items;  // lists, records and object specifiers

    bool isContainer() const { return type == typeList || type == typeRecord || type == typeObjectSpecifier; }
    // The scalars, for a value of their type (a reader has checked the size).
    bool boolean() const { return payload[0] != 0; }
    std::int64_t integer() const;  // "long" and "comp"
    double real() const;
    FourCharCode code() const;     // "type" and "enum"
    const Value* value(FourCharCode key) const;
};

struct Item {
    FourCharCode key = 0;  // 0 for the values of a list
    Value value;
};

struct Event {
    FourCharCode eventClass = 0;
    FourCharCode eventID = 0;
    std::vector<Item> parameters;
};

// Reading trusts nothing: every length is checked against the bytes left, fixed-size values must
// have their size, text must be well-formed, nesting stops at maximumDepth, and nothing may follow
// the value. None, with a message in error (English, for diagnostics), when the bytes are not one.
std::optional<Value> decodeValue(std::string_view bytes, std::string* error = nullptr);
std::optional<Event> decodeEvent(std::string_view bytes, std::string* error = nullptr);

std::uint32_t readBigEndian32(const char* bytes);
std::uint64_t readBigEndian64(const char* bytes);

// Writes values one after the other: into a buffer that grows, into one whose size is known (from
// a counting pass), or nowhere, only counting.
class Writer {
public:
    Writer() = default;                                     // counts
    explicit Writer(char* fixed) : fixed_(fixed) {}         // the caller knows the size
    explicit Writer(std::string& growing) : growing_(&growing) {}

    std::size_t size() const { return size_; }

    void null() { header(typeNull, 0); }
    void boolean(bool value);
    void integer32(std::int32_t value);
    void integer64(std::int64_t value);
    void real(double value);
    void code(FourCharCode type, FourCharCode value);
    void text(std::string_view utf8);
    // A value of length bytes whose payload the caller writes at the place returned (nullptr when
    // counting).
    char* payload(FourCharCode type, std::size_t length);
    // The key of the next value in a record or object specifier.
    void key(FourCharCode key);
    // A container whose length is written when it ends; begin gives the mark to end with.
    std::size_t begin(FourCharCode type);
    std::size_t beginEvent(FourCharCode eventClass, FourCharCode eventID);
    void end(std::size_t mark);

private:
    char* room(std::size_t length);
    void header(FourCharCode type, std::uint32_t length);
    void put32(std::uint32_t value);
    void put64(std::uint64_t value);

    char* fixed_ = nullptr;
    std::string* growing_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace korimado::wire
