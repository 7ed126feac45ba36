#include "platform/foundation/PropertyList.h"

#include "platform/foundation/BinaryPropertyList.h"
#include "platform/foundation/OpenStepPropertyList.h"
#include "platform/foundation/XMLPropertyList.h"

#include <bit>
#include <cmath>
#include <limits>

namespace korimado {

namespace {

// 2001-01-01T00:00:00Z in seconds since 1970.
constexpr qint64 kReferenceDateUnixSeconds = 978307200;

const QByteArray& emptyData()
{
    static const QByteArray data;
    return data;
}

const QString& emptyString()
{
    static const QString text;
    return text;
}

// The first character that says which format the bytes are in, past a byte-order mark and white space.
bool looksLikeXML(QByteArrayView data)
{
    qsizetype i = 0;
    if (data.startsWith("\xEF\xBB\xBF")) i = 3;
    // UTF-16 with a byte-order mark: only XML carries its own encoding declaration.
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) return true;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\n' || data[i] == '\r')) ++i;
    if (i + 1 >= data.size() || data[i] != '<') return false;
    const char next = data[i + 1];
    return next == '?' || next == '!' || (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
}

}  // namespace

PropertyList::Date PropertyList::Date::fromDateTime(const QDateTime& dateTime)
{
    return Date{static_cast<double>(dateTime.toMSecsSinceEpoch() - kReferenceDateUnixSeconds * 1000) / 1000.0};
}

QDateTime PropertyList::Date::toDateTime() const
{
    // Beyond about 300,000 years either way a date has no QDateTime.
    if (!(std::abs(seconds) < 1e13)) return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000.0) + kReferenceDateUnixSeconds * 1000,
                                          Qt::UTC);
}

qsizetype PropertyList::Dictionary::find(const QString& key) const
{
    if (entries_.size() >= indexedFrom) return index_.value(key, -1);
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        if (entries_[i].key == key) return i;
    }
    return -1;
}

void PropertyList::Dictionary::insert(const QString& key, PropertyList value)
{
    if (entries_.size() >= indexedFrom) {
        // One look-up: the slot a new key gets is told by the index growing.
        const qsizetype before = index_.size();
        qsizetype& slot = index_[key];
        if (index_.size() == before) {
            entries_[slot].value = std::move(value);
            return;
        }
        slot = entries_.size();
        entries_.append(Entry{key, std::move(value)});
        return;
    }
    const qsizetype at = find(key);
    if (at >= 0) {
        entries_[at].value = std::move(value);
        return;
    }
    entries_.append(Entry{key, std::move(value)});
    if (entries_.size() == indexedFrom) {
        index_.reserve(entries_.capacity());
        for (qsizetype i = 0; i < entries_.size(); ++i) index_.insert(entries_[i].key, i);
    }
}

void PropertyList::Dictionary::remove(const QString& key)
{
    const qsizetype at = find(key);
    if (at < 0) return;
    entries_.removeAt(at);
    index_.clear();
    if (entries_.size() >= indexedFrom) {
        for (qsizetype i = 0; i < entries_.size(); ++i) index_.insert(entries_[i].key, i);
    }
}

QList<QString> PropertyList::Dictionary::keys() const
{
    QList<QString> keys;
    keys.reserve(entries_.size());
    for (const Entry& entry : entries_) keys.append(entry.key);
    return keys;
}

void PropertyList::Dictionary::reserve(qsizetype size)
{
    entries_.reserve(size);
    if (size >= indexedFrom) index_.reserve(size);
}

PropertyList PropertyList::unsignedInteger(quint64 value)
{
    PropertyList list;
    if (value <= static_cast<quint64>(std::numeric_limits<qint64>::max())) {
        list.value_ = static_cast<qint64>(value);
    } else {
        list.value_ = value;
    }
    return list;
}

PropertyList::Type PropertyList::type() const
{
    switch (value_.index()) {
    case 0: return Type::boolean;
    case 1:
    case 2: return Type::integer;
    case 3: return Type::real;
    case 4: return Type::date;
    case 5: return Type::data;
    case 6: return Type::string;
    case 7: return Type::array;
    case 8: return Type::dictionary;
    default: return Type::uid;
    }
}

bool PropertyList::boolValue() const
{
    const bool* value = std::get_if<bool>(&value_);
    return value && *value;
}

std::optional<qint64> PropertyList::integerValue() const
{
    if (const qint64* value = std::get_if<qint64>(&value_)) return *value;
    return std::nullopt;
}

std::optional<quint64> PropertyList::unsignedValue() const
{
    if (const qint64* value = std::get_if<qint64>(&value_)) {
        if (*value >= 0) return static_cast<quint64>(*value);
        return std::nullopt;
    }
    if (const quint64* value = std::get_if<quint64>(&value_)) return *value;
    return std::nullopt;
}

double PropertyList::realValue() const
{
    const double* value = std::get_if<double>(&value_);
    return value ? *value : 0.0;
}

PropertyList::Date PropertyList::dateValue() const
{
    const Date* value = std::get_if<Date>(&value_);
    return value ? *value : Date{};
}

const QByteArray& PropertyList::dataValue() const
{
    const QByteArray* value = std::get_if<QByteArray>(&value_);
    return value ? *value : emptyData();
}

const QString& PropertyList::stringValue() const
{
    const QString* value = std::get_if<QString>(&value_);
    return value ? *value : emptyString();
}

const PropertyList::Array& PropertyList::arrayValue() const
{
    static const Array empty;
    const Array* value = std::get_if<Array>(&value_);
    return value ? *value : empty;
}

const PropertyList::Dictionary& PropertyList::dictionaryValue() const
{
    static const Dictionary empty;
    const Dictionary* value = std::get_if<Dictionary>(&value_);
    return value ? *value : empty;
}

PropertyList::Uid PropertyList::uidValue() const
{
    const Uid* value = std::get_if<Uid>(&value_);
    return value ? *value : Uid{};
}

bool operator==(const PropertyList& a, const PropertyList& b)
{
    if (a.value_.index() != b.value_.index()) return false;
    if (const double* x = std::get_if<double>(&a.value_)) {
        const double y = *std::get_if<double>(&b.value_);
        // Text forms have one NaN: every NaN is equal to every other.
        return (std::isnan(*x) && std::isnan(y)) || std::bit_cast<quint64>(*x) == std::bit_cast<quint64>(y);
    }
    if (const PropertyList::Date* x = std::get_if<PropertyList::Date>(&a.value_)) {
        return std::bit_cast<quint64>(x->seconds)
            == std::bit_cast<quint64>(std::get_if<PropertyList::Date>(&b.value_)->seconds);
    }
    return a.value_ == b.value_;
}

PropertyList PropertyList::read(QByteArrayView data, Format* format)
{
    Format found = Format::openStep;
    if (data.startsWith("bplist00")) {
        found = Format::binary;
    } else if (looksLikeXML(data)) {
        found = Format::xml;
    }
    if (format) *format = found;
    switch (found) {
    case Format::binary: return BinaryPropertyList::read(data);
    case Format::xml: return XMLPropertyList::read(data);
    case Format::openStep: break;
    }
    return OpenStepPropertyList::read(data);
}

QByteArray PropertyList::xmlData(const PropertyList& value)
{
    return XMLPropertyList::write(value);
}

QByteArray PropertyList::binaryData(const PropertyList& value)
{
    return BinaryPropertyList::write(value);
}

bool PropertyList::isValidForXML(const PropertyList& value)
{
    return XMLPropertyList::canWrite(value);
}

}  // namespace korimado
