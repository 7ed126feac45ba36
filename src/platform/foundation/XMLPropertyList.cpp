#include "platform/foundation/XMLPropertyList.h"

#include "platform/foundation/PropertyListScalars.h"

#include <pugixml.hpp>

#include <cstring>

namespace korimado {

namespace {

[[noreturn]] void fail(const QString& reason)
{
    throw PropertyListError(QStringLiteral("XML property list: ") + reason);
}

bool isWhiteSpace(const char* text)
{
    for (; *text; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r') return false;
    }
    return true;
}

// Appends text with the five predefined entities and character references decoded; any other
// entity is an error (a doctype may have declared it, and declarations are not read).
void appendUnescaped(QString& out, const char* text)
{
    const char* start = text;
    const char* p = text;
    const auto flush = [&] {
        if (p > start) out.append(QString::fromUtf8(start, static_cast<qsizetype>(p - start)));
    };
    while (*p) {
        if (*p != '&') {
            ++p;
            continue;
        }
        flush();
        const char* semicolon = std::strchr(p, ';');
        if (!semicolon) fail(QStringLiteral("unterminated entity"));
        const QByteArray name(p + 1, static_cast<qsizetype>(semicolon - p - 1));
        if (name == "lt") out.append(u'<');
        else if (name == "gt") out.append(u'>');
        else if (name == "amp") out.append(u'&');
        else if (name == "quot") out.append(u'"');
        else if (name == "apos") out.append(u'\'');
        else if (name.startsWith('#')) {
            const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
            const QByteArray digits = name.mid(hex ? 2 : 1);
            quint32 code = 0;
            bool ok = !digits.isEmpty() && digits.size() <= 8;
            for (char c : digits) {
                const int digit = c >= '0' && c <= '9'                ? c - '0'
                                  : hex && c >= 'a' && c <= 'f'       ? c - 'a' + 10
                                  : hex && c >= 'A' && c <= 'F'       ? c - 'A' + 10
                                                                      : -1;
                if (digit < 0) ok = false;
                code = code * (hex ? 16 : 10) + static_cast<quint32>(digit < 0 ? 0 : digit);
            }
            if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                fail(QStringLiteral("bad character reference"));
            }
            const char32_t scalar = code;
            out.append(QString::fromUcs4(&scalar, 1));
        } else {
            fail(QStringLiteral("unknown entity &") + QString::fromUtf8(name) + u';');
        }
        p = semicolon + 1;
        start = p;
    }
    flush();
}

bool isXMLCharacters(const QString& text)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20) {
            if (c != 0x9 && c != 0xA && c != 0xD) return false;
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= size || !QChar::isLowSurrogate(text.at(i + 1).unicode())) return false;
            ++i;
        } else if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
            return false;
        }
    }
    return true;
}

QString rawElementText(const pugi::xml_node& element)
{
    // The common case: one run of text without entities.
    const pugi::xml_node first = element.first_child();
    if (!first) return QString();
    if (first.type() == pugi::node_pcdata && !first.next_sibling() && !std::strchr(first.value(), '&')) {
        return QString::fromUtf8(first.value());
    }
    QString text;
    for (const pugi::xml_node& child : element.children()) {
        switch (child.type()) {
        case pugi::node_pcdata: appendUnescaped(text, child.value()); break;
        case pugi::node_cdata: text.append(QString::fromUtf8(child.value())); break;
        case pugi::node_element: fail(QStringLiteral("element inside <") + QString::fromUtf8(element.name()) + u'>');
        default: break;
        }
    }
    return text;
}

// The text of an element; a character XML 1.0 forbids, raw or by reference, makes the document
// ill-formed (it could not be written back either).
QString elementText(const pugi::xml_node& element)
{
    QString text = rawElementText(element);
    if (!isXMLCharacters(text)) fail(QStringLiteral("character XML does not allow"));
    return text;
}

