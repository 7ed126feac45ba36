#include "platform/foundation/BinaryPropertyList.h"

#include <QtEndian>

#include <bit>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

namespace korimado {

namespace {

constexpr qsizetype kHeaderSize = 8;
constexpr qsizetype kTrailerSize = 32;

[[noreturn]] void fail(const char* reason)
{
    throw PropertyListError(QStringLiteral("binary property list: ") + QLatin1String(reason));
}

quint64 readBigEndian(const uchar* bytes, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | bytes[i];
    return value;
}

class Reader {
public:
    explicit Reader(QByteArrayView data)
        : bytes_(reinterpret_cast<const uchar*>(data.data())), size_(data.size())
    {
        if (size_ < kHeaderSize + 1 + 1 + kTrailerSize) fail("too short");
        const uchar* trailer = bytes_ + size_ - kTrailerSize;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        const quint64 objectCount = readBigEndian(trailer + 8, 8);
        const quint64 top = readBigEndian(trailer + 16, 8);
        const quint64 tableOffset = readBigEndian(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) fail("bad trailer sizes");
        objectsEnd_ = static_cast<quint64>(size_ - kTrailerSize);
        if (tableOffset <= static_cast<quint64>(kHeaderSize) || tableOffset >= objectsEnd_) fail("bad offset table");
        if (objectCount == 0 || objectCount > (objectsEnd_ - tableOffset) / static_cast<quint64>(offsetSize_)) {
            fail("bad object count");
        }
        if (top >= objectCount) fail("bad top object");
        objectCount_ = objectCount;
        table_ = bytes_ + tableOffset;
        objectsEnd_ = tableOffset;  // objects lie between the header and the offset table
        top_ = top;
        onPath_.assign(static_cast<size_t>(objectCount), 0);
    }

    PropertyList readTop() { return object(top_, 0); }

private:
    quint64 offsetOf(quint64 ref) const
    {
        const quint64 offset = readBigEndian(table_ + ref * static_cast<quint64>(offsetSize_), offsetSize_);
        if (offset < static_cast<quint64>(kHeaderSize) || offset >= objectsEnd_) fail("object offset out of range");
        return offset;
    }

    // The bytes left between offset and the offset table.
    quint64 left(quint64 offset) const { return objectsEnd_ - offset; }

    // The count after a marker: its low nibble, or an integer object that follows when it is 15.
    // Moves offset past the count. The count is checked against the bytes left for units of that size.
    quint64 count(quint64& offset, uchar low, quint64 unitSize)
    {
        quint64 value = low;
        if (low == 0xF) {
            if (left(offset) < 1) fail("truncated count");
            const uchar marker = bytes_[offset];
            if ((marker >> 4) != 0x1 || (marker & 0xF) > 3) fail("bad count");
            const int size = 1 << (marker & 0xF);
            if (left(offset) < 1 + static_cast<quint64>(size)) fail("truncated count");
            value = readBigEndian(bytes_ + offset + 1, size);
            offset += 1 + static_cast<quint64>(size);
        }
        if (unitSize != 0 && value > left(offset) / unitSize) fail("count beyond the data");
        return value;
    }

    quint64 reference(quint64 at) const
    {
        const quint64 ref = readBigEndian(bytes_ + at, refSize_);
        if (ref >= objectCount_) fail("reference out of range");
        return ref;
    }

    PropertyList object(quint64 ref, int depth)
    {
        if (++nodes_ > PropertyList::maximumNodes) fail("too many values");
        quint64 offset = offsetOf(ref);
        const uchar marker = bytes_[offset];
        const uchar low = marker & 0xF;
        ++offset;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x08) return PropertyList(false);
            if (marker == 0x09) return PropertyList(true);
            fail("unsupported object");
        case 0x1: return integer(offset, low);
        case 0x2: {
            if (low == 2) {
                if (left(offset) < 4) fail("truncated real");
                return PropertyList(static_cast<double>(std::bit_cast<float>(qFromBigEndian<quint32>(bytes_ + offset))));
            }
            if (low != 3 || left(offset) < 8) fail("bad real");
            return PropertyList(std::bit_cast<double>(qFromBigEndian<quint64>(bytes_ + offset)));
        }
        case 0x3:
            if (low != 3 || left(offset) < 8) fail("bad date");
            return PropertyList(PropertyList::Date{std::bit_cast<double>(qFromBigEndian<quint64>(bytes_ + offset))});
        case 0x4: {
            const quint64 n = count(offset, low, 1);
            return PropertyList(QByteArray(reinterpret_cast<const char*>(bytes_ + offset), static_cast<qsizetype>(n)));
        }
        case 0x5: {
            const quint64 n = count(offset, low, 1);
            return PropertyList(QString::fromLatin1(reinterpret_cast<const char*>(bytes_ + offset), static_cast<qsizetype>(n)));
        }
        case 0x6: {
            const quint64 n = count(offset, low, 2);
            QString text(static_cast<qsizetype>(n), Qt::Uninitialized);
            char16_t* units = reinterpret_cast<char16_t*>(text.data());
            for (quint64 i = 0; i < n; ++i) units[i] = qFromBigEndian<quint16>(bytes_ + offset + 2 * i);
            return PropertyList(text);
        }
        case 0x8:
            if (low > 7 || left(offset) < static_cast<quint64>(low) + 1) fail("bad UID");
            return PropertyList(PropertyList::Uid{readBigEndian(bytes_ + offset, low + 1)});
        case 0xA: return array(ref, offset, low, depth);
        case 0xD: return dictionary(ref, offset, low, depth);
        default: fail("unsupported object");
        }
    }

