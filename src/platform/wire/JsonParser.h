#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korimado::wire {

// What JsonParser reports while it reads, in document order. An object's members arrive as key()
// then the value.
class JsonEvents {
public:
    virtual ~JsonEvents() = default;
    virtual void null() = 0;
    virtual void boolean(bool value) = 0;
    // The literal as written; it has been checked against the JSON number grammar.
    virtual void number(std::string_view literal) = 0;
    // Text as decoded (see JsonParser); the view lasts until the next event.
    virtual void string(std::string_view text) = 0;
    virtual void key(std::string_view text) = 0;
    virtual void beginArray() = 0;
    virtual void endArray() = 0;
    virtual void beginObject() = 0;
    virtual void endObject() = 0;
};

struct JsonError {
    enum class Reason {
        empty,
        trailingData,
        tooDeep,
        noValue,
        badValue,
        keyExpected,
        duplicateKey,
        colonExpected,
        commaOrBraceExpected,
        commaOrBracketExpected,
        badNumber,
        leadingZero,
        badUnicodeEscape,
        badUtf8,
        truncatedUtf8,
        unterminatedString,
        controlCharacter,
        badEscape,
    };
    Reason reason;
    std::size_t offset;  // the byte where reading stopped
    std::string key;     // duplicateKey: the key, as key() would have had it
};

// The one reader of JSON text (RFC 8259) in UTF-8, strict: one value, nothing after it but white
// space, no comments or trailing commas, well-formed UTF-8, no raw control characters in strings,
// no key twice in one object, nesting to maximumDepth. A leading UTF-8 byte-order mark is skipped.
// Texts are given in UTF-8, except that an escaped surrogate left without its partner (\ud800) is
// encoded as though it were a character (ED A0 80): a UTF-16 reader keeps it as that unit, and
// a UTF-8 one mends it (replacingLoneSurrogates).
class JsonParser {
public:
    static constexpr int maximumDepth = 512;

    // None when the text is one JSON value; else why and where reading stopped (the events up to
    // there have been reported).
    static std::optional<JsonError> parse(std::string_view utf8, JsonEvents& events);
};

// Appends a code point in UTF-8; a surrogate is encoded as though it were a character, as the
// parser gives one left unpaired.
void appendUtf8(std::string& out, char32_t cp);

// Every unpaired surrogate in a text the parser gave, as U+FFFD; the length stays the same.
void replaceLoneSurrogates(std::string& text);

// Where the next unpaired surrogate begins in a text the parser gave, or npos.
std::size_t findLoneSurrogate(std::string_view text, std::size_t from = 0);

}  // namespace korimado::wire
