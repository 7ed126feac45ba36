#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <exception>
#include <optional>
#include <variant>

namespace korimado {

// Why bytes are not a property list, or a value cannot be written in a format. The description is
// for diagnostics; callers show their own message.
class PropertyListError : public std::exception {
public:
    explicit PropertyListError(QString description)
        : description_(std::move(description)), what_(description_.toUtf8()) {}
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    QString description_;
    QByteArray what_;
};

// One property-list value. The kinds stay apart: 4.0 is a real and 4 an integer, a Boolean is never
// a number. Integers are signed 64-bit, or unsigned up to 2^64 - 1 above that. Dictionaries keep
// their keys in the order they were read or inserted.
//
// Not a DefaultsValue (see there): a property list also holds dates, UIDs and unsigned integers,
// keeps its dictionaries' order so that a file written back reads as it came, and compares reals by
// their bits so that a value round-trips exactly.
class PropertyList {
public:
    enum class Type { boolean, integer, real, date, data, string, array, dictionary, uid };
    enum class Format { xml, binary, openStep };

    // Seconds since 2001-01-01 00:00:00 UTC, the stored form of a date.
    struct Date {
        double seconds = 0;
        static Date fromDateTime(const QDateTime& dateTime);
        QDateTime toDateTime() const;
        friend bool operator==(const Date&, const Date&) = default;
    };
    // A reference between the objects of a keyed archive.
    struct Uid {
        quint64 value = 0;
        friend bool operator==(const Uid&, const Uid&) = default;
    };

    struct Entry;
    // String keys to values, in order; setting a key that is there replaces its value in place.
    class Dictionary {
    public:
        qsizetype size() const { return entries_.size(); }
        bool isEmpty() const { return entries_.isEmpty(); }
        bool contains(const QString& key) const { return find(key) >= 0; }
        const PropertyList* value(const QString& key) const;
        void insert(const QString& key, PropertyList value);
        void remove(const QString& key);
        QList<QString> keys() const;
        const QList<Entry>& entries() const { return entries_; }
        void reserve(qsizetype size);
        friend bool operator==(const Dictionary& a, const Dictionary& b);

    private:
        // Small dictionaries are searched in order; larger ones get an index.
        static constexpr qsizetype indexedFrom = 9;
        qsizetype find(const QString& key) const;

        QList<Entry> entries_;
        QHash<QString, qsizetype> index_;
    };
    using Array = QList<PropertyList>;

    PropertyList() = default;  // false
    PropertyList(bool value) : value_(value) {}
    PropertyList(int value) : value_(qint64(value)) {}
    PropertyList(qint64 value) : value_(value) {}
    PropertyList(double value) : value_(value) {}
    PropertyList(Date value) : value_(value) {}
    PropertyList(const QByteArray& value) : value_(value) {}
    PropertyList(const QString& value) : value_(value) {}
    PropertyList(const char* utf8) : value_(QString::fromUtf8(utf8)) {}
    PropertyList(const Array& value) : value_(value) {}
    PropertyList(const Dictionary& value) : value_(value) {}
    PropertyList(Uid value) : value_(value) {}
    // An integer that may lie above the signed range.
    static PropertyList unsignedInteger(quint64 value);

    Type type() const;
    bool isBool() const { return std::holds_alternative<bool>(value_); }
    bool isInteger() const { return type() == Type::integer; }
    bool isReal() const { return std::holds_alternative<double>(value_); }
    bool isString() const { return std::holds_alternative<QString>(value_); }
    bool isData() const { return std::holds_alternative<QByteArray>(value_); }
    bool isDate() const { return std::holds_alternative<Date>(value_); }
    bool isArray() const { return std::holds_alternative<Array>(value_); }
    bool isDictionary() const { return std::holds_alternative<Dictionary>(value_); }
    bool isUid() const { return std::holds_alternative<Uid>(value_); }

    // The value of that kind, or a neutral one when the kind differs (no conversion).
    bool boolValue() const;
    // An integer within the signed range.
    std::optional<qint64> integerValue() const;
    // A non-negative integer, up to 2^64 - 1.
    std::optional<quint64> unsignedValue() const;
    // True for an integer above the signed range.
    bool isUnsignedAboveSignedRange() const { return std::holds_alternative<quint64>(value_); }
    double realValue() const;
    Date dateValue() const;
    const QByteArray& dataValue() const;
    const QString& stringValue() const;
    const Array& arrayValue() const;
    const Dictionary& dictionaryValue() const;
    Uid uidValue() const;

    // Reals are equal when their bits are (-0.0 differs from 0.0), and any NaN equals any other.
    friend bool operator==(const PropertyList& a, const PropertyList& b);

    // Nesting deeper than this is refused by every reader; so is a binary list whose shared
    // references would expand to more values than maximumNodes.
    static constexpr int maximumDepth = 256;
    static constexpr qsizetype maximumNodes = 1'048'576;

    // Reads any of the three formats, told apart by the first bytes ("bplist00" binary, an XML
    // declaration, doctype or element XML, anything else the old text form). Throws PropertyListError.
    static PropertyList read(QByteArrayView data, Format* format = nullptr);
    // Throws PropertyListError when the value holds what XML cannot carry (a UID, or a string with
    // characters XML 1.0 forbids).
    static QByteArray xmlData(const PropertyList& value);
    static QByteArray binaryData(const PropertyList& value);
    // Whether xmlData would accept the value.
    static bool isValidForXML(const PropertyList& value);

private:
    std::variant<bool, qint64, quint64, double, Date, QByteArray, QString, Array, Dictionary, Uid> value_{false};
};

struct PropertyList::Entry {
    QString key;
    PropertyList value;
    friend bool operator==(const Entry&, const Entry&) = default;
};

inline const PropertyList* PropertyList::Dictionary::value(const QString& key) const
{
    const qsizetype at = find(key);
    return at < 0 ? nullptr : &entries_[at].value;
}

inline bool operator==(const PropertyList::Dictionary& a, const PropertyList::Dictionary& b)
{
    return a.entries_ == b.entries_;
}

}  // namespace korimado
