#include "platform/foundation/XMLPropertyListParser.h"

#include "platform/foundation/PropertyListScalars.h"

#include <QStringDecoder>

#include <cstring>
#include <string_view>

namespace korimado {

namespace {

[[noreturn]] void fail(const QString& reason)
{
    throw PropertyListError(QStringLiteral("XML property list: ") + reason);
}

[[noreturn]] void fail(const char* reason)
{
    fail(QString::fromLatin1(reason));
}

QString named(QByteArrayView name)
{
    return QString::fromUtf8(name);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameCharacter(unsigned char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The bytes a run of text cannot simply be taken past: markup and references (in character
// data only), carriage returns to fold into line feeds, the control characters XML forbids, and
// the lead byte of U+FFFE and U+FFFF.
struct Stops {
    bool at[256] = {};
    constexpr explicit Stops(bool markup)
    {
        for (int c = 0; c < 0x20; ++c) at[c] = c != '\t' && c != '\n';
        at[0xEF] = true;
        at[static_cast<unsigned char>('<')] = markup;
        at[static_cast<unsigned char>('&')] = markup;
    }
};
constexpr Stops kCharacterData(true);
constexpr Stops kSection(false);

// The first byte from p that the text cannot be taken past: '<', '&' (character data only), '\r',
// or the limit. Characters XML 1.0 forbids end the read: what is read must write back.
const char* scan(const char* p, const char* limit, const Stops& stops)
{
    while (p < limit) {
        const auto c = static_cast<unsigned char>(*p);
        if (!stops.at[c]) {
            ++p;
            continue;
        }
        if (c == 0xEF) {
            if (limit - p >= 3 && static_cast<unsigned char>(p[1]) == 0xBF
                && (static_cast<unsigned char>(p[2]) == 0xBE || static_cast<unsigned char>(p[2]) == 0xBF)) {
                fail("character XML does not allow");
            }
            ++p;
            continue;
        }
        if (c < 0x20 && c != '\r') fail("character XML does not allow");
        return p;
    }
    return p;
}

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Text of another encoding, as its byte-order mark, its first characters or its declaration say;
// none for UTF-8.
std::optional<QStringConverter::Encoding> foreignEncoding(QByteArrayView data)
{
    struct Mark {
        const char* bytes;
        qsizetype size;
        QStringConverter::Encoding encoding;
    };
    static const Mark marks[] = {
        {"\x00\x00\xFE\xFF", 4, QStringConverter::Utf32BE}, {"\xFF\xFE\x00\x00", 4, QStringConverter::Utf32LE},
        {"\x00\x00\x00\x3C", 4, QStringConverter::Utf32BE}, {"\x3C\x00\x00\x00", 4, QStringConverter::Utf32LE},
        {"\xFE\xFF", 2, QStringConverter::Utf16BE},         {"\xFF\xFE", 2, QStringConverter::Utf16LE},
        {"\x00\x3C\x00\x3F", 4, QStringConverter::Utf16BE}, {"\x3C\x00\x3F\x00", 4, QStringConverter::Utf16LE},
    };
    for (const Mark& mark : marks) {
        if (data.startsWith(QByteArrayView(mark.bytes, mark.size))) return mark.encoding;
    }
    if (!data.startsWith("<?xml") || data.size() < 6 || !isSpace(data[5])) return std::nullopt;
    const std::string_view text(data.data(), static_cast<size_t>(data.size()));
    const size_t close = text.find("?>");
    if (close == std::string_view::npos) return std::nullopt;
    const QByteArray declaration = QByteArray(data.data(), static_cast<qsizetype>(close)).toLower();
    for (const char* name : {"\"iso-8859-1\"", "'iso-8859-1'", "\"latin1\"", "'latin1'"}) {
        if (declaration.contains(QByteArray("encoding=") + name)) return QStringConverter::Latin1;
    }
    return std::nullopt;
}

}  // namespace

PropertyList XMLPropertyListParser::parse(QByteArrayView data)
{
    QByteArray transcoded;
    if (const std::optional<QStringConverter::Encoding> encoding = foreignEncoding(data)) {
        QStringDecoder decoder(*encoding);
        transcoded = QString(decoder.decode(data)).toUtf8();
        data = transcoded;
    }
    if (data.startsWith("\xEF\xBB\xBF")) data = data.sliced(3);
    XMLPropertyListParser parser(data);
    return parser.document();
}

XMLPropertyListParser::XMLPropertyListParser(QByteArrayView data)
    : begin_(data.data()), at_(data.data()), end_(data.data() + data.size())
{
}

PropertyList XMLPropertyListParser::document()
{
    skipMisc(true);
    if (at_ >= end_) fail("no element");
    if (*at_ != '<') fail("text before the first element");
    QByteArrayView name;
    bool empty = false;
    startTag(name, empty);
    PropertyList result;
    if (name == "plist") {
        bool found = false;
        QByteArrayView child;
        bool childEmpty = false;
        while (!empty && nextChild(name, child, childEmpty)) {
            if (found) fail("more than one value");
            result = element(child, childEmpty, 0);
            found = true;
        }
        if (!found) fail("empty <plist>");
    } else {
        result = element(name, empty, 0);
    }
    skipMisc(false);
    // Some writers pad a file with zero bytes.
    while (at_ < end_ && *at_ == '\0') ++at_;
    if (at_ != end_) fail("text after the last element");
    return result;
}

PropertyList XMLPropertyListParser::element(QByteArrayView name, bool empty, int depth)
{
    if (++values_ > PropertyList::maximumNodes) fail("too many values");
    const bool dictionary = name == "dict";
    if (dictionary || name == "array") {
        if (depth >= PropertyList::maximumDepth) fail("nested too deeply");
        if (empty) return dictionary ? PropertyList(PropertyList::Dictionary()) : PropertyList(PropertyList::Array());
        return dictionary ? this->dictionary(name, depth) : array(name, depth);
    }
    if (name == "string") return PropertyList(empty ? QString() : QString::fromUtf8(text(name)));
    if (name == "true" || name == "false") {
        if (!empty) text(name);
        return PropertyList(name == "true");
    }
    const QByteArrayView content = empty ? QByteArrayView() : text(name);
    if (name == "integer") {
        if (std::optional<PropertyList> parsed = PropertyListScalars::parseInteger(content)) return std::move(*parsed);
        fail("bad integer");
    }
    if (name == "real") {
        if (std::optional<double> parsed = PropertyListScalars::parseReal(content)) return PropertyList(*parsed);
        fail("bad real");
    }
    if (name == "date") {
        if (std::optional<PropertyList::Date> parsed = PropertyListScalars::parseDate(content)) return PropertyList(*parsed);
        fail("bad date");
    }
    if (name == "data") {
        if (std::optional<QByteArray> parsed = PropertyListScalars::parseBase64(content)) return PropertyList(*parsed);
        fail("bad data");
    }
    fail(QStringLiteral("unknown element <") + named(name) + u'>');
}

PropertyList XMLPropertyListParser::array(QByteArrayView name, int depth)
{
    PropertyList::Array items;
    QByteArrayView child;
    bool empty = false;
    while (nextChild(name, child, empty)) items.append(element(child, empty, depth + 1));
    return PropertyList(items);
}

PropertyList XMLPropertyListParser::dictionary(QByteArrayView name, int depth)
{
    PropertyList::Dictionary entries;
    QByteArrayView child;
    bool empty = false;
    while (nextChild(name, child, empty)) {
        if (child != "key") fail("dictionary value without a key");
        QString key;
        if (!empty) {
            const QByteArrayView raw = text(child);
            // The keys of the top dictionary are each met once; those below repeat from sibling to
            // sibling. Only spellings that stand in the input can be kept as they are.
            const bool stable = raw.data() >= begin_ && raw.data() + raw.size() <= end_;
            key = depth > 0 && stable ? interned(raw) : QString::fromUtf8(raw);
        }
        if (!nextChild(name, child, empty)) fail("dictionary key without a value");
        entries.insert(key, element(child, empty, depth + 1));
    }
    if (entries.size() == 1 && entries.entries().first().key == QLatin1String("CF$UID")) {
        if (std::optional<quint64> number = entries.entries().first().value.unsignedValue()) {
            return PropertyList(PropertyList::Uid{*number});
        }
    }
    return PropertyList(entries);
}

QString XMLPropertyListParser::interned(QByteArrayView raw)
{
    constexpr qsizetype kLongest = 64;
    constexpr qsizetype kMostKept = 4096;
    if (raw.size() > kLongest) return QString::fromUtf8(raw);
    if (const auto found = keys_.constFind(raw); found != keys_.cend()) return *found;
    QString made = QString::fromUtf8(raw);
    if (keys_.size() < kMostKept) keys_.insert(raw, made);
    return made;
}

bool XMLPropertyListParser::nextChild(QByteArrayView container, QByteArrayView& child, bool& empty)
{
    for (;;) {
        skipSpace();
        if (at_ >= end_) fail(QStringLiteral("unclosed <") + named(container) + u'>');
        if (*at_ != '<' || std::string_view(at_, static_cast<size_t>(end_ - at_)).starts_with("<![CDATA[")) {
            fail(QStringLiteral("text inside <") + named(container) + u'>');
        }
        if (atEndTag(container)) return false;
        if (skipMarkup()) continue;
        startTag(child, empty);
        return true;
    }
}

QByteArrayView XMLPropertyListParser::text(QByteArrayView name)
{
    // The common case: one run of plain text, then the end tag.
    const char* start = at_;
    const char* stop = scan(at_, end_, kCharacterData);
    at_ = stop;
    if (stop + 1 < end_ && stop[0] == '<' && stop[1] == '/') {
        atEndTag(name);
        return QByteArrayView(start, stop - start);
    }
    decoded_.assign(start, stop);
    for (;;) {
        const char* run = scan(at_, end_, kCharacterData);
        decoded_.append(at_, run);
        at_ = run;
        if (at_ >= end_) fail(QStringLiteral("unclosed <") + named(name) + u'>');
        if (*at_ == '\r') {
            decoded_ += '\n';
            ++at_;
            if (at_ < end_ && *at_ == '\n') ++at_;
        } else if (*at_ == '&') {
            decodeReference();
        } else if (atEndTag(name)) {
            return QByteArrayView(decoded_.data(), static_cast<qsizetype>(decoded_.size()));
        } else if (std::string_view(at_, static_cast<size_t>(end_ - at_)).starts_with("<![CDATA[")) {
            appendSection();
        } else if (!skipMarkup()) {
            fail(QStringLiteral("element inside <") + named(name) + u'>');
        }
    }
}

void XMLPropertyListParser::appendSection()
{
    at_ += 9;  // "<![CDATA["
    const size_t close = std::string_view(at_, static_cast<size_t>(end_ - at_)).find("]]>");
    if (close == std::string_view::npos) fail("unclosed CDATA section");
    const char* sectionEnd = at_ + close;
    while (at_ < sectionEnd) {
        const char* run = scan(at_, sectionEnd, kSection);
        decoded_.append(at_, run);
        at_ = run;
        if (at_ < sectionEnd) {  // a carriage return
            decoded_ += '\n';
            ++at_;
            if (at_ < sectionEnd && *at_ == '\n') ++at_;
        }
    }
    at_ = sectionEnd + 3;
}

void XMLPropertyListParser::decodeReference()
{
    // The five predefined entities and character references; any other entity is an error (a
    // doctype may have declared it, and declarations are not read).
    constexpr qsizetype kLongest = 12;  // "&#x0010FFFF;"
    const qsizetype room = std::min<qsizetype>(end_ - at_, kLongest);
    const void* found = std::memchr(at_, ';', static_cast<size_t>(room));
    if (!found) fail("unterminated entity");
    const char* semicolon = static_cast<const char*>(found);
    const QByteArrayView name(at_ + 1, semicolon - at_ - 1);
    at_ = semicolon + 1;
    if (name == "lt") decoded_ += '<';
    else if (name == "gt") decoded_ += '>';
    else if (name == "amp") decoded_ += '&';
    else if (name == "quot") decoded_ += '"';
    else if (name == "apos") decoded_ += '\'';
    else if (name.startsWith('#')) {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const QByteArrayView digits = name.sliced(hex ? 2 : 1);
        quint32 code = 0;
        bool ok = !digits.isEmpty() && digits.size() <= 8;
        for (const char c : digits) {
            const int digit = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
            if (digit < 0) ok = false;
            code = code * (hex ? 16 : 10) + static_cast<quint32>(digit < 0 ? 0 : digit);
        }
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) fail("bad character reference");
        if ((code < 0x20 && code != 0x9 && code != 0xA && code != 0xD) || code == 0xFFFE || code == 0xFFFF) {
            fail("character XML does not allow");
        }
        appendUtf8(decoded_, code);
    } else {
        fail(QStringLiteral("unknown entity &") + named(name) + u';');
    }
}

bool XMLPropertyListParser::startTag(QByteArrayView& name, bool& empty)
{
    ++at_;  // '<'
    name = readName();
    if (name.isEmpty()) fail("bad tag");
    skipAttributes(empty);
    return true;
}

bool XMLPropertyListParser::atEndTag(QByteArrayView name)
{
    if (end_ - at_ < 2 || at_[0] != '<' || at_[1] != '/') return false;
    at_ += 2;
    const QByteArrayView closing = readName();
    if (closing != name) fail(QStringLiteral("</") + named(closing) + QStringLiteral("> closes <") + named(name) + u'>');
    skipSpace();
    if (at_ >= end_ || *at_ != '>') fail("bad end tag");
    ++at_;
    return true;
}

QByteArrayView XMLPropertyListParser::readName()
{
    const char* start = at_;
    if (at_ < end_ && isNameStart(static_cast<unsigned char>(*at_))) {
        ++at_;
        while (at_ < end_ && isNameCharacter(static_cast<unsigned char>(*at_))) ++at_;
    }
    return QByteArrayView(start, at_ - start);
}

void XMLPropertyListParser::skipAttributes(bool& empty)
{
    for (;;) {
        skipSpace();
        if (at_ >= end_) fail("unclosed tag");
        if (*at_ == '>') {
            ++at_;
            empty = false;
            return;
        }
        if (*at_ == '/') {
            if (end_ - at_ < 2 || at_[1] != '>') fail("bad tag");
            at_ += 2;
            empty = true;
            return;
        }
        if (readName().isEmpty()) fail("bad attribute");
        skipSpace();
        if (at_ >= end_ || *at_ != '=') fail("bad attribute");
        ++at_;
        skipSpace();
        if (at_ >= end_ || (*at_ != '"' && *at_ != '\'')) fail("bad attribute");
        const char quote = *at_++;
        const void* close = std::memchr(at_, quote, static_cast<size_t>(end_ - at_));
        if (!close) fail("unclosed attribute");
        const char* valueEnd = static_cast<const char*>(close);
        if (std::memchr(at_, '<', static_cast<size_t>(valueEnd - at_))) fail("bad attribute");
        at_ = valueEnd + 1;
    }
}

bool XMLPropertyListParser::skipMarkup()
{
    const std::string_view rest(at_, static_cast<size_t>(end_ - at_));
    if (rest.starts_with("<!--")) {
        at_ += 4;
        skipPast("-->");
        return true;
    }
    if (rest.starts_with("<?")) {
        at_ += 2;
        skipPast("?>");
        return true;
    }
    return false;
}

void XMLPropertyListParser::skipMisc(bool doctype)
{
    for (;;) {
        skipSpace();
        if (skipMarkup()) continue;
        if (doctype && std::string_view(at_, static_cast<size_t>(end_ - at_)).starts_with("<!DOCTYPE")) {
            skipDoctype();
            continue;
        }
        return;
    }
}

void XMLPropertyListParser::skipDoctype()
{
    at_ += 9;  // "<!DOCTYPE"
    bool subset = false;
    while (at_ < end_) {
        const char c = *at_;
        if (c == '"' || c == '\'') {
            const void* close = std::memchr(at_ + 1, c, static_cast<size_t>(end_ - at_ - 1));
            if (!close) break;
            at_ = static_cast<const char*>(close) + 1;
            continue;
        }
        if (subset && skipMarkup()) continue;
        if (subset && c == ']') subset = false;
        else if (!subset && c == '[') subset = true;
        else if (!subset && c == '>') {
            ++at_;
            return;
        }
        ++at_;
    }
    fail("unclosed doctype");
}

void XMLPropertyListParser::skipSpace()
{
    while (at_ < end_ && isSpace(*at_)) ++at_;
}

void XMLPropertyListParser::skipPast(const char* terminator)
{
    const std::string_view rest(at_, static_cast<size_t>(end_ - at_));
    const size_t found = rest.find(terminator);
    if (found == std::string_view::npos) fail("unclosed comment or processing instruction");
    at_ += found + std::strlen(terminator);
}

}  // namespace korimado
