#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace korimado {

// The 20 character encodings Korimado reads and writes, in their fixed menu order.
class TextEncoding {
public:
    enum Value : std::uint8_t {
        utf8,
        utf16LE,
        utf16BE,
        shiftJIS,
        eucJP,
        iso2022JP,
        utf32LE,
        utf32BE,
        ascii,
        latin1,
        latin2,
        latin9,
        windows1252,
        windows1250,
        windows1251,
        macRoman,
        shiftJIS2004,
        gb18030,
        big5,
        eucKR,
    };
    static constexpr int count = 20;

    constexpr TextEncoding(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }
    constexpr Value value() const { return value_; }

    // The display name, which is also how the encoding is stored ("UTF-16 LE", "Shift JIS", ...).
    QString rawValue() const;
    // The byte-order mark; empty for encodings without one.
    QByteArray marker() const;
    bool supportsBOM() const { return !marker().isEmpty(); }
    // The number settings files of other editors store for the encoding: the published string
    // encoding constants, or 0x80000000 with the registered encoding number for the five without one.
    qint64 foundation() const;

    // init(rawValue:): exact display name.
    static std::optional<TextEncoding> fromRawValue(const QString& name);
    // Lenient lookup of a free-form name ("Japanese (Shift JIS)", "utf-8", "CP932", ...).
    static std::optional<TextEncoding> named(const QString& name);
    static const std::array<TextEncoding, count>& allCases();

private:
    Value value_;
};

}  // namespace korimado