class Reader {
public:
    PropertyList value(const pugi::xml_node& element, int depth)
    {
        if (++nodes_ > PropertyList::maximumNodes) fail(QStringLiteral("too many values"));
        const char* name = element.name();
        if (std::strcmp(name, "dict") == 0) return dictionary(element, depth);
        if (std::strcmp(name, "array") == 0) return array(element, depth);
        if (std::strcmp(name, "string") == 0) return PropertyList(elementText(element));
        if (std::strcmp(name, "true") == 0) return PropertyList(true);
        if (std::strcmp(name, "false") == 0) return PropertyList(false);
        if (std::strcmp(name, "integer") == 0) {
            if (auto parsed = PropertyListScalars::parseInteger(elementText(element).trimmed())) return *parsed;
            fail(QStringLiteral("bad integer"));
        }
        if (std::strcmp(name, "real") == 0) {
            if (auto parsed = PropertyListScalars::parseReal(elementText(element).trimmed())) return PropertyList(*parsed);
            fail(QStringLiteral("bad real"));
        }
        if (std::strcmp(name, "date") == 0) {
            if (auto parsed = PropertyListScalars::parseDate(elementText(element).trimmed())) return PropertyList(*parsed);
            fail(QStringLiteral("bad date"));
        }
        if (std::strcmp(name, "data") == 0) {
            if (auto parsed = PropertyListScalars::parseBase64(elementText(element))) return PropertyList(*parsed);
            fail(QStringLiteral("bad data"));
        }
        fail(QStringLiteral("unknown element <") + QString::fromUtf8(name) + u'>');
    }

private:
    // The number of element children of a container; text other than white space between them
    // is an error.
    static qsizetype checkOnlyElements(const pugi::xml_node& node)
    {
        qsizetype elements = 0;
        for (const pugi::xml_node& child : node.children()) {
            const pugi::xml_node_type type = child.type();
            if (type == pugi::node_element) {
                ++elements;
            } else if ((type == pugi::node_pcdata && !isWhiteSpace(child.value())) || type == pugi::node_cdata) {
                fail(QStringLiteral("text inside <") + QString::fromUtf8(node.name()) + u'>');
            }
        }
        return elements;
    }

    PropertyList array(const pugi::xml_node& element, int depth)
    {
        if (depth >= PropertyList::maximumDepth) fail(QStringLiteral("nested too deeply"));
        PropertyList::Array items;
        items.reserve(checkOnlyElements(element));
        for (const pugi::xml_node& child : element.children()) {
            if (child.type() == pugi::node_element) items.append(value(child, depth + 1));
        }
        return PropertyList(items);
    }

    PropertyList dictionary(const pugi::xml_node& element, int depth)
    {
        if (depth >= PropertyList::maximumDepth) fail(QStringLiteral("nested too deeply"));
        PropertyList::Dictionary entries;
        entries.reserve(checkOnlyElements(element) / 2);
        pugi::xml_node child = element.first_child();
        const auto nextElement = [](pugi::xml_node node) {
            while (node && node.type() != pugi::node_element) node = node.next_sibling();
            return node;
        };
        for (child = nextElement(child); child; child = nextElement(child.next_sibling())) {
            if (std::strcmp(child.name(), "key") != 0) fail(QStringLiteral("dictionary value without a key"));
            const QString key = elementText(child);
            const pugi::xml_node valueElement = nextElement(child.next_sibling());
            if (!valueElement) fail(QStringLiteral("dictionary key without a value"));
            entries.insert(key, value(valueElement, depth + 1));
            child = valueElement;
        }
        if (entries.size() == 1 && entries.entries().first().key == QLatin1String("CF$UID")) {
            const PropertyList& uid = entries.entries().first().value;
            if (auto number = uid.unsignedValue()) return PropertyList(PropertyList::Uid{*number});
        }
        return PropertyList(entries);
    }

    qsizetype nodes_ = 0;
};

// MARK: writing


void appendEscaped(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    qsizetype start = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char* replacement = nullptr;
        switch (utf8[i]) {
        case '&': replacement = "&amp;"; break;
        case '<': replacement = "&lt;"; break;
        case '>': replacement = "&gt;"; break;
        case '\r': replacement = "&#13;"; break;
        default: continue;
        }
        out.append(utf8.constData() + start, i - start);
        out.append(replacement);
        start = i + 1;
    }
    out.append(utf8.constData() + start, utf8.size() - start);
}

