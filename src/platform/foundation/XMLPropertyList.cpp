#include "platform/foundation/XMLPropertyList.h"

#include "platform/foundation/PropertyListScalars.h"
#include "platform/foundation/XMLPropertyListParser.h"

namespace korimado {

namespace {

[[noreturn]] void fail(const QString& reason)
{
    throw PropertyListError(QStringLiteral("XML property list: ") + reason);
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
    return XMLPropertyListParser::parse(data);
}

bool XMLPropertyList::canWrite(const PropertyList& value)
{
    switch (value.type()) {
    case PropertyList::Type::uid: return false;
    case PropertyList::Type::date: return PropertyListScalars::canFormatDate(value.dateValue());
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