    PropertyList integer(quint64 offset, uchar low) const
    {
        if (low > 4) fail("bad integer");
        const int size = 1 << low;
        if (left(offset) < static_cast<quint64>(size)) fail("truncated integer");
        if (size < 8) return PropertyList(static_cast<qint64>(readBigEndian(bytes_ + offset, size)));
        if (size == 8) return PropertyList(static_cast<qint64>(readBigEndian(bytes_ + offset, 8)));
        const quint64 high = readBigEndian(bytes_ + offset, 8);
        const quint64 value = readBigEndian(bytes_ + offset + 8, 8);
        if (high == 0) return PropertyList::unsignedInteger(value);
        if (high == std::numeric_limits<quint64>::max() && static_cast<qint64>(value) < 0) {
            return PropertyList(static_cast<qint64>(value));
        }
        fail("integer beyond 64 bits");
    }

    // Marks the container as on the path while its children are read: a child naming it, or any
    // container above it, would never end.
    struct PathMark {
        PathMark(std::vector<uchar>& path, quint64 ref) : path(path), ref(ref)
        {
            if (path[ref]) fail("cycle");
            path[ref] = 1;
        }
        ~PathMark() { path[ref] = 0; }
        std::vector<uchar>& path;
        quint64 ref;
    };

    PropertyList array(quint64 ref, quint64 offset, uchar low, int depth)
    {
        if (depth >= PropertyList::maximumDepth) fail("nested too deeply");
        const quint64 n = count(offset, low, static_cast<quint64>(refSize_));
        PathMark mark(onPath_, ref);
        PropertyList::Array items;
        items.reserve(static_cast<qsizetype>(n));
        for (quint64 i = 0; i < n; ++i) {
            items.append(object(reference(offset + i * static_cast<quint64>(refSize_)), depth + 1));
        }
        return PropertyList(items);
    }

    PropertyList dictionary(quint64 ref, quint64 offset, uchar low, int depth)
    {
        if (depth >= PropertyList::maximumDepth) fail("nested too deeply");
        const quint64 n = count(offset, low, 2 * static_cast<quint64>(refSize_));
        PathMark mark(onPath_, ref);
        PropertyList::Dictionary entries;
        entries.reserve(static_cast<qsizetype>(n));
        const quint64 values = offset + n * static_cast<quint64>(refSize_);
        for (quint64 i = 0; i < n; ++i) {
            const PropertyList key = object(reference(offset + i * static_cast<quint64>(refSize_)), depth + 1);
            if (!key.isString()) fail("dictionary key is not a string");
            entries.insert(key.stringValue(), object(reference(values + i * static_cast<quint64>(refSize_)), depth + 1));
        }
        return PropertyList(entries);
    }

    const uchar* bytes_;
    qsizetype size_;
    int offsetSize_ = 0;
    int refSize_ = 0;
    quint64 objectCount_ = 0;
    quint64 top_ = 0;
    quint64 objectsEnd_ = 0;
    const uchar* table_ = nullptr;
    std::vector<uchar> onPath_;
    qsizetype nodes_ = 0;
};

// Numbers the objects depth first, sharing equal strings, then writes them in that order.
class Writer {
public:
    QByteArray write(const PropertyList& value)
    {
        collect(value);
        const int refSize = bytesFor(objects_.size() - 1);
        QByteArray out("bplist00");
        std::vector<quint64> offsets;
        offsets.reserve(objects_.size());
        for (size_t i = 0; i < objects_.size(); ++i) {
            offsets.push_back(static_cast<quint64>(out.size()));
            writeObject(out, *objects_[i], children_[i], refSize);
        }
        const quint64 tableOffset = static_cast<quint64>(out.size());
        const int offsetSize = bytesFor(tableOffset);
        for (quint64 offset : offsets) appendBigEndian(out, offset, offsetSize);
        QByteArray trailer(6, '\0');
        trailer.append(static_cast<char>(offsetSize));
        trailer.append(static_cast<char>(refSize));
        appendBigEndian(trailer, objects_.size(), 8);
        appendBigEndian(trailer, 0, 8);
        appendBigEndian(trailer, tableOffset, 8);
        out.append(trailer);
        return out;
    }

private:
    static int bytesFor(quint64 value)
    {
        int size = 1;
        while (size < 8 && (value >> (8 * size)) != 0) ++size;
        return size;
    }