void appendValue(QByteArray& out, const PropertyList& value, int indent)
{
    const QByteArray tabs(indent, '\t');
    out.append(tabs);
    switch (value.type()) {
    case PropertyList::Type::boolean: out.append(value.boolValue() ? "<true/>\n" : "<false/>\n"); return;
    case PropertyList::Type::integer:
        out.append("<integer>");
        out.append(value.isUnsignedAboveSignedRange() ? QByteArray::number(*value.unsignedValue())
                                                      : QByteArray::number(*value.integerValue()));
        out.append("</integer>\n");
        return;
    case PropertyList::Type::real:
        out.append("<real>");
        out.append(PropertyListScalars::formatReal(value.realValue()));
        out.append("</real>\n");
        return;
    case PropertyList::Type::date:
        out.append("<date>");
        out.append(PropertyListScalars::formatDate(value.dateValue()));
        out.append("</date>\n");
        return;
    case PropertyList::Type::data: {
        out.append("<data>\n");
        const QByteArray encoded = value.dataValue().toBase64();
        for (qsizetype at = 0; at < encoded.size(); at += 76) {
            out.append(tabs);
            out.append(encoded.mid(at, 76));
            out.append('\n');
        }
        out.append(tabs);
        out.append("</data>\n");
        return;
    }
    case PropertyList::Type::string:
        out.append("<string>");
        appendEscaped(out, value.stringValue());
        out.append("</string>\n");
        return;
    case PropertyList::Type::array:
        if (value.arrayValue().isEmpty()) {
            out.append("<array/>\n");
            return;
        }
        out.append("<array>\n");
        for (const PropertyList& item : value.arrayValue()) appendValue(out, item, indent + 1);
        out.append(tabs);
        out.append("</array>\n");
        return;
    case PropertyList::Type::dictionary:
        if (value.dictionaryValue().isEmpty()) {
            out.append("<dict/>\n");
            return;
        }
        out.append("<dict>\n");
        for (const PropertyList::Entry& entry : value.dictionaryValue().entries()) {
            out.append(tabs);
            out.append("\t<key>");
            appendEscaped(out, entry.key);
            out.append("</key>\n");
            appendValue(out, entry.value, indent + 1);
        }
        out.append(tabs);
        out.append("</dict>\n");
        return;
    case PropertyList::Type::uid: break;
    }
    fail(QStringLiteral("a UID has no XML form"));
}

}  // namespace

PropertyList XMLPropertyList::read(QByteArrayView data)
{
    pugi::xml_document document;
    const unsigned options = pugi::parse_cdata | pugi::parse_eol | pugi::parse_ws_pcdata_single;
    const pugi::xml_parse_result parsed = document.load_buffer(data.data(), static_cast<size_t>(data.size()), options);
    if (!parsed) fail(QString::fromUtf8(parsed.description()));
    pugi::xml_node root = document.document_element();
    if (!root) fail(QStringLiteral("no element"));
    if (std::strcmp(root.name(), "plist") == 0) {
        pugi::xml_node only;
        for (const pugi::xml_node& child : root.children()) {
            if (child.type() == pugi::node_element) {
                if (only) fail(QStringLiteral("more than one value"));
                only = child;
            } else if ((child.type() == pugi::node_pcdata && !isWhiteSpace(child.value()))
                       || child.type() == pugi::node_cdata) {
                fail(QStringLiteral("text inside <plist>"));
            }
        }
        if (!only) fail(QStringLiteral("empty <plist>"));
        root = only;
    }
    Reader reader;
    return reader.value(root, 0);
}

bool XMLPropertyList::canWrite(const PropertyList& value)
{
    switch (value.type()) {
    case PropertyList::Type::uid: return false;
    case PropertyList::Type::string: return isXMLCharacters(value.stringValue());
    case PropertyList::Type::array:
        for (const PropertyList& item : value.arrayValue()) {
            if (!canWrite(item)) return false;
        }
        return true;
    case PropertyList::Type::dictionary:
        for (const PropertyList::Entry& entry : value.dictionaryValue().entries()) {
            if (!isXMLCharacters(entry.key) || !canWrite(entry.value)) return false;
        }
        return true;
    default: return true;
    }
}

QByteArray XMLPropertyList::write(const PropertyList& value)
{
    if (!canWrite(value)) fail(QStringLiteral("the value holds what XML cannot carry"));
    QByteArray out(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n");
    appendValue(out, value, 0);
    out.append("</plist>\n");
    return out;
}

}  // namespace korimado