    static void appendBigEndian(QByteArray& out, quint64 value, int size)
    {
        for (int i = size - 1; i >= 0; --i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }

    quint64 collect(const PropertyList& value)
    {
        if (value.isString()) {
            const auto it = strings_.constFind(value.stringValue());
            if (it != strings_.constEnd()) return *it;
            strings_.insert(value.stringValue(), objects_.size());
        }
        const quint64 index = objects_.size();
        objects_.push_back(&value);
        children_.emplace_back();
        std::vector<quint64> refs;
        if (value.isArray()) {
            for (const PropertyList& item : value.arrayValue()) refs.push_back(collect(item));
        } else if (value.isDictionary()) {
            std::vector<quint64> values;
            for (const PropertyList::Entry& entry : value.dictionaryValue().entries()) {
                refs.push_back(collectKey(entry.key));
                values.push_back(collect(entry.value));
            }
            refs.insert(refs.end(), values.begin(), values.end());
        }
        children_[index] = std::move(refs);
        return index;
    }

    quint64 collectKey(const QString& key)
    {
        const auto it = strings_.constFind(key);
        if (it != strings_.constEnd()) return *it;
        keys_.emplace_back(key);
        return collect(keys_.back());
    }

    static void appendMarker(QByteArray& out, uchar type, quint64 count)
    {
        if (count < 15) {
            out.append(static_cast<char>((type << 4) | count));
            return;
        }
        out.append(static_cast<char>((type << 4) | 0xF));
        const int size = bytesFor(count);
        const int power = size == 1 ? 0 : size == 2 ? 1 : size <= 4 ? 2 : 3;
        out.append(static_cast<char>(0x10 | power));
        appendBigEndian(out, count, 1 << power);
    }

    static void writeObject(QByteArray& out, const PropertyList& value, const std::vector<quint64>& refs, int refSize)
    {
        switch (value.type()) {
        case PropertyList::Type::boolean: out.append(value.boolValue() ? '\x09' : '\x08'); break;
        case PropertyList::Type::integer: {
            if (value.isUnsignedAboveSignedRange()) {
                out.append('\x14');
                appendBigEndian(out, 0, 8);
                appendBigEndian(out, *value.unsignedValue(), 8);
                break;
            }
            const qint64 n = *value.integerValue();
            if (n < 0 || n > 0xFFFFFFFFLL) {
                out.append('\x13');
                appendBigEndian(out, static_cast<quint64>(n), 8);
            } else {
                const int size = bytesFor(static_cast<quint64>(n));
                const int power = size == 1 ? 0 : size == 2 ? 1 : 2;
                out.append(static_cast<char>(0x10 | power));
                appendBigEndian(out, static_cast<quint64>(n), 1 << power);
            }
            break;
        }
        case PropertyList::Type::real:
            out.append('\x23');
            appendBigEndian(out, std::bit_cast<quint64>(value.realValue()), 8);
            break;
        case PropertyList::Type::date:
            out.append('\x33');
            appendBigEndian(out, std::bit_cast<quint64>(value.dateValue().seconds), 8);
            break;
        case PropertyList::Type::data:
            appendMarker(out, 0x4, static_cast<quint64>(value.dataValue().size()));
            out.append(value.dataValue());
            break;
        case PropertyList::Type::string: {
            const QString& text = value.stringValue();
            bool ascii = true;
            for (QChar c : text) {
                if (c.unicode() >= 0x80) {
                    ascii = false;
                    break;
                }
            }
            if (ascii) {
                appendMarker(out, 0x5, static_cast<quint64>(text.size()));
                out.append(text.toLatin1());
            } else {
                appendMarker(out, 0x6, static_cast<quint64>(text.size()));
                const qsizetype at = out.size();
                out.resize(at + 2 * text.size());
                char* units = out.data() + at;
                for (qsizetype i = 0; i < text.size(); ++i) qToBigEndian<quint16>(text.at(i).unicode(), units + 2 * i);
            }
            break;
        }
        case PropertyList::Type::uid: {
            const quint64 uid = value.uidValue().value;
            const int size = bytesFor(uid);
            out.append(static_cast<char>(0x80 | (size - 1)));
            appendBigEndian(out, uid, size);
            break;
        }
        case PropertyList::Type::array:
        case PropertyList::Type::dictionary: {
            const bool isArray = value.type() == PropertyList::Type::array;
            appendMarker(out, isArray ? 0xA : 0xD, isArray ? refs.size() : refs.size() / 2);
            for (quint64 ref : refs) appendBigEndian(out, ref, refSize);
            break;
        }
        }
    }

    std::vector<const PropertyList*> objects_;
    std::vector<std::vector<quint64>> children_;
    // Keys become string objects of their own; a deque keeps the pointers to them valid.
    std::deque<PropertyList> keys_;
    QHash<QString, quint64> strings_;
};

}  // namespace

PropertyList BinaryPropertyList::read(QByteArrayView data)
{
    if (!data.startsWith("bplist00")) fail("no header");
    Reader reader(data);
    return reader.readTop();
}

QByteArray BinaryPropertyList::write(const PropertyList& value)
{
    return Writer().write(value);
}

}  // namespace korimado
